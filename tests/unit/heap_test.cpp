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
