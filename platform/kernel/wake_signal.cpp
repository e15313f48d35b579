#include "kernel/wake_signal.h"

#include <korutil/platform/threads.h>

#include <chrono>

namespace korutil::detail {

std::uint64_t WakeSignal::generation() {
    return m_generation.load(std::memory_order_acquire);
}

void WakeSignal::raise() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_generation.fetch_add(1, std::memory_order_release);
        if (m_waiters == 0) {
            return;
        }
    }
    m_raised.notify_all();
}

bool WakeSignal::waitPast(std::uint64_t seen, DWORD timeout) {
    std::unique_lock<std::mutex> guard(m_lock);
    const auto moved = [&] { return m_generation.load(std::memory_order_relaxed) != seen; };
    ++m_waiters;
    bool woken = true;
    if (timeout == INFINITE) {
        m_raised.wait(guard, moved);
    } else {
        using namespace std::chrono;
        const auto tickNow = floor<milliseconds>(steady_clock::now().time_since_epoch());
        const steady_clock::time_point deadline(tickNow + milliseconds(timeout));
        woken = m_raised.wait_until(guard, deadline, moved);
    }
    --m_waiters;
    return woken;
}

} // namespace korutil::detail
