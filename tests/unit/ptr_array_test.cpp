#include <korutil/collections.h>

#include "frame/heap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace {

using korutil::detail::HeapFailureScope;
using korutil::detail::heapRequestCount;

void* P(std::uintptr_t v) {
    return reinterpret_cast<void*>(v);
}

std::vector<void*> Contents(const CPtrArray& a) {
    std::vector<void*> out;
    for (int i = 0; i < a.GetCount(); ++i) {
        out.push_back(a[i]);
    }
    return out;
}

// {start, index after, result}; a negative start is read as 0 rather than outside the
// storage, and a start at or above the count is left as it is.
TEST(CPtrArray, FindSearchesUpwardsFromTheGivenIndex) {
    CPtrArray a;
    for (void* p : {P(0xA0), static_cast<void*>(nullptr), P(0xA0)}) {
        a.InsertAt(-1, p);
    }
    const int finds[][3] = {{1, 2, 1}, {5, 5, 0}, {-4, 0, 1}, {3, 3, 0}};
    for (const auto& f : finds) {
        int index = f[0];
        EXPECT_EQ(f[2], a.Find(P(0xA0), &index)) << f[0];
        EXPECT_EQ(f[1], index) << f[0];
    }
    int index = 0;
    EXPECT_EQ(0, a.Find(P(0xC0), &index));
    EXPECT_EQ(3, index);
    EXPECT_EQ(1, a.Find(nullptr, nullptr));
}

// The room is observed through the heap: requests happen exactly at step boundaries, and
// with the heap refusing, insertions succeed only while the room lasts.
TEST(CPtrArray, StorageFollowsTheCountInGrowBySteps) {
    CPtrArray a;
    long before = heapRequestCount();
    for (int i = 0; i < 17; ++i) {
        ASSERT_EQ(1, a.InsertAt(-1, P(i)));
    }
    EXPECT_EQ(2, heapRequestCount() - before);
    {
        HeapFailureScope fail(1, true);
        for (int i = 17; i < 32; ++i) {
            ASSERT_EQ(1, a.InsertAt(0, P(i)));
        }
        EXPECT_EQ(0, a.InsertAt(16, P(99)));
        EXPECT_EQ(32, a.GetCount());
    }
    before = heapRequestCount();
    for (int i = 0; i < 16; ++i) {
        a.RemoveAt(0);
    }
    EXPECT_EQ(1, heapRequestCount() - before);
    a.RemoveAll();
    EXPECT_EQ(1, a.IsEmpty());
    HeapFailureScope fail(1); // released: the next insertion needs a new block
    EXPECT_EQ(0, a.InsertAt(-1, P(1)));
}

TEST(CPtrArray, ConstructorRoomLastsUntilTheFirstInsertion) {
    {
        HeapFailureScope fail(2, true); // the constructor's block, then a refused shrink
        CPtrArray a(16, 100);
        for (int i = 0; i < 17; ++i) {
            ASSERT_EQ(1, a.InsertAt(-1, P(i)));
        }
    }
    CPtrArray b(16, 100);
    const long before = heapRequestCount();
    for (int i = 0; i < 17; ++i) {
        b.InsertAt(-1, P(i));
    }
    EXPECT_EQ(before + 2, heapRequestCount()); // fitted to 16 at the first, grown at the 17th
    std::unique_ptr<CCollection> owner(new CPtrArray(4, 0));
    static_cast<CPtrArray*>(owner.get())->InsertAt(-1, P(1)); // ASan reports a leak
}

TEST(CPtrArray, MatchesAVectorModel) {
    std::mt19937 rng(7);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    CPtrArray a(5, 0);
    std::vector<void*> model;
    for (int step = 0; step < 5000; ++step) {
        const int op = pick(0, 9);
        const int count = static_cast<int>(model.size());
        void* p = P(static_cast<std::uintptr_t>(pick(0, 40)));
        if (op < 5) {
            const int index = pick(-2, count + 1);
            const bool refuse = pick(0, 9) == 0;
            HeapFailureScope fail(refuse ? 1 : 0);
            const int expected = index < -1 || index > count || (refuse && count % 5 == 0) ? 0 : 1;
            ASSERT_EQ(expected, a.InsertAt(index, p)) << step;
            if (expected) {
                model.insert(model.begin() + (index == -1 ? count : index), p);
            }
        } else if (op < 8) {
            const int index = pick(-1, count);
            const int expected = index >= 0 && index < count ? 1 : 0;
            ASSERT_EQ(expected, a.RemoveAt(index)) << step;
            if (expected) {
                model.erase(model.begin() + index);
            }
        } else if (op < 9) {
            auto it = std::find(model.begin(), model.end(), p);
            ASSERT_EQ(it != model.end() ? 1 : 0, a.Remove(p)) << step;
            if (it != model.end()) {
                model.erase(it);
            }
        } else if (pick(0, 30) == 0) {
            a.RemoveAll();
            model.clear();
        }
        ASSERT_EQ(model, Contents(a)) << step;
    }
}

} // namespace
