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
    for (CPtrList::Node* node = CPtrList::Node::m_pFreeList; node != nullptr;
         node = node->m_pNext) {
        ++n;
    }
    return n;
}

// Takes every free node out of the pool, so that the next request goes to the heap.
struct PoolDrain {
    PoolDrain() {
        while (CPtrList::Node::m_pFreeList != nullptr && held.InsertAt(-1, nullptr)) {
        }
    }
    CPtrList held;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(CPtrList::Node) * 64 == 768, "a pool block is 768 bytes");
#else
static_assert(sizeof(CPtrList::Node) * 64 == 1536, "a pool block is 1536 bytes");
#endif

TEST(CPtrList, InsertsAtEveryValidPositionAndRefusesOthers) {
    CPtrList list;
    EXPECT_EQ(1, list.IsEmpty());
    EXPECT_EQ(0, list.GetCount());
    ASSERT_EQ(1, list.InsertAt(-1, P(2)));
    ASSERT_EQ(1, list.InsertAt(list.GetCount(), P(4)));
    ASSERT_EQ(1, list.InsertAt(0, P(1)));
    ASSERT_EQ(1, list.InsertAt(2, P(3)));
    ASSERT_EQ(1, list.InsertAt(1, nullptr));
    EXPECT_EQ((std::vector<void*>{P(1), nullptr, P(2), P(3), P(4)}), contents(list));
    EXPECT_EQ(0, list.InsertAt(list.GetCount() + 1, P(9)));
    EXPECT_EQ(0, list.InsertAt(-2, P(9)));
    EXPECT_EQ(5, list.GetCount());
    EXPECT_EQ(0, list.IsEmpty());
}

TEST(CPtrList, PositionsOutsideTheListFailSoftly) {
    CPtrList list;
    EXPECT_EQ(nullptr, list.GetAt(0));
    EXPECT_EQ(0, list.RemoveAt(0));
    for (int v = 1; v <= 3; ++v) {
        ASSERT_EQ(1, list.InsertAt(-1, P(v)));
    }
    EXPECT_EQ(nullptr, list.GetAt(5));
    EXPECT_EQ(nullptr, list[-1]);
    EXPECT_EQ(0, list.RemoveAt(3));
    EXPECT_EQ(0, list.RemoveAt(-1));

    // Out-of-range references all land on one spare variable that no list reads.
    CPtrList other;
    void*& spare = list.ElementAt(5);
    EXPECT_EQ(&spare, &other.ElementAt(0));
    EXPECT_EQ(&spare, &list[-3]);
    spare = P(99);
    EXPECT_EQ((std::vector<void*>{P(1), P(2), P(3)}), contents(list));
    EXPECT_EQ(nullptr, other.GetAt(0));

    list[1] = P(7);
    EXPECT_EQ(P(7), list.GetAt(1));
}

TEST(CPtrList, CursorFollowsInsertionsAndRemovals) {
    CPtrList list;
    for (int v = 0; v < 5; ++v) {
        ASSERT_EQ(1, list.InsertAt(-1, P(10 + v)));
    }
    EXPECT_EQ(P(12), list.GetAt(2));
    ASSERT_EQ(1, list.InsertAt(1, P(99)));
    EXPECT_EQ(P(12), list.GetAt(3));
    EXPECT_EQ(P(11), list.GetAt(2));

    // Removing the node under the cursor hands its position to the successor.
    EXPECT_EQ(P(12), list.GetAt(3));
    ASSERT_EQ(1, list.RemoveAt(3));
    EXPECT_EQ(P(13), list.GetAt(3));
    EXPECT_EQ(P(11), list.GetAt(2));
    EXPECT_EQ(P(14), list.GetAt(4));
    ASSERT_EQ(1, list.RemoveAt(4));
    EXPECT_EQ(nullptr, list.GetAt(4));
    EXPECT_EQ(P(13), list.GetAt(3));
    EXPECT_EQ((std::vector<void*>{P(10), P(99), P(11), P(13)}), contents(list));

    // Down from the last position, one step at a time.
    for (int i = list.GetCount() - 1; i >= 0; --i) {
        EXPECT_EQ(contents(list)[i], list.GetAt(i));
    }
}

TEST(CPtrList, FindAndRemoveSearchTowardTheTail) {
    CPtrList list;
    int index = 0;
    EXPECT_EQ(0, list.Find(P(1), &index));
    EXPECT_EQ(0, index);
    ASSERT_EQ(1, list.InsertAt(-1, P(1)));
    ASSERT_EQ(1, list.InsertAt(-1, P(2)));
    ASSERT_EQ(1, list.InsertAt(-1, P(1)));
    index = 0;
    EXPECT_EQ(1, list.Find(P(1), &index));
    EXPECT_EQ(0, index);
    index = 1;
    EXPECT_EQ(1, list.Find(P(1), &index));
    EXPECT_EQ(2, index);
    index = 0;
    EXPECT_EQ(0, list.Find(P(3), &index));
    EXPECT_EQ(3, index);
    index = 5;
    EXPECT_EQ(0, list.Find(P(1), &index));
    EXPECT_EQ(5, index);
    index = -1;
    EXPECT_EQ(0, list.Find(P(1), &index));
    EXPECT_EQ(-1, index);

    EXPECT_EQ(1, list.Remove(P(1)));
    EXPECT_EQ((std::vector<void*>{P(2), P(1)}), contents(list));
    EXPECT_EQ(0, list.Remove(P(3)));
    ASSERT_EQ(1, list.InsertAt(0, nullptr));
    index = 0;
    EXPECT_EQ(1, list.Find(nullptr, &index));
    EXPECT_EQ(1, list.Remove(nullptr));
    list.RemoveAll();
    EXPECT_EQ(1, list.IsEmpty());
    EXPECT_EQ(nullptr, list.GetAt(0));
    list.RemoveAll();
}

TEST(CPtrList, PoolHandsOutNodes64AtATimeAndReusesTheLastReleased) {
    PoolDrain drain;
    CPtrList list;
    const long before = heapRequestCount();
    ASSERT_EQ(1, list.InsertAt(-1, P(0)));
    EXPECT_EQ(before + 1, heapRequestCount());
    EXPECT_EQ(63, freeNodes());
    for (int v = 1; v < 64; ++v) {
        ASSERT_EQ(1, list.InsertAt(-1, P(v)));
    }
    EXPECT_EQ(before + 1, heapRequestCount());
    EXPECT_EQ(nullptr, CPtrList::Node::m_pFreeList);
    ASSERT_EQ(1, list.InsertAt(-1, P(64)));
    EXPECT_EQ(before + 2, heapRequestCount());

    // The node's data field identifies the node: the released one comes back first.
    void** released = &list.ElementAt(10);
    ASSERT_EQ(1, list.RemoveAt(10));
    ASSERT_EQ(1, list.InsertAt(0, P(-1)));
    EXPECT_EQ(released, &list.ElementAt(0));
    EXPECT_EQ(before + 2, heapRequestCount());
}

TEST(CPtrList, InsertionFailsCleanlyWhenThePoolCannotGrow) {
    PoolDrain drain;
    CPtrList list;
    ASSERT_EQ(1, list.InsertAt(-1, P(1)));
    while (CPtrList::Node::m_pFreeList != nullptr) {
        ASSERT_EQ(1, drain.held.InsertAt(-1, nullptr));
    }
    {
        HeapFailureScope fail(1, true);
        EXPECT_EQ(0, list.InsertAt(0, P(2)));
        EXPECT_EQ(0, list.InsertAt(-1, P(2)));
    }
    EXPECT_EQ((std::vector<void*>{P(1)}), contents(list));
    // Sizes other than one node go to the heap, which may refuse them too.
    {
        HeapFailureScope fail(1);
        EXPECT_EQ(nullptr, CPtrList::Node::operator new(3 * sizeof(CPtrList::Node)));
    }
    CPtrList::Node::operator delete(nullptr);
    CPtrList::Node::FreeMemory();
}

TEST(CPtrList, DestroyedListGivesItsNodesBack) {
    const int before = freeNodes();
    {
        auto* list = new CPtrList;
        for (int v = 0; v < 100; ++v) {
            ASSERT_EQ(1, list->InsertAt(-1, P(v)));
        }
        CCollection* base = list;
        delete base;
    }
    // At most one new block of 64 was needed beyond the free nodes there were.
    const int after = freeNodes();
    EXPECT_GE(after, before + 100 - 128);
    EXPECT_EQ(0, (after - before) % 64);
    const int free = freeNodes();
    {
        CPtrList list;
        for (int v = 0; v < free; ++v) {
            ASSERT_EQ(1, list.InsertAt(-1, P(v)));
        }
        EXPECT_EQ(0, freeNodes());
    }
    EXPECT_EQ(free, freeNodes());
}

// The list against a vector, walking up, down and at random, with insertions and removals
// at and beside the cursor. Reading the whole list to check it moves the cursor, so the
// test puts it back where the operation left it.
TEST(CPtrList, MatchesAVectorModel) {
    for (unsigned seed : {21u, 22u, 23u}) {
        std::mt19937 rng(seed);
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        CPtrList list;
        std::vector<void*> model;
        int cursor = -1;
        int value = 0;
        int walk = 0; // +1 walking up, -1 down, 0 random
        for (int step = 0; step < 6000; ++step) {
            const int n = static_cast<int>(model.size());
            const int near = cursor < 0 ? 0 : cursor + pick(-1, 1);
            switch (pick(0, 9)) {
            case 0:
                walk = pick(-1, 1);
                break;
            case 1:
            case 2:
            case 3: {
                int i = walk == 0    ? pick(-1, n)
                        : cursor < 0 ? (walk > 0 ? 0 : n - 1)
                                     : cursor + walk;
                void* got = list.GetAt(i);
                if (i >= 0 && i < n) {
                    ASSERT_EQ(model[i], got);
                    cursor = i;
                } else {
                    ASSERT_EQ(nullptr, got);
                    cursor = -1;
                }
                break;
            }
            case 4:
            case 5: {
                const int i = pick(0, 3) == 0 ? -1 : std::min(near, n);
                void* p = P(++value);
                ASSERT_EQ(1, list.InsertAt(i, p));
                if (i == -1 || i == n) {
                    model.push_back(p);
                } else {
                    model.insert(model.begin() + i, p);
                    cursor = i + 1;
                }
                break;
            }
            case 6:
            case 7: {
                const int i = near;
                const int ok = list.RemoveAt(i);
                ASSERT_EQ(i >= 0 && i < n ? 1 : 0, ok);
                if (ok) {
                    model.erase(model.begin() + i);
                    cursor = i < n - 1 ? i : -1;
                } else {
                    cursor = -1;
                }
                break;
            }
            case 8: {
                if (n == 0) {
                    break;
                }
                void* p = model[pick(0, n - 1)];
                int start = pick(0, n - 1);
                int index = start;
                const int found = list.Find(p, &index);
                int want = start;
                while (want < n && model[want] != p) {
                    ++want;
                }
                ASSERT_EQ(want < n ? 1 : 0, found);
                ASSERT_EQ(want, index);
                cursor = start;
                break;
            }
            default: {
                if (n == 0 || pick(0, 3) != 0) {
                    list.ElementAt(std::max(0, std::min(near, n - 1))) = P(++value);
                    if (n > 0) {
                        cursor = std::max(0, std::min(near, n - 1));
                        model[cursor] = P(value);
                    }
                    break;
                }
                void* p = model[pick(0, n - 1)];
                ASSERT_EQ(1, list.Remove(p));
                const int at =
                    static_cast<int>(std::find(model.begin(), model.end(), p) - model.begin());
                model.erase(model.begin() + at);
                cursor = at < n - 1 ? at : -1;
                break;
            }
            }
            ASSERT_EQ(static_cast<int>(model.size()), list.GetCount()) << "step " << step;
            ASSERT_EQ(model.empty() ? 1 : 0, list.IsEmpty());
            ASSERT_EQ(model, contents(list)) << "seed " << seed << " step " << step;
            if (cursor >= 0) {
                ASSERT_EQ(model[cursor], list.GetAt(cursor));
            } else {
                list.GetAt(-1);
            }
            if (model.size() > 300) {
                list.RemoveAll();
                model.clear();
                cursor = -1;
            }
        }
    }
}

} // namespace
