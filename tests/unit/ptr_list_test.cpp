#include <korutil/collections.h>

#include "frame/heap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using korutil::detail::HeapFailureScope;
using korutil::detail::heapRequestCount;

void* P(std::intptr_t v) {
    return reinterpret_cast<void*>(v);
}

std::vector<void*> contents(const CPtrList& list) {
    std::vector<void*> out;
    for (int i = 0; i < list.GetCount(); ++i) {
        out.push_back(list.GetAt(i));
    }
    return out;
}

int freeNodes() {
    int n = 0;
    for (auto* node = CPtrList::Node::m_pFreeList; node != nullptr; node = node->m_pNext) {
        ++n;
    }
    return n;
}

static_assert(sizeof(CPtrList::Node) == 3 * sizeof(void*), "a pool block is 64 bare links");

// Out-of-range positions fail softly, Find starts where it is told, and out-of-range
// references all land on one spare variable that no list reads.
TEST(CPtrList, OutOfRangePositionsAndFind) {
    CPtrList list;
    int index = 0;
    EXPECT_EQ(0, list.Find(P(1), &index));
    EXPECT_EQ(nullptr, list.GetAt(0));
    for (void* p : {P(1), P(2)}) {
        ASSERT_EQ(1, list.InsertAt(-1, p));
    }
    ASSERT_EQ(1, list.InsertAt(list.GetCount(), P(1)));
    for (int bad : {4, -2}) {
        EXPECT_EQ(0, list.InsertAt(bad, P(9)));
        EXPECT_EQ(0, list.RemoveAt(bad + 1));
    }
    EXPECT_EQ(nullptr, list.GetAt(5));
    // {start, index after, result}: a start outside the list is left as it is.
    const int finds[][3] = {{0, 0, 1}, {1, 2, 1}, {5, 5, 0}, {-1, -1, 0}};
    for (const auto& f : finds) {
        index = f[0];
        EXPECT_EQ(f[2], list.Find(P(1), &index)) << f[0];
        EXPECT_EQ(f[1], index) << f[0];
    }
    EXPECT_EQ(1, list.Find(P(2), nullptr));
    EXPECT_EQ(0, list.Find(P(3), nullptr));
    CPtrList other;
    void*& spare = list.ElementAt(5);
    EXPECT_EQ(&spare, &other[0]);
    spare = P(99);
    EXPECT_EQ((std::vector<void*>{P(1), P(2), P(1)}), contents(list));
    EXPECT_EQ(nullptr, other.GetAt(0));
}

TEST(CPtrList, PoolTakes64NodesAtATimeAndReusesTheLastReleased) {
    CPtrList held; // empties the pool, so that the next node needs a new block
    while (CPtrList::Node::m_pFreeList != nullptr) {
        ASSERT_EQ(1, held.InsertAt(-1, nullptr));
    }
    CPtrList list;
    const long before = heapRequestCount();
    for (int v = 0; v < 64; ++v) {
        ASSERT_EQ(1, list.InsertAt(-1, P(v)));
    }
    EXPECT_EQ(before + 1, heapRequestCount());
    {
        HeapFailureScope fail(1, true);
        EXPECT_EQ(0, list.InsertAt(0, P(-1)));
        EXPECT_EQ(0, list.InsertAt(-1, P(-1)));
        EXPECT_EQ(64, list.GetCount());
        EXPECT_EQ(P(0), list.GetAt(0));
    }
    const long refused = heapRequestCount();
    ASSERT_EQ(1, list.InsertAt(-1, P(64)));
    EXPECT_EQ(refused + 1, heapRequestCount());
    // A node's data field identifies the node.
    void** released = &list.ElementAt(10);
    ASSERT_EQ(1, list.RemoveAt(10));
    ASSERT_EQ(1, list.InsertAt(0, P(-1)));
    EXPECT_EQ(released, &list.ElementAt(0));
}

TEST(CPtrList, DestroyedListGivesItsNodesBack) {
    const int before = freeNodes();
    CCollection* list = new CPtrList;
    for (int v = 0; v < before; ++v) {
        ASSERT_EQ(1, static_cast<CPtrList*>(list)->InsertAt(-1, P(v)));
    }
    EXPECT_EQ(0, freeNodes());
    delete list;
    EXPECT_EQ(before, freeNodes());
}

// The list against a vector: walks up, down and at random, with insertions and removals at
// and beside the cursor. Reading the whole list to check it moves the cursor, so the test
// puts it back where the operation left it.
TEST(CPtrList, MatchesAVectorModel) {
    for (unsigned seed : {21u, 22u, 23u}) {
        std::mt19937 rng(seed);
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        CPtrList list;
        std::vector<void*> model;
        int cursor = -1;
        int value = 0;
        int walk = 1; // +1 up, -1 down, 0 at random
        for (int step = 0; step < 6000; ++step) {
            const int n = static_cast<int>(model.size());
            const int near = cursor < 0 ? pick(0, n) : cursor + pick(-1, 1);
            const int op = pick(0, 9);
            if (op == 0) {
                walk = pick(-1, 1);
            } else if (op < 5) {
                const int i = walk == 0    ? pick(-1, n)
                              : cursor < 0 ? (walk > 0 ? 0 : n - 1)
                                           : cursor + walk;
                const bool inside = i >= 0 && i < n;
                ASSERT_EQ(inside ? model[i] : nullptr, list.GetAt(i));
                cursor = inside ? i : -1;
            } else if (op < 7) {
                const int i = pick(0, 3) == 0 ? -1 : std::min(near, n);
                ASSERT_EQ(1, list.InsertAt(i, P(++value)));
                model.insert(i == -1 ? model.end() : model.begin() + i, P(value));
                cursor = i == -1 || i == n ? cursor : i + 1;
            } else if (op < 9) {
                const bool inside = near >= 0 && near < n;
                ASSERT_EQ(inside ? 1 : 0, list.RemoveAt(near));
                if (inside) {
                    model.erase(model.begin() + near);
                }
                cursor = inside && near < n - 1 ? near : -1;
            } else if (n > 0) {
                void* p = model[pick(0, n - 1)];
                int index = pick(0, n - 1);
                cursor = index;
                const int want =
                    int(std::find(model.begin() + index, model.end(), p) - model.begin());
                ASSERT_EQ(want < n ? 1 : 0, list.Find(p, &index));
                ASSERT_EQ(want, index);
                if (pick(0, 1) == 0) {
                    ASSERT_EQ(1, list.Remove(p));
                    const int at = int(std::find(model.begin(), model.end(), p) - model.begin());
                    model.erase(model.begin() + at);
                    cursor = at < n - 1 ? at : -1;
                }
            }
            ASSERT_EQ(static_cast<int>(model.size()), list.GetCount()) << "step " << step;
            ASSERT_EQ(model.empty() ? 1 : 0, list.IsEmpty());
            ASSERT_EQ(model, contents(list)) << "seed " << seed << " step " << step;
            list.GetAt(cursor);
            if (model.size() > 300) {
                list.RemoveAll();
                model.clear();
                cursor = -1;
            }
        }
    }
}

} // namespace
