// MsgWaitForMultipleObjects: a wait on kernel objects and on the thread's queue at once. The
// objects raise the queue's wake signal while the wait watches them, so the wait never polls.
// As documented, only input that arrived since the thread last looked at its queue ends it.
// With fWaitAll the wait ends when all objects are signalled together (they are acquired
// together) or when such input arrives.
#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "kernel/waitable.h"
#include "user/queue.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/threads.h>

#include <algorithm>
#include <memory>
#include <vector>

using namespace korutil::detail;

namespace {

class Watching {
public:
    Watching(const std::vector<std::shared_ptr<Waitable>>& objects, WakeSignal& signal)
        : m_objects(objects), m_signal(signal) {
        for (const auto& object : m_objects) {
            object->addWatcher(&m_signal);
        }
    }
    ~Watching() {
        for (const auto& object : m_objects) {
            object->removeWatcher(&m_signal);
        }
    }
    Watching(const Watching&) = delete;
    Watching& operator=(const Watching&) = delete;

private:
    const std::vector<std::shared_ptr<Waitable>>& m_objects;
    WakeSignal& m_signal;
};

bool inputArrived(ThreadQueue& queue, DWORD mask) {
    UiLock lock(uiMutex());
    UINT kinds = queue.newKinds;
    if (queueKinds(queue) & QS_TIMER) {
        kinds |= QS_TIMER;
    }
    return (kinds & mask) != 0;
}

DWORD untilNextTimer(ThreadQueue& queue, DWORD mask) {
    if (!(mask & QS_TIMER)) {
        return INFINITE;
    }
    UiLock lock(uiMutex());
    const DWORD now = GetTickCount();
    DWORD wait = INFINITE;
    for (const Timer& t : queue.timers) {
        if (!t.fire) {
            const std::int32_t left = static_cast<std::int32_t>(t.due - now);
            wait = std::min<DWORD>(wait, left < 0 ? 0 : static_cast<DWORD>(left));
        }
    }
    return wait;
}

} // namespace

extern "C" DWORD WINAPI MsgWaitForMultipleObjects(DWORD nCount, const HANDLE* pHandles,
                                                  BOOL fWaitAll, DWORD dwMilliseconds,
                                                  DWORD dwWakeMask) {
    if (nCount >= MAXIMUM_WAIT_OBJECTS || (nCount > 0 && !pHandles)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    return failOnBadAlloc<DWORD>(WAIT_FAILED, [&]() -> DWORD {
        std::vector<std::shared_ptr<Waitable>> objects;
        std::vector<Waitable*> raw;
        for (DWORD i = 0; i < nCount; ++i) {
            auto object = lookupHandleAs<Waitable>(pHandles[i]);
            if (!object) {
                SetLastError(ERROR_INVALID_HANDLE);
                return WAIT_FAILED;
            }
            raw.push_back(object.get());
            objects.push_back(std::move(object));
        }
        if (fWaitAll) {
            std::vector<Waitable*> sorted(raw);
            std::sort(sorted.begin(), sorted.end());
            if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return WAIT_FAILED;
            }
        }
        ThreadQueue* queue = currentQueue();
        if (!queue) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return WAIT_FAILED;
        }
        Watching watching(objects, queue->wake);
        const DWORD start = GetTickCount();
        for (;;) {
            const std::uint64_t seen = queue->wake.generation();
            if (fWaitAll) {
                if (nCount > 0 && Waitable::tryAcquireAll(raw)) {
                    return WAIT_OBJECT_0;
                }
            } else {
                for (DWORD i = 0; i < nCount; ++i) {
                    if (raw[i]->tryAcquire()) {
                        return WAIT_OBJECT_0 + i;
                    }
                }
            }
            if (inputArrived(*queue, dwWakeMask)) {
                return WAIT_OBJECT_0 + nCount;
            }
            DWORD timeout = untilNextTimer(*queue, dwWakeMask);
            if (dwMilliseconds != INFINITE) {
                const DWORD passed = GetTickCount() - start;
                if (passed >= dwMilliseconds) {
                    return WAIT_TIMEOUT;
                }
                timeout = std::min(timeout, dwMilliseconds - passed);
            }
            queue->wake.waitPast(seen, timeout);
        }
    });
}
