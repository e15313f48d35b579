// The "STATIC" class: its text on the background its parent chooses (WM_CTLCOLORSTATIC). It
// is transparent to the mouse, so clicks go to the window beneath, unless SS_NOTIFY.
#include "kernel/no_throw.h"
#include "user/controls.h"

namespace korutil::detail {
namespace {

constexpr DWORD kNotify = 0x0100; // SS_NOTIFY

} // namespace

LRESULT CALLBACK staticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return korutil::detail::failOnBadAlloc(LRESULT(0), [&]() -> LRESULT {
        switch (message) {
        case WM_NCHITTEST:
            return (GetWindowLongA(hwnd, GWL_STYLE) & kNotify) ? HTCLIENT : HTTRANSPARENT;
        case WM_ERASEBKGND:
            return 1; // painted with the text
        case WM_SETFONT:
            return setControlFont(hwnd, reinterpret_cast<HFONT>(wParam), lParam != 0);
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(controlFont(hwnd));
        case WM_PAINT: {
            PAINTSTRUCT ps;
            if (HDC hdc = BeginPaint(hwnd, &ps)) {
                paintStatic(hwnd, hdc);
                EndPaint(hwnd, &ps);
            }
            return 0;
        }
        case WM_SETTEXT: {
            const LRESULT result = DefWindowProcA(hwnd, message, wParam, lParam);
            InvalidateRect(hwnd, nullptr, TRUE);
            return result;
        }
        case WM_ENABLE:
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
        }
    });
}

} // namespace korutil::detail
