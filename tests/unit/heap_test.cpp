#include "frame/heap.h"

#include <gtest/gtest.h>

namespace {

using namespace korutil::detail;

TEST(Heap, FailsTheArmedRequestOnlyUnlessStickyAndKeepsTheOldBlock) {
    auto* block = static_cast<unsigned char*>(heapAllocate(4));
    ASSERT_NE(nullptr, block);
    block[0] = 42;
    {
        HeapFailureScope fail(2);
        void* a = heapAllocate(8);
        EXPECT_EQ(nullptr, heapResize(block, 4096));
        EXPECT_TRUE(heapFailureFired());
        void* c = heapAllocate(8);
        EXPECT_TRUE(a != nullptr && c != nullptr);
        heapRelease(a);
        heapRelease(c);
    }
    EXPECT_EQ(42, block[0]);
    heapRelease(block);
    HeapFailureScope fail(1, true);
    EXPECT_EQ(nullptr, heapAllocate(1));
    EXPECT_EQ(nullptr, heapAllocate(1));
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

// A growing block gets room ahead of it, so the small fixed steps of a growing buffer mostly
// keep the block where it is; those steps still count as requests that a test can refuse.
TEST(Heap, GrowingBlockKeepsRoomAheadAndContents) {
    auto* block = static_cast<unsigned char*>(heapAllocate(8192));
    ASSERT_NE(nullptr, block);
    block[8191] = 7;
    auto* grown = static_cast<unsigned char*>(heapResize(block, 8192 + 128));
    ASSERT_NE(nullptr, grown);
    auto* again = static_cast<unsigned char*>(heapResize(grown, 8192 + 256));
    EXPECT_EQ(grown, again);
    EXPECT_EQ(7, again[8191]);
    {
        HeapFailureScope fail(1);
        EXPECT_EQ(nullptr, heapResize(again, 8192 + 384));
    }
    auto* small = static_cast<unsigned char*>(heapResize(again, 64));
    ASSERT_NE(nullptr, small);
    heapRelease(small);
}

} // namespace
