#include "kernel/no_throw.h"
#include "kernel/waitable.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/threads.h>

#include <algorithm>
#include <chrono>
#include <functional>

namespace korutil::detail {

DWORD Waitable::wait(DWORD timeout) {
    std::unique_lock<std::mutex> guard(m_lock);
    if (timeout == INFINITE) {
        m_changed.wait(guard, [this] { return acquire(); });
        return WAIT_OBJECT_0;
    }
    // Time-outs count in ticks: the wait ends when the tick count (the same monotonic clock
    // in whole milliseconds) has moved on by the given number, so that a waiter for a due
    // tick wakes as that tick begins rather than up to a millisecond into it.
    using namespace std::chrono;
    const auto tickNow = floor<milliseconds>(steady_clock::now().time_since_epoch());
    const steady_clock::time_point deadline(tickNow + milliseconds(timeout));
    while (!acquire()) {
        if (m_changed.wait_until(guard, deadline) == std::cv_status::timeout) {
            return acquire() ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
        }
    }
    return WAIT_OBJECT_0;
}

void Waitable::addWatcher(WakeSignal* signal) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_watchers.push_back(signal);
}

void Waitable::removeWatcher(WakeSignal* signal) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = std::find(m_watchers.begin(), m_watchers.end(), signal);
    if (it != m_watchers.end()) {
        m_watchers.erase(it);
    }
}

bool Waitable::tryAcquire() {
    std::lock_guard<std::mutex> guard(m_lock);
    return acquire();
}

bool Waitable::tryAcquireAll(const std::vector<Waitable*>& objects) {
    // Locks in address order, so that two such calls on overlapping sets cannot deadlock.
    std::vector<Waitable*> ordered(objects);
    std::sort(ordered.begin(), ordered.end(), std::less<Waitable*>());
    std::vector<std::unique_lock<std::mutex>> guards;
    guards.reserve(ordered.size());
    for (Waitable* object : ordered) {
        guards.emplace_back(object->m_lock);
    }
    for (Waitable* object : ordered) {
        if (!object->signalled()) {
            return false;
        }
    }
    for (Waitable* object : ordered) {
        object->acquire();
    }
    return true;
}

void Waitable::notifyChanged() {
    m_changed.notify_all();
    for (WakeSignal* signal : m_watchers) {
        signal->raise();
    }
}

} // namespace korutil::detail

extern "C" DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return korutil::detail::failOnBadAlloc(DWORD(WAIT_FAILED), [&]() -> DWORD {
        // The lookup keeps the object alive for the whole wait, even if the handle is closed.
        auto object = korutil::detail::lookupHandleAs<korutil::detail::Waitable>(hHandle);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        return object->wait(dwMilliseconds);
    });
}
