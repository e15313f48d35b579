#include "schedule/schedule_internal.h"

namespace korutil::detail {
namespace {

// The object the calling worker serves, and whether Destroy has let the worker go.
thread_local const CScheduleThread* t_serving = nullptr;
thread_local bool t_letGo = false;

} // namespace

void letWorkerGo(const CScheduleThread* object) {
    if (t_serving == object) {
        t_letGo = true;
    }
}

DWORD WINAPI ScheduleWorker::entry(LPVOID object) {
    t_serving = static_cast<const CScheduleThread*>(object);
    t_letGo = false;
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
        // waited; only the remembered head, and only once due, is fired. Nothing is fired
        // once Destroy has begun or while suspended.
        if (loadFlag(self->m_bStop) == kStopRun && !loadFlag(self->m_bSuspended) &&
            self->m_schedule.GetCount() > 0 && entryAt(self->m_schedule, 0) == head &&
            !laterThan(head->dueTime, GetTickCount())) {
            if (head->client) {
                head->firing = true;
                result = static_cast<unsigned long>(head->client->OnSchedule());
                if (t_letGo) {
                    return result; // the object may be gone; Destroy released our hold
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
