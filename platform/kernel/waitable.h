// Kernel objects that WaitForSingleObject can wait on (threads, events). Each keeps its state
// under its own lock and wakes waiters through a condition variable, so waits never poll.
// Waits on several objects together with a message queue (MsgWaitForMultipleObjects) watch
// the objects through wake signals instead.
#pragma once

#include "kernel/handle_table.h"
#include "kernel/wake_signal.h"

#include <condition_variable>
#include <mutex>
#include <vector>

namespace korutil::detail {

class Waitable : public KernelObject {
public:
    // WAIT_OBJECT_0 when the object was (or became) signalled within the time, WAIT_TIMEOUT
    // otherwise; INFINITE waits without limit.
    DWORD wait(DWORD milliseconds);

    // `signal` is raised whenever the object may have become signalled, until it is removed.
    void addWatcher(WakeSignal* signal);
    void removeWatcher(WakeSignal* signal);
    // A wait of no time: true when signalled, consuming the signal of an auto-reset object.
    bool tryAcquire();
    // The same for all of the objects at once, or for none of them. The objects must be
    // distinct.
    static bool tryAcquireAll(const std::vector<Waitable*>& objects);

protected:
    // Called with m_lock held: whether the object is signalled, consuming the signal if the
    // object is of the auto-reset kind.
    virtual bool acquire() = 0;
    // Called with m_lock held: whether acquire() would succeed, consuming nothing.
    virtual bool signalled() = 0;
    // Wakes every waiter and watcher; called with m_lock held after a change that may have
    // signalled the object.
    void notifyChanged();

    std::mutex m_lock;
    std::condition_variable m_changed;

private:
    std::vector<WakeSignal*> m_watchers;
};

} // namespace korutil::detail
