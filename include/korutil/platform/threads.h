// Threads, events, critical sections, waits, the tick count and thread priorities.
#pragma once

#include <korutil/platform/types.h>

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define STILL_ACTIVE 259u

#define CREATE_SUSPENDED 0x00000004u
#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000u

#define THREAD_PRIORITY_IDLE (-15)
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15
#define THREAD_PRIORITY_ERROR_RETURN 0x7FFFFFFF

typedef DWORD(WINAPI* PTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);
typedef PTHREAD_START_ROUTINE LPTHREAD_START_ROUTINE;

// A re-entrant lock. The owner and recursion count are kept beside the system lock, which
// lives in the opaque storage; the layout is the layer's own.
typedef struct _RTL_CRITICAL_SECTION {
    DWORD OwningThread; // identifier of the owner, 0 while free
    LONG RecursionCount;
    union {
        unsigned char Storage[64];
        long long Align;
    } Lock;
} CRITICAL_SECTION, *LPCRITICAL_SECTION, *PCRITICAL_SECTION;

extern "C" {
// Starts a thread running lpStartAddress(lpParameter); its handle is signalled when the
// routine returns, and GetExitCodeThread then gives the routine's result. CREATE_SUSPENDED
// is not supported (null, ERROR_NOT_SUPPORTED).
KORPLATFORM_API HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes,
                                           SIZE_T dwStackSize,
                                           LPTHREAD_START_ROUTINE lpStartAddress,
                                           LPVOID lpParameter, DWORD dwCreationFlags,
                                           LPDWORD lpThreadId);
// A pseudo handle meaning "the calling thread", accepted by the priority calls.
KORPLATFORM_API HANDLE WINAPI GetCurrentThread(void);
KORPLATFORM_API DWORD WINAPI GetCurrentThreadId(void);
// STILL_ACTIVE while the thread runs.
KORPLATFORM_API BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);

// Takes the Windows priority values; the system's niceness follows where the process may
// change it, and the value set is always the one reported back.
KORPLATFORM_API BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority);
// THREAD_PRIORITY_ERROR_RETURN with ERROR_INVALID_HANDLE when there is no such thread.
KORPLATFORM_API int WINAPI GetThreadPriority(HANDLE hThread);

// Named events are shared within the process: a second create with the same name opens the
// first one and sets ERROR_ALREADY_EXISTS.
KORPLATFORM_API HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes,
                                           BOOL bManualReset, BOOL bInitialState, LPCSTR lpName);
KORPLATFORM_API BOOL WINAPI SetEvent(HANDLE hEvent);
KORPLATFORM_API BOOL WINAPI ResetEvent(HANDLE hEvent);

// Blocks (without polling) until the event or thread is signalled or the time is up; an
// auto-reset event is reset by the wait that it releases. Time-outs count in ticks: the wait
// ends as GetTickCount reaches its value at the call plus dwMilliseconds. WAIT_FAILED with
// ERROR_INVALID_HANDLE for a handle that names neither.
KORPLATFORM_API DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
KORPLATFORM_API void WINAPI Sleep(DWORD dwMilliseconds);

// Milliseconds of the monotonic clock, wrapping at 2^32.
KORPLATFORM_API DWORD WINAPI GetTickCount(void);

KORPLATFORM_API void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
KORPLATFORM_API void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
KORPLATFORM_API BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
// Does nothing when the caller does not own the section.
KORPLATFORM_API void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
// A section may be deleted by the thread that owns it; it must not be in use otherwise.
KORPLATFORM_API void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// Test hook: GetTickCount gives the monotonic milliseconds plus this offset, so that tests
// can bring the tick count close to its wrap.
KORPLATFORM_API void WINAPI PlatSetTickCountOffset(DWORD dwOffset);
}
