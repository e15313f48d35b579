#include "kernel/wake_signal.h"

#include <korutil/platform/threads.h>

#include <chrono>

namespace korutil::detail {

std::uint64_t WakeSignal::generation() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_generation;
}

void WakeSignal::raise() {
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_generation;
    m_raised.notify_all();
}

bool WakeSignal::waitPast(std::uint64_t seen, DWORD timeout) {
    std::unique_lock<std::mutex> guard(m_lock);
    if (timeout == INFINITE) {
        m_raised.wait(guard, [&] { return m_generation != seen; });
        return true;
    }
    using namespace std::chrono;
    const auto tickNow = floor<milliseconds>(steady_clock::now().time_since_epoch());
    const steady_clock::time_point deadline(tickNow + milliseconds(timeout));
    return m_raised.wait_until(guard, deadline, [&] { return m_generation != seen; });
}

} // namespace korutil::detail
