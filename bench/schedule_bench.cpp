// Timing quality and idle cost of the schedule thread.
//
// Lateness: ten entries at 10 ms for KORUTIL_BENCH_SCHEDULE_SECONDS (default 5) seconds; each
// worker call's lateness against its due time, beside a plain condition_variable::wait_until
// timer loop running the same ten timers. Idle: the worker's wake-ups with no entries and with
// one entry at 1 s, against the calls that entry needs.
#include <korutil/schedule.h>

#include "schedule/hooks.h"

#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int kTimers = 10;
constexpr int kIntervalMs = 10;

double runSeconds() {
    const char* text = std::getenv("KORUTIL_BENCH_SCHEDULE_SECONDS");
    const double seconds = text ? std::atof(text) : 5.0;
    return seconds > 0 ? seconds : 5.0;
}

long long monotonicMicros() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

class Owned final : public CScheduleThread {
public:
    using CScheduleThread::Destroy;
};

// Lateness samples in microseconds, one vector per timer so that no lock is needed.
struct Samples {
    std::vector<std::vector<long long>> perTimer{kTimers};

    void report(benchmark::State& state) {
        std::vector<long long> all;
        for (auto& v : perTimer) {
            all.insert(all.end(), v.begin(), v.end());
        }
        if (all.empty()) {
            return;
        }
        std::sort(all.begin(), all.end());
        state.counters["samples"] = static_cast<double>(all.size());
        state.counters["median_us"] = static_cast<double>(all[all.size() / 2]);
        state.counters["p99_us"] = static_cast<double>(all[all.size() * 99 / 100]);
        state.counters["max_us"] = static_cast<double>(all.back());
    }
};

// Knows its due times as the scheduler computes them: the tick of the Schedule call plus
// whole intervals. The tick count is the monotonic clock in milliseconds, so a due tick is
// the instant that clock reaches it.
class LatenessClient final : public IScheduleClient {
public:
    LatenessClient(std::vector<long long>* out, DWORD startTick)
        : m_out(out), m_startTick(startTick) {}
    int OnSchedule() override {
        if (!m_armed) {
            m_armed = true; // the call made by Schedule itself
            return 0;
        }
        const long long nowUs = monotonicMicros();
        const DWORD due = m_startTick + static_cast<DWORD>(++m_k * kIntervalMs);
        const DWORD nowTick = static_cast<DWORD>(nowUs / 1000);
        const long long dueUs = (nowUs / 1000 - static_cast<DWORD>(nowTick - due)) * 1000;
        m_out->push_back(nowUs - dueUs);
        return 0;
    }

private:
    std::vector<long long>* m_out;
    DWORD m_startTick;
    long long m_k = 0;
    bool m_armed = false;
};

void BM_ScheduleThreadLateness(benchmark::State& state) {
    for (auto _ : state) {
        Samples samples;
        Owned scheduler;
        scheduler.Create(THREAD_PRIORITY_NORMAL);
        std::vector<std::unique_ptr<LatenessClient>> clients;
        std::vector<int> ids(kTimers);
        for (int i = 0; i < kTimers; ++i) {
            samples.perTimer[i].reserve(static_cast<std::size_t>(runSeconds() * 200));
        }
        for (int i = 0; i < kTimers; ++i) {
            // The tick read here is the one Schedule reads, save for a tick boundary between.
            clients.push_back(
                std::make_unique<LatenessClient>(&samples.perTimer[i], GetTickCount()));
            scheduler.Schedule(&ids[i], clients.back().get(), kIntervalMs);
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(runSeconds()));
        for (int id : ids) {
            scheduler.KillSchedule(id);
        }
        scheduler.Destroy();
        samples.report(state);
        state.SetIterationTime(runSeconds());
    }
}

// The peer: the timer loop a host would write with the standard library.
void BM_ConditionVariableLateness(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        Samples samples;
        std::mutex lock;
        std::condition_variable wake;
        bool stop = false;
        std::thread worker([&] {
            std::vector<Clock::time_point> due(kTimers);
            const Clock::time_point start = Clock::now();
            for (auto& d : due) {
                d = start + std::chrono::milliseconds(kIntervalMs);
            }
            std::unique_lock<std::mutex> guard(lock);
            while (!stop) {
                const auto next = *std::min_element(due.begin(), due.end());
                if (wake.wait_until(guard, next) == std::cv_status::no_timeout) {
                    continue;
                }
                const Clock::time_point now = Clock::now();
                for (int i = 0; i < kTimers; ++i) {
                    if (due[i] <= now) {
                        samples.perTimer[i].push_back(
                            std::chrono::duration_cast<std::chrono::microseconds>(now - due[i])
                                .count());
                        due[i] += std::chrono::milliseconds(kIntervalMs);
                    }
                }
            }
        });
        std::this_thread::sleep_for(std::chrono::duration<double>(runSeconds()));
        {
            std::lock_guard<std::mutex> guard(lock);
            stop = true;
        }
        wake.notify_one();
        worker.join();
        samples.report(state);
        state.SetIterationTime(runSeconds());
    }
}

class CountingClient final : public IScheduleClient {
public:
    int OnSchedule() override { return ++calls; }
    std::atomic<int> calls{0};
};

// Idle cost: wake-ups of the worker beyond what its entries require (the target is none).
void BM_ScheduleThreadIdleWakeups(benchmark::State& state) {
    const bool withEntry = state.range(0) != 0;
    const double seconds = std::max(2.0, runSeconds());
    for (auto _ : state) {
        Owned scheduler;
        scheduler.Create(THREAD_PRIORITY_NORMAL);
        CountingClient client;
        int id = 0;
        if (withEntry) {
            scheduler.Schedule(&id, &client, 1000);
        } else {
            scheduler.Resume(); // a running worker with nothing to do
        }
        // Let the start-up signals settle before counting.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const long wakeupsBefore = korutil::detail::scheduleWorkerWakeups();
        const int callsBefore = client.calls.load();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        const long wakeups = korutil::detail::scheduleWorkerWakeups() - wakeupsBefore;
        const int calls = client.calls.load() - callsBefore;
        if (withEntry) {
            scheduler.KillSchedule(id);
        }
        scheduler.Destroy();
        state.counters["wakeups"] = static_cast<double>(wakeups);
        state.counters["calls"] = static_cast<double>(calls);
        state.counters["spurious"] = static_cast<double>(wakeups - calls);
        state.SetIterationTime(seconds);
    }
}

BENCHMARK(BM_ScheduleThreadLateness)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_ConditionVariableLateness)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_ScheduleThreadIdleWakeups)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
