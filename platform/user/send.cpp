#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "user/messages.h"
#include "user/procedure.h"
#include "user/window.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/threads.h>

namespace korutil::detail {
namespace {

// A message handed to another thread, and the wait for its answer. The waiting thread keeps
// answering what is sent to it, so that two threads sending to each other both get on.
LRESULT sendToThread(const std::shared_ptr<ThreadQueue>& target, HWND hwnd, UINT message,
                     WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<ThreadQueue> self;
    auto record = std::make_shared<SentMessage>();
    {
        UiLock lock(uiMutex());
        ThreadQueue* mine = currentQueue();
        self = mine ? queueOfThread(mine->threadId) : nullptr;
        if (!self) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        if (target->ended) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        record->hwnd = hwnd;
        record->message = message;
        record->wParam = wParam;
        record->lParam = lParam;
        record->sender = self;
        target->sent.push_back(record);
        wakeQueue(*target, QS_SENDMESSAGE);
    }
    for (;;) {
        const std::uint64_t seen = self->wake.generation();
        {
            UiLock lock(uiMutex());
            if (record->done) {
                record->sender = nullptr;
                return record->result;
            }
        }
        if (!processIncoming(*self)) {
            self->wake.waitPast(seen, INFINITE);
        }
    }
}

} // namespace

LRESULT sendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<ThreadQueue> target;
    {
        UiLock lock(uiMutex());
        Window* window = windowOrFail(hwnd);
        if (!window) {
            return 0;
        }
        // The desktop has no thread of its own: its procedure runs on the caller's.
        if (window->queue && window->threadId != GetCurrentThreadId()) {
            target = window->queue;
        }
    }
    if (!target) {
        return callWindow(hwnd, message, wParam, lParam);
    }
    return failOnBadAlloc<LRESULT>(
        0, [&] { return sendToThread(target, hwnd, message, wParam, lParam); });
}

bool processIncoming(ThreadQueue& queue) {
    bool any = false;
    for (;;) {
        std::shared_ptr<SentMessage> sent;
        std::function<void()> task;
        bool deliver = false;
        {
            UiLock lock(uiMutex());
            if (!queue.tasks.empty()) {
                task = std::move(queue.tasks.front());
                queue.tasks.pop_front();
            } else if (!queue.sent.empty()) {
                sent = queue.sent.front();
                queue.sent.pop_front();
                Window* window = findWindow(sent->hwnd);
                deliver = window && window->threadId == queue.threadId;
            } else {
                return any;
            }
        }
        any = true;
        if (task) {
            task();
            continue;
        }
        LRESULT result = 0;
        if (deliver) {
            queue.receiving.push_back(sent.get());
            result = callWindow(sent->hwnd, sent->message, sent->wParam, sent->lParam);
            queue.receiving.pop_back();
        }
        std::shared_ptr<ThreadQueue> sender;
        {
            UiLock lock(uiMutex());
            sent->result = result;
            sent->done = true;
            sender = sent->sender;
        }
        if (sender) {
            sender->wake.raise();
        }
    }
}

void broadcastToTopLevels(UINT message, WPARAM wParam, LPARAM lParam) {
    std::vector<HWND> own;
    {
        UiLock lock(uiMutex());
        Window* root = desktop();
        if (!root) {
            return;
        }
        const DWORD self = GetCurrentThreadId();
        for (Window* w : root->children) {
            if (w->threadId == self) {
                own.push_back(w->handle);
            } else if (w->queue) {
                postToQueue(*w->queue, w->handle, message, wParam, lParam);
            }
        }
    }
    for (HWND hwnd : own) {
        sendMessage(hwnd, message, wParam, lParam);
    }
}

} // namespace korutil::detail

using namespace korutil::detail;

extern "C" LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    return korutil::detail::failOnBadAlloc(LRESULT(0), [&]() -> LRESULT {
        if (hWnd != HWND_BROADCAST) {
            return sendMessage(hWnd, Msg, wParam, lParam);
        }
        // Every top-level window gets it and is waited for, in z-order.
        std::vector<HWND> all;
        const bool listed = failOnBadAlloc<bool>(false, [&] {
            UiLock lock(uiMutex());
            if (Window* root = desktop()) {
                for (Window* w : root->children) {
                    all.push_back(w->handle);
                }
            }
            return true;
        });
        for (std::size_t i = 0; listed && i < all.size(); ++i) {
            sendMessage(all[i], Msg, wParam, lParam);
        }
        return 0;
    });
}

extern "C" BOOL WINAPI InSendMessage(void) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        ThreadQueue* queue = currentQueue();
        return queue && !queue->receiving.empty();
    });
}

extern "C" LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam,
                                          LPARAM lParam) {
    if (!lpPrevWndFunc) {
        return 0;
    }
    return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}
