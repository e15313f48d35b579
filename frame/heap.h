// The library heap: every block the library owns is taken and given back here, so that
// tests can make the n-th request fail and check that nothing is lost or half-changed.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

namespace korutil::detail {

// malloc/realloc/free with failure injection. heapResize keeps the old block on failure,
// as realloc does. heapRelease of null does nothing.
void* heapAllocate(std::size_t bytes);
void* heapResize(void* block, std::size_t bytes);
void heapRelease(void* block);

// Failure injection for tests: the n-th request (allocate or resize) from now on fails,
// 1 being the next one; with `sticky` every request from that one on fails. 0 disarms.
void heapFailNth(long n, bool sticky = false);
// Whether an injected failure has happened since the last heapFailNth.
bool heapFailureFired();
// Requests (allocate and resize) made so far; lets tests count the steps of an operation.
// Exact on one thread; while nothing is armed, requests made at the same moment on two
// threads may count as one.
long heapRequestCount();

// Builds a T in a heap block; null (and nothing built) when the heap refuses.
template <class T, class... Args> T* heapNew(Args&&... args) {
    void* block = heapAllocate(sizeof(T));
    return block ? new (block) T(std::forward<Args>(args)...) : nullptr;
}

template <class T> void heapDelete(T* object) {
    if (object) {
        object->~T();
        heapRelease(object);
    }
}

// Arms a failure for the life of a scope; tests use it so that a failing assertion cannot
// leave the heap armed for the next case.
class HeapFailureScope {
public:
    explicit HeapFailureScope(long n, bool sticky = false) { heapFailNth(n, sticky); }
    ~HeapFailureScope() { heapFailNth(0); }
    HeapFailureScope(const HeapFailureScope&) = delete;
    HeapFailureScope& operator=(const HeapFailureScope&) = delete;
};

} // namespace korutil::detail
