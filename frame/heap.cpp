#include "frame/heap.h"

#include <atomic>
#include <cstdlib>

namespace korutil::detail {
namespace {

// Atomics because the schedule worker allocates on its own thread; the counters cost one
// relaxed operation per request.
std::atomic<long> g_requests{0};
std::atomic<long> g_failAt{0};
std::atomic<bool> g_sticky{false};
std::atomic<bool> g_fired{false};

bool injectFailure() {
    long request = g_requests.fetch_add(1, std::memory_order_relaxed) + 1;
    long failAt = g_failAt.load(std::memory_order_relaxed);
    if (failAt == 0 || request < failAt) {
        return false;
    }
    if (request > failAt && !g_sticky.load(std::memory_order_relaxed)) {
        return false;
    }
    g_fired.store(true, std::memory_order_relaxed);
    return true;
}

} // namespace

void* heapAllocate(std::size_t bytes) {
    if (injectFailure()) {
        return nullptr;
    }
    return std::malloc(bytes == 0 ? 1 : bytes);
}

void* heapResize(void* block, std::size_t bytes) {
    if (injectFailure()) {
        return nullptr;
    }
    return std::realloc(block, bytes == 0 ? 1 : bytes);
}

void heapRelease(void* block) {
    std::free(block);
}

void heapFailNth(long n, bool sticky) {
    g_fired.store(false, std::memory_order_relaxed);
    g_sticky.store(sticky, std::memory_order_relaxed);
    g_failAt.store(n <= 0 ? 0 : g_requests.load(std::memory_order_relaxed) + n,
                   std::memory_order_relaxed);
}

bool heapFailureFired() {
    return g_fired.load(std::memory_order_relaxed);
}

long heapRequestCount() {
    return g_requests.load(std::memory_order_relaxed);
}

} // namespace korutil::detail
