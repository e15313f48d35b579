#include "frame/heap.h"

#include <gtest/gtest.h>

namespace {

using namespace korutil::detail;

TEST(Heap, FailsOnlyTheArmedRequestUnlessSticky) {
    {
        HeapFailureScope fail(2);
        void* a = heapAllocate(8);
        void* b = heapAllocate(8);
        void* c = heapAllocate(8);
        EXPECT_NE(nullptr, a);
        EXPECT_EQ(nullptr, b);
        EXPECT_NE(nullptr, c);
        EXPECT_TRUE(heapFailureFired());
        heapRelease(a);
        heapRelease(c);
    }
    {
        HeapFailureScope fail(1, true);
        EXPECT_EQ(nullptr, heapAllocate(1));
        EXPECT_EQ(nullptr, heapAllocate(1));
    }
    void* ok = heapAllocate(1);
    EXPECT_NE(nullptr, ok);
    heapRelease(ok);
}

TEST(Heap, FailedResizeKeepsTheOldBlock) {
    auto* block = static_cast<unsigned char*>(heapAllocate(4));
    ASSERT_NE(nullptr, block);
    block[0] = 42;
    {
        HeapFailureScope fail(1);
        EXPECT_EQ(nullptr, heapResize(block, 4096));
    }
    EXPECT_EQ(42, block[0]);
    heapRelease(block);
}

TEST(Heap, HeapNewBuildsNothingWhenRefused) {
    struct Counted {
        explicit Counted(int& n) : count(n) { ++count; }
        ~Counted() { --count; }
        int& count;
    };
    int alive = 0;
    {
        HeapFailureScope fail(1);
        EXPECT_EQ(nullptr, heapNew<Counted>(alive));
    }
    EXPECT_EQ(0, alive);
    Counted* c = heapNew<Counted>(alive);
    EXPECT_EQ(1, alive);
    heapDelete(c);
    EXPECT_EQ(0, alive);
}

} // namespace

namespace {

// A growing block gets room ahead of it, so the small fixed steps of a growing buffer
// mostly keep the block where it is; shrinking well below the room gives memory back.
TEST(Heap, GrowingBlockKeepsRoomAheadAndContents) {
    using namespace korutil::detail;
    auto* block = static_cast<unsigned char*>(heapAllocate(8192));
    ASSERT_NE(nullptr, block);
    block[8191] = 7;
    auto* grown = static_cast<unsigned char*>(heapResize(block, 8192 + 128));
    ASSERT_NE(nullptr, grown);
    auto* again = static_cast<unsigned char*>(heapResize(grown, 8192 + 256));
    EXPECT_EQ(grown, again);
    EXPECT_EQ(7, again[8191]);
    const long before = heapRequestCount();
    {
        HeapFailureScope fail(1);
        EXPECT_EQ(nullptr, heapResize(again, 8192 + 384)) << "in-place steps stay requests";
    }
    EXPECT_EQ(before + 1, heapRequestCount());
    auto* small = static_cast<unsigned char*>(heapResize(again, 64));
    ASSERT_NE(nullptr, small);
    heapRelease(small);
}

} // namespace
