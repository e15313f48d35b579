// Retrieving messages in the documented order: messages sent by other threads (handled, not
// returned), posted messages, WM_QUIT once nothing is posted, input, sent messages again,
// WM_PAINT, WM_TIMER. Waiting never polls: the queue's wake signal is raised by everything
// that adds to it, and the wait ends at the next timer due.
#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "user/input.h"
#include "user/messages.h"
#include "user/window.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/threads.h>

#include <cstdint>

namespace korutil::detail {
namespace {

const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1));

struct Filter {
    HWND handle = nullptr; // as given
    Window* window = nullptr;
    bool threadOnly = false;

    bool takes(HWND hwnd) const {
        if (threadOnly) {
            return hwnd == nullptr;
        }
        if (!handle) {
            return true;
        }
        const Window* w = findWindow(hwnd);
        return w && isSelfOrDescendant(w, window);
    }
};

void noteRetrieved(ThreadQueue& queue, const MSG& msg) {
    queue.messageTime = static_cast<LONG>(msg.time);
    queue.messagePos = static_cast<DWORD>(static_cast<WORD>(msg.pt.x)) |
                       (static_cast<DWORD>(static_cast<WORD>(msg.pt.y)) << 16);
}

// Posted messages and then WM_QUIT; lock held.
bool takePosted(ThreadQueue& queue, const Filter& filter, UINT first, UINT last, bool remove,
                MSG* out) {
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
        if (filter.takes(it->hwnd) && inRange(it->message, first, last)) {
            *out = *it;
            if (remove) {
                queue.posted.erase(it);
            }
            noteRetrieved(queue, *out);
            return true;
        }
    }
    // WM_QUIT passes every filter, as the documentation of GetMessage says of the range.
    if (queue.quitPosted) {
        *out = MSG{nullptr, WM_QUIT,          static_cast<WPARAM>(queue.quitCode),
                   0,       messageTimeNow(), POINT{0, 0}};
        out->pt = cursorPosition();
        if (remove) {
            queue.quitPosted = false;
        }
        noteRetrieved(queue, *out);
        return true;
    }
    return false;
}

// WM_PAINT and WM_TIMER; lock held. The layer's own timers that are due go to `fired`.
bool takeGenerated(ThreadQueue& queue, const Filter& filter, UINT first, UINT last, bool remove,
                   MSG* out, std::vector<Timer>& fired) {
    const DWORD now = GetTickCount();
    for (Timer& timer : queue.timers) {
        if (timer.fire && timerDue(timer, now)) {
            timer.due = now + timer.elapse;
            fired.push_back(timer);
        }
    }
    if (!fired.empty()) {
        return false;
    }
    if (!filter.threadOnly && inRange(WM_PAINT, first, last)) {
        if (Window* w = windowToPaint(queue, filter.window)) {
            // WM_PAINT stays until the window is validated, whatever the remove flag says.
            *out = MSG{w->handle, WM_PAINT, 0, 0, now, cursorPosition()};
            noteRetrieved(queue, *out);
            return true;
        }
    }
    if (inRange(WM_TIMER, first, last)) {
        for (Timer& timer : queue.timers) {
            if (!timer.fire && timerDue(timer, now) && filter.takes(timer.hwnd)) {
                *out =
                    MSG{timer.hwnd, WM_TIMER,        timer.id, reinterpret_cast<LPARAM>(timer.proc),
                        now,        cursorPosition()};
                if (remove) {
                    // Intervals missed meanwhile give no further messages: one WM_TIMER at a
                    // time, the next one an interval after this one is taken.
                    timer.due = now + timer.elapse;
                }
                noteRetrieved(queue, *out);
                return true;
            }
        }
    }
    return false;
}

// Milliseconds until the next timer is due (INFINITE without timers); lock held.
DWORD untilNextTimer(const ThreadQueue& queue) {
    const DWORD now = GetTickCount();
    DWORD wait = INFINITE;
    for (const Timer& timer : queue.timers) {
        const std::int32_t left = static_cast<std::int32_t>(timer.due - now);
        const DWORD ms = left < 0 ? 0 : static_cast<DWORD>(left);
        if (ms < wait) {
            wait = ms;
        }
    }
    return wait;
}

} // namespace

int retrieveMessage(MSG* out, HWND filterHandle, UINT first, UINT last, UINT flags, bool wait) {
    ThreadQueue* queue = currentQueue();
    if (!queue) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return wait ? -1 : 0;
    }
    if (first > last) {
        // An empty range takes nothing but the quit message.
        first = last = 0xFFFFFFFFu;
    }
    const bool remove = (flags & PM_REMOVE) != 0;
    for (;;) {
        const std::uint64_t seen = queue->wake.generation();
        processIncoming(*queue);
        Filter filter;
        filter.handle = filterHandle;
        filter.threadOnly = filterHandle == kThreadMessagesOnly;
        {
            UiLock lock(uiMutex());
            if (filterHandle && !filter.threadOnly) {
                filter.window = windowOrFail(filterHandle);
                if (!filter.window) {
                    return -1;
                }
            }
            queue->newKinds = 0;
            if (takePosted(*queue, filter, first, last, remove, out)) {
                return 1;
            }
        }
        if (!filter.threadOnly && takeInput(*queue, filterHandle, first, last, remove, out)) {
            UiLock lock(uiMutex());
            noteRetrieved(*queue, *out);
            return 1;
        }
        if (processIncoming(*queue)) {
            continue; // what was sent may have posted something
        }
        std::vector<Timer> fired;
        DWORD timeout = INFINITE;
        {
            UiLock lock(uiMutex());
            if (filterHandle && !filter.threadOnly) {
                filter.window = windowOrFail(filterHandle);
                if (!filter.window) {
                    return -1;
                }
            }
            if (takeGenerated(*queue, filter, first, last, remove, out, fired)) {
                return 1;
            }
            timeout = untilNextTimer(*queue);
        }
        if (!fired.empty()) {
            for (const Timer& timer : fired) {
                timer.fire(timer.hwnd, timer.id);
            }
            continue;
        }
        if (!wait) {
            return 0;
        }
        queue->wake.waitPast(seen, timeout);
    }
}

} // namespace korutil::detail

using namespace korutil::detail;

extern "C" BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                                    UINT wRemoveMsg) {
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        return retrieveMessage(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, wRemoveMsg, false) > 0;
    });
}

extern "C" BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    return failOnBadAlloc<BOOL>(-1, [&]() -> BOOL {
        const int got = retrieveMessage(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, PM_REMOVE, true);
        return got > 0 && lpMsg->message == WM_QUIT ? 0 : got;
    });
}

extern "C" BOOL WINAPI WaitMessage(void) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        ThreadQueue* queue = currentQueue();
        if (!queue) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
            for (;;) {
                const std::uint64_t seen = queue->wake.generation();
                processIncoming(*queue);
                DWORD timeout = INFINITE;
                {
                    UiLock lock(uiMutex());
                    // Something new since the thread last looked, or a timer that has come due.
                    if ((queue->newKinds & ~static_cast<UINT>(QS_SENDMESSAGE)) != 0 ||
                        (queueKinds(*queue) & QS_TIMER)) {
                        return TRUE;
                    }
                    timeout = untilNextTimer(*queue);
                }
                queue->wake.waitPast(seen, timeout);
            }
        });
    });
}

extern "C" DWORD WINAPI GetQueueStatus(UINT flags) {
    return failOnBadAlloc<DWORD>(0, [&]() -> DWORD {
        UiLock lock(uiMutex());
        ThreadQueue* queue = currentQueue();
        if (!queue) {
            return 0;
        }
        const UINT now = queueKinds(*queue) & flags;
        const UINT added = queue->newKinds & now;
        queue->newKinds &= ~flags;
        return static_cast<DWORD>(static_cast<WORD>(added)) | (static_cast<DWORD>(now) << 16);
    });
}

extern "C" LONG WINAPI GetMessageTime(void) {
    return korutil::detail::failOnBadAlloc(LONG(0), [&]() -> LONG {
        UiLock lock(uiMutex());
        ThreadQueue* queue = currentQueue();
        return queue ? queue->messageTime : 0;
    });
}

extern "C" DWORD WINAPI GetMessagePos(void) {
    return korutil::detail::failOnBadAlloc(DWORD(0), [&]() -> DWORD {
        UiLock lock(uiMutex());
        ThreadQueue* queue = currentQueue();
        return queue ? queue->messagePos : 0;
    });
}
