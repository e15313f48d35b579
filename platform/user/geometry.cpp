// Window and client rectangles, the frame rule, and coordinates mapped between windows
// through their parents.
#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "user/input.h"
#include "user/metrics.h"
#include "user/window.h"

#include <korutil/platform/errors.h>

#include <algorithm>

using namespace korutil::detail;

namespace {

LONG clampLong(long long value) {
    return static_cast<LONG>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

// The client origin in screen coordinates; the desktop (or null) is the screen itself.
bool originOf(HWND hwnd, POINT& origin) {
    if (!hwnd) {
        origin = POINT{0, 0};
        return true;
    }
    Window* w = windowOrFail(hwnd);
    if (!w) {
        return false;
    }
    origin = w->parent ? clientOrigin(w) : POINT{0, 0};
    return true;
}

} // namespace

extern "C" BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hWnd);
        if (!w) {
            return FALSE;
        }
        if (!lpRect) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *lpRect = screenRect(w);
        return TRUE;
    });
}

extern "C" BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hWnd);
        if (!w) {
            return FALSE;
        }
        if (!lpRect) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *lpRect = RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
        return TRUE;
    });
}

extern "C" BOOL WINAPI AdjustWindowRectEx(LPRECT lpRect, DWORD dwStyle, BOOL bMenu,
                                          DWORD dwExStyle) {
    if (!lpRect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const FrameLayout f = frameLayout(dwStyle, dwExStyle, bMenu != FALSE);
    *lpRect = RECT{clampLong(static_cast<long long>(lpRect->left) - f.left),
                   clampLong(static_cast<long long>(lpRect->top) - f.top),
                   clampLong(static_cast<long long>(lpRect->right) + f.right),
                   clampLong(static_cast<long long>(lpRect->bottom) + f.bottom)};
    return TRUE;
}

extern "C" BOOL WINAPI AdjustWindowRect(LPRECT lpRect, DWORD dwStyle, BOOL bMenu) {
    return AdjustWindowRectEx(lpRect, dwStyle, bMenu, 0);
}

extern "C" int WINAPI MapWindowPoints(HWND hWndFrom, HWND hWndTo, LPPOINT lpPoints, UINT cPoints) {
    return korutil::detail::failOnBadAlloc(0, [&]() -> int {
        UiLock lock(uiMutex());
        POINT from{};
        POINT to{};
        if (!originOf(hWndFrom, from) || !originOf(hWndTo, to)) {
            return 0;
        }
        const long long dx = static_cast<long long>(from.x) - to.x;
        const long long dy = static_cast<long long>(from.y) - to.y;
        for (UINT i = 0; lpPoints && i < cPoints; ++i) {
            lpPoints[i].x = clampLong(lpPoints[i].x + dx);
            lpPoints[i].y = clampLong(lpPoints[i].y + dy);
        }
        // The documented result: the horizontal offset in the low word, the vertical in the high.
        return static_cast<int>(MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy)));
    });
}

namespace {

// Moves the point by the window's client origin: +1 from client to screen, -1 back.
BOOL mapPoint(HWND hWnd, LPPOINT lpPoint, long long direction) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        if (!hWnd) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        UiLock lock(uiMutex());
        POINT origin{};
        if (!originOf(hWnd, origin)) {
            return FALSE;
        }
        if (!lpPoint) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        lpPoint->x = clampLong(static_cast<long long>(lpPoint->x) + direction * origin.x);
        lpPoint->y = clampLong(static_cast<long long>(lpPoint->y) + direction * origin.y);
        return TRUE;
    });
}

} // namespace

extern "C" BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
    return mapPoint(hWnd, lpPoint, 1);
}

extern "C" BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
    return mapPoint(hWnd, lpPoint, -1);
}

extern "C" HWND WINAPI WindowFromPoint(POINT Point) {
    return failOnBadAlloc<HWND>(nullptr, [&]() -> HWND {
        UiLock lock(uiMutex());
        Window* w = windowAtPoint(Point);
        return w ? w->handle : nullptr;
    });
}

extern "C" HWND WINAPI ChildWindowFromPoint(HWND hWndParent, POINT Point) {
    return korutil::detail::failOnBadAlloc(HWND(nullptr), [&]() -> HWND {
        UiLock lock(uiMutex());
        Window* parent = windowOrFail(hWndParent);
        if (!parent) {
            return nullptr;
        }
        const RECT client{0, 0, parent->client.right - parent->client.left,
                          parent->client.bottom - parent->client.top};
        if (!contains(client, Point.x, Point.y)) {
            return nullptr;
        }
        // Immediate children only, hidden and disabled ones included, as documented.
        for (Window* child : parent->children) {
            if (contains(child->rect, Point.x, Point.y)) {
                return child->handle;
            }
        }
        return parent->handle;
    });
}
