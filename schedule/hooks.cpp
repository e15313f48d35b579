#include "schedule/hooks.h"
#include "schedule/schedule_internal.h"

#include <atomic>

namespace korutil::detail {
namespace {

std::atomic<long> g_wakeups{0};
std::atomic<DWORD> g_stopWait{0};

constexpr DWORD kDefaultStopWait = 3000;

} // namespace

long scheduleWorkerWakeups() {
    return g_wakeups.load(std::memory_order_relaxed);
}

void setScheduleStopWait(DWORD milliseconds) {
    g_stopWait.store(milliseconds, std::memory_order_relaxed);
}

DWORD scheduleStopWait() {
    const DWORD wait = g_stopWait.load(std::memory_order_relaxed);
    return wait == 0 ? kDefaultStopWait : wait;
}

void countWorkerWakeup() {
    g_wakeups.fetch_add(1, std::memory_order_relaxed);
}

} // namespace korutil::detail
