#include <korutil/collections.h>

#include "frame/heap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <vector>

namespace {

using korutil::detail::heapFailureFired;
using korutil::detail::HeapFailureScope;

void* P(std::uintptr_t v) {
    return reinterpret_cast<void*>(v);
}

std::vector<std::intptr_t> Contents(const CPtrSet& s) {
    std::vector<std::intptr_t> out;
    for (int i = 0; i < s.GetCount(); ++i) {
        out.push_back(reinterpret_cast<std::intptr_t>(s[i]));
    }
    return out;
}

TEST(CPtrSet, KeepsElementsInSignedOrder) {
    CPtrSet s;
    for (std::uintptr_t v : {0x30, 0x10, 0x20}) {
        s.Add(P(v));
    }
    EXPECT_EQ((std::vector<std::intptr_t>{0x10, 0x20, 0x30}), Contents(s));
#if INTPTR_MAX == INT32_MAX
    s.Add(P(0x00400000));
    s.Add(P(0x80001000));
    EXPECT_EQ(P(0x80001000), s.GetAt(0));
#endif
    // A pointer with the top bit set is negative and sorts before null and everything else.
    void* const high = P(~(~std::uintptr_t{0} >> 1) | 0x1000);
    s.Add(high);
    EXPECT_EQ(high, s.GetAt(0));
}

// Keys around zero (null included) and at both ends of the signed range, so that collisions
// are common and pointers with the top bit set take part; heap refusals are mixed in, and a
// present element must be accepted by Include even then.
TEST(CPtrSet, MatchesASetModel) {
    std::mt19937_64 rng(23);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const std::intptr_t bases[] = {0, INTPTR_MIN, INTPTR_MAX - 4096 * 60, -4096 * 60};
    CPtrSet s(4, 0);
    std::set<std::intptr_t> model;
    for (int step = 0; step < 8000; ++step) {
        const int op = pick(0, 99);
        const std::intptr_t k = bases[pick(0, 3)] + pick(0, 59) * (op % 2 ? 1 : 4096);
        void* p = reinterpret_cast<void*>(k);
        const bool present = model.count(k) != 0;
        const int count = static_cast<int>(model.size());
        HeapFailureScope fail(pick(0, 7) == 0 ? 1 : 0);
        if (op < 45) {
            const bool include = op < 15;
            const int got = include ? s.Include(p) : s.Add(p);
            const bool inserted = !present && !heapFailureFired();
            ASSERT_EQ(inserted || (include && present) ? 1 : 0, got) << step;
            if (inserted) {
                model.insert(k);
            }
        } else if (op < 70) {
            ASSERT_EQ(present ? 1 : 0, s.Contains(p)) << step;
        } else if (op < 85) {
            ASSERT_EQ(present ? 1 : 0, s.Remove(p)) << step;
            model.erase(k);
        } else if (op < 99) {
            const int index = pick(-1, count);
            const bool valid = index >= 0 && index < count;
            ASSERT_EQ(valid ? 1 : 0, s.RemoveAt(index)) << step;
            if (valid) {
                model.erase(std::next(model.begin(), index));
            }
        } else {
            s.RemoveAll();
            model.clear();
        }
        ASSERT_EQ(std::vector<std::intptr_t>(model.begin(), model.end()), Contents(s)) << step;
    }
}

} // namespace
