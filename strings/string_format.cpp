#include "strings/text_cut.h"

#include <korutil/strings.h>

#include <cstdarg>

namespace {

// The formatter writes at most 1024 bytes; the string keeps at most this many characters.
constexpr int kMaxFormatted = 511;

} // namespace

int CString::printf(const char* format, ...) {
    // A buffer per call: calls on different strings may overlap, and the output is complete
    // before the old block goes, so the arguments may point into this string.
    char buffer[1024];
    va_list args;
    va_start(args, format);
    int count = wvsprintfA(buffer, format, args);
    va_end(args);
    if (count > kMaxFormatted) {
        count = static_cast<int>(
            korutil::detail::textCutPoint(buffer, static_cast<std::size_t>(count), kMaxFormatted));
        buffer[count] = '\0';
    }
    *this = buffer;
    return m_pText ? count : 0;
}
