#include "frame/heap.h"

#include <atomic>
#include <cstdlib>

#if defined(_WIN32)
#include <malloc.h>
#define KORUTIL_BLOCK_ROOM(block) _msize(block)
#else
#include <malloc.h>
#define KORUTIL_BLOCK_ROOM(block) malloc_usable_size(block)
#endif

namespace korutil::detail {
namespace {

// Blocks below this size are resized exactly: the allocator's own size classes serve them.
constexpr std::size_t kSlackFrom = 4096;

// Atomics because the schedule worker allocates on its own thread; the counters cost one
// relaxed operation per request.
std::atomic<long> g_requests{0};
std::atomic<long> g_failAt{0};
std::atomic<bool> g_sticky{false};
std::atomic<bool> g_fired{false};

bool injectFailure() {
    long failAt = g_failAt.load(std::memory_order_relaxed);
    if (failAt == 0) {
        // Disarmed, as always outside tests: a plain increment, since a locked one costs as
        // much as a third of a small allocation. Requests on two threads at the same moment
        // may then count once; an armed failure counts exactly.
        g_requests.store(g_requests.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        return false;
    }
    long request = g_requests.fetch_add(1, std::memory_order_relaxed) + 1;
    if (request < failAt) {
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

// Buffers grow in small fixed steps, so a growing block is resized very often. A block that
// grows is given a quarter more room than asked for, and later steps that fit in that room
// (and do not leave more than half of it unused) keep the block without calling the
// allocator. Shrinking below half of the room gives the memory back.
void* heapResize(void* block, std::size_t bytes) {
    if (injectFailure()) {
        return nullptr;
    }
    if (bytes == 0) {
        bytes = 1;
    }
    if (block) {
        const std::size_t room = KORUTIL_BLOCK_ROOM(block);
        if (bytes <= room && bytes >= room / 2) {
            return block;
        }
        if (bytes > room && bytes >= kSlackFrom) {
            const std::size_t slack = bytes / 4;
            if (void* grown = std::realloc(block, bytes + slack)) {
                return grown;
            }
        }
    }
    return std::realloc(block, bytes);
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
