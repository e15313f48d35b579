// What the schedule thread's files share: the entry record, wrap-safe tick arithmetic, the
// flags read without the lock, and the worker's knowledge of its object's fate.
#pragma once

#include <korutil/schedule.h>

namespace korutil::detail {

struct ScheduleEntry {
    DWORD dueTime;
    int id;
    int interval;
    IScheduleClient* client;
    // Set while the worker calls this entry: the entry then counts as out of the list, so
    // that finding it by identifier fails, as it would after taking it out.
    bool firing;
};

inline ScheduleEntry* entryAt(const CPtrArray& list, int index) {
    return static_cast<ScheduleEntry*>(list.GetAt(index));
}

// Tick values compare through their difference, so that due times keep their order across
// the 2^32 wrap of the tick count (entries within 2^31 ms of each other).
inline bool laterThan(DWORD a, DWORD b) {
    const DWORD difference = a - b;
    return difference != 0 && difference < 0x80000000u;
}

// Milliseconds from now until due, 0 when it is already due.
inline DWORD timeUntil(DWORD due, DWORD now) {
    return laterThan(due, now) ? due - now : 0;
}

// The index of the first entry (other than `skip`) due later than `due`, counted as if
// `skip` were out of the list; the count (without `skip`) when there is none.
int locateAfter(const CPtrArray& list, DWORD due, int skip);

// Finds the entry with that identifier that is not being called; -1 when there is none.
int findEntry(const CPtrArray& list, int id);

// Gives the entry at `from` a new due time and moves it to its place by shifting the
// elements between, so that the move needs no memory and cannot fail. Returns its new index.
int moveEntry(CPtrArray& list, int from, DWORD due);

// Releases every entry, from the last to the first.
void releaseEntries(CPtrArray& list);

// The flags and handles are plain fields as the object's layout has them; the ones read
// without the lock (the flags, and the handles by Suspend, Resume and the priority and
// liveness queries) are accessed atomically.
#if defined(_MSC_VER)
inline int loadFlag(const int& flag) {
    return InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(const_cast<int*>(&flag)), 0,
                                      0);
}
inline void storeFlag(int& flag, int value) {
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&flag), value);
}
inline HANDLE loadHandle(const HANDLE& handle) {
    return InterlockedCompareExchangePointer(const_cast<PVOID volatile*>(&handle), nullptr,
                                             nullptr);
}
inline void storeHandle(HANDLE& handle, HANDLE value) {
    InterlockedExchangePointer(&handle, value);
}
#else
inline int loadFlag(const int& flag) {
    return __atomic_load_n(&flag, __ATOMIC_ACQUIRE);
}
inline void storeFlag(int& flag, int value) {
    __atomic_store_n(&flag, value, __ATOMIC_RELEASE);
}
inline HANDLE loadHandle(const HANDLE& handle) {
    return __atomic_load_n(&handle, __ATOMIC_ACQUIRE);
}
inline void storeHandle(HANDLE& handle, HANDLE value) {
    __atomic_store_n(&handle, value, __ATOMIC_RELEASE);
}
#endif

// m_bStop values: 0 run, 1 asked to stop, 2 the worker has let go of the object.
constexpr int kStopRun = 0;
constexpr int kStopAsked = 1;
constexpr int kStopWorkerGone = 2;

// Destroy running on the worker itself (a callback destroying its own scheduler, or exit()
// in a callback) lets the worker go: when the call returns, the worker ends without touching
// the object again.
void letWorkerGo(const CScheduleThread* object);

// How long Destroy waits for the worker before it checks whether the worker still uses the
// object; 3000 ms unless a test shortens it.
DWORD scheduleStopWait();

// Counts one return of the worker from its wait.
void countWorkerWakeup();

struct ScheduleWorker {
    static DWORD WINAPI entry(LPVOID object);
};

} // namespace korutil::detail
