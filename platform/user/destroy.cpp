#include "user/destroy.h"

#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "user/activation.h"
#include "user/classes.h"
#include "user/compose.h"
#include "user/input.h"
#include "user/messages.h"
#include "user/parent_notify.h"
#include "user/position.h"
#include "user/procedure.h"
#include "user/queue.h"
#include "user/timers.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/threads.h>

#include <algorithm>

namespace korutil::detail {
namespace {

template <class T> void eraseValue(std::vector<T>& list, const T& value) {
    list.erase(std::remove(list.begin(), list.end(), value), list.end());
}

// Frees one window whose children are gone already: out of the table, the tree, its thread
// and the input state, its posted messages and timers dropped.
void freeOne(Window* window) {
    damageScreen(visibleScreenRect(window));
    if (isTopLevel(window)) {
        notifyObserver(window, WindowObserver::Change::Destroyed);
    }
    forgetWindowInput(window);
    killWindowTimers(window);
    if (ThreadQueue* queue = window->queue.get()) {
        eraseValue(queue->windows, window);
        auto& posted = queue->posted;
        posted.erase(std::remove_if(posted.begin(), posted.end(),
                                    [&](const MSG& m) { return m.hwnd == window->handle; }),
                     posted.end());
        auto& input = queue->input;
        input.erase(
            std::remove_if(input.begin(), input.end(),
                           [&](const InputMessage& m) { return m.msg.hwnd == window->handle; }),
            input.end());
        if (queue->active == window->handle) {
            queue->active = nullptr;
        }
        if (queue->focus == window->handle) {
            queue->focus = nullptr;
        }
    }
    if (Window* root = desktop()) {
        for (Window* w : root->children) {
            if (w->owner == window) {
                w->owner = nullptr;
            }
        }
    }
    --window->windowClass->windows;
    window->surface.reset();
    removeWindow(window);
}

void collectOwned(Window* owner, std::vector<HWND>& out) {
    if (Window* root = desktop()) {
        for (Window* w : root->children) {
            if (w->owner == owner && !w->destroying) {
                out.push_back(w->handle);
            }
        }
    }
}

void sendDestroy(HWND hwnd) {
    sendMessage(hwnd, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    {
        UiLock lock(uiMutex());
        if (Window* w = findWindow(hwnd)) {
            for (Window* child : w->children) {
                child->destroying = true;
                children.push_back(child->handle);
            }
        }
    }
    for (HWND child : children) {
        sendDestroy(child);
    }
}

void sendNcDestroy(HWND hwnd) {
    std::vector<HWND> children;
    {
        UiLock lock(uiMutex());
        if (Window* w = findWindow(hwnd)) {
            for (Window* child : w->children) {
                children.push_back(child->handle);
            }
        }
    }
    for (HWND child : children) {
        sendNcDestroy(child);
    }
    sendMessage(hwnd, WM_NCDESTROY, 0, 0);
    UiLock lock(uiMutex());
    if (Window* w = findWindow(hwnd)) {
        // Children made during the window's own WM_NCDESTROY go with it, unheard.
        while (!w->children.empty()) {
            freeWindowTree(w->children.front());
        }
        freeOne(w);
    }
}

} // namespace

void freeWindowTree(Window* window) {
    while (!window->children.empty()) {
        freeWindowTree(window->children.front());
    }
    std::vector<Window*> owned;
    if (Window* root = desktop()) {
        for (Window* w : root->children) {
            if (w->owner == window) {
                owned.push_back(w);
            }
        }
    }
    for (Window* w : owned) {
        if (w->alive && w->threadId == window->threadId) {
            freeWindowTree(w);
        }
    }
    freeOne(window);
}

void destroyWindow(HWND hwnd) {
    bool child = false;
    bool visible = false;
    std::vector<HWND> owned;
    {
        UiLock lock(uiMutex());
        Window* w = findWindow(hwnd);
        if (!w) {
            return;
        }
        w->destroying = true;
        child = (w->style & WS_CHILD) != 0;
        visible = (w->style & WS_VISIBLE) != 0;
        collectOwned(w, owned);
    }
    if (child) {
        notifyParents(hwnd, WM_DESTROY, POINT{0, 0});
    }
    if (visible) {
        setWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
    }
    for (HWND w : owned) {
        if (IsWindow(w)) {
            DestroyWindow(w);
        }
    }
    bool active = false;
    bool focusInside = false;
    bool captureInside = false;
    {
        UiLock lock(uiMutex());
        Window* w = findWindow(hwnd);
        ThreadQueue* queue = currentQueue();
        if (!w || !queue) {
            return;
        }
        active = queue->active == hwnd;
        Window* focus = findWindow(queue->focus);
        focusInside = focus && isSelfOrDescendant(focus, w);
        Window* capture = findWindow(captureWindow());
        captureInside = capture && isSelfOrDescendant(capture, w);
    }
    if (active) {
        activateNextAfter(hwnd);
    }
    if (focusInside) {
        UiLock lock(uiMutex());
        ThreadQueue* queue = currentQueue();
        Window* w = findWindow(hwnd);
        Window* focus = queue ? findWindow(queue->focus) : nullptr;
        focusInside = w && focus && isSelfOrDescendant(focus, w);
    }
    if (focusInside) {
        setFocusWindow(nullptr);
    }
    if (captureInside) {
        ReleaseCapture();
    }
    if (IsWindow(hwnd)) {
        sendDestroy(hwnd);
    }
    if (IsWindow(hwnd)) {
        sendNcDestroy(hwnd);
    }
}

} // namespace korutil::detail

using namespace korutil::detail;

extern "C" BOOL WINAPI DestroyWindow(HWND hWnd) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        {
            UiLock lock(uiMutex());
            Window* w = windowOrFail(hWnd);
            if (!w) {
                return FALSE;
            }
            if (!w->queue || w->threadId != GetCurrentThreadId()) {
                SetLastError(ERROR_ACCESS_DENIED);
                return FALSE;
            }
            if (w->destroying) {
                return TRUE; // the destruction already under way finishes it
            }
        }
        destroyWindow(hWnd);
        return TRUE;
    });
}
