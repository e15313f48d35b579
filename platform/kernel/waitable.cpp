#include "kernel/waitable.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/threads.h>

#include <chrono>

namespace korutil::detail {

DWORD Waitable::wait(DWORD milliseconds) {
    std::unique_lock<std::mutex> guard(m_lock);
    if (milliseconds == INFINITE) {
        m_changed.wait(guard, [this] { return acquire(); });
        return WAIT_OBJECT_0;
    }
    // A steady deadline: the wait neither ends early nor stretches when the wall clock moves.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
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
