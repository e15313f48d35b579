#include <korutil/strings.h>

namespace {

// Resource texts arrive through a buffer of this size: at most 255 characters.
constexpr int kResourceBuffer = 256;

} // namespace

CString::CString(HINSTANCE instance, int id) {
    char buffer[kResourceBuffer];
    buffer[0] = '\0';
    ::LoadStringA(instance, static_cast<UINT>(id), buffer, kResourceBuffer);
    copyData(buffer);
}

int CString::LoadString(HINSTANCE instance, int id) {
    char buffer[kResourceBuffer];
    if (::LoadStringA(instance, static_cast<UINT>(id), buffer, kResourceBuffer) <= 0) {
        return 0;
    }
    *this = buffer;
    return m_pText ? 1 : 0; // a refused copy leaves the string empty, not loaded
}
