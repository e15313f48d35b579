// The "BUTTON" class. A press captures the mouse and takes the focus; the button shows pushed
// while the mouse is down inside it, and a release inside sends WM_COMMAND with BN_CLICKED to
// the parent. Owner-drawn buttons ask their parent to draw through WM_DRAWITEM: the whole
// button on WM_PAINT, the pushed state (ODA_SELECT) and the focus (ODA_FOCUS) as they change.
#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "user/controls.h"
#include "user/messages.h"
#include "user/window.h"

namespace korutil::detail {
namespace {

// controlState bits beyond the BST_ ones: the mouse (or space bar) is holding the button.
constexpr UINT kTracking = 0x0100;
constexpr UINT kCheckMask = 0x0003;

struct ButtonInfo {
    UINT state = 0;
    DWORD style = 0;
    UINT_PTR id = 0;
    HWND parent = nullptr;
    RECT client{};
    bool alive = false;
};

ButtonInfo infoOf(HWND hwnd) {
    ButtonInfo info;
    UiLock lock(uiMutex());
    Window* w = findWindow(hwnd);
    if (!w) {
        return info;
    }
    info.alive = true;
    info.state = w->controlState;
    info.style = w->style;
    info.id = w->id;
    Window* parent = (w->style & WS_CHILD) ? w->parent : w->owner;
    info.parent = parent && parent->parent ? parent->handle : nullptr;
    info.client = RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
    return info;
}

void setState(HWND hwnd, UINT set, UINT clear) {
    UiLock lock(uiMutex());
    if (Window* w = findWindow(hwnd)) {
        w->controlState = (w->controlState & ~clear) | set;
    }
}

bool ownerDrawn(DWORD style) {
    return (style & BS_TYPEMASK) == BS_OWNERDRAW;
}

void draw(HWND hwnd, UINT action, HDC paintDc) {
    const ButtonInfo info = infoOf(hwnd);
    if (!info.alive) {
        return;
    }
    HDC hdc = paintDc ? paintDc : GetDC(hwnd);
    if (!hdc) {
        return;
    }
    if (ownerDrawn(info.style)) {
        if (info.parent) {
            sendMessage(info.parent, WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(hdc),
                        reinterpret_cast<LPARAM>(hwnd));
            UINT itemState = 0;
            itemState |= (info.state & BST_PUSHED) ? ODS_SELECTED : 0;
            itemState |= (info.state & BST_FOCUS) ? ODS_FOCUS : 0;
            itemState |= (info.style & WS_DISABLED) ? ODS_DISABLED : 0;
            DRAWITEMSTRUCT item{ODT_BUTTON, static_cast<UINT>(info.id),
                                0,          action,
                                itemState,  hwnd,
                                hdc,        info.client,
                                0};
            sendMessage(info.parent, WM_DRAWITEM, info.id, reinterpret_cast<LPARAM>(&item));
        }
    } else {
        paintButton(hwnd, hdc, info.state); // asks the parent for its colours itself
    }
    if (!paintDc) {
        ReleaseDC(hwnd, hdc);
    }
}

void setPushed(HWND hwnd, bool pushed) {
    const ButtonInfo info = infoOf(hwnd);
    if (!info.alive || ((info.state & BST_PUSHED) != 0) == pushed) {
        return;
    }
    setState(hwnd, pushed ? BST_PUSHED : 0, pushed ? 0 : BST_PUSHED);
    draw(hwnd, ODA_SELECT, nullptr);
}

void clicked(HWND hwnd) {
    const ButtonInfo info = infoOf(hwnd);
    if (!info.alive) {
        return;
    }
    if ((info.style & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
        const UINT check = (info.state & kCheckMask) == BST_CHECKED ? 0 : BST_CHECKED;
        setState(hwnd, check, kCheckMask);
        InvalidateRect(hwnd, nullptr, FALSE);
    }
    if (info.parent) {
        sendMessage(info.parent, WM_COMMAND, MAKEWPARAM(info.id, BN_CLICKED),
                    reinterpret_cast<LPARAM>(hwnd));
    }
}

bool insideClient(HWND hwnd, LPARAM lParam) {
    const ButtonInfo info = infoOf(hwnd);
    const int x = static_cast<SHORT>(LOWORD(lParam));
    const int y = static_cast<SHORT>(HIWORD(lParam));
    return contains(info.client, x, y);
}

} // namespace

LRESULT CALLBACK buttonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return korutil::detail::failOnBadAlloc(LRESULT(0), [&]() -> LRESULT {
        switch (message) {
        case WM_ERASEBKGND:
            return 1; // the button paints all of itself
        case WM_SETFONT:
            return setControlFont(hwnd, reinterpret_cast<HFONT>(wParam), lParam != 0);
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(controlFont(hwnd));
        case WM_PAINT: {
            PAINTSTRUCT ps;
            if (HDC hdc = BeginPaint(hwnd, &ps)) {
                draw(hwnd, ODA_DRAWENTIRE, hdc);
                EndPaint(hwnd, &ps);
            }
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            SetCapture(hwnd);
            SetFocus(hwnd);
            setState(hwnd, kTracking, 0);
            setPushed(hwnd, true);
            return 0;
        case WM_MOUSEMOVE:
            if ((infoOf(hwnd).state & kTracking) && GetCapture() == hwnd) {
                setPushed(hwnd, insideClient(hwnd, lParam));
            }
            return 0;
        case WM_LBUTTONUP: {
            if (!(infoOf(hwnd).state & kTracking)) {
                return 0;
            }
            const bool inside = insideClient(hwnd, lParam);
            setState(hwnd, 0, kTracking);
            setPushed(hwnd, false);
            if (GetCapture() == hwnd) {
                ReleaseCapture();
            }
            if (inside) {
                clicked(hwnd);
            }
            return 0;
        }
        case WM_CAPTURECHANGED:
            if (infoOf(hwnd).state & kTracking) {
                setState(hwnd, 0, kTracking);
                setPushed(hwnd, false);
            }
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_SPACE && !(infoOf(hwnd).state & kTracking)) {
                setPushed(hwnd, true);
            }
            return 0;
        case WM_KEYUP:
            if (wParam == VK_SPACE && (infoOf(hwnd).state & BST_PUSHED) &&
                !(infoOf(hwnd).state & kTracking)) {
                setPushed(hwnd, false);
                clicked(hwnd);
            }
            return 0;
        case WM_SETFOCUS:
            setState(hwnd, BST_FOCUS, 0);
            draw(hwnd, ODA_FOCUS, nullptr);
            return 0;
        case WM_KILLFOCUS:
            setState(hwnd, 0, BST_FOCUS);
            draw(hwnd, ODA_FOCUS, nullptr);
            if ((infoOf(hwnd).state & kTracking) && GetCapture() == hwnd) {
                ReleaseCapture();
            }
            return 0;
        case WM_ENABLE:
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_SETTEXT: {
            const LRESULT result = DefWindowProcA(hwnd, message, wParam, lParam);
            InvalidateRect(hwnd, nullptr, FALSE);
            return result;
        }
        case BM_GETSTATE:
            return infoOf(hwnd).state & (kCheckMask | BST_PUSHED | BST_FOCUS);
        case BM_SETSTATE:
            setPushed(hwnd, wParam != 0);
            return 0;
        case BM_GETCHECK:
            return infoOf(hwnd).state & kCheckMask;
        case BM_SETCHECK:
            setState(hwnd, static_cast<UINT>(wParam) & kCheckMask, kCheckMask);
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case BM_CLICK:
            // As documented: the button gets a press and a release, and its parent BN_CLICKED.
            sendMessage(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
            sendMessage(hwnd, WM_LBUTTONUP, 0, 0);
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
        }
    });
}

} // namespace korutil::detail
