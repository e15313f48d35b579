// A signal that one thread waits on and others raise, counted in generations so that no raise
// is lost between a look at the state it guards and the wait: the waiter reads the generation,
// looks, and waits only while the generation is still the one it read. A thread's message
// queue waits on one (raised by posts, sends, input and timers), and so do the kernel objects
// that MsgWaitForMultipleObjects watches. Any thread may raise it.
#pragma once

#include <korutil/platform/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace korutil::detail {

class WakeSignal {
public:
    std::uint64_t generation();
    void raise();
    // Waits until the generation is no longer `seen` or `timeout` milliseconds have passed
    // (INFINITE: no limit); false on time-out. Time-outs count in ticks, as the kernel's waits do.
    bool waitPast(std::uint64_t seen, DWORD timeout);

private:
    std::mutex m_lock;
    std::condition_variable m_raised;
    // Changed only under m_lock, so that a waiter that saw the old value cannot miss a raise;
    // read without it.
    std::atomic<std::uint64_t> m_generation{0};
    int m_waiters = 0; // nobody to notify is the common case of a busy queue
};

} // namespace korutil::detail
