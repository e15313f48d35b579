#include <korutil/collections.h>

#include "frame/heap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <utility>
#include <vector>

namespace {

using korutil::detail::heapFailureFired;
using korutil::detail::HeapFailureScope;

void* P(std::uintptr_t v) {
    return reinterpret_cast<void*>(v);
}

using Entries = std::vector<std::pair<std::intptr_t, std::intptr_t>>;

Entries Contents(const CPtrToPtrDict& d) {
    Entries out;
    for (int i = 0; i < d.GetCount(); ++i) {
        void* key;
        void* value;
        d.GetAt(i, &key, &value);
        EXPECT_EQ(value, d.GetAt(i));
        out.emplace_back(reinterpret_cast<std::intptr_t>(key),
                         reinterpret_cast<std::intptr_t>(value));
    }
    return out;
}

TEST(CPtrToPtrDict, KeepsKeysInSignedOrder) {
    CPtrToPtrDict d;
    for (std::uintptr_t v : {3, 1, 2}) {
        d.Add(P(v << 4), P(v));
    }
    d.ElementAt(2) = P(9); // values can be written in place, keys cannot
    EXPECT_EQ((Entries{{0x10, 1}, {0x20, 2}, {0x30, 9}}), Contents(d));
#if INTPTR_MAX == INT32_MAX
    d.Add(P(0x00400000), P(4));
    d.Add(P(0x80001000), P(5));
    EXPECT_EQ(P(5), d.GetAt(0));
#endif
    // A key with the top bit set is negative and sorts before null and everything else.
    d.Add(nullptr, P(6));
    d.Add(P(~(~std::uintptr_t{0} >> 1) | 0x1000), P(7));
    EXPECT_EQ(P(7), d.GetAt(0));
    EXPECT_EQ(P(6), d[1]);
}

// As for CPtrSet: colliding keys around zero and both ends of the signed range, with heap
// refusals mixed in. Set never inserts, and a missed Lookup leaves *pValue alone.
TEST(CPtrToPtrDict, MatchesAMapModel) {
    std::mt19937_64 rng(11);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto ptr = [](std::intptr_t v) { return reinterpret_cast<void*>(v); };
    const std::intptr_t bases[] = {0, INTPTR_MIN, INTPTR_MAX - 50, -50};
    CPtrToPtrDict d(3, 0);
    std::map<std::intptr_t, std::intptr_t> model;
    for (int step = 0; step < 6000; ++step) {
        const int op = pick(0, 99);
        const std::intptr_t k = bases[pick(0, 3)] + pick(0, 49);
        const auto v = static_cast<std::intptr_t>(rng());
        const bool present = model.count(k) != 0;
        const int count = static_cast<int>(model.size());
        HeapFailureScope fail(pick(0, 7) == 0 ? 1 : 0);
        if (op < 40) {
            const int got = d.Add(ptr(k), ptr(v));
            const bool inserted = !present && !heapFailureFired();
            ASSERT_EQ(inserted ? 1 : 0, got) << step;
            if (inserted) {
                model[k] = v;
            }
        } else if (op < 55) {
            ASSERT_EQ(present ? 1 : 0, d.Set(ptr(k), ptr(v))) << step;
            if (present) {
                model[k] = v;
            }
        } else if (op < 75) {
            void* got = ptr(7);
            ASSERT_EQ(present ? 1 : 0, d.Lookup(ptr(k), op < 70 ? &got : nullptr)) << step;
            ASSERT_EQ(ptr(present && op < 70 ? model[k] : 7), got) << step;
        } else if (op < 88) {
            ASSERT_EQ(present ? 1 : 0, d.Remove(ptr(k))) << step;
            model.erase(k);
        } else if (op < 99) {
            const int index = pick(-1, count);
            const bool valid = index >= 0 && index < count;
            ASSERT_EQ(valid ? 1 : 0, d.RemoveAt(index)) << step;
            if (valid) {
                model.erase(std::next(model.begin(), index));
            }
        } else {
            d.RemoveAll();
            model.clear();
        }
        ASSERT_EQ(Entries(model.begin(), model.end()), Contents(d)) << step;
    }
}

} // namespace
