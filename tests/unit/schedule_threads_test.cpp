// The schedule thread: registration, firing order, suspension, re-entrant callbacks, the
// lifecycle, memory failures, the tick wrap and concurrent hosts.
#include <korutil/schedule.h>

#include "frame/heap.h"
#include "schedule/hooks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

using korutil::detail::HeapFailureScope;

// Destroy is for the object's owner; the tests are one.
class Scheduler final : public CScheduleThread {
public:
    using CScheduleThread::Destroy;
};

// Generous: conditions normally hold within milliseconds.
bool waitFor(const std::function<bool()>& condition, DWORD ms = 10000) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > ms) {
            return false;
        }
        Sleep(2);
    }
    return true;
}

// Records every call in one log shared by the clients of a test, and checks that calls on two
// threads never overlap (calls nested on one thread, made from inside a callback, may).
struct CallLog {
    std::mutex lock;
    std::vector<int> tags;
    std::atomic<DWORD> owner{0};
    int depth = 0; // touched by the owner only
    std::atomic<int> overlaps{0};

    void enter() {
        const DWORD self = GetCurrentThreadId();
        DWORD expected = 0;
        if (owner.load() != self && !owner.compare_exchange_strong(expected, self)) {
            ++overlaps;
            return;
        }
        ++depth;
    }
    void leave() {
        if (owner.load() == GetCurrentThreadId() && --depth == 0) {
            owner = 0;
        }
    }

    void add(int tag) {
        std::lock_guard<std::mutex> guard(lock);
        tags.push_back(tag);
    }
    std::vector<int> snapshot() {
        std::lock_guard<std::mutex> guard(lock);
        return tags;
    }
};

class Client final : public IScheduleClient {
public:
    Client(CallLog* log = nullptr, int tag = 0) : m_log(log), m_tag(tag) {}

    int OnSchedule() override {
        if (m_log) {
            m_log->enter();
        }
        lastThread = GetCurrentThreadId();
        const int n = ++calls;
        if (m_log) {
            m_log->add(m_tag);
        }
        if (onCall) {
            onCall(n);
        }
        if (m_log) {
            m_log->leave();
        }
        return n;
    }

    std::atomic<int> calls{0};
    std::atomic<DWORD> lastThread{0};
    std::function<void(int)> onCall;

private:
    CallLog* m_log;
    int m_tag;
};

// -- Registration without a worker

TEST(ScheduleRegistration, IdentifiersCountUpAndEachScheduleCallsOnceOnTheCaller) {
    Scheduler s;
    Client a, b, c;
    int ids[3] = {0, 0, 0};
    EXPECT_EQ(1, s.Schedule(&ids[0], &a, 1000));
    EXPECT_EQ(1, s.Schedule(&ids[1], &b, 1000));
    EXPECT_EQ(1, s.Schedule(&ids[2], &c, 1000));
    EXPECT_EQ(1, ids[0]);
    EXPECT_EQ(2, ids[1]);
    EXPECT_EQ(3, ids[2]);
    EXPECT_EQ(1, a.calls.load());
    EXPECT_EQ(GetCurrentThreadId(), a.lastThread.load());
    EXPECT_FALSE(s.IsAlive());
    EXPECT_EQ(THREAD_PRIORITY_ERROR_RETURN, s.GetPriority());
}

TEST(ScheduleRegistration, RescheduleAndKillAnswerForTheirIdentifier) {
    Scheduler s;
    Client a;
    int id = 0;
    ASSERT_EQ(1, s.Schedule(&id, &a, 500));
    EXPECT_EQ(1, s.ReSchedule(id, 500)); // same interval: nothing changes, no call
    EXPECT_EQ(1, a.calls.load());
    EXPECT_EQ(1, s.ReSchedule(id, 700));
    EXPECT_EQ(2, a.calls.load());
    EXPECT_EQ(0, s.ReSchedule(id + 1, 700));
    EXPECT_EQ(0, s.KillSchedule(id + 1));
    EXPECT_EQ(1, s.KillSchedule(id));
    EXPECT_EQ(0, s.KillSchedule(id));
    EXPECT_EQ(0, s.ReSchedule(id, 900));
    EXPECT_EQ(2, a.calls.load());
}

TEST(ScheduleRegistration, IntervalsOfZeroOrBelowAreRefused) {
    Scheduler s;
    Client a;
    int id = -7;
    EXPECT_EQ(0, s.Schedule(&id, &a, 0));
    EXPECT_EQ(0, s.Schedule(&id, &a, -5));
    EXPECT_EQ(-7, id);
    EXPECT_EQ(0, a.calls.load());
    ASSERT_EQ(1, s.Schedule(&id, &a, 100));
    EXPECT_EQ(1, id); // the refusals spent no identifier
    EXPECT_EQ(0, s.ReSchedule(id, 0));
    EXPECT_EQ(1, a.calls.load());
}

// -- Memory failures

TEST(ScheduleMemory, AFullListThatCannotGrowRefusesAndReleasesTheEntry) {
    Scheduler s;
    Client a;
    int id = 0;
    for (int i = 0; i < 16; ++i) {
        ASSERT_EQ(1, s.Schedule(&id, &a, 1000 + i));
    }
    const int callsBefore = a.calls.load();
    int refused = -1;
    {
        HeapFailureScope fail(1); // the entry itself
        EXPECT_EQ(0, s.Schedule(&refused, &a, 50));
        EXPECT_TRUE(korutil::detail::heapFailureFired());
    }
    {
        HeapFailureScope fail(2); // the list's growth, after the entry was allocated
        EXPECT_EQ(0, s.Schedule(&refused, &a, 50));
        EXPECT_TRUE(korutil::detail::heapFailureFired());
    }
    EXPECT_EQ(-1, refused);
    EXPECT_EQ(callsBefore, a.calls.load());
    ASSERT_EQ(1, s.Schedule(&id, &a, 50));
    EXPECT_EQ(17, id); // no identifier was spent on the failures
    for (int i = 1; i <= 17; ++i) {
        EXPECT_EQ(1, s.KillSchedule(i)) << i;
    }
}

TEST(ScheduleMemory, RescheduleAndTheWorkerNeverNeedTheHeap) {
    Scheduler s;
    CallLog log;
    std::vector<std::unique_ptr<Client>> clients;
    std::vector<int> ids;
    for (int i = 0; i < 16; ++i) {
        clients.push_back(std::make_unique<Client>(&log, i));
        int id = 0;
        ASSERT_EQ(1, s.Schedule(&id, clients.back().get(), 5 + i % 4));
        ids.push_back(id);
    }
    ASSERT_EQ(1, s.Create(THREAD_PRIORITY_NORMAL));
    s.Resume();
    {
        // Every request fails from here on: moving entries must not depend on the heap.
        HeapFailureScope fail(1, true);
        for (int round = 0; round < 20; ++round) {
            for (std::size_t i = 0; i < ids.size(); ++i) {
                EXPECT_EQ(1, s.ReSchedule(ids[i], 5 + (round + static_cast<int>(i)) % 7));
            }
        }
        const std::size_t seen = log.snapshot().size();
        EXPECT_TRUE(waitFor([&] { return log.snapshot().size() > seen + 50; }));
        EXPECT_FALSE(korutil::detail::heapFailureFired());
    }
    for (int id : ids) {
        EXPECT_EQ(1, s.KillSchedule(id)) << id; // nothing was lost
    }
    EXPECT_EQ(0, log.overlaps.load());
}

// -- The worker

TEST(ScheduleWorker, EntriesBeforeCreateWaitForResumeThenFireOnTheWorker) {
    Scheduler s;
    Client a;
    int id = 0;
    ASSERT_EQ(1, s.Schedule(&id, &a, 10));
    ASSERT_EQ(1, s.Create(THREAD_PRIORITY_BELOW_NORMAL));
    EXPECT_TRUE(s.IsAlive());
    EXPECT_TRUE(s.IsSuspended());
    EXPECT_EQ(THREAD_PRIORITY_BELOW_NORMAL, s.GetPriority());
    s.SetPriority(THREAD_PRIORITY_NORMAL);
    EXPECT_EQ(THREAD_PRIORITY_NORMAL, s.GetPriority());
    Sleep(100);
    EXPECT_EQ(1, a.calls.load()); // ten periods passed while suspended: nothing fired
    s.Resume();
    EXPECT_FALSE(s.IsSuspended());
    ASSERT_TRUE(waitFor([&] { return a.calls.load() >= 4; }));
    EXPECT_NE(GetCurrentThreadId(), a.lastThread.load());

    EXPECT_EQ(1, s.KillSchedule(id));
    EXPECT_TRUE(s.IsSuspended());
    const int after = a.calls.load();
    Sleep(60);
    EXPECT_EQ(after, a.calls.load());
}

TEST(ScheduleWorker, EarlierDueTimesFireFirstAndTiesKeepTheirOrder) {
    Scheduler s;
    ASSERT_EQ(1, s.Create(THREAD_PRIORITY_NORMAL));
    CallLog log;
    Client slow(&log, 100), fast(&log, 50);
    int slowId = 0, fastId = 0;
    ASSERT_EQ(1, s.Schedule(&slowId, &slow, 100));
    ASSERT_EQ(1, s.Schedule(&fastId, &fast, 50)); // becomes the head and wakes the worker
    ASSERT_TRUE(waitFor([&] { return slow.calls.load() >= 2; }));
    s.KillSchedule(slowId);
    s.KillSchedule(fastId);
    std::vector<int> tags = log.snapshot();
    // The two calls made by Schedule itself, then the worker's: 50 before 100.
    ASSERT_GE(tags.size(), 4u);
    EXPECT_EQ(100, tags[0]);
    EXPECT_EQ(50, tags[1]);
    EXPECT_EQ(50, tags[2]);

    // Two entries with one due time fire in the order they were scheduled.
    for (int attempt = 0; attempt < 50; ++attempt) {
        CallLog tieLog;
        Client first(&tieLog, 1), second(&tieLog, 2);
        int firstId = 0, secondId = 0;
        const DWORD before = GetTickCount();
        s.Schedule(&firstId, &first, 30);
        s.Schedule(&secondId, &second, 30);
        const bool sameTick = GetTickCount() == before;
        ASSERT_TRUE(waitFor([&] { return second.calls.load() >= 2; }));
        s.KillSchedule(firstId);
        s.KillSchedule(secondId);
        if (!sameTick) {
            continue;
        }
        const std::vector<int> order = tieLog.snapshot();
        ASSERT_GE(order.size(), 4u);
        EXPECT_EQ((std::vector<int>{1, 2, 1, 2}),
                  std::vector<int>(order.begin(), order.begin() + 4));
        break;
    }
}

TEST(ScheduleWorker, SuspendLastsUntilTheNextSchedule) {
    Scheduler s;
    ASSERT_EQ(1, s.Create(THREAD_PRIORITY_NORMAL));
    Client a, b;
    int idA = 0, idB = 0;
    ASSERT_EQ(1, s.Schedule(&idA, &a, 10));
    ASSERT_TRUE(waitFor([&] { return a.calls.load() >= 3; }));
    s.Suspend();
    EXPECT_TRUE(s.IsSuspended());
    EXPECT_EQ(0, s.KillSchedule(-1)); // takes the lock: a call under way has returned
    const int frozen = a.calls.load();
    Sleep(80);
    EXPECT_EQ(frozen, a.calls.load());
    ASSERT_EQ(1, s.Schedule(&idB, &b, 10));
    EXPECT_FALSE(s.IsSuspended());
    ASSERT_TRUE(waitFor([&] { return a.calls.load() >= frozen + 2 && b.calls.load() >= 3; }));
}

TEST(ScheduleWorker, NullClientKeepsItsPlaceWithoutCalls) {
    Scheduler s;
    ASSERT_EQ(1, s.Create(THREAD_PRIORITY_NORMAL));
    Client a;
    int nullId = 0, idA = 0;
    ASSERT_EQ(1, s.Schedule(&nullId, nullptr, 5));
    ASSERT_EQ(1, s.Schedule(&idA, &a, 20));
    ASSERT_TRUE(waitFor([&] { return a.calls.load() >= 4; }));
    EXPECT_EQ(1, s.KillSchedule(nullId)); // still listed after many periods
    EXPECT_EQ(1, s.KillSchedule(idA));
}

TEST(ScheduleWorker, ALateWorkerCatchesUpFromThePreviousDueTime) {
    Scheduler s;
    ASSERT_EQ(1, s.Create(THREAD_PRIORITY_NORMAL));
    Client a;
    a.onCall = [](int n) {
        if (n == 2) {
            Sleep(500); // the first worker call overruns 25 periods
        }
    };
    int id = 0;
    const DWORD start = GetTickCount();
    ASSERT_EQ(1, s.Schedule(&id, &a, 20));
    ASSERT_TRUE(waitFor([&] { return GetTickCount() - start >= 800; }));
    s.KillSchedule(id);
    const int periods = static_cast<int>((GetTickCount() - start) / 20);
    // Counting from the previous due time makes up for the overrun (about 40 calls); counting
    // from the end of the late call would give about 16. The slack allows a worker that lags
    // by a dozen periods.
    EXPECT_GE(a.calls.load(), periods - 12);
    EXPECT_LE(a.calls.load(), periods + 2);
}

TEST(ScheduleWorker, TheWorkerWakesOnlyForDueEntries) {
    using korutil::detail::scheduleWorkerWakeups;
    Scheduler s;
    ASSERT_EQ(1, s.Create(THREAD_PRIORITY_NORMAL));
    const long started = scheduleWorkerWakeups();
    s.Resume(); // running, with nothing to do: one wake-up to see the change
    ASSERT_TRUE(waitFor([&] { return scheduleWorkerWakeups() > started; }));
    const long before = scheduleWorkerWakeups();
    Sleep(150);
    EXPECT_EQ(before, scheduleWorkerWakeups());

    // Counted from inside the calls, where the wake-up that led to each call is already in.
    Client a;
    std::atomic<long> atThird{0}, atEighth{0};
    a.onCall = [&](int n) {
        if (n == 3) {
            atThird = scheduleWorkerWakeups();
        } else if (n == 8) {
            atEighth = scheduleWorkerWakeups();
        }
    };
    int id = 0;
    ASSERT_EQ(1, s.Schedule(&id, &a, 30));
    ASSERT_TRUE(waitFor([&] { return a.calls.load() >= 8; }));
    // One wake-up per call: every time-out finds its entry due.
    EXPECT_EQ(5, atEighth.load() - atThird.load());
    s.KillSchedule(id);
}

// -- Callbacks that call back

TEST(ScheduleReentry, OwnEntryCannotBeKilledOrRescheduledFromItsCall) {
    Scheduler s;
    ASSERT_EQ(1, s.Create(THREAD_PRIORITY_NORMAL));
    Client a;
    int id = 0;
    std::atomic<int> killResult{-1}, rescheduleResult{-1};
    a.onCall = [&](int n) {
        if (n == 2) {
            killResult = s.KillSchedule(id);
            rescheduleResult = s.ReSchedule(id, 50);
        }
    };
    ASSERT_EQ(1, s.Schedule(&id, &a, 10));
    ASSERT_TRUE(waitFor([&] { return a.calls.load() >= 5; }));
    EXPECT_EQ(0, killResult.load());
    EXPECT_EQ(0, rescheduleResult.load());
    EXPECT_EQ(1, s.KillSchedule(id));
}

TEST(ScheduleReentry, CallbacksScheduleAndKillOtherEntries) {
    Scheduler s;
    ASSERT_EQ(1, s.Create(THREAD_PRIORITY_NORMAL));
    CallLog log;
    Client parent(&log, 1), child(&log, 2);
    int parentId = 0;
    std::atomic<int> childId{0};
    std::atomic<int> killedAt{0};
    parent.onCall = [&](int n) {
        if (n == 2) {
            int newId = 0;
            EXPECT_EQ(1, s.Schedule(&newId, &child, 5));
            childId = newId;
        } else if (n > 2 && child.calls.load() >= 4 && killedAt.load() == 0) {
            EXPECT_EQ(1, s.KillSchedule(childId.load()));
            killedAt = child.calls.load();
        }
    };
    ASSERT_EQ(1, s.Schedule(&parentId, &parent, 15));
    ASSERT_TRUE(waitFor([&] { return killedAt.load() != 0; }));
    Sleep(50);
    EXPECT_EQ(killedAt.load(), child.calls.load()); // no call after the kill
    EXPECT_EQ(1, s.KillSchedule(parentId));
    EXPECT_EQ(0, log.overlaps.load());
}

// -- Lifecycle

TEST(ScheduleLifecycle, DestroyEmptiesTheListAndCreateStartsAfresh) {
    Scheduler s;
    ASSERT_EQ(1, s.Create(THREAD_PRIORITY_NORMAL));
    Client a;
    int id1 = 0, id2 = 0;
    ASSERT_EQ(1, s.Schedule(&id1, &a, 10));
    ASSERT_EQ(1, s.Schedule(&id2, nullptr, 10));
    ASSERT_TRUE(waitFor([&] { return a.calls.load() >= 3; }));
    s.Destroy();
    EXPECT_FALSE(s.IsAlive());
    EXPECT_EQ(0, s.KillSchedule(id1));
    EXPECT_EQ(0, s.KillSchedule(id2));
    const int after = a.calls.load();
    Sleep(40);
    EXPECT_EQ(after, a.calls.load());

    ASSERT_EQ(1, s.Create(THREAD_PRIORITY_NORMAL));
    EXPECT_TRUE(s.IsAlive());
    int id3 = 0;
    ASSERT_EQ(1, s.Schedule(&id3, &a, 10));
    EXPECT_EQ(3, id3); // identifiers are never reused
    ASSERT_TRUE(waitFor([&] { return a.calls.load() >= after + 3; }));
}

TEST(ScheduleLifecycle, DestroyingWithEntriesButNoWorkerReleasesThem) {
    // The leak checker of the sanitizer build sees the entries if they are not released.
    auto s = std::make_unique<Scheduler>();
    Client a;
    int id = 0;
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(1, s->Schedule(&id, &a, 1000));
    }
    s.reset();
    EXPECT_EQ(40, a.calls.load());
}

TEST(ScheduleLifecycle, AWorkerOutlastingTheBoundedWaitIsWaitedFor) {
    korutil::detail::setScheduleStopWait(50);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> inCall{false}, callReturned{false};
    auto s = std::make_unique<Scheduler>();
    ASSERT_EQ(1, s->Create(THREAD_PRIORITY_NORMAL));
    Client a;
    a.onCall = [&](int n) {
        if (n == 2) {
            inCall = true;
            WaitForSingleObject(release, INFINITE);
            callReturned = true;
        }
    };
    int id = 0;
    ASSERT_EQ(1, s->Schedule(&id, &a, 10));
    ASSERT_TRUE(waitFor([&] { return inCall.load(); }));
    std::thread releaser([&] {
        Sleep(250); // five bounded waits
        SetEvent(release);
    });
    s.reset(); // must not return while the worker still uses the object
    EXPECT_TRUE(callReturned.load());
    releaser.join();
    CloseHandle(release);
    korutil::detail::setScheduleStopWait(0);
    EXPECT_EQ(2, a.calls.load());
}

class SelfDestroyer final : public IScheduleClient {
public:
    int OnSchedule() override {
        if (++calls == 3) {
            if (deleteIt) {
                delete owner;
            } else {
                owner->Destroy();
            }
            SetEvent(done);
        }
        return 7;
    }
    Scheduler* owner = nullptr;
    bool deleteIt = true;
    HANDLE done = nullptr;
    std::atomic<int> calls{0};
};

TEST(ScheduleLifecycle, ACallbackMayDestroyItsOwnScheduler) {
    for (bool deleteIt : {true, false}) {
        SelfDestroyer client;
        client.owner = new Scheduler;
        client.deleteIt = deleteIt;
        client.done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ASSERT_EQ(1, client.owner->Create(THREAD_PRIORITY_NORMAL));
        int id = 0;
        ASSERT_EQ(1, client.owner->Schedule(&id, &client, 5));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(client.done, 10000));
        Sleep(30);
        EXPECT_EQ(3, client.calls.load());
        if (!deleteIt) {
            // Stopped from its own worker: the object works on, its lock free again.
            EXPECT_FALSE(client.owner->IsAlive());
            EXPECT_EQ(0, client.owner->KillSchedule(id));
            Client later;
            EXPECT_EQ(1, client.owner->Schedule(&id, &later, 10));
            delete client.owner;
        }
        CloseHandle(client.done);
    }
}

TEST(ScheduleLifecycle, TheLibraryWideObject) {
    CScheduleThread* shared = CScheduleThread::GetThread();
    ASSERT_NE(nullptr, shared);
    EXPECT_EQ(shared, CScheduleThread::GetThread());
    ASSERT_EQ(1, shared->Create(THREAD_PRIORITY_NORMAL));
    Client a;
    int id = 0;
    ASSERT_EQ(1, shared->Schedule(&id, &a, 10));
    ASSERT_TRUE(waitFor([&] { return a.calls.load() >= 3; }));
    EXPECT_EQ(1, shared->KillSchedule(id));
    // The worker is left running: the library stops it when it unloads.
}

// -- The tick wrap

TEST(ScheduleTicks, DueTimesKeepTheirOrderAcrossTheWrap) {
    PlatSetTickCountOffset(0);
    PlatSetTickCountOffset(0u - GetTickCount() - 100u); // 100 ms before the wrap
    {
        Scheduler s;
        ASSERT_EQ(1, s.Create(THREAD_PRIORITY_NORMAL));
        CallLog log;
        Client beforeWrap(&log, 1), afterWrap(&log, 2);
        int id1 = 0, id2 = 0;
        ASSERT_EQ(1, s.Schedule(&id2, &afterWrap, 300)); // due about 200 ms past zero
        ASSERT_EQ(1, s.Schedule(&id1, &beforeWrap, 60)); // due before the wrap
        ASSERT_TRUE(waitFor([&] { return afterWrap.calls.load() >= 3; }));
        s.KillSchedule(id1);
        s.KillSchedule(id2);
        const std::vector<int> tags = log.snapshot();
        // After the two calls made by Schedule, the entry due before the wrap fires first,
        // and the wrapped entry is not taken as long overdue (which would fire it in a burst).
        ASSERT_GE(tags.size(), 4u);
        EXPECT_EQ(1, tags[2]);
        EXPECT_GE(beforeWrap.calls.load(), 4);
        EXPECT_LE(afterWrap.calls.load(), 5);
        EXPECT_LE(beforeWrap.calls.load(), 40);
    }
    PlatSetTickCountOffset(0);
}

// -- Concurrent hosts

TEST(ScheduleConcurrency, HostsScheduleRescheduleAndKillWhileTheWorkerFires) {
    Scheduler s;
    ASSERT_EQ(1, s.Create(THREAD_PRIORITY_NORMAL));
    CallLog log;
    constexpr int kHosts = 4;
    constexpr int kRounds = 40;
    std::mutex idsLock;
    std::vector<int> allIds;
    std::vector<std::thread> hosts;
    std::vector<std::unique_ptr<Client>> clients;
    for (int h = 0; h < kHosts * 3; ++h) {
        clients.push_back(std::make_unique<Client>(&log, h));
    }
    for (int h = 0; h < kHosts; ++h) {
        hosts.emplace_back([&, h] {
            for (int round = 0; round < kRounds; ++round) {
                int ids[3];
                for (int c = 0; c < 3; ++c) {
                    ASSERT_EQ(1,
                              s.Schedule(&ids[c], clients[h * 3 + c].get(), 1 + (round + c) % 5));
                }
                {
                    std::lock_guard<std::mutex> guard(idsLock);
                    allIds.insert(allIds.end(), ids, ids + 3);
                }
                Sleep(1);
                EXPECT_EQ(1, s.ReSchedule(ids[0], 2 + round % 3));
                EXPECT_EQ(1, s.KillSchedule(ids[1]));
                Sleep(1);
                EXPECT_EQ(1, s.KillSchedule(ids[0]));
                EXPECT_EQ(1, s.KillSchedule(ids[2]));
                EXPECT_EQ(0, s.KillSchedule(ids[2]));
            }
        });
    }
    for (auto& t : hosts) {
        t.join();
    }
    EXPECT_EQ(static_cast<std::size_t>(kHosts * kRounds * 3),
              std::set<int>(allIds.begin(), allIds.end()).size()); // all distinct
    EXPECT_TRUE(s.IsSuspended());                                  // the last kill emptied the list
    const std::size_t calls = log.snapshot().size();
    Sleep(40);
    EXPECT_EQ(calls, log.snapshot().size());
    EXPECT_EQ(0, log.overlaps.load());
}

TEST(ScheduleConcurrency, CallbacksReschedulingEachOtherWhileHostsKill) {
    Scheduler s;
    ASSERT_EQ(1, s.Create(THREAD_PRIORITY_NORMAL));
    CallLog log;
    constexpr int kClients = 6;
    std::vector<std::unique_ptr<Client>> clients;
    std::vector<std::atomic<int>> ids(kClients);
    std::atomic<int> lastHelper{0};
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<Client>(&log, i));
    }
    for (int i = 0; i < kClients; ++i) {
        clients[i]->onCall = [&, i](int n) {
            // Each call reschedules a neighbour and, now and then, schedules a short-lived
            // helper entry and kills an old one.
            s.ReSchedule(ids[(i + 1) % kClients].load(), 1 + n % 4);
            if (n % 5 == 0) {
                int helper = 0;
                if (s.Schedule(&helper, nullptr, 3)) {
                    s.KillSchedule(lastHelper.exchange(helper));
                }
            }
        };
    }
    for (int i = 0; i < kClients; ++i) {
        int id = 0;
        ASSERT_EQ(1, s.Schedule(&id, clients[i].get(), 2 + i));
        ids[i] = id;
    }
    std::thread killer([&] {
        Sleep(100);
        for (int i = 0; i < kClients; i += 2) {
            // A kill from another thread waits for a call under way, then succeeds: the
            // entry is back in the list by then.
            s.KillSchedule(ids[i].load());
            Sleep(5);
        }
    });
    killer.join();
    ASSERT_TRUE(waitFor([&] { return log.snapshot().size() > 200; }));
    const std::vector<int> tags = log.snapshot();
    const std::size_t cut = tags.size();
    Sleep(30);
    // Killed clients made no calls after the kills settled.
    const std::vector<int> later = log.snapshot();
    for (std::size_t k = cut; k < later.size(); ++k) {
        EXPECT_EQ(1, later[k] % 2) << later[k];
    }
    EXPECT_EQ(0, log.overlaps.load());
    s.Destroy();
}

} // namespace
