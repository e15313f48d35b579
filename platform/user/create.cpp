// CreateWindowExA: the window is made and linked in first, then told of its creation in the
// documented order: WM_GETMINMAXINFO (overlapped and sizable windows), WM_NCCREATE,
// WM_NCCALCSIZE, WM_CREATE, then WM_SIZE and WM_MOVE (for overlapped windows these wait for
// the first show), WM_PARENTNOTIFY, and for WS_VISIBLE the show sequence of ShowWindow.
// CW_USEDEFAULT gives an overlapped window the work area's top left corner and three
// quarters of its width and height; pop-up and child windows get zero.
#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "user/classes.h"
#include "user/compose.h"
#include "user/destroy.h"
#include "user/messages.h"
#include "user/metrics.h"
#include "user/parent_notify.h"
#include "user/position.h"
#include "user/procedure.h"
#include "user/queue.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/threads.h>

#include <algorithm>

namespace korutil::detail {
namespace {

bool isOverlapped(DWORD style) {
    return (style & (WS_POPUP | WS_CHILD)) == 0;
}

struct Placement {
    int x, y, cx, cy;
    int showCommand;
};

Placement placeWindow(DWORD style, int x, int y, int cx, int cy) {
    Placement p{x, y, cx, cy, SW_SHOW};
    if (isOverlapped(style)) {
        const RECT work = workArea();
        if (x == CW_USEDEFAULT) {
            // The documented use of y here: with WS_VISIBLE it is the show command.
            if (y != CW_USEDEFAULT) {
                p.showCommand = y;
            }
            p.x = work.left;
            p.y = work.top;
        }
        if (cx == CW_USEDEFAULT) {
            p.cx = (work.right - work.left) * 3 / 4;
            p.cy = (work.bottom - work.top) * 3 / 4;
        }
    } else {
        if (x == CW_USEDEFAULT) {
            p.x = p.y = 0;
        }
        if (cx == CW_USEDEFAULT) {
            p.cx = p.cy = 0;
        }
    }
    if (style & WS_MAXIMIZE) {
        p.showCommand = SW_SHOWMAXIMIZED;
    } else if (style & WS_MINIMIZE) {
        p.showCommand = SW_SHOWMINIMIZED;
    }
    p.x = clampCoordinate(p.x);
    p.y = clampCoordinate(p.y);
    p.cx = clampSize(p.cx);
    p.cy = clampSize(p.cy);
    return p;
}

// The window, made and linked into the tree and its thread; null with the error set.
Window* makeWindow(DWORD exStyle, LPCSTR className, DWORD style, const Placement& place,
                   HWND parentHandle, HMENU menu, HINSTANCE instance) {
    ThreadQueue* queue = currentQueue();
    if (!queue) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::shared_ptr<WindowClass> windowClass = findClass(className, instance);
    if (!windowClass) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    Window* parent = nullptr;
    Window* owner = nullptr;
    if (parentHandle == HWND_MESSAGE) {
        parent = messageRoot();
    } else if (style & WS_CHILD) {
        if (!parentHandle) {
            SetLastError(ERROR_TLW_WITH_WSCHILD);
            return nullptr;
        }
        parent = windowOrFail(parentHandle);
    } else {
        parent = desktop();
        if (parentHandle) {
            Window* given = windowOrFail(parentHandle);
            if (!given) {
                return nullptr;
            }
            // A child named as owner stands for its top-level window.
            owner = given == desktop() ? nullptr : topLevelOf(given);
        }
    }
    if (!parent || parent->destroying) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    auto window = std::make_shared<Window>();
    window->windowClass = windowClass;
    window->queue = queueOfThread(queue->threadId);
    window->threadId = queue->threadId;
    window->style = style & ~static_cast<DWORD>(WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE);
    window->exStyle = exStyle;
    if (isOverlapped(style)) {
        window->style |= WS_CLIPSIBLINGS | WS_CAPTION;
    }
    if ((exStyle & WS_EX_DLGMODALFRAME) || (window->style & (WS_DLGFRAME | WS_THICKFRAME))) {
        window->exStyle |= WS_EX_WINDOWEDGE;
    } else {
        window->exStyle &= ~static_cast<DWORD>(WS_EX_WINDOWEDGE);
    }
    window->proc = windowClass->proc;
    window->instance = instance;
    if (style & WS_CHILD) {
        window->id = reinterpret_cast<UINT_PTR>(menu);
    } else {
        window->menu = menu;
    }
    window->extra.assign(static_cast<std::size_t>(windowClass->windowExtraBytes), 0);
    window->owner = owner;
    window->rect = RECT{place.x, place.y, place.x + place.cx, place.y + place.cy};
    window->client = RECT{0, 0, place.cx, place.cy};
    window->sizeMessagesPending = isOverlapped(style);
    if (!addWindow(window)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    try {
        queue->windows.push_back(window.get());
        // New top-level windows come out on top; new children go below their siblings, so
        // that siblings lie in the order they were made.
        const bool topLevel = !parent->parent;
        linkChild(parent, window.get(),
                  !topLevel                   ? HWND_BOTTOM
                  : (exStyle & WS_EX_TOPMOST) ? HWND_TOPMOST
                                              : HWND_TOP);
    } catch (const std::bad_alloc&) {
        // Undone without allocating: the window was never counted, shown or announced.
        auto& list = queue->windows;
        list.erase(std::remove(list.begin(), list.end(), window.get()), list.end());
        removeWindow(window.get());
        throw;
    }
    ++windowClass->windows;
    resizeSurface(window.get());
    notifyObserver(window.get(), WindowObserver::Change::Created);
    return window.get();
}

bool stillAlive(HWND hwnd) {
    UiLock lock(uiMutex());
    return findWindow(hwnd) != nullptr;
}

// The end of a creation that the window refused: only WM_NCDESTROY, as the window never came
// to be.
HWND refuse(HWND hwnd) {
    if (stillAlive(hwnd)) {
        callWindow(hwnd, WM_NCDESTROY, 0, 0);
        UiLock lock(uiMutex());
        if (Window* w = findWindow(hwnd)) {
            freeWindowTree(w);
        }
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
}

} // namespace
} // namespace korutil::detail

using namespace korutil::detail;

extern "C" HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName,
                                       DWORD dwStyle, int X, int Y, int nWidth, int nHeight,
                                       HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                                       LPVOID lpParam) {
    return failOnBadAlloc<HWND>(nullptr, [&]() -> HWND {
        Placement place = placeWindow(dwStyle, X, Y, nWidth, nHeight);
        HWND hwnd = nullptr;
        {
            UiLock lock(uiMutex());
            Window* window =
                makeWindow(dwExStyle, lpClassName, dwStyle, place, hWndParent, hMenu, hInstance);
            if (!window) {
                return nullptr;
            }
            hwnd = window->handle;
        }
        // A creation that runs out of memory half way takes its window with it, as one that
        // its procedure refuses.
        try {
            if (wantsMinMaxInfo(dwStyle)) {
                const MINMAXINFO info = queryMinMaxInfo(hwnd);
                place.cx = std::clamp<int>(place.cx, info.ptMinTrackSize.x,
                                           std::max(info.ptMinTrackSize.x, info.ptMaxTrackSize.x));
                place.cy = std::clamp<int>(place.cy, info.ptMinTrackSize.y,
                                           std::max(info.ptMinTrackSize.y, info.ptMaxTrackSize.y));
                UiLock lock(uiMutex());
                Window* window = findWindow(hwnd);
                if (!window) {
                    return refuse(hwnd);
                }
                window->rect = RECT{place.x, place.y, place.x + place.cx, place.y + place.cy};
                window->client = RECT{0, 0, place.cx, place.cy};
                resizeSurface(window);
            }
            CREATESTRUCTA cs{lpParam,      hInstance,   hMenu,
                             hWndParent,   place.cy,    place.cx,
                             place.y,      place.x,     static_cast<LONG>(dwStyle),
                             lpWindowName, lpClassName, dwExStyle};
            if (!callWindow(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) ||
                !stillAlive(hwnd)) {
                return refuse(hwnd);
            }
            RECT area;
            {
                UiLock lock(uiMutex());
                Window* window = findWindow(hwnd);
                if (!window) {
                    return refuse(hwnd);
                }
                window->created = true;
                area = window->rect;
            }
            callWindow(hwnd, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&area));
            {
                UiLock lock(uiMutex());
                Window* window = findWindow(hwnd);
                if (!window) {
                    return refuse(hwnd);
                }
                const RECT& r = window->rect;
                const LONG width = r.right - r.left;
                const LONG height = r.bottom - r.top;
                RECT client = offset(area, -r.left, -r.top);
                client.left = std::clamp<LONG>(client.left, 0, width);
                client.top = std::clamp<LONG>(client.top, 0, height);
                client.right = std::clamp<LONG>(client.right, client.left, width);
                client.bottom = std::clamp<LONG>(client.bottom, client.top, height);
                window->client = client;
            }
            if (callWindow(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1 ||
                !stillAlive(hwnd)) {
                return refuse(hwnd);
            }
            if (!isOverlapped(dwStyle)) {
                sendSizeAndMove(hwnd);
            }
            if ((dwStyle & WS_CHILD) && !(dwExStyle & WS_EX_NOPARENTNOTIFY)) {
                notifyParents(hwnd, WM_CREATE, POINT{0, 0});
            }
            if ((dwStyle & WS_VISIBLE) && stillAlive(hwnd)) {
                showWindow(hwnd, place.showCommand);
            }
            if (!stillAlive(hwnd)) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return nullptr;
            }
            return hwnd;
        } catch (const std::exception&) {
            failOnBadAlloc([&] { refuse(hwnd); });
            throw;
        }
    });
}
