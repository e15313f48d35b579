// The sorted containers' search: pointers compared as signed integers of pointer width.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace korutil::detail {

inline void prefetch(const void* p) {
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

inline std::intptr_t keyOf(const void* p) {
    return reinterpret_cast<std::intptr_t>(p);
}

// The key stored at the start of an element; memcpy keeps the read free of aliasing rules.
inline std::intptr_t keyAt(const unsigned char* element) {
    std::intptr_t key;
    std::memcpy(&key, element, sizeof key);
    return key;
}

// The smallest index among count elements of Stride bytes, sorted by their leading key,
// whose key is not less than `key`; count when every key is less. The halving has no
// data-dependent branch, so random lookups pay no mispredictions; both candidate probes of
// the next round are prefetched to overlap the cache misses of large arrays.
template <std::size_t Stride>
int lowerBound(const unsigned char* base, int count, std::intptr_t key) {
    if (count == 0) {
        return 0;
    }
    const unsigned char* const first = base;
    std::size_t n = static_cast<std::size_t>(count);
    while (n > 1) {
        const std::size_t half = n / 2;
        n -= half;
        prefetch(base + (n / 2) * Stride);
        prefetch(base + (half + n / 2) * Stride);
        base = keyAt(base + half * Stride) < key ? base + half * Stride : base;
    }
    return static_cast<int>(static_cast<std::size_t>(base - first) / Stride) +
           (keyAt(base) < key ? 1 : 0);
}

} // namespace korutil::detail
