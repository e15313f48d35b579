#include "schedule/schedule_internal.h"

#include "frame/heap.h"

namespace korutil::detail {

int locateAfter(const CPtrArray& list, DWORD due, int skip) {
    const int count = list.GetCount();
    for (int i = 0; i < count; ++i) {
        if (i != skip && laterThan(entryAt(list, i)->dueTime, due)) {
            return skip >= 0 && i > skip ? i - 1 : i;
        }
    }
    return skip >= 0 && skip < count ? count - 1 : count;
}

int findEntry(const CPtrArray& list, int id) {
    const int count = list.GetCount();
    for (int i = 0; i < count; ++i) {
        const ScheduleEntry* entry = entryAt(list, i);
        if (entry->id == id && !entry->firing) {
            return i;
        }
    }
    return -1;
}

int moveEntry(CPtrArray& list, int from, DWORD due) {
    void* moving = list.GetAt(from);
    static_cast<ScheduleEntry*>(moving)->dueTime = due;
    const int to = locateAfter(list, due, from);
    for (int i = from; i < to; ++i) {
        list.ElementAt(i) = list.GetAt(i + 1);
    }
    for (int i = from; i > to; --i) {
        list.ElementAt(i) = list.GetAt(i - 1);
    }
    list.ElementAt(to) = moving;
    return to;
}

void releaseEntries(CPtrArray& list) {
    for (int i = list.GetCount() - 1; i >= 0; --i) {
        ScheduleEntry* entry = entryAt(list, i);
        list.RemoveAt(i);
        heapDelete(entry);
    }
}

} // namespace korutil::detail

using namespace korutil::detail;

int CScheduleThread::LocateInsert(unsigned long dueTime) {
    return locateAfter(m_schedule, static_cast<DWORD>(dueTime), -1);
}

int CScheduleThread::Schedule(int* pId, IScheduleClient* client, int interval) {
    // A period of 0 or below would keep the worker firing without pause, holding the lock.
    if (interval <= 0) {
        return 0;
    }
    ScheduleEntry* entry = heapNew<ScheduleEntry>();
    if (!entry) {
        return 0;
    }
    EnterCriticalSection(&m_cs);
    const int id = m_nLastId + 1;
    entry->id = id;
    entry->interval = interval;
    entry->client = client;
    entry->firing = false;
    entry->dueTime = static_cast<DWORD>(interval) + GetTickCount();
    const int index = LocateInsert(entry->dueTime);
    if (!m_schedule.InsertAt(index, entry)) {
        // The list cannot grow: nothing is scheduled and the identifier is not spent.
        LeaveCriticalSection(&m_cs);
        heapDelete(entry);
        return 0;
    }
    m_nLastId = id;
    if (pId) {
        *pId = id;
    }
    if (index == 0 && m_hEvent) {
        SetEvent(m_hEvent); // a new head: the worker's wait changes
    }
    if (client) {
        client->OnSchedule();
    }
    LeaveCriticalSection(&m_cs);
    if (loadFlag(m_bSuspended)) {
        Resume();
    }
    return 1;
}

int CScheduleThread::ReSchedule(int id, int interval) {
    if (interval <= 0) {
        return 0;
    }
    EnterCriticalSection(&m_cs);
    const int from = findEntry(m_schedule, id);
    if (from < 0) {
        LeaveCriticalSection(&m_cs);
        return 0;
    }
    ScheduleEntry* entry = entryAt(m_schedule, from);
    if (entry->interval != interval) {
        entry->interval = interval;
        // The period restarts now. The entry moves within the list rather than leaving it,
        // so it cannot be lost to a list that fails to grow.
        const int to = moveEntry(m_schedule, from, static_cast<DWORD>(interval) + GetTickCount());
        if ((from == 0 || to == 0) && m_hEvent) {
            SetEvent(m_hEvent);
        }
        if (entry->client) {
            entry->client->OnSchedule();
        }
    }
    LeaveCriticalSection(&m_cs);
    if (loadFlag(m_bSuspended)) {
        Resume();
    }
    return 1;
}

int CScheduleThread::KillSchedule(int id) {
    EnterCriticalSection(&m_cs);
    const int index = findEntry(m_schedule, id);
    if (index >= 0) {
        ScheduleEntry* entry = entryAt(m_schedule, index);
        m_schedule.RemoveAt(index);
        heapDelete(entry);
    }
    if (m_schedule.GetCount() == 0 && !loadFlag(m_bSuspended)) {
        Suspend();
    }
    LeaveCriticalSection(&m_cs);
    return index >= 0 ? 1 : 0;
}
