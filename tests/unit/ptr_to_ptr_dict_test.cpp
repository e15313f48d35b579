#include <korutil/collections.h>

#include "frame/heap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <utility>
#include <vector>

namespace {

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

void* const K = P(0x1000);
void* const A = P(0xA);
void* const B = P(0xB);

TEST(CPtrToPtrDict, SetReplacesButNeverInserts) {
    CPtrToPtrDict d;
    EXPECT_EQ(0, d.Set(K, A));
    EXPECT_EQ(1, d.IsEmpty());
    EXPECT_EQ(1, d.Add(K, A));
    EXPECT_EQ(1, d.Set(K, B));
    void* value = nullptr;
    EXPECT_EQ(1, d.Lookup(K, &value));
    EXPECT_EQ(B, value);
}

TEST(CPtrToPtrDict, AddKeepsTheFirstValueOfAKey) {
    CPtrToPtrDict d;
    EXPECT_EQ(1, d.Add(K, A));
    EXPECT_EQ(0, d.Add(K, B));
    EXPECT_EQ(1, d.GetCount());
    EXPECT_EQ(A, d.GetAt(0));
}

TEST(CPtrToPtrDict, LookupStoresOnlyWhenAskedAndFound) {
    CPtrToPtrDict d;
    d.Add(K, A);
    EXPECT_EQ(1, d.Lookup(K, nullptr));
    void* untouched = B;
    EXPECT_EQ(0, d.Lookup(P(0x2000), &untouched));
    EXPECT_EQ(0, d.Lookup(P(0x10), &untouched));
    EXPECT_EQ(B, untouched);
}

TEST(CPtrToPtrDict, KeepsKeysInSignedOrder) {
    CPtrToPtrDict d;
    d.Add(P(0x30), A);
    d.Add(P(0x10), B);
    d.Add(P(0x20), nullptr);
    EXPECT_EQ((Entries{{0x10, 0xB}, {0x20, 0}, {0x30, 0xA}}), Contents(d));

#if INTPTR_MAX == INT32_MAX
    CPtrToPtrDict d32;
    d32.Add(P(0x00400000), A);
    d32.Add(P(0x80001000), B);
    void* key;
    void* value;
    d32.GetAt(0, &key, &value);
    EXPECT_EQ(P(0x80001000), key);
#endif
    // A key with the top bit set is negative and sorts first.
    CPtrToPtrDict d64;
    void* const high = P(~(~std::uintptr_t{0} >> 1) | 0x1000);
    d64.Add(P(0x00400000), A);
    d64.Add(high, B);
    d64.Add(nullptr, nullptr);
    void* key;
    void* value;
    d64.GetAt(0, &key, &value);
    EXPECT_EQ(high, key);
    EXPECT_EQ(B, value);
    d64.GetAt(1, &key, &value);
    EXPECT_EQ(nullptr, key);
}

TEST(CPtrToPtrDict, NullKeyAndValueAreOrdinary) {
    CPtrToPtrDict d;
    d.Add(P(0x40), A);
    EXPECT_EQ(1, d.Add(nullptr, nullptr));
    void* value = A;
    EXPECT_EQ(1, d.Lookup(nullptr, &value));
    EXPECT_EQ(nullptr, value);
    EXPECT_EQ(1, d.Remove(nullptr));
    EXPECT_EQ(0, d.Remove(nullptr));
    EXPECT_EQ((Entries{{0x40, 0xA}}), Contents(d));
}

TEST(CPtrToPtrDict, PositionalAccessAndRemoval) {
    CPtrToPtrDict d;
    d.Add(P(2), A);
    d.Add(P(1), B);
    EXPECT_EQ(0, d.RemoveAt(-1));
    EXPECT_EQ(0, d.RemoveAt(d.GetCount()));
    d.ElementAt(0) = A;
    d[1] = B;
    EXPECT_EQ((Entries{{1, 0xA}, {2, 0xB}}), Contents(d));
    EXPECT_EQ(1, d.RemoveAt(0));
    EXPECT_EQ((Entries{{2, 0xB}}), Contents(d));
    d.RemoveAll();
    EXPECT_EQ(0, d.GetCount());
    EXPECT_EQ(1, d.IsEmpty());
}

TEST(CPtrToPtrDict, RefusedGrowthChangesNothing) {
    CPtrToPtrDict d(2, 0);
    d.Add(P(1), A);
    d.Add(P(3), A);
    {
        HeapFailureScope fail(1, true);
        EXPECT_EQ(0, d.Add(P(2), B));
        EXPECT_EQ(1, d.Set(P(3), B)); // needs no memory
        EXPECT_EQ(1, d.Remove(P(1))); // a refused shrink still removes
        EXPECT_EQ(1, d.Add(P(0), B)); // the kept room takes it
    }
    EXPECT_EQ((Entries{{0, 0xB}, {3, 0xB}}), Contents(d));
}

// The room the block really has: the count rounded up to the step, except that a smaller
// block the heap refuses is kept.
struct Room {
    int growBy;
    int allocated;
    bool Fit(int count, bool refuse) {
        if (count == 0) {
            allocated = 0;
            return true;
        }
        const int target = (count + growBy - 1) / growBy * growBy;
        if (target != allocated) {
            if (refuse) {
                return target < allocated;
            }
            allocated = target;
        }
        return true;
    }
};

TEST(CPtrToPtrDict, MatchesAMapModel) {
    std::mt19937_64 rng(11);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    // Keys around zero and at both ends of the signed range, so that collisions are common
    // and pointers with the top bit set take part.
    std::vector<std::intptr_t> pool;
    for (int i = 0; i < 40; ++i) {
        pool.push_back(i * 8);
        pool.push_back(INTPTR_MIN + i);
        pool.push_back(INTPTR_MAX - i);
        pool.push_back(-1 - i);
    }
    auto key = [&] { return pool[static_cast<std::size_t>(pick(0, int(pool.size()) - 1))]; };
    auto ptr = [](std::intptr_t v) { return reinterpret_cast<void*>(v); };

    CPtrToPtrDict d(3, 0);
    std::map<std::intptr_t, std::intptr_t> model;
    Room room{3, 0};
    for (int step = 0; step < 6000; ++step) {
        const int op = pick(0, 99);
        const bool refuse = pick(0, 7) == 0;
        const std::intptr_t k = key();
        const std::intptr_t v = static_cast<std::intptr_t>(rng());
        const bool present = model.count(k) != 0;
        const int count = static_cast<int>(model.size());
        HeapFailureScope fail(refuse ? 1 : 0);
        if (op < 40) {
            const int expected = !present && room.Fit(count + 1, refuse) ? 1 : 0;
            ASSERT_EQ(expected, d.Add(ptr(k), ptr(v))) << step;
            if (expected) {
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
            if (op < 70) {
                ASSERT_EQ(ptr(present ? model[k] : 7), got) << step;
            }
        } else if (op < 88) {
            ASSERT_EQ(present ? 1 : 0, d.Remove(ptr(k))) << step;
            if (present) {
                model.erase(k);
                room.Fit(count - 1, refuse);
            }
        } else if (op < 99) {
            const int index = pick(-1, count);
            const bool valid = index >= 0 && index < count;
            ASSERT_EQ(valid ? 1 : 0, d.RemoveAt(index)) << step;
            if (valid) {
                model.erase(std::next(model.begin(), index));
                room.Fit(count - 1, refuse);
            }
        } else {
            d.RemoveAll();
            if (count > 0) {
                room.Fit(0, refuse);
            }
            model.clear();
        }
        ASSERT_EQ(Entries(model.begin(), model.end()), Contents(d)) << step;
    }
}

} // namespace
