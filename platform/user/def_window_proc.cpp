// DefWindowProcA: the documented default answers. Caption buttons and caption drags run small
// modal loops of their own on GetMessage, with the mouse captured, as Windows does.
#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "kernel/text_encoding.h"
#include "user/activation.h"
#include "user/classes.h"
#include "user/compose.h"
#include "user/frame_paint.h"
#include "user/input.h"
#include "user/messages.h"
#include "user/nonclient.h"
#include "user/paint.h"
#include "user/position.h"
#include "user/position_flags.h"
#include "user/window.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/menus.h>

#include <algorithm>
#include <cstring>

using namespace korutil::detail;

namespace {

POINT pointOf(LPARAM lParam) {
    return POINT{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))};
}

HWND parentOf(HWND hwnd) {
    UiLock lock(uiMutex());
    Window* w = findWindow(hwnd);
    return w && (w->style & WS_CHILD) && w->parent && w->parent->parent ? w->parent->handle
                                                                        : nullptr;
}

LRESULT setText(HWND hwnd, LPCSTR text) {
    bool redrawCaption = false;
    {
        UiLock lock(uiMutex());
        Window* w = findWindow(hwnd);
        if (!w) {
            return FALSE;
        }
        w->text = text ? text : "";
        redrawCaption = (w->style & WS_CAPTION) == WS_CAPTION && visibleWithAncestors(w);
        if (redrawCaption) {
            w->frameNeeded = true;
        }
        notifyObserver(w, WindowObserver::Change::Title);
    }
    if (redrawCaption) {
        paintFrameAndBackgroundNow(hwnd);
    }
    return TRUE;
}

LRESULT getText(HWND hwnd, WPARAM size, LPSTR buffer) {
    if (!buffer || size == 0) {
        return 0;
    }
    UiLock lock(uiMutex());
    Window* w = findWindow(hwnd);
    if (!w) {
        buffer[0] = '\0';
        return 0;
    }
    const std::string& text = w->text;
    const std::size_t count = utf8CutPoint(text.data(), text.size(), size - 1);
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    return static_cast<LRESULT>(count);
}

// A mouse message of the capture window, in screen coordinates.
POINT screenPointOf(HWND hwnd, LPARAM lParam) {
    POINT p = pointOf(lParam);
    ClientToScreen(hwnd, &p);
    return p;
}

// Tracks a press on a caption button until the button comes up; true when it comes up over
// the same button.
bool trackButton(HWND hwnd, LRESULT hit) {
    SetCapture(hwnd);
    bool over = true;
    setPressedCaptionButton(hwnd, static_cast<int>(hit));
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) {
                PostQuitMessage(static_cast<int>(msg.wParam)); // for the loop outside ours
            }
            over = false;
            break;
        }
        if (GetCapture() != hwnd || !IsWindow(hwnd)) {
            DispatchMessageA(&msg);
            over = false;
            break;
        }
        if (msg.hwnd == hwnd && (msg.message == WM_MOUSEMOVE || msg.message == WM_LBUTTONUP)) {
            LRESULT now = HTNOWHERE;
            {
                UiLock lock(uiMutex());
                if (Window* w = findWindow(hwnd)) {
                    now = hitTest(w, screenPointOf(hwnd, msg.lParam));
                }
            }
            over = now == hit;
            setPressedCaptionButton(hwnd, over ? static_cast<int>(hit) : HTNOWHERE);
            if (msg.message == WM_LBUTTONUP) {
                break;
            }
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    setPressedCaptionButton(hwnd, HTNOWHERE);
    if (GetCapture() == hwnd) {
        ReleaseCapture();
    }
    return over && IsWindow(hwnd);
}

// Moves the window with the mouse until the left button comes up.
void trackMove(HWND hwnd, POINT start) {
    RECT origin{};
    {
        UiLock lock(uiMutex());
        Window* w = findWindow(hwnd);
        if (!w) {
            return;
        }
        origin = w->rect;
    }
    sendMessage(hwnd, WM_ENTERSIZEMOVE, 0, 0);
    SetCapture(hwnd);
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) {
                PostQuitMessage(static_cast<int>(msg.wParam));
            }
            break;
        }
        if (GetCapture() != hwnd || !IsWindow(hwnd)) {
            DispatchMessageA(&msg);
            break;
        }
        if (msg.hwnd == hwnd && (msg.message == WM_MOUSEMOVE || msg.message == WM_LBUTTONUP)) {
            const POINT at = screenPointOf(hwnd, msg.lParam);
            setWindowPos(hwnd, nullptr, origin.left + (at.x - start.x),
                         origin.top + (at.y - start.y), 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            if (msg.message == WM_LBUTTONUP) {
                break;
            }
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (GetCapture() == hwnd) {
        ReleaseCapture();
    }
    sendMessage(hwnd, WM_EXITSIZEMOVE, 0, 0);
}

LRESULT sysCommand(HWND hwnd, WPARAM command, LPARAM lParam) {
    switch (command & 0xFFF0) {
    case SC_CLOSE:
        sendMessage(hwnd, WM_CLOSE, 0, 0);
        return 0;
    case SC_MINIMIZE:
        showWindow(hwnd, SW_MINIMIZE);
        return 0;
    case SC_MAXIMIZE:
        showWindow(hwnd, SW_MAXIMIZE);
        return 0;
    case SC_RESTORE:
        showWindow(hwnd, SW_RESTORE);
        return 0;
    case SC_MOVE:
        trackMove(hwnd, pointOf(lParam));
        return 0;
    default:
        return 0;
    }
}

LRESULT ncButtonDown(HWND hwnd, WPARAM hit, LPARAM lParam) {
    switch (hit) {
    case HTCLOSE:
        if (trackButton(hwnd, HTCLOSE)) {
            sendMessage(hwnd, WM_SYSCOMMAND, SC_CLOSE, lParam);
        }
        return 0;
    case HTMINBUTTON:
    case HTMAXBUTTON:
        if (trackButton(hwnd, static_cast<LRESULT>(hit))) {
            DWORD style = 0;
            {
                UiLock lock(uiMutex());
                Window* w = findWindow(hwnd);
                style = w ? w->style : 0;
            }
            const WPARAM command = hit == HTMINBUTTON      ? SC_MINIMIZE
                                   : (style & WS_MAXIMIZE) ? SC_RESTORE
                                                           : SC_MAXIMIZE;
            sendMessage(hwnd, WM_SYSCOMMAND, command, lParam);
        }
        return 0;
    case HTCAPTION: {
        DWORD style = 0;
        {
            UiLock lock(uiMutex());
            Window* w = findWindow(hwnd);
            style = w ? w->style : 0;
        }
        if (!(style & WS_MAXIMIZE)) {
            sendMessage(hwnd, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, lParam);
        }
        return 0;
    }
    default:
        return 0;
    }
}

LRESULT setCursor(HWND hwnd, WPARAM target, LPARAM lParam) {
    if (HWND parent = parentOf(hwnd)) {
        if (sendMessage(parent, WM_SETCURSOR, target, lParam)) {
            return TRUE;
        }
    }
    const int hit = static_cast<SHORT>(LOWORD(lParam));
    HCURSOR cursor = nullptr;
    if (LPCSTR standard = cursorForHit(hit)) {
        cursor = LoadCursorA(nullptr, standard);
    } else {
        UiLock lock(uiMutex());
        Window* w = findWindow(hwnd);
        cursor = w ? w->windowClass->cursor : nullptr;
        if (!cursor) {
            return FALSE;
        }
    }
    SetCursor(cursor);
    return hit == HTCLIENT;
}

LRESULT windowPosChanging(HWND hwnd, WINDOWPOS* pos) {
    if (!pos || (pos->flags & SWP_NOSIZE)) {
        return 0;
    }
    DWORD style = 0;
    {
        UiLock lock(uiMutex());
        Window* w = findWindow(hwnd);
        style = w ? w->style : 0;
    }
    if (!wantsMinMaxInfo(style) || (style & (WS_MINIMIZE | WS_MAXIMIZE))) {
        return 0;
    }
    const MINMAXINFO info = queryMinMaxInfo(hwnd);
    pos->cx = std::clamp<int>(pos->cx, info.ptMinTrackSize.x,
                              std::max(info.ptMinTrackSize.x, info.ptMaxTrackSize.x));
    pos->cy = std::clamp<int>(pos->cy, info.ptMinTrackSize.y,
                              std::max(info.ptMinTrackSize.y, info.ptMaxTrackSize.y));
    return 0;
}

LRESULT windowPosChanged(HWND hwnd, const WINDOWPOS* pos) {
    if (!pos) {
        return 0;
    }
    WPARAM type = SIZE_RESTORED;
    RECT client{};
    {
        UiLock lock(uiMutex());
        Window* w = findWindow(hwnd);
        if (!w) {
            return 0;
        }
        type = (w->style & WS_MINIMIZE)   ? SIZE_MINIMIZED
               : (w->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED
                                          : SIZE_RESTORED;
        client = offset(w->client, w->rect.left, w->rect.top);
    }
    if (!(pos->flags & kNoClientMove)) {
        sendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(client.left, client.top));
    }
    if (!(pos->flags & kNoClientSize)) {
        sendMessage(hwnd, WM_SIZE, type,
                    MAKELPARAM(client.right - client.left, client.bottom - client.top));
    }
    return 0;
}

LRESULT ncCalcSize(HWND hwnd, WPARAM calcRects, LPARAM lParam) {
    if (!lParam) {
        return 0;
    }
    UiLock lock(uiMutex());
    Window* w = findWindow(hwnd);
    if (!w) {
        return 0;
    }
    RECT* area = calcRects ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0]
                           : reinterpret_cast<RECT*>(lParam);
    *area = clientForWindowRect(w, *area);
    return 0;
}

LRESULT ncHitTest(HWND hwnd, LPARAM lParam) {
    UiLock lock(uiMutex());
    Window* w = findWindow(hwnd);
    return w ? hitTest(w, pointOf(lParam)) : HTNOWHERE;
}

LRESULT controlColor(WPARAM hdc) {
    SetTextColor(reinterpret_cast<HDC>(hdc), GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(reinterpret_cast<HDC>(hdc), GetSysColor(COLOR_3DFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_3DFACE));
}

LRESULT defaultProcedure(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    switch (Msg) {
    case WM_NCCREATE: {
        const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        // A name that starts with 0xFF is a resource ordinal, not text.
        if (cs && cs->lpszName && static_cast<unsigned char>(cs->lpszName[0]) != 0xFF) {
            UiLock lock(uiMutex());
            if (Window* w = findWindow(hWnd)) {
                w->text = cs->lpszName;
            }
        }
        return TRUE;
    }
    case WM_NCCALCSIZE:
        return ncCalcSize(hWnd, wParam, lParam);
    case WM_NCHITTEST:
        return ncHitTest(hWnd, lParam);
    case WM_NCPAINT:
        paintFrame(hWnd);
        return 0;
    case WM_NCACTIVATE: {
        bool changed = false;
        {
            UiLock lock(uiMutex());
            Window* w = findWindow(hWnd);
            if (w && w->captionActive != (wParam != FALSE)) {
                w->captionActive = wParam != FALSE;
                changed = visibleWithAncestors(w);
            }
        }
        if (changed) {
            paintFrame(hWnd);
        }
        return TRUE;
    }
    case WM_ERASEBKGND:
        return eraseBackground(hWnd, reinterpret_cast<HDC>(wParam));
    case WM_PAINT: {
        PAINTSTRUCT ps;
        if (BeginPaint(hWnd, &ps)) {
            EndPaint(hWnd, &ps);
        }
        return 0;
    }
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_SETTEXT:
        return setText(hWnd, reinterpret_cast<LPCSTR>(lParam));
    case WM_GETTEXT:
        return getText(hWnd, wParam, reinterpret_cast<LPSTR>(lParam));
    case WM_GETTEXTLENGTH: {
        UiLock lock(uiMutex());
        Window* w = findWindow(hWnd);
        return w ? static_cast<LRESULT>(w->text.size()) : 0;
    }
    case WM_WINDOWPOSCHANGING:
        return windowPosChanging(hWnd, reinterpret_cast<WINDOWPOS*>(lParam));
    case WM_WINDOWPOSCHANGED:
        return windowPosChanged(hWnd, reinterpret_cast<const WINDOWPOS*>(lParam));
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam)) {
            setFocusWindow(hWnd);
        }
        return 0;
    case WM_MOUSEACTIVATE:
        if (HWND parent = parentOf(hWnd)) {
            if (const LRESULT answer = sendMessage(parent, WM_MOUSEACTIVATE, wParam, lParam)) {
                return answer;
            }
        }
        return MA_ACTIVATE;
    case WM_SETCURSOR:
        return setCursor(hWnd, wParam, lParam);
    case WM_MOUSEWHEEL:
        if (HWND parent = parentOf(hWnd)) {
            return sendMessage(parent, WM_MOUSEWHEEL, wParam, lParam);
        }
        return 0;
    case WM_NCLBUTTONDOWN:
        return ncButtonDown(hWnd, wParam, lParam);
    case WM_NCLBUTTONDBLCLK:
        if (wParam == HTCAPTION) {
            DWORD style = 0;
            {
                UiLock lock(uiMutex());
                Window* w = findWindow(hWnd);
                style = w ? w->style : 0;
            }
            if (style & WS_MAXIMIZEBOX) {
                sendMessage(hWnd, WM_SYSCOMMAND, (style & WS_MAXIMIZE) ? SC_RESTORE : SC_MAXIMIZE,
                            0);
            }
        }
        return 0;
    case WM_SYSCOMMAND:
        return sysCommand(hWnd, wParam, lParam);
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4 && (lParam & (1 << 29))) {
            sendMessage(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        return 0;
    case WM_CANCELMODE:
        // Cancels the thread's menu, as it does any mode that holds the mouse.
        EndMenu();
        if (GetCapture() == hWnd) {
            ReleaseCapture();
        }
        return 0;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
        return controlColor(wParam);
    default:
        return 0;
    }
}

} // namespace

extern "C" LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    return failOnBadAlloc<LRESULT>(0, [&] { return defaultProcedure(hWnd, Msg, wParam, lParam); });
}
