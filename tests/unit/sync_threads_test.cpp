// The platform layer's threads, events, critical sections, waits, tick count and priorities.
#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

struct Handle {
    explicit Handle(HANDLE h) : h(h) {}
    ~Handle() {
        if (h) {
            CloseHandle(h);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE h;
};

struct Gate {
    HANDLE release;
    DWORD idSeen;
};

DWORD WINAPI waitThenReturn(LPVOID p) {
    auto* gate = static_cast<Gate*>(p);
    gate->idSeen = GetCurrentThreadId();
    WaitForSingleObject(gate->release, INFINITE);
    return 42;
}

TEST(Threads, RunReportIdWaitAndExitCode) {
    Handle release(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    Gate gate{release.h, 0};
    DWORD id = 0;
    Handle thread(CreateThread(nullptr, 0, waitThenReturn, &gate, 0, &id));
    ASSERT_NE(nullptr, thread.h);
    EXPECT_NE(0u, id);
    EXPECT_NE(GetCurrentThreadId(), id);

    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread.h, &code));
    EXPECT_EQ(STILL_ACTIVE, code);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(thread.h, 20));

    SetEvent(release.h);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.h, INFINITE));
    EXPECT_EQ(id, gate.idSeen);
    EXPECT_TRUE(GetExitCodeThread(thread.h, &code));
    EXPECT_EQ(42u, code);
    // A thread stays signalled once ended.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.h, 0));
}

DWORD WINAPI signalWhenDone(LPVOID p) {
    auto* gate = static_cast<Gate*>(p);
    WaitForSingleObject(gate->release, INFINITE);
    Handle done(CreateEventA(nullptr, TRUE, FALSE, "sync-test-done"));
    SetEvent(done.h);
    return 0;
}

TEST(Threads, ClosingTheHandleLeavesTheThreadRunning) {
    Handle release(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    Handle done(CreateEventA(nullptr, TRUE, FALSE, "sync-test-done"));
    Gate gate{release.h, 0};
    HANDLE thread = CreateThread(nullptr, 0, signalWhenDone, &gate, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_FALSE(CloseHandle(thread));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SetEvent(release.h);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(done.h, INFINITE));
}

TEST(Threads, RefusedArguments) {
    EXPECT_EQ(nullptr, CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(nullptr,
              CreateThread(nullptr, 0, waitThenReturn, nullptr, CREATE_SUSPENDED, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError());
    DWORD code = 0;
    EXPECT_FALSE(GetExitCodeThread(nullptr, &code));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(nullptr, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST(Threads, PrioritiesAreReportedBackAsSet) {
    Handle release(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    Gate gate{release.h, 0};
    Handle thread(CreateThread(nullptr, 0, waitThenReturn, &gate, 0, nullptr));
    EXPECT_EQ(THREAD_PRIORITY_NORMAL, GetThreadPriority(thread.h));
    for (int priority : {THREAD_PRIORITY_IDLE, THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_BELOW_NORMAL,
                         THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                         THREAD_PRIORITY_TIME_CRITICAL, THREAD_PRIORITY_NORMAL}) {
        EXPECT_TRUE(SetThreadPriority(thread.h, priority));
        EXPECT_EQ(priority, GetThreadPriority(thread.h));
    }
    EXPECT_TRUE(SetThreadPriority(thread.h, THREAD_PRIORITY_LOWEST));
    EXPECT_FALSE(SetThreadPriority(thread.h, 7));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(THREAD_PRIORITY_LOWEST, GetThreadPriority(thread.h));
    SetEvent(release.h);
    WaitForSingleObject(thread.h, INFINITE);
    // An ended thread keeps its handle and its last priority.
    EXPECT_EQ(THREAD_PRIORITY_LOWEST, GetThreadPriority(thread.h));

    EXPECT_FALSE(SetThreadPriority(nullptr, THREAD_PRIORITY_NORMAL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SetLastError(0);
    EXPECT_EQ(THREAD_PRIORITY_ERROR_RETURN, GetThreadPriority(nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());

    std::thread foreign([] {
        EXPECT_EQ(THREAD_PRIORITY_NORMAL, GetThreadPriority(GetCurrentThread()));
        EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL));
        EXPECT_EQ(THREAD_PRIORITY_BELOW_NORMAL, GetThreadPriority(GetCurrentThread()));
    });
    foreign.join();
}

TEST(Events, AutoResetReleasesOneWaiterPerSignal) {
    Handle event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.h, INFINITE));
            ++woken;
        });
    }
    Handle done(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    for (int expected = 1; expected <= 3; ++expected) {
        SetEvent(event.h);
        // Each signal lets exactly one waiter through; the others stay blocked.
        while (woken.load() < expected) {
            WaitForSingleObject(done.h, 1);
        }
        WaitForSingleObject(done.h, 30);
        EXPECT_EQ(expected, woken.load());
    }
    for (auto& t : waiters) {
        t.join();
    }
    // The signal was consumed by the wait it released.
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event.h, 0));
}

TEST(Events, ManualResetReleasesEveryoneUntilReset) {
    Handle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back(
            [&] { EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.h, INFINITE)); });
    }
    EXPECT_TRUE(SetEvent(event.h));
    for (auto& t : waiters) {
        t.join();
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.h, 0));
    EXPECT_TRUE(ResetEvent(event.h));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event.h, 0));

    Handle initiallySet(CreateEventA(nullptr, FALSE, TRUE, nullptr));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(initiallySet.h, 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(initiallySet.h, 0));
}

TEST(Events, NamedEventsShareOneObjectThatOutlivesAClosedHandle) {
    Handle first(CreateEventA(nullptr, FALSE, FALSE, "sync-test-named"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    Handle second(CreateEventA(nullptr, TRUE, TRUE, "sync-test-named"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_NE(first.h, second.h);

    std::atomic<bool> waiting{false};
    HANDLE firstHandle = first.h;
    std::thread waiter([&waiting, firstHandle] {
        waiting = true;
        // The handle is closed under the wait; the wait still ends on the object's signal.
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(firstHandle, INFINITE));
    });
    while (!waiting) {
        Sleep(1);
    }
    Sleep(20);
    HANDLE closed = first.h;
    first.h = nullptr;
    EXPECT_TRUE(CloseHandle(closed));
    EXPECT_TRUE(SetEvent(second.h));
    waiter.join();
    EXPECT_FALSE(SetEvent(closed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(ResetEvent(nullptr));
}

TEST(Waits, TimeoutsEndNoEarlierThanTheirTick) {
    Handle event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    for (DWORD timeout : {1u, 7u, 50u}) {
        const DWORD before = GetTickCount();
        EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event.h, timeout));
        EXPECT_GE(GetTickCount() - before, timeout);
    }
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event.h, 0));

    const DWORD sleepStart = GetTickCount();
    Sleep(30);
    EXPECT_GE(GetTickCount() - sleepStart, 29u);
}

TEST(CriticalSections, ReentrantAndExclusive) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs);
    std::thread other([&] {
        EXPECT_FALSE(TryEnterCriticalSection(&cs));
        LeaveCriticalSection(&cs); // not the owner: nothing happens
    });
    other.join();
    LeaveCriticalSection(&cs);
    std::thread stillHeld([&] { EXPECT_FALSE(TryEnterCriticalSection(&cs)); });
    stillHeld.join();
    LeaveCriticalSection(&cs);
    std::thread nowFree([&] {
        EXPECT_TRUE(TryEnterCriticalSection(&cs));
        LeaveCriticalSection(&cs);
    });
    nowFree.join();

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

    // The owner may delete the section it holds.
    EnterCriticalSection(&cs);
    DeleteCriticalSection(&cs);
}

TEST(TickCount, MonotonicAndWrapsThroughTheTestOffset) {
    const DWORD a = GetTickCount();
    const DWORD b = GetTickCount();
    EXPECT_LE(static_cast<int>(b - a), 5);
    EXPECT_GE(static_cast<int>(b - a), 0);

    PlatSetTickCountOffset(0);
    const DWORD raw = GetTickCount();
    PlatSetTickCountOffset(0xFFFFFFFFu - raw - 20u); // about 20 ms before the wrap
    const DWORD nearWrap = GetTickCount();
    EXPECT_GT(nearWrap, 0xFFFFFF00u);
    Sleep(60);
    const DWORD after = GetTickCount();
    PlatSetTickCountOffset(0);
    EXPECT_LT(after, 0x10000u);
    EXPECT_GE(after - nearWrap, 59u); // unsigned difference spans the wrap
}

} // namespace
