// The platform layer's threads, events, critical sections, waits, tick count and priorities.
#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

DWORD WINAPI waitForEventThenReturn(LPVOID event) {
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 42;
}

TEST(Threads, LifecycleExitCodePrioritiesAndRefusals) {
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD id = 0, code = 0;
    HANDLE thread = CreateThread(nullptr, 0, waitForEventThenReturn, release, 0, &id);
    ASSERT_NE(nullptr, thread);
    EXPECT_NE(0u, id);
    EXPECT_NE(GetCurrentThreadId(), id);
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(STILL_ACTIVE, code);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(thread, 20));
    EXPECT_EQ(THREAD_PRIORITY_NORMAL, GetThreadPriority(thread));
    for (int priority : {THREAD_PRIORITY_IDLE, THREAD_PRIORITY_TIME_CRITICAL,
                         THREAD_PRIORITY_HIGHEST, THREAD_PRIORITY_LOWEST}) {
        EXPECT_TRUE(SetThreadPriority(thread, priority));
        EXPECT_EQ(priority, GetThreadPriority(thread)); // reported back as set
    }
    EXPECT_FALSE(SetThreadPriority(thread, 7));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(nullptr,
              CreateThread(nullptr, 0, waitForEventThenReturn, nullptr, CREATE_SUSPENDED, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError());
    EXPECT_EQ(nullptr, CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr));
    EXPECT_FALSE(SetThreadPriority(nullptr, THREAD_PRIORITY_NORMAL));
    SetLastError(0);
    EXPECT_EQ(THREAD_PRIORITY_ERROR_RETURN, GetThreadPriority(nullptr)); // no such thread
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(nullptr, 0));

    // A second thread outlives its closed handle and ends on the same signal.
    HANDLE other = CreateThread(nullptr, 0, waitForEventThenReturn, release, 0, nullptr);
    EXPECT_TRUE(CloseHandle(other));
    EXPECT_FALSE(CloseHandle(other));
    SetEvent(release);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, INFINITE));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 0)); // signalled for good
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(42u, code);
    EXPECT_EQ(THREAD_PRIORITY_LOWEST, GetThreadPriority(thread));
    CloseHandle(thread);
    CloseHandle(release);

    std::thread([] {
        EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL));
        EXPECT_EQ(THREAD_PRIORITY_BELOW_NORMAL, GetThreadPriority(GetCurrentThread()));
    }).join();
}

TEST(Events, AutoResetReleasesOneWaiterPerSignalManualResetAll) {
    for (BOOL manual : {FALSE, TRUE}) {
        HANDLE event = CreateEventA(nullptr, manual, FALSE, nullptr);
        std::atomic<int> woken{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < 3; ++i) {
            waiters.emplace_back([&] {
                EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, INFINITE));
                ++woken;
            });
        }
        for (int signal = 1; signal <= (manual ? 1 : 3); ++signal) {
            SetEvent(event);
            while (woken.load() < (manual ? 3 : signal)) {
                Sleep(1);
            }
            Sleep(30); // time for a waiter released wrongly to show
            EXPECT_EQ(manual ? 3 : signal, woken.load());
        }
        for (auto& t : waiters) {
            t.join();
        }
        // The auto-reset signal was consumed by the wait it released; the manual one stays.
        EXPECT_EQ(manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT, WaitForSingleObject(event, 0));
        EXPECT_TRUE(ResetEvent(event));
        EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
        CloseHandle(event);
    }
    HANDLE initiallySet = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(initiallySet, 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(initiallySet, 0));
    CloseHandle(initiallySet);
}

TEST(Events, NamedEventsShareOneObjectThatOutlivesAClosedHandle) {
    HANDLE first = CreateEventA(nullptr, FALSE, FALSE, "sync-test-named");
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    HANDLE second = CreateEventA(nullptr, TRUE, TRUE, "sync-test-named");
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_NE(first, second);
    // The handle is closed under the wait; the wait still ends on the object's signal.
    std::atomic<bool> waiting{false};
    std::thread waiter([&waiting, first] {
        waiting = true;
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(first, INFINITE));
    });
    while (!waiting) {
        Sleep(1);
    }
    Sleep(50);
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_TRUE(SetEvent(second));
    waiter.join();
    EXPECT_FALSE(SetEvent(first));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(ResetEvent(nullptr));
    CloseHandle(second);
}

TEST(CriticalSections, ReentrantAndExclusive) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs);
    std::thread([&] {
        EXPECT_FALSE(TryEnterCriticalSection(&cs));
        LeaveCriticalSection(&cs); // not the owner: nothing happens
    }).join();
    LeaveCriticalSection(&cs);
    std::thread([&] { EXPECT_FALSE(TryEnterCriticalSection(&cs)); }).join();
    LeaveCriticalSection(&cs);
    long counter = 0; // guarded by cs alone
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                EnterCriticalSection(&cs);
                EnterCriticalSection(&cs);
                ++counter;
                LeaveCriticalSection(&cs);
                LeaveCriticalSection(&cs);
            }
        });
    }
    for (auto& t : workers) {
        t.join();
    }
    EXPECT_EQ(8000, counter);
    EnterCriticalSection(&cs); // the owner may delete the section it holds
    DeleteCriticalSection(&cs);
}

TEST(TickCount, WaitsEndAtTheirTickAndTheCountWrapsThroughTheTestOffset) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    for (DWORD timeout : {0u, 1u, 7u, 50u}) {
        const DWORD before = GetTickCount();
        EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, timeout));
        EXPECT_GE(GetTickCount() - before, timeout); // never early
    }
    CloseHandle(event);

    PlatSetTickCountOffset(0);
    PlatSetTickCountOffset(0u - GetTickCount() - 30u); // 30 ms before the wrap
    const DWORD nearWrap = GetTickCount();
    Sleep(60);
    const DWORD after = GetTickCount();
    PlatSetTickCountOffset(0);
    EXPECT_LT(after, 0x10000000u); // past zero
    EXPECT_GE(after - nearWrap, 59u);
    EXPECT_LT(after - nearWrap, 0x10000000u);
}

} // namespace
