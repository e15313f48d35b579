#include "user/activation.h"

#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "user/compose.h"
#include "user/input.h"
#include "user/messages.h"
#include "user/queue.h"
#include "user/window.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/threads.h>

#include <vector>

namespace korutil::detail {
namespace {

bool minimized(HWND hwnd) {
    UiLock lock(uiMutex());
    Window* w = findWindow(hwnd);
    return w && (w->style & WS_MINIMIZE);
}

std::vector<HWND> topLevelsOfThread(DWORD threadId) {
    UiLock lock(uiMutex());
    std::vector<HWND> list;
    if (Window* root = desktop()) {
        for (Window* w : root->children) {
            if (w->threadId == threadId) {
                list.push_back(w->handle);
            }
        }
    }
    return list;
}

void sendActivateApp(DWORD threadId, BOOL active, DWORD otherThread) {
    for (HWND hwnd : topLevelsOfThread(threadId)) {
        sendMessage(hwnd, WM_ACTIVATEAPP, static_cast<WPARAM>(active), otherThread);
    }
}

// On a thread that lost the foreground to another one: its active window is told and the
// thread keeps no active or focus window.
void loseForeground(HWND newActive, DWORD newThread) {
    HWND old = nullptr;
    HWND focus = nullptr;
    {
        UiLock lock(uiMutex());
        ThreadQueue* queue = currentQueue();
        if (!queue || !queue->active || foregroundWindow() == queue->active) {
            return;
        }
        old = queue->active;
        focus = queue->focus;
        queue->active = nullptr;
        queue->focus = nullptr;
    }
    sendMessage(old, WM_NCACTIVATE, FALSE, 0);
    sendMessage(old, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, minimized(old)),
                reinterpret_cast<LPARAM>(newActive));
    sendActivateApp(GetCurrentThreadId(), FALSE, newThread);
    if (focus) {
        sendMessage(focus, WM_KILLFOCUS, 0, 0);
    }
}

} // namespace

HWND activateWindow(HWND hwnd, int how) {
    ThreadQueue* queue = currentQueue();
    if (!queue) {
        return nullptr;
    }
    const DWORD self = queue->threadId;
    HWND old = nullptr;
    std::shared_ptr<ThreadQueue> previousForeground;
    bool appActivates = false;
    bool appDeactivates = false;
    {
        UiLock lock(uiMutex());
        if (hwnd) {
            Window* w = findWindow(hwnd);
            if (!w || w->threadId != self || w->destroying) {
                return nullptr;
            }
            hwnd = topLevelOf(w)->handle;
        }
        old = queue->active;
        Window* fg = findWindow(foregroundWindow());
        if (old == hwnd) {
            if (hwnd) {
                setForegroundWindow(hwnd);
            }
            return old;
        }
        if (hwnd) {
            appActivates = !fg || fg->threadId != self;
            if (fg && fg->threadId != self) {
                previousForeground = fg->queue;
            }
        } else {
            appDeactivates = fg && fg->threadId == self;
        }
    }
    if (old) {
        sendMessage(old, WM_NCACTIVATE, FALSE, 0);
        sendMessage(old, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, minimized(old)),
                    reinterpret_cast<LPARAM>(hwnd));
    }
    {
        UiLock lock(uiMutex());
        if (hwnd && !findWindow(hwnd)) {
            hwnd = nullptr;
        }
        queue->active = hwnd;
        if (hwnd) {
            setForegroundWindow(hwnd);
            if (previousForeground) {
                runOnThread(*previousForeground, [hwnd, self] { loseForeground(hwnd, self); });
            }
            Window* w = findWindow(hwnd);
            const RECT before = visibleScreenRect(w);
            linkChild(w->parent, w, HWND_TOP);
            damageScreen(before);
            notifyObserver(w, WindowObserver::Change::ZOrder);
        } else if (appDeactivates) {
            setForegroundWindow(nullptr);
        }
    }
    if (appActivates) {
        sendActivateApp(self, TRUE, previousForeground ? previousForeground->threadId : 0);
    } else if (appDeactivates) {
        sendActivateApp(self, FALSE, 0);
    }
    if (hwnd) {
        sendMessage(hwnd, WM_NCACTIVATE, TRUE, 0);
        sendMessage(hwnd, WM_ACTIVATE, MAKEWPARAM(how, minimized(hwnd)),
                    reinterpret_cast<LPARAM>(old));
    }
    // Focus left in a window that is no longer active goes.
    bool staleFocus = false;
    {
        UiLock lock(uiMutex());
        Window* focus = findWindow(queue->focus);
        Window* active = findWindow(queue->active);
        staleFocus = queue->focus && (!focus || !active || !isSelfOrDescendant(focus, active));
    }
    if (staleFocus) {
        setFocusWindow(nullptr);
    }
    return old;
}

void activateNextAfter(HWND leaving) {
    HWND next = nullptr;
    {
        UiLock lock(uiMutex());
        ThreadQueue* queue = currentQueue();
        Window* w = findWindow(leaving);
        if (!queue || queue->active != leaving) {
            return;
        }
        auto candidate = [&](const Window* c) {
            return c && c != w && c->threadId == queue->threadId && !c->destroying &&
                   (c->style & WS_VISIBLE) && !(c->style & WS_DISABLED) &&
                   !(c->exStyle & WS_EX_NOACTIVATE) && (!w || c->owner != w);
        };
        if (w && candidate(w->owner)) {
            next = w->owner->handle;
        } else if (Window* root = desktop()) {
            for (Window* c : root->children) {
                if (candidate(c)) {
                    next = c->handle;
                    break;
                }
            }
        }
    }
    activateWindow(next, WA_ACTIVE);
}

HWND setFocusWindow(HWND hwnd) {
    ThreadQueue* queue = currentQueue();
    if (!queue) {
        return nullptr;
    }
    HWND top = nullptr;
    if (hwnd) {
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hwnd);
        if (!w) {
            return nullptr;
        }
        if (w->threadId != queue->threadId) {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        Window* topLevel = topLevelOf(w);
        if (!enabledWithAncestors(w) || (topLevel->style & WS_MINIMIZE) || w->destroying) {
            return nullptr;
        }
        top = topLevel->handle;
    }
    bool activate = false;
    {
        UiLock lock(uiMutex());
        activate = hwnd && queue->active != top;
    }
    if (activate) {
        activateWindow(top, WA_ACTIVE);
    }
    HWND old = nullptr;
    {
        UiLock lock(uiMutex());
        if (hwnd && !findWindow(hwnd)) {
            return nullptr;
        }
        old = queue->focus;
        if (old == hwnd) {
            return old;
        }
        queue->focus = hwnd;
    }
    if (old) {
        sendMessage(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    }
    if (hwnd) {
        {
            UiLock lock(uiMutex());
            if (queue->focus != hwnd || !findWindow(hwnd)) {
                return old;
            }
        }
        sendMessage(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    }
    return old;
}

} // namespace korutil::detail

using namespace korutil::detail;

extern "C" HWND WINAPI SetFocus(HWND hWnd) {
    return failOnBadAlloc<HWND>(nullptr, [&] { return setFocusWindow(hWnd); });
}

extern "C" HWND WINAPI GetFocus(void) {
    return korutil::detail::failOnBadAlloc(HWND(nullptr), [&]() -> HWND {
        UiLock lock(uiMutex());
        ThreadQueue* queue = currentQueue();
        return queue ? queue->focus : nullptr;
    });
}

extern "C" HWND WINAPI SetActiveWindow(HWND hWnd) {
    return failOnBadAlloc<HWND>(nullptr, [&]() -> HWND {
        if (hWnd) {
            UiLock lock(uiMutex());
            Window* w = windowOrFail(hWnd);
            if (!w) {
                return nullptr;
            }
            if (w->threadId != GetCurrentThreadId() || !isTopLevel(w)) {
                SetLastError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
        }
        return activateWindow(hWnd, WA_ACTIVE);
    });
}

extern "C" HWND WINAPI GetActiveWindow(void) {
    return korutil::detail::failOnBadAlloc(HWND(nullptr), [&]() -> HWND {
        UiLock lock(uiMutex());
        ThreadQueue* queue = currentQueue();
        return queue ? queue->active : nullptr;
    });
}

extern "C" BOOL WINAPI SetForegroundWindow(HWND hWnd) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        std::shared_ptr<ThreadQueue> queue;
        {
            UiLock lock(uiMutex());
            Window* w = windowOrFail(hWnd);
            if (!w) {
                return FALSE;
            }
            if (!w->queue) {
                SetLastError(ERROR_ACCESS_DENIED);
                return FALSE;
            }
            w = topLevelOf(w);
            hWnd = w->handle;
            queue = w->queue;
            if (w->threadId != GetCurrentThreadId()) {
                // The window's thread activates it when it next looks at its messages, and the
                // foreground changes then.
                return runOnThread(*queue, [hWnd] { activateWindow(hWnd, WA_ACTIVE); });
            }
        }
        activateWindow(hWnd, WA_ACTIVE);
        return TRUE;
    });
}

extern "C" HWND WINAPI GetForegroundWindow(void) {
    return korutil::detail::failOnBadAlloc(HWND(nullptr), [&]() -> HWND {
        UiLock lock(uiMutex());
        return foregroundWindow();
    });
}
