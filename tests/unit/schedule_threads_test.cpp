// The schedule thread: registration, firing order, suspension, re-entrant callbacks, the
// lifecycle, memory failures, the tick wrap and concurrent hosts. Times only bound waits;
// the checks are on orders and counts.
#include <korutil/schedule.h>

#include "frame/heap.h"
#include "schedule/hooks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
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

// Not on the tick count, which some tests move.
bool waitFor(const std::function<bool()>& condition) {
    const auto start = std::chrono::steady_clock::now();
    while (!condition()) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(20)) {
            return false;
        }
        Sleep(2);
    }
    return true;
}

// One log for the clients of a test, which also counts calls on two threads that overlap
// (calls nested on one thread, made from inside a callback, may).
struct CallLog {
    std::recursive_mutex calling;
    std::mutex lock;
    std::vector<int> tags;
    std::atomic<int> overlaps{0};

    std::vector<int> snapshot() {
        std::lock_guard<std::mutex> guard(lock);
        return tags;
    }
};

class Client final : public IScheduleClient {
public:
    explicit Client(CallLog* log = nullptr, int tag = 0) : m_log(log), m_tag(tag) {}

    int OnSchedule() override {
        std::unique_lock<std::recursive_mutex> calling;
        if (m_log) {
            calling = std::unique_lock<std::recursive_mutex>(m_log->calling, std::try_to_lock);
            m_log->overlaps += calling.owns_lock() ? 0 : 1;
            std::lock_guard<std::mutex> guard(m_log->lock);
            m_log->tags.push_back(m_tag);
        }
        lastThread = GetCurrentThreadId();
        const int n = ++calls;
        if (onCall) {
            onCall(n);
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

TEST(ScheduleRegistration, IdentifiersCallsAndResults) {
    Scheduler s;
    Client a, b;
    int id = -7;
    EXPECT_EQ(0, s.Schedule(&id, &a, 0)); // intervals of 0 or below are refused
    EXPECT_EQ(0, s.Schedule(&id, &a, -5));
    EXPECT_EQ(-7, id);
    for (int expected = 1; expected <= 3; ++expected) {
        ASSERT_EQ(1, s.Schedule(&id, expected == 2 ? &b : &a, 500));
        EXPECT_EQ(expected, id); // refusals spent no identifier
    }
    EXPECT_EQ(2, a.calls.load()); // once per Schedule, on the caller's thread
    EXPECT_EQ(GetCurrentThreadId(), a.lastThread.load());
    EXPECT_EQ(1, s.ReSchedule(2, 500)); // the same interval: no call
    EXPECT_EQ(1, b.calls.load());
    EXPECT_EQ(1, s.ReSchedule(2, 700));
    EXPECT_EQ(2, b.calls.load());
    EXPECT_EQ(0, s.ReSchedule(2, 0));
    EXPECT_EQ(0, s.ReSchedule(4, 700));
    EXPECT_EQ(0, s.KillSchedule(4));
    EXPECT_EQ(1, s.KillSchedule(2));
    EXPECT_EQ(0, s.KillSchedule(2));
    EXPECT_EQ(0, s.ReSchedule(2, 900));
    EXPECT_FALSE(s.IsAlive());
    EXPECT_EQ(THREAD_PRIORITY_ERROR_RETURN, s.GetPriority());
    // The object is destroyed with entries but no worker: the leak checker sees any left.
}

TEST(ScheduleMemory, AListThatCannotGrowRefusesAndMovesNeedNoHeap) {
    Scheduler s;
    CallLog log;
    std::vector<std::unique_ptr<Client>> clients;
    int id = 0;
    for (int i = 0; i < 16; ++i) {
        clients.push_back(std::make_unique<Client>(&log, i));
        ASSERT_EQ(1, s.Schedule(&id, clients.back().get(), 5 + i % 4));
    }
    for (int nth : {1, 2}) { // the entry itself, then the list's growth
        HeapFailureScope fail(nth);
        int refused = -1;
        EXPECT_EQ(0, s.Schedule(&refused, clients[0].get(), 50));
        EXPECT_TRUE(korutil::detail::heapFailureFired());
        EXPECT_EQ(-1, refused);
    }
    EXPECT_EQ(16u, log.snapshot().size()); // no call for the refused entries
    ASSERT_EQ(1, s.Create(THREAD_PRIORITY_NORMAL));
    s.Resume();
    {
        // Every request fails from here on: moving entries must not depend on the heap.
        HeapFailureScope fail(1, true);
        for (int round = 0; round < 20; ++round) {
            for (int i = 1; i <= 16; ++i) {
                EXPECT_EQ(1, s.ReSchedule(i, 5 + (round + i) % 7));
            }
        }
        const std::size_t seen = log.snapshot().size();
        EXPECT_TRUE(waitFor([&] { return log.snapshot().size() > seen + 50; }));
        EXPECT_FALSE(korutil::detail::heapFailureFired());
    }
    for (int i = 1; i <= 16; ++i) {
        EXPECT_EQ(1, s.KillSchedule(i)) << i; // nothing was lost
    }
    EXPECT_EQ(0, log.overlaps.load());
}

TEST(ScheduleWorker, SuspensionCreateResumeAndKill) {
    Scheduler s;
    Client a, b;
    int idA = 0, idB = 0;
    ASSERT_EQ(1, s.Schedule(&idA, &a, 10));
    ASSERT_EQ(1, s.Create(THREAD_PRIORITY_BELOW_NORMAL));
    EXPECT_TRUE(s.IsAlive());
    EXPECT_TRUE(s.IsSuspended());
    EXPECT_EQ(THREAD_PRIORITY_BELOW_NORMAL, s.GetPriority());
    ASSERT_EQ(1, s.Create(THREAD_PRIORITY_NORMAL)); // the same worker, a new priority
    EXPECT_EQ(THREAD_PRIORITY_NORMAL, s.GetPriority());
    Sleep(100);
    EXPECT_EQ(1, a.calls.load()); // ten periods passed while suspended
    s.Resume();
    ASSERT_TRUE(waitFor([&] { return a.calls.load() >= 4; }));
    EXPECT_NE(GetCurrentThreadId(), a.lastThread.load());

    s.Suspend();
    EXPECT_EQ(0, s.KillSchedule(-1)); // takes the lock: a call under way has returned
    int frozen = a.calls.load();
    Sleep(80);
    EXPECT_EQ(frozen, a.calls.load());
    ASSERT_EQ(1, s.Schedule(&idB, &b, 10)); // ends the suspension
    EXPECT_FALSE(s.IsSuspended());
    ASSERT_TRUE(waitFor([&] { return a.calls.load() >= frozen + 2 && b.calls.load() >= 3; }));

    EXPECT_EQ(1, s.KillSchedule(idA));
    EXPECT_EQ(1, s.KillSchedule(idB)); // the last entry: the worker suspends
    EXPECT_TRUE(s.IsSuspended());
    frozen = a.calls.load() + b.calls.load();
    Sleep(60);
    EXPECT_EQ(frozen, a.calls.load() + b.calls.load());
}

TEST(ScheduleWorker, DueTimeOrderHeadWakeUpsAndTies) {
    Scheduler s;
    ASSERT_EQ(1, s.Create(THREAD_PRIORITY_NORMAL));
    CallLog log;
    Client slow(&log, 100), fast(&log, 50);
    int slowId = 0, fastId = 0, nullId = 0;
    // The worker waits a minute for the first head; each new head must wake it.
    ASSERT_EQ(1, s.Schedule(&slowId, &slow, 60000));
    Sleep(20);
    ASSERT_EQ(1, s.Schedule(&fastId, &fast, 50));
    ASSERT_TRUE(waitFor([&] { return fast.calls.load() >= 3; }));
    ASSERT_EQ(1, s.ReSchedule(slowId, 30)); // moved to the head
    ASSERT_TRUE(waitFor([&] { return slow.calls.load() >= 3; }));
    s.KillSchedule(slowId);
    s.KillSchedule(fastId);
    const std::vector<int> tags = log.snapshot();
    EXPECT_EQ((std::vector<int>{100, 50, 50}), std::vector<int>(tags.begin(), tags.begin() + 3));

    ASSERT_EQ(1, s.Schedule(&nullId, nullptr, 5)); // keeps its timing without calls
    for (int attempt = 0; attempt < 50; ++attempt) {
        CallLog tieLog;
        Client first(&tieLog, 1), second(&tieLog, 2);
        int firstId = 0, secondId = 0;
        const DWORD before = GetTickCount();
        s.Schedule(&firstId, &first, 30);
        s.Schedule(&secondId, &second, 30);
        const bool sameTick = GetTickCount() == before;
        ASSERT_TRUE(waitFor([&] { return second.calls.load() >= 3; }));
        s.KillSchedule(firstId);
        s.KillSchedule(secondId);
        if (sameTick) {
            const std::vector<int> order = tieLog.snapshot();
            ASSERT_GE(order.size(), 6u);
            EXPECT_EQ((std::vector<int>{1, 2, 1, 2, 1, 2}),
                      std::vector<int>(order.begin(), order.begin() + 6));
            break;
        }
    }
    EXPECT_EQ(1, s.KillSchedule(nullId));
}

TEST(ScheduleWorker, ALateEntryCatchesUpFromItsPreviousDueTime) {
    PlatSetTickCountOffset(0);
    Scheduler s;
    ASSERT_EQ(1, s.Create(THREAD_PRIORITY_NORMAL));
    Client a;
    // The first worker call finds the clock 100 periods on: counting from the previous due
    // time the next 100 calls are overdue at once; counting from the call's end, one a second.
    a.onCall = [](int n) {
        if (n == 2) {
            PlatSetTickCountOffset(100000);
        }
    };
    int id = 0;
    ASSERT_EQ(1, s.Schedule(&id, &a, 1000));
    EXPECT_TRUE(waitFor([&] { return a.calls.load() >= 102; }));
    Sleep(100);
    EXPECT_LE(a.calls.load(), 105);
    s.KillSchedule(id);
    PlatSetTickCountOffset(0);
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

    // Counted inside the calls, where the wake-up that led to each is already in.
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
    EXPECT_EQ(5, atEighth.load() - atThird.load()); // every time-out finds its entry due
    s.KillSchedule(id);
}

TEST(ScheduleReentry, CallbacksScheduleRescheduleAndKill) {
    Scheduler s;
    ASSERT_EQ(1, s.Create(THREAD_PRIORITY_NORMAL));
    CallLog log;
    Client parent(&log, 1), child(&log, 2);
    int parentId = 0;
    std::atomic<int> childId{0}, ownKill{-1}, ownReschedule{-1}, killedAt{0};
    parent.onCall = [&](int n) {
        if (n == 2) {
            // Its own entry is out of the list while it is called.
            ownKill = s.KillSchedule(parentId);
            ownReschedule = s.ReSchedule(parentId, 50);
            int newId = 0;
            EXPECT_EQ(1, s.Schedule(&newId, &child, 5));
            childId = newId;
        } else if (n > 2 && child.calls.load() >= 4 && killedAt.load() == 0) {
            const int before = child.calls.load();
            EXPECT_EQ(1, s.ReSchedule(childId.load(), 3));
            EXPECT_EQ(before + 1, child.calls.load());
            EXPECT_EQ(1, s.KillSchedule(childId.load()));
            killedAt = child.calls.load();
        }
    };
    ASSERT_EQ(1, s.Schedule(&parentId, &parent, 15));
    ASSERT_TRUE(waitFor([&] { return killedAt.load() != 0 && parent.calls.load() >= 8; }));
    EXPECT_EQ(0, ownKill.load());
    EXPECT_EQ(0, ownReschedule.load());
    EXPECT_EQ(killedAt.load(), child.calls.load()); // no call after the kill
    EXPECT_EQ(1, s.KillSchedule(parentId));
    EXPECT_EQ(0, log.overlaps.load());
}

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
    int id3 = 0;
    ASSERT_EQ(1, s.Schedule(&id3, &a, 10));
    EXPECT_EQ(3, id3); // identifiers are never reused
    ASSERT_TRUE(waitFor([&] { return a.calls.load() >= after + 3; }));

    CScheduleThread* shared = CScheduleThread::GetThread();
    ASSERT_EQ(shared, CScheduleThread::GetThread());
    ASSERT_EQ(1, shared->Create(THREAD_PRIORITY_NORMAL));
    ASSERT_EQ(1, shared->Schedule(&id1, &a, 10));
    ASSERT_TRUE(waitFor([&] { return a.calls.load() >= after + 6; }));
    EXPECT_EQ(1, shared->KillSchedule(id1)); // its worker runs on until the library unloads
}

TEST(ScheduleLifecycle, HostsStartingOneObjectAtOnceGetOneWorker) {
    for (int round = 0; round < 20; ++round) {
        auto s = std::make_unique<Scheduler>();
        std::vector<std::thread> hosts;
        for (int h = 0; h < 3; ++h) {
            hosts.emplace_back([&] { EXPECT_EQ(1, s->Create(THREAD_PRIORITY_NORMAL)); });
        }
        for (auto& t : hosts) {
            t.join();
        }
        std::mutex lock;
        std::set<DWORD> workers;
        Client a;
        a.onCall = [&](int) {
            std::lock_guard<std::mutex> guard(lock);
            workers.insert(GetCurrentThreadId());
        };
        int id = 0;
        ASSERT_EQ(1, s->Schedule(&id, &a, 2));
        ASSERT_TRUE(waitFor([&] { return a.calls.load() >= 10; }));
        s.reset();                     // a second worker would outlive the object
        EXPECT_EQ(2u, workers.size()); // this thread's call and one worker's
    }
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
        Sleep(250); // several bounded waits
        SetEvent(release);
    });
    s.reset(); // must not return while the worker still uses the object
    EXPECT_TRUE(callReturned.load());
    releaser.join();
    CloseHandle(release);
    korutil::detail::setScheduleStopWait(0);
    EXPECT_EQ(2, a.calls.load());
}

TEST(ScheduleLifecycle, ACallbackMayDestroyItsOwnScheduler) {
    for (bool deleteIt : {true, false}) {
        Scheduler* owner = new Scheduler;
        HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        Client client;
        client.onCall = [&](int n) {
            if (n == 3) {
                if (deleteIt) {
                    delete owner;
                } else {
                    owner->Destroy();
                }
                SetEvent(done);
            }
        };
        ASSERT_EQ(1, owner->Create(THREAD_PRIORITY_NORMAL));
        int id = 0;
        ASSERT_EQ(1, owner->Schedule(&id, &client, 5));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(done, 20000));
        Sleep(30);
        EXPECT_EQ(3, client.calls.load());
        if (!deleteIt) {
            // Stopped from its own worker: the object works on, its lock free again.
            EXPECT_FALSE(owner->IsAlive());
            EXPECT_EQ(0, owner->KillSchedule(id));
            Client later;
            EXPECT_EQ(1, owner->Schedule(&id, &later, 10));
            delete owner;
        }
        CloseHandle(done);
    }
}

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
        // The entry due before the wrap fires first, and the wrapped one is not taken as long
        // overdue (which would fire it in a burst).
        const std::vector<int> tags = log.snapshot();
        ASSERT_GE(tags.size(), 4u);
        EXPECT_EQ(1, tags[2]);
        EXPECT_GE(beforeWrap.calls.load(), 4);
        EXPECT_LE(afterWrap.calls.load(), 5);
    }
    PlatSetTickCountOffset(0);
}

TEST(ScheduleConcurrency, HostsAndCallbacksChangeTheListWhileTheWorkerFires) {
    Scheduler s;
    ASSERT_EQ(1, s.Create(THREAD_PRIORITY_NORMAL));
    CallLog log;
    constexpr int kHosts = 4, kRounds = 40;
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < kHosts * 3; ++i) {
        clients.push_back(std::make_unique<Client>(&log, i));
        clients.back()->onCall = [&s](int n) { // a short-lived helper entry now and then
            int helper = 0;
            if (n % 3 == 0 && s.Schedule(&helper, nullptr, 1)) {
                EXPECT_EQ(1, s.ReSchedule(helper, 2));
                EXPECT_EQ(1, s.KillSchedule(helper));
            }
        };
    }
    std::mutex idsLock;
    std::vector<int> allIds;
    std::vector<std::thread> hosts;
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

} // namespace
