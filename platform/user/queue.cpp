#include "user/queue.h"

#include "gdi/lock.h"
#include "user/destroy.h"
#include "user/input.h"
#include "user/window.h"

#include <korutil/platform/threads.h>

#include <new>
#include <unordered_map>

namespace korutil::detail {
namespace {

std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>>& queues() {
    static auto* map = new std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>>; // never freed
    return *map;
}

// The thread's end, as the thread sees it: the destructor of this thread-local object.
void endThread(const std::shared_ptr<ThreadQueue>& queue);

// The queue lives in a thread-local holder whose destructor ends it; the plain pointer and flag
// stay readable for other thread-local destructors that run after it.
thread_local ThreadQueue* t_current = nullptr;
thread_local bool t_ended = false;

struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueHolder() {
        t_ended = true;
        t_current = nullptr;
        if (queue) {
            endThread(queue);
        }
    }
};

thread_local QueueHolder t_holder;

void endThread(const std::shared_ptr<ThreadQueue>& queue) {
    UiLock lock(uiMutex());
    queue->ended = true;
    forgetThreadInput(*queue);
    // Top-level windows first, so that their children go with them; then whatever children of
    // other threads' windows remain.
    while (!queue->windows.empty()) {
        Window* victim = queue->windows.front();
        for (Window* w : queue->windows) {
            if (isTopLevel(w)) {
                victim = w;
                break;
            }
        }
        freeWindowTree(victim);
    }
    for (const auto& sent : queue->sent) {
        sent->done = true;
        if (sent->sender) {
            sent->sender->wake.raise();
        }
    }
    queue->sent.clear();
    queue->tasks.clear();
    queue->posted.clear();
    queue->input.clear();
    queue->timers.clear();
    queues().erase(queue->threadId);
}

} // namespace

ThreadQueue* currentQueue() {
    if (t_current || t_ended) {
        return t_current;
    }
    try {
        auto queue = std::make_shared<ThreadQueue>(GetCurrentThreadId());
        UiLock lock(uiMutex());
        queues()[queue->threadId] = queue;
        t_holder.queue = queue;
        t_current = queue.get();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return t_current;
}

std::shared_ptr<ThreadQueue> queueOfThread(DWORD threadId) {
    auto it = queues().find(threadId);
    return it == queues().end() ? nullptr : it->second;
}

void wakeQueue(ThreadQueue& queue, UINT kinds) {
    queue.newKinds |= kinds;
    queue.wake.raise();
}

bool runOnThread(ThreadQueue& queue, std::function<void()> task) {
    if (queue.ended) {
        return false;
    }
    queue.tasks.push_back(std::move(task));
    queue.wake.raise();
    return true;
}

UINT queueKinds(const ThreadQueue& queue) {
    UINT kinds = 0;
    if (!queue.sent.empty()) {
        kinds |= QS_SENDMESSAGE;
    }
    if (!queue.posted.empty() || queue.quitPosted) {
        kinds |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    }
    for (const InputMessage& input : queue.input) {
        const UINT m = input.msg.message;
        kinds |= (m >= WM_KEYFIRST && m <= WM_KEYLAST)        ? QS_KEY
                 : (m == WM_MOUSEMOVE || m == WM_NCMOUSEMOVE) ? QS_MOUSEMOVE
                                                              : QS_MOUSEBUTTON;
    }
    if (windowToPaint(queue, nullptr)) {
        kinds |= QS_PAINT;
    }
    const DWORD now = GetTickCount();
    for (const Timer& timer : queue.timers) {
        if (!timer.fire && timerDue(timer, now)) {
            kinds |= QS_TIMER;
        }
    }
    return kinds;
}

Window* windowToPaint(const ThreadQueue& queue, const Window* filter) {
    for (Window* w : queue.windows) {
        const bool needs = !w->update.empty() || w->internalPaint || w->frameNeeded;
        if (needs && w->alive && !w->destroying && visibleWithAncestors(w) &&
            (!filter || isSelfOrDescendant(w, filter))) {
            return w;
        }
    }
    return nullptr;
}

} // namespace korutil::detail
