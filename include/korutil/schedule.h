// Scheduling: a shared thread that calls hosts back at fixed intervals.
#pragma once

#include <korutil/frame.h>
#include <korutil/collections.h>
#include <korutil/platform.h>

// The callback interface hosts implement. The library only holds pointers to clients; it
// never creates, copies or deletes one, hence the protected destructor.
struct KORUTIL_API IScheduleClient {
    // Called once on the scheduling thread when the client is scheduled or its interval is
    // changed, then on the worker each time its entry falls due. The result is not
    // interpreted; the worker's exit code is the result of the last call it made.
    virtual int OnSchedule() = 0;

protected:
    ~IScheduleClient() = default;
};

namespace korutil::detail {
struct ScheduleWorker;
}

// One worker thread that calls clients back at their intervals, in order of due time (ties
// first come, first served). Callbacks run under the object's re-entrant lock, so they never
// overlap and may themselves schedule, reschedule and kill entries.
class KORUTIL_API CScheduleThread {
public:
    // The library-wide object; its worker runs until the library unloads.
    static CScheduleThread* GetThread();

    CScheduleThread();
    // Stops the worker if there is one and releases every remaining entry.
    ~CScheduleThread();
    CScheduleThread(const CScheduleThread&) = delete;
    CScheduleThread& operator=(const CScheduleThread&) = delete;

    // Starts the worker (suspended) if there is none, then sets its priority. 0 when the
    // event or the thread cannot be created.
    int Create(int priority);

    void SetPriority(int priority);
    int GetPriority() const;
    int IsAlive() const;
    int IsSuspended() const;
    // Suspension lasts until the next Resume, Schedule or successful ReSchedule.
    void Suspend();
    void Resume();

    // Registers client to be called every interval milliseconds (above 0) and stores the new
    // identifier in *pId. 0, with nothing scheduled and *pId untouched, when the interval is
    // not positive or memory runs out.
    int Schedule(int* pId, IScheduleClient* client, int interval);
    // Gives the entry a new interval (above 0); its period restarts now. 1 if the entry
    // exists; the same interval changes nothing.
    int ReSchedule(int id, int interval);
    // Removes and releases the entry; 1 if it existed.
    int KillSchedule(int id);

protected:
    // Stops the worker and releases every entry. Waits up to 3000 ms for the worker to end;
    // a worker still inside a callback after that is waited for until it lets go of the
    // object, so that it never runs on released entries.
    void Destroy();

private:
    friend struct korutil::detail::ScheduleWorker;

    int LocateInsert(unsigned long dueTime);
    static unsigned long staticThreadProc(void* object);

    HANDLE m_hThread;
    HANDLE m_hEvent;
    DWORD m_dwThreadId;
    int m_bStop;
    CRITICAL_SECTION m_cs;
    int m_bSuspended;
    int m_nLastId;
    CPtrArray m_schedule;
};
