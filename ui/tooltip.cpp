#include <korutil/strings.h>
#include <korutil/ui.h>

#include <cstddef>

#ifdef _WIN32
#include <commctrl.h>
#endif

static_assert(sizeof(void*) != 4 || offsetof(TTTOOLINFOA, lParam) == 40,
              "the first TOOLINFOA version is 40 bytes on 32-bit Windows");

namespace {

constexpr DWORD kAlwaysTip = 0x01; // TTS_ALWAYSTIP: tips show while the owner is inactive

} // namespace

CToolTip::CToolTip() : m_hWnd(nullptr), m_hWndOwner(nullptr), m_hInstance(nullptr) {}

CToolTip::~CToolTip() {
    if (m_hWnd) {
        DestroyWindow(m_hWnd);
    }
}

int CToolTip::Create(HWND owner, HINSTANCE instance, int enable) {
    m_hWndOwner = owner;
    m_hInstance = instance;
    m_hWnd =
        CreateWindowExA(0, "tooltips_class32", nullptr, kAlwaysTip, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, instance, nullptr);
    if (!m_hWnd) {
        return 0;
    }
    Enable(enable);
    return 1;
}

void CToolTip::Enable(int enable) {
    SendMessageA(m_hWnd, TTM_ACTIVATE, enable, 0);
}

void CToolTip::Destroy() {
    DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
}

int CToolTip::Add(HWND tool, const char* text, HWND owner) {
    TOOLINFOA info{};
    // The structure's first version, without lParam: 40 bytes on 32-bit Windows and the same
    // version's larger size on 64-bit systems.
    info.cbSize = TTTOOLINFOA_V1_SIZE;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = owner ? owner : m_hWndOwner;
    info.uId = reinterpret_cast<UINT_PTR>(tool);
    info.lpszText = const_cast<char*>(text);
    return static_cast<int>(SendMessageA(m_hWnd, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info)));
}

int CToolTip::Add(HWND tool, int stringId, HWND owner) {
    return Add(tool, LoadStringPtr(m_hInstance, stringId), owner);
}
