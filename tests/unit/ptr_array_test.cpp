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

void* const A = P(0xA0);
void* const B = P(0xB0);

TEST(CPtrArray, InsertAtAcceptsMinusOneAndPositionsUpToTheCount) {
    CPtrArray a;
    EXPECT_EQ(1, a.InsertAt(-1, A));
    EXPECT_EQ(A, a.GetAt(0));
    EXPECT_EQ(1, a.InsertAt(a.GetCount(), B));
    EXPECT_EQ(1, a.InsertAt(0, nullptr));
    EXPECT_EQ(0, a.InsertAt(a.GetCount() + 1, A));
    EXPECT_EQ(0, a.InsertAt(-2, A));
    EXPECT_EQ((std::vector<void*>{nullptr, A, B}), Contents(a));
}

TEST(CPtrArray, RemoveAtRefusesIndexesOutsideTheArray) {
    CPtrArray a;
    EXPECT_EQ(0, a.RemoveAt(0));
    a.InsertAt(-1, A);
    a.InsertAt(-1, B);
    EXPECT_EQ(0, a.RemoveAt(a.GetCount()));
    EXPECT_EQ(0, a.RemoveAt(-1));
    EXPECT_EQ(2, a.GetCount());
    EXPECT_EQ(1, a.RemoveAt(0));
    EXPECT_EQ((std::vector<void*>{B}), Contents(a));
}

TEST(CPtrArray, FindSearchesUpwardsFromTheGivenIndex) {
    CPtrArray a;
    a.InsertAt(-1, A);
    a.InsertAt(-1, B);
    a.InsertAt(-1, A);
    int index = 1;
    EXPECT_EQ(1, a.Find(A, &index));
    EXPECT_EQ(2, index);
    index = 0;
    EXPECT_EQ(0, a.Find(nullptr, &index));
    EXPECT_EQ(3, index);
    index = 5;
    EXPECT_EQ(0, a.Find(A, &index));
    EXPECT_EQ(5, index);
    index = -4; // read as 0 rather than outside the storage
    EXPECT_EQ(1, a.Find(B, &index));
    EXPECT_EQ(1, index);
    EXPECT_EQ(1, a.Find(B, nullptr));

    EXPECT_EQ(1, a.Remove(A));
    EXPECT_EQ((std::vector<void*>{B, A}), Contents(a));
    EXPECT_EQ(0, a.Remove(P(0xC0)));
}

TEST(CPtrArray, NullIsAnOrdinaryElement) {
    CPtrArray a;
    a.InsertAt(-1, A);
    a.InsertAt(-1, nullptr);
    int index = 0;
    EXPECT_EQ(1, a.Find(nullptr, &index));
    EXPECT_EQ(1, index);
    EXPECT_EQ(1, a.Remove(nullptr));
    EXPECT_EQ((std::vector<void*>{A}), Contents(a));
}

TEST(CPtrArray, ElementAtWritesInPlace) {
    CPtrArray a;
    a.InsertAt(-1, A);
    a.ElementAt(0) = B;
    EXPECT_EQ(B, a.GetAt(0));
    a[0] = nullptr;
    const CPtrArray& c = a;
    EXPECT_EQ(nullptr, c[0]);
}

// The room is observed through the heap: requests happen exactly at step boundaries, and
// with the heap refusing, insertions succeed only while the room lasts.
TEST(CPtrArray, StorageGrowsAndShrinksInGrowByStepsAndIsReleasedWhenEmpty) {
    CPtrArray a;
    long before = heapRequestCount();
    for (int i = 0; i < 16; ++i) {
        ASSERT_EQ(1, a.InsertAt(-1, P(i)));
    }
    EXPECT_EQ(1, heapRequestCount() - before);
    ASSERT_EQ(1, a.InsertAt(-1, P(16)));
    EXPECT_EQ(2, heapRequestCount() - before);
    {
        HeapFailureScope fail(1, true);
        for (int i = 17; i < 32; ++i) {
            ASSERT_EQ(1, a.InsertAt(0, P(i)));
        }
        EXPECT_EQ(0, a.InsertAt(16, P(99)));
        EXPECT_EQ(32, a.GetCount());
        EXPECT_EQ(P(16), a.GetAt(31));
        EXPECT_EQ(P(17), a.GetAt(14));
    }
    before = heapRequestCount();
    for (int i = 0; i < 16; ++i) {
        a.RemoveAt(0);
    }
    EXPECT_EQ(1, heapRequestCount() - before); // shrunk back to 16 at the boundary
    a.RemoveAll();
    EXPECT_EQ(0, a.GetCount());
    EXPECT_EQ(1, a.IsEmpty());
    // Released: the next insertion must take a new block.
    HeapFailureScope fail(1);
    EXPECT_EQ(0, a.InsertAt(-1, A));
}

TEST(CPtrArray, ConstructorRoomLastsUntilTheFirstInsertion) {
    HeapFailureScope fail(2, true);
    CPtrArray a(16, 100);
    EXPECT_EQ(0, a.GetCount());
    ASSERT_EQ(1, a.InsertAt(-1, A)); // fits the room down to 16; a shrink cannot fail
    for (int i = 1; i < 16; ++i) {
        ASSERT_EQ(1, a.InsertAt(-1, P(i)));
    }
    // The refused shrink left the 112 slots in place, so the array still works.
    EXPECT_EQ(1, a.InsertAt(-1, B));
    EXPECT_EQ(17, a.GetCount());
}

TEST(CPtrArray, IsUsableThroughTheCollectionBase) {
    std::unique_ptr<CCollection> owner(new CPtrArray(4, 0));
    auto* a = static_cast<CPtrArray*>(owner.get());
    for (int i = 0; i < 10; ++i) {
        a->InsertAt(-1, P(i));
    }
    owner.reset(); // runs the array's destructor; ASan reports a leaked block
}

TEST(CPtrArray, MatchesAVectorModel) {
    std::mt19937 rng(7);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    CPtrArray a(5, 0);
    std::vector<void*> model;
    for (int step = 0; step < 5000; ++step) {
        const int op = pick(0, 9);
        const int count = static_cast<int>(model.size());
        if (op < 5) {
            const int index = pick(-2, count + 1);
            void* p = P(static_cast<std::uintptr_t>(pick(0, 40)));
            const bool refuse = pick(0, 9) == 0;
            const bool needsRoom = count % 5 == 0;
            HeapFailureScope fail(refuse ? 1 : 0);
            const int expected = index < -1 || index > count || (refuse && needsRoom) ? 0 : 1;
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
            void* p = P(static_cast<std::uintptr_t>(pick(0, 40)));
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
