// Kernel objects that WaitForSingleObject can wait on (threads, events). Each keeps its state
// under its own lock and wakes waiters through a condition variable, so waits never poll.
#pragma once

#include "kernel/handle_table.h"

#include <condition_variable>
#include <mutex>

namespace korutil::detail {

class Waitable : public KernelObject {
public:
    // WAIT_OBJECT_0 when the object was (or became) signalled within the time, WAIT_TIMEOUT
    // otherwise; INFINITE waits without limit.
    DWORD wait(DWORD milliseconds);

protected:
    // Called with m_lock held: whether the object is signalled, consuming the signal if the
    // object is of the auto-reset kind.
    virtual bool acquire() = 0;

    std::mutex m_lock;
    std::condition_variable m_changed;
};

} // namespace korutil::detail
