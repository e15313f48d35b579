#include "user/position.h"

#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "user/activation.h"
#include "user/classes.h"
#include "user/compose.h"
#include "user/messages.h"
#include "user/metrics.h"
#include "user/paint.h"
#include "user/position_flags.h"
#include "user/queue.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/threads.h>

#include <algorithm>

namespace korutil::detail {
namespace {

constexpr int kMinimizedPosition = -32000; // where Windows parks minimised top-level windows

int widthOf(const RECT& r) {
    return r.right - r.left;
}
int heightOf(const RECT& r) {
    return r.bottom - r.top;
}

FrameLayout frameOf(const Window* window) {
    const bool menuBar = window->menu && !(window->style & WS_CHILD) && isTopLevel(window);
    return frameLayout(window->style, window->exStyle, menuBar);
}

// The client area in the parent's coordinates.
RECT clientInParent(const Window* w) {
    return offset(w->client, w->rect.left, w->rect.top);
}

struct Snapshot {
    RECT rect;
    RECT client;
    bool visible;
    RECT onScreen;
};

Snapshot snapshotOf(const Window* w) {
    return Snapshot{w->rect, clientInParent(w), (w->style & WS_VISIBLE) != 0, visibleScreenRect(w)};
}

// Flags that the request does not need: no change of size, place, z-order or visibility.
UINT fixFlags(const Window* w, const WINDOWPOS& pos) {
    UINT flags = pos.flags;
    if (!(flags & SWP_NOSIZE) && pos.cx == widthOf(w->rect) && pos.cy == heightOf(w->rect)) {
        flags |= SWP_NOSIZE;
    }
    if (!(flags & SWP_NOMOVE) && pos.x == w->rect.left && pos.y == w->rect.top) {
        flags |= SWP_NOMOVE;
    }
    if (pos.hwndInsertAfter == w->handle) {
        flags |= SWP_NOZORDER;
    }
    const bool visible = (w->style & WS_VISIBLE) != 0;
    if (visible) {
        flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
    } else {
        flags &= ~static_cast<UINT>(SWP_HIDEWINDOW);
    }
    // Only a top-level window that is or becomes visible can be activated.
    if (!isTopLevel(w) || (w->exStyle & WS_EX_NOACTIVATE) ||
        (!visible && !(flags & SWP_SHOWWINDOW)) || (flags & SWP_HIDEWINDOW)) {
        flags |= SWP_NOACTIVATE;
    }
    return flags;
}

// Repaints what the change uncovered or spoiled; the window's own surface keeps its pixels,
// so a move alone needs nothing.
void invalidateAfterChange(Window* w, const Snapshot& before, UINT flags) {
    if ((flags & SWP_NOREDRAW) || !visibleWithAncestors(w)) {
        return;
    }
    if (!before.visible) {
        invalidateTree(w, true, true);
        return;
    }
    const bool resized =
        widthOf(before.rect) != widthOf(w->rect) || heightOf(before.rect) != heightOf(w->rect);
    if (flags & SWP_FRAMECHANGED) {
        invalidateWindow(w, nullptr, true, true);
        return;
    }
    if (!resized) {
        return;
    }
    const UINT classStyle = w->windowClass->style;
    const int oldWidth = widthOf(before.client);
    const int oldHeight = heightOf(before.client);
    const int newWidth = widthOf(w->client);
    const int newHeight = heightOf(w->client);
    if (((classStyle & CS_HREDRAW) && oldWidth != newWidth) ||
        ((classStyle & CS_VREDRAW) && oldHeight != newHeight)) {
        invalidateWindow(w, nullptr, true, true);
        return;
    }
    const RECT right{oldWidth, 0, newWidth, newHeight};
    const RECT bottom{0, oldHeight, newWidth, newHeight};
    invalidateWindow(w, &right, true, true);
    invalidateWindow(w, &bottom, true, true);
}

void activateOnItsThread(HWND hwnd, const std::shared_ptr<ThreadQueue>& queue) {
    if (!queue) {
        return;
    }
    runOnThread(*queue, [hwnd] { activateWindow(hwnd, WA_ACTIVE); });
}

} // namespace

bool wantsMinMaxInfo(DWORD style) {
    return (style & WS_THICKFRAME) || (style & (WS_POPUP | WS_CHILD)) == 0;
}

MINMAXINFO queryMinMaxInfo(HWND hwnd) {
    MINMAXINFO info{};
    {
        UiLock lock(uiMutex());
        Window* w = findWindow(hwnd);
        const RECT work = workArea();
        const int border = w ? frameOf(w).border() : 0;
        info.ptMaxSize = POINT{widthOf(work) + 2 * border, heightOf(work) + 2 * border};
        info.ptMaxPosition = POINT{work.left - border, work.top - border};
        info.ptMinTrackSize = POINT{systemMetric(SM_CXMINTRACK), systemMetric(SM_CYMINTRACK)};
        info.ptMaxTrackSize = POINT{systemMetric(SM_CXMAXTRACK), systemMetric(SM_CYMAXTRACK)};
    }
    sendMessage(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    return info;
}

RECT clientForWindowRect(const Window* window, const RECT& r) {
    const FrameLayout f = frameOf(window);
    RECT client{r.left + f.left, r.top + f.top, r.right - f.right, r.bottom - f.bottom};
    if (window->style & WS_VSCROLL) {
        client.right -= systemMetric(SM_CXVSCROLL);
    }
    if (window->style & WS_HSCROLL) {
        client.bottom -= systemMetric(SM_CYHSCROLL);
    }
    if (window->style & WS_MINIMIZE) {
        client.right = client.left;
        client.bottom = client.top;
    }
    client.right = std::max(client.right, client.left);
    client.bottom = std::max(client.bottom, client.top);
    return client;
}

void sendSizeAndMove(HWND hwnd) {
    WPARAM type = SIZE_RESTORED;
    LPARAM size = 0;
    LPARAM place = 0;
    {
        UiLock lock(uiMutex());
        Window* w = findWindow(hwnd);
        if (!w) {
            return;
        }
        type = (w->style & WS_MINIMIZE)   ? SIZE_MINIMIZED
               : (w->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED
                                          : SIZE_RESTORED;
        const RECT client = clientInParent(w);
        size = MAKELPARAM(widthOf(client), heightOf(client));
        place = MAKELPARAM(client.left, client.top);
        w->sizeMessagesPending = false;
    }
    sendMessage(hwnd, WM_SIZE, type, size);
    sendMessage(hwnd, WM_MOVE, 0, place);
}

bool setWindowPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags) {
    WINDOWPOS pos{hwnd,          after,         clampCoordinate(x),     clampCoordinate(y),
                  clampSize(cx), clampSize(cy), flags & kPublicSwpFlags};
    {
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hwnd);
        if (!w) {
            return false;
        }
        if (!w->parent) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        pos.flags = fixFlags(w, pos);
    }
    if (!(pos.flags & SWP_NOSENDCHANGING)) {
        sendMessage(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
    }
    NCCALCSIZE_PARAMS calc{};
    bool recalc = false;
    {
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hwnd);
        if (!w) {
            return false;
        }
        pos.flags = fixFlags(w, pos);
        const RECT& r = w->rect;
        const int nx = (pos.flags & SWP_NOMOVE) ? r.left : clampCoordinate(pos.x);
        const int ny = (pos.flags & SWP_NOMOVE) ? r.top : clampCoordinate(pos.y);
        const int ncx = (pos.flags & SWP_NOSIZE) ? widthOf(r) : clampSize(pos.cx);
        const int ncy = (pos.flags & SWP_NOSIZE) ? heightOf(r) : clampSize(pos.cy);
        recalc = !(pos.flags & SWP_NOMOVE) || !(pos.flags & SWP_NOSIZE) ||
                 (pos.flags & SWP_FRAMECHANGED);
        calc.rgrc[0] = RECT{nx, ny, nx + ncx, ny + ncy};
        calc.rgrc[1] = r;
        calc.rgrc[2] = clientInParent(w);
        calc.lppos = &pos;
    }
    const RECT newRect = calc.rgrc[0];
    if (recalc) {
        sendMessage(hwnd, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&calc));
    }
    bool wasActive = false;
    bool activate = false;
    bool paintNow = false;
    std::shared_ptr<ThreadQueue> queue;
    {
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hwnd);
        if (!w) {
            return false;
        }
        const Snapshot before = snapshotOf(w);
        w->rect = newRect;
        if (recalc) {
            const RECT client = calc.rgrc[0];
            const int width = widthOf(newRect);
            const int height = heightOf(newRect);
            RECT local = offset(client, -newRect.left, -newRect.top);
            local.left = std::clamp<LONG>(local.left, 0, width);
            local.top = std::clamp<LONG>(local.top, 0, height);
            local.right = std::clamp<LONG>(local.right, local.left, width);
            local.bottom = std::clamp<LONG>(local.bottom, local.top, height);
            w->client = local;
        }
        if (!(pos.flags & SWP_NOZORDER)) {
            linkChild(w->parent, w, pos.hwndInsertAfter);
        }
        if (pos.flags & SWP_SHOWWINDOW) {
            w->style |= WS_VISIBLE;
        } else if (pos.flags & SWP_HIDEWINDOW) {
            w->style &= ~static_cast<DWORD>(WS_VISIBLE);
        }
        if (widthOf(before.rect) != widthOf(w->rect) ||
            heightOf(before.rect) != heightOf(w->rect)) {
            resizeSurface(w);
        }
        const RECT clientNow = clientInParent(w);
        if (widthOf(clientNow) == widthOf(before.client) &&
            heightOf(clientNow) == heightOf(before.client)) {
            pos.flags |= kNoClientSize;
        }
        if (clientNow.left == before.client.left && clientNow.top == before.client.top) {
            pos.flags |= kNoClientMove;
        }
        const RECT onScreen = visibleScreenRect(w);
        if (!EqualRect(&onScreen, &before.onScreen) || !(pos.flags & SWP_NOZORDER)) {
            damageScreen(before.onScreen);
            damageScreen(onScreen);
        }
        invalidateAfterChange(w, before, pos.flags);
        if (isTopLevel(w)) {
            if ((pos.flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE)) {
                notifyObserver(w, WindowObserver::Change::Geometry);
            }
            if (pos.flags & SWP_SHOWWINDOW) {
                notifyObserver(w, WindowObserver::Change::Shown);
            }
            if (pos.flags & SWP_HIDEWINDOW) {
                notifyObserver(w, WindowObserver::Change::Hidden);
            }
            if (!(pos.flags & SWP_NOZORDER)) {
                notifyObserver(w, WindowObserver::Change::ZOrder);
            }
        }
        queue = w->queue;
        wasActive = queue && queue->active == hwnd;
        activate = !(pos.flags & SWP_NOACTIVATE);
        paintNow = isTopLevel(w) && !(pos.flags & SWP_NOREDRAW) && visibleWithAncestors(w) &&
                   (w->frameNeeded || w->eraseNeeded) && queue &&
                   queue->threadId == GetCurrentThreadId();
    }
    if (activate) {
        if (queue && queue->threadId == GetCurrentThreadId()) {
            activateWindow(hwnd, WA_ACTIVE);
        } else {
            UiLock lock(uiMutex());
            activateOnItsThread(hwnd, queue);
        }
    }
    if ((pos.flags & SWP_HIDEWINDOW) && wasActive) {
        bool handOn = false;
        {
            UiLock lock(uiMutex());
            Window* w = findWindow(hwnd);
            handOn = w && !w->destroying;
            if (handOn && queue->threadId != GetCurrentThreadId()) {
                runOnThread(*queue, [hwnd] { activateNextAfter(hwnd); });
                handOn = false;
            }
        }
        if (handOn) {
            activateNextAfter(hwnd);
        }
    }
    if (paintNow) {
        paintFrameAndBackgroundNow(hwnd);
    }
    sendMessage(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
    return true;
}

bool showWindow(HWND hwnd, int command) {
    bool wasVisible = false;
    DWORD style = 0;
    RECT restore{};
    bool child = false;
    {
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hwnd);
        if (!w) {
            return false;
        }
        wasVisible = (w->style & WS_VISIBLE) != 0;
        style = w->style;
        restore = w->restoreRect;
        child = !isTopLevel(w);
    }
    UINT flags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER;
    RECT target{};
    DWORD newState = style & (WS_MINIMIZE | WS_MAXIMIZE);
    switch (command) {
    case SW_HIDE:
        if (!wasVisible) {
            return false;
        }
        flags |= SWP_HIDEWINDOW | SWP_NOACTIVATE;
        break;
    case SW_SHOWNOACTIVATE:
    case SW_SHOWNA:
        flags |= SWP_SHOWWINDOW | SWP_NOACTIVATE;
        break;
    case SW_SHOW:
        flags |= SWP_SHOWWINDOW;
        break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
    case SW_SHOWDEFAULT:
        flags |= SWP_SHOWWINDOW;
        if (newState) {
            newState = 0;
            target = restore;
            flags &= ~static_cast<UINT>(SWP_NOSIZE | SWP_NOMOVE);
            flags |= SWP_FRAMECHANGED;
        }
        break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE:
        flags |= SWP_SHOWWINDOW;
        if (command != SW_SHOWMINIMIZED) {
            flags |= SWP_NOACTIVATE;
        }
        if (!(style & WS_MINIMIZE)) {
            newState = WS_MINIMIZE;
            const int left = child ? 0 : kMinimizedPosition;
            target = RECT{left, left, left + systemMetric(SM_CXMINIMIZED),
                          left + systemMetric(SM_CYMINIMIZED)};
            flags &= ~static_cast<UINT>(SWP_NOSIZE | SWP_NOMOVE);
            flags |= SWP_FRAMECHANGED;
        }
        break;
    case SW_SHOWMAXIMIZED:
        flags |= SWP_SHOWWINDOW;
        if (!(style & WS_MAXIMIZE)) {
            const MINMAXINFO info = queryMinMaxInfo(hwnd);
            newState = WS_MAXIMIZE;
            target = RECT{info.ptMaxPosition.x, info.ptMaxPosition.y,
                          info.ptMaxPosition.x + info.ptMaxSize.x,
                          info.ptMaxPosition.y + info.ptMaxSize.y};
            flags &= ~static_cast<UINT>(SWP_NOSIZE | SWP_NOMOVE);
            flags |= SWP_FRAMECHANGED;
        }
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (child) {
        flags |= SWP_NOACTIVATE;
    }
    if (newState != (style & (WS_MINIMIZE | WS_MAXIMIZE))) {
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hwnd);
        if (!w) {
            return false;
        }
        if (!(w->style & (WS_MINIMIZE | WS_MAXIMIZE))) {
            w->restoreRect = w->rect;
        }
        w->style = (w->style & ~static_cast<DWORD>(WS_MINIMIZE | WS_MAXIMIZE)) | newState;
    }
    const bool becomesVisible = (flags & SWP_SHOWWINDOW) && !wasVisible;
    if (becomesVisible || (flags & SWP_HIDEWINDOW)) {
        sendMessage(hwnd, WM_SHOWWINDOW, becomesVisible, 0);
    }
    const bool changes = becomesVisible || (flags & SWP_HIDEWINDOW) || !(flags & SWP_NOSIZE);
    if (changes) {
        setWindowPos(hwnd, nullptr, target.left, target.top, widthOf(target), heightOf(target),
                     flags);
    } else if (!(flags & SWP_NOACTIVATE)) {
        activateWindow(hwnd, WA_ACTIVE);
    }
    bool pending = false;
    {
        UiLock lock(uiMutex());
        Window* w = findWindow(hwnd);
        pending = w && w->sizeMessagesPending && (w->style & WS_VISIBLE);
    }
    if (pending) {
        sendSizeAndMove(hwnd);
    }
    return wasVisible;
}

} // namespace korutil::detail

using namespace korutil::detail;

extern "C" BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy,
                                    UINT uFlags) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        if (uFlags & SWP_ASYNCWINDOWPOS) {
            // The window's own thread does it when it next looks at its messages.
            UiLock lock(uiMutex());
            Window* w = windowOrFail(hWnd);
            if (!w) {
                return FALSE;
            }
            if (w->queue && w->threadId != GetCurrentThreadId()) {
                const UINT flags = uFlags & ~static_cast<UINT>(SWP_ASYNCWINDOWPOS);
                return runOnThread(
                    *w->queue, [=] { setWindowPos(hWnd, hWndInsertAfter, X, Y, cx, cy, flags); });
            }
        }
        return setWindowPos(hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags);
    });
}

extern "C" BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        return setWindowPos(hWnd, nullptr, X, Y, nWidth, nHeight,
                            SWP_NOZORDER | SWP_NOACTIVATE | (bRepaint ? 0 : SWP_NOREDRAW));
    });
}

extern "C" BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL { return showWindow(hWnd, nCmdShow); });
}
