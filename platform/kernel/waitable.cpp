#include "kernel/waitable.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/threads.h>

#include <chrono>

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

} // namespace korutil::detail

extern "C" DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    // The lookup keeps the object alive for the whole wait, even if the handle is closed.
    auto object = korutil::detail::lookupHandleAs<korutil::detail::Waitable>(hHandle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return object->wait(dwMilliseconds);
}
