#include "user/timers.h"

#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "user/queue.h"
#include "user/window.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/threads.h>

#include <algorithm>

namespace korutil::detail {
namespace {

UINT clampElapse(UINT elapse) {
    return std::clamp<UINT>(elapse, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
}

// Thread timers get identifiers counting down from 0x7FFF, as Windows hands them out.
UINT_PTR newThreadTimerId(const ThreadQueue& queue) {
    static UINT_PTR next = 0x7FFF;
    for (int tries = 0; tries < 0x7FFF; ++tries) {
        const UINT_PTR id = next;
        next = next > 1 ? next - 1 : 0x7FFF;
        const bool used = std::any_of(queue.timers.begin(), queue.timers.end(),
                                      [&](const Timer& t) { return !t.hwnd && t.id == id; });
        if (!used) {
            return id;
        }
    }
    return 0;
}

Timer* findTimer(ThreadQueue& queue, HWND hwnd, UINT_PTR id, bool layer) {
    for (Timer& t : queue.timers) {
        if (t.hwnd == hwnd && t.id == id && (t.fire != nullptr) == layer) {
            return &t;
        }
    }
    return nullptr;
}

} // namespace

bool setLayerTimer(HWND hwnd, UINT_PTR id, UINT elapse, void (*fire)(HWND, UINT_PTR)) {
    Window* window = findWindow(hwnd);
    if (!window || !window->queue) {
        return false;
    }
    ThreadQueue& queue = *window->queue;
    const UINT interval = clampElapse(elapse);
    const DWORD due = GetTickCount() + interval;
    if (Timer* t = findTimer(queue, hwnd, id, true)) {
        t->elapse = interval;
        t->due = due;
        t->fire = fire;
    } else {
        Timer timer;
        timer.hwnd = hwnd;
        timer.id = id;
        timer.elapse = interval;
        timer.due = due;
        timer.fire = fire;
        queue.timers.push_back(timer);
    }
    queue.wake.raise();
    return true;
}

void killLayerTimer(HWND hwnd, UINT_PTR id) {
    Window* window = findWindow(hwnd);
    if (!window || !window->queue) {
        return;
    }
    auto& timers = window->queue->timers;
    timers.erase(
        std::remove_if(timers.begin(), timers.end(),
                       [&](const Timer& t) { return t.hwnd == hwnd && t.id == id && t.fire; }),
        timers.end());
}

void killWindowTimers(const Window* window) {
    if (!window->queue) {
        return;
    }
    auto& timers = window->queue->timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [&](const Timer& t) { return t.hwnd == window->handle; }),
                 timers.end());
}

} // namespace korutil::detail

using namespace korutil::detail;

extern "C" UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse,
                                    TIMERPROC lpTimerFunc) {
    return failOnBadAlloc<UINT_PTR>(0, [&]() -> UINT_PTR {
        UiLock lock(uiMutex());
        ThreadQueue* queue = currentQueue();
        if (!queue) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        if (hWnd) {
            Window* window = windowOrFail(hWnd);
            if (!window) {
                return 0;
            }
            if (window->threadId != queue->threadId) {
                SetLastError(ERROR_ACCESS_DENIED);
                return 0;
            }
        }
        UINT_PTR id = nIDEvent;
        Timer* existing = findTimer(*queue, hWnd, id, false);
        if (!hWnd && !existing) {
            id = newThreadTimerId(*queue);
            if (!id) {
                SetLastError(ERROR_NO_SYSTEM_RESOURCES);
                return 0;
            }
        }
        const UINT interval = clampElapse(uElapse);
        if (existing) {
            existing->elapse = interval;
            existing->proc = lpTimerFunc;
            existing->due = GetTickCount() + interval;
        } else {
            Timer timer;
            timer.hwnd = hWnd;
            timer.id = id;
            timer.elapse = interval;
            timer.proc = lpTimerFunc;
            timer.due = GetTickCount() + interval;
            queue->timers.push_back(timer);
        }
        queue->wake.raise();
        // A window timer answers with its identifier, which must be non-zero to mean success.
        return id ? id : 1;
    });
}

extern "C" BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        UiLock lock(uiMutex());
        ThreadQueue* queue = currentQueue();
        if (hWnd) {
            Window* window = findWindow(hWnd);
            queue = window && window->queue ? window->queue.get() : nullptr;
        }
        if (queue) {
            auto& timers = queue->timers;
            for (auto it = timers.begin(); it != timers.end(); ++it) {
                if (it->hwnd == hWnd && it->id == uIDEvent && !it->fire) {
                    timers.erase(it);
                    return TRUE;
                }
            }
        }
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    });
}
