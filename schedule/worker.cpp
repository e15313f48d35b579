#include "schedule/schedule_internal.h"

namespace korutil::detail {
namespace {

// A worker serves one object; these tell it whether that object was stopped or destroyed
// from inside a callback on the worker itself.
thread_local const CScheduleThread* t_serving = nullptr;
thread_local WorkerFate t_fate = WorkerFate::Serving;

} // namespace

void noteFateOnWorker(const CScheduleThread* object, WorkerFate fate) {
    if (t_serving == object && fate > t_fate) {
        t_fate = fate;
    }
}

DWORD WINAPI ScheduleWorker::entry(LPVOID object) {
    t_serving = static_cast<const CScheduleThread*>(object);
    t_fate = WorkerFate::Serving;
    return static_cast<DWORD>(CScheduleThread::staticThreadProc(object));
}

} // namespace korutil::detail

using namespace korutil::detail;

unsigned long CScheduleThread::staticThreadProc(void* object) {
    auto* self = static_cast<CScheduleThread*>(object);
    unsigned long result = 0;
    while (loadFlag(self->m_bStop) == kStopRun) {
        EnterCriticalSection(&self->m_cs);
        ScheduleEntry* head = nullptr;
        DWORD wait = INFINITE;
        if (self->m_schedule.GetCount() == 0) {
            storeFlag(self->m_bSuspended, 1);
        } else {
            head = entryAt(self->m_schedule, 0);
            wait = timeUntil(head->dueTime, GetTickCount());
        }
        HANDLE event = self->m_hEvent;
        LeaveCriticalSection(&self->m_cs);

        const DWORD woke =
            WaitForSingleObject(event, loadFlag(self->m_bSuspended) ? INFINITE : wait);
        countWorkerWakeup();
        if (woke == WAIT_OBJECT_0 || !head) {
            continue; // a signal: everything is recomputed
        }

        EnterCriticalSection(&self->m_cs);
        // The head may have changed, or been released and its memory reused, while the worker
        // waited; only the remembered head, and only once due, is fired.
        if (self->m_schedule.GetCount() > 0 && entryAt(self->m_schedule, 0) == head &&
            !laterThan(head->dueTime, GetTickCount())) {
            if (head->client) {
                head->firing = true;
                result = static_cast<unsigned long>(head->client->OnSchedule());
                if (t_fate == WorkerFate::Destroyed) {
                    return result; // the object and its entries are gone
                }
                if (t_fate == WorkerFate::Stopped) {
                    LeaveCriticalSection(&self->m_cs);
                    storeFlag(self->m_bStop, kStopWorkerGone);
                    return result;
                }
                head->firing = false;
            }
            // The next due time counts from the previous one, so a late worker catches up.
            // Calls made inside the callback may have moved it.
            int index = 0;
            if (self->m_schedule.Find(head, &index)) {
                moveEntry(self->m_schedule, index,
                          head->dueTime + static_cast<DWORD>(head->interval));
            }
        }
        LeaveCriticalSection(&self->m_cs);
    }
    // The last touch of the object: from here Destroy may release everything.
    storeFlag(self->m_bStop, kStopWorkerGone);
    return result;
}
