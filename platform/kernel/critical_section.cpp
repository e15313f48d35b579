#include <korutil/platform/threads.h>

#include <pthread.h>

#include <new>

namespace {

static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::Lock),
              "the system lock must fit the critical section's storage");

pthread_mutex_t* systemLock(LPCRITICAL_SECTION section) {
    return std::launder(reinterpret_cast<pthread_mutex_t*>(section->Lock.Storage));
}

// The owner is read by threads that do not hold the lock; only the owner ever writes its own
// identifier there, so a thread that reads its own identifier does own the section.
DWORD owner(LPCRITICAL_SECTION section) {
    return __atomic_load_n(&section->OwningThread, __ATOMIC_RELAXED);
}

void setOwner(LPCRITICAL_SECTION section, DWORD id) {
    __atomic_store_n(&section->OwningThread, id, __ATOMIC_RELAXED);
}

} // namespace

extern "C" void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    lpCriticalSection->OwningThread = 0;
    lpCriticalSection->RecursionCount = 0;
    new (lpCriticalSection->Lock.Storage) pthread_mutex_t;
    pthread_mutex_init(systemLock(lpCriticalSection), nullptr);
}

extern "C" void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    const DWORD self = GetCurrentThreadId();
    if (owner(lpCriticalSection) == self) {
        ++lpCriticalSection->RecursionCount;
        return;
    }
    pthread_mutex_lock(systemLock(lpCriticalSection));
    setOwner(lpCriticalSection, self);
    lpCriticalSection->RecursionCount = 1;
}

extern "C" BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    const DWORD self = GetCurrentThreadId();
    if (owner(lpCriticalSection) == self) {
        ++lpCriticalSection->RecursionCount;
        return TRUE;
    }
    if (pthread_mutex_trylock(systemLock(lpCriticalSection)) != 0) {
        return FALSE;
    }
    setOwner(lpCriticalSection, self);
    lpCriticalSection->RecursionCount = 1;
    return TRUE;
}

extern "C" void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (owner(lpCriticalSection) != GetCurrentThreadId()) {
        return;
    }
    if (--lpCriticalSection->RecursionCount == 0) {
        setOwner(lpCriticalSection, 0);
        pthread_mutex_unlock(systemLock(lpCriticalSection));
    }
}

extern "C" void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    if (owner(lpCriticalSection) == GetCurrentThreadId()) {
        lpCriticalSection->RecursionCount = 0;
        setOwner(lpCriticalSection, 0);
        pthread_mutex_unlock(systemLock(lpCriticalSection));
    }
    pthread_mutex_destroy(systemLock(lpCriticalSection));
}
