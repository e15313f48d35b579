#include "schedule/schedule_internal.h"

using namespace korutil::detail;

CScheduleThread::CScheduleThread()
    : m_hThread(nullptr), m_hEvent(nullptr), m_dwThreadId(0), m_bStop(kStopRun), m_bSuspended(1),
      m_nLastId(0), m_schedule(16, 0) {
    InitializeCriticalSection(&m_cs);
}

CScheduleThread::~CScheduleThread() {
    if (m_hThread) {
        Destroy();
    }
    // Entries scheduled without a worker are released too.
    EnterCriticalSection(&m_cs);
    releaseEntries(m_schedule);
    LeaveCriticalSection(&m_cs);
    DeleteCriticalSection(&m_cs);
}

int CScheduleThread::Create(int priority) {
    if (!loadHandle(m_hThread)) {
        // Under the lock, so that hosts starting the shared object on two threads at once get
        // one worker between them.
        EnterCriticalSection(&m_cs);
        if (!m_hThread) {
            storeFlag(m_bStop, kStopRun);
            storeFlag(m_bSuspended, 1);
            HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
            if (!event) {
                LeaveCriticalSection(&m_cs);
                return 0;
            }
            storeHandle(m_hEvent, event);
            DWORD threadId = 0;
            HANDLE thread = CreateThread(nullptr, 0, ScheduleWorker::entry, this, 0, &threadId);
            if (!thread) {
                storeHandle(m_hEvent, nullptr);
                LeaveCriticalSection(&m_cs);
                CloseHandle(event);
                return 0;
            }
            m_dwThreadId = threadId;
            storeHandle(m_hThread, thread);
        }
        LeaveCriticalSection(&m_cs);
    }
    SetThreadPriority(loadHandle(m_hThread), priority);
    return 1;
}

void CScheduleThread::Destroy() {
    if (!m_hThread) {
        return;
    }
    storeFlag(m_bStop, kStopAsked);
    if (m_hEvent) {
        SetEvent(m_hEvent);
    }
    const bool onWorker = GetCurrentThreadId() == m_dwThreadId;
    if (onWorker) {
        // Called from a callback on the worker, which cannot wait for itself. It learns of it
        // when the callback returns and then touches nothing of the object.
        letWorkerGo(this);
    } else {
        // The worker normally ends at once. One that is still inside a callback after the
        // bounded wait is waited for until it has let go of the object (it may have left its
        // loop without its thread ending yet, as when thread exit waits on the loader).
        DWORD waited = WaitForSingleObject(m_hThread, scheduleStopWait());
        while (waited == WAIT_TIMEOUT && loadFlag(m_bStop) != kStopWorkerGone) {
            waited = WaitForSingleObject(m_hThread, scheduleStopWait());
        }
    }
    EnterCriticalSection(&m_cs);
    releaseEntries(m_schedule);
    HANDLE event = m_hEvent;
    storeHandle(m_hEvent, nullptr);
    LeaveCriticalSection(&m_cs);
    CloseHandle(m_hThread);
    storeHandle(m_hThread, nullptr);
    CloseHandle(event);
    if (onWorker) {
        LeaveCriticalSection(&m_cs); // the hold the worker took for the call under way
    }
}

void CScheduleThread::SetPriority(int priority) {
    SetThreadPriority(loadHandle(m_hThread), priority);
}

int CScheduleThread::GetPriority() const {
    return GetThreadPriority(loadHandle(m_hThread));
}

int CScheduleThread::IsAlive() const {
    return loadHandle(m_hThread) != nullptr ? 1 : 0;
}

int CScheduleThread::IsSuspended() const {
    return loadFlag(m_bSuspended);
}

void CScheduleThread::Suspend() {
    if (!loadFlag(m_bSuspended)) {
        storeFlag(m_bSuspended, 1);
        if (HANDLE event = loadHandle(m_hEvent)) {
            SetEvent(event);
        }
    }
}

void CScheduleThread::Resume() {
    if (loadFlag(m_bSuspended)) {
        storeFlag(m_bSuspended, 0);
        if (HANDLE event = loadHandle(m_hEvent)) {
            SetEvent(event);
        }
    }
}
