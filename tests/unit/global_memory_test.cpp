#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(GlobalMemory, MoveableBlocksLockCountAndFindTheirHandle) {
    HGLOBAL block = GlobalAlloc(GHND, 16);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(16u, GlobalSize(block));
    auto* p = static_cast<unsigned char*>(GlobalLock(block));
    ASSERT_NE(nullptr, p);
    EXPECT_NE(static_cast<void*>(p), block); // a moveable block's handle is not its address
    EXPECT_EQ(0, p[15]);
    EXPECT_EQ(block, GlobalHandle(p));
    EXPECT_EQ(nullptr, GlobalHandle(p + 1));
    EXPECT_EQ(nullptr, GlobalHandle(nullptr));
    EXPECT_EQ(nullptr, GlobalLock(p)); // an address is not a handle

    EXPECT_EQ(p, GlobalLock(block));
    EXPECT_TRUE(GlobalUnlock(block)); // still locked once
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_EQ(NO_ERROR, GetLastError());
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_EQ(ERROR_NOT_LOCKED, GetLastError());

    std::memset(p, 0xAB, 16);
    ASSERT_EQ(block, GlobalReAlloc(block, 100000, GMEM_MOVEABLE | GMEM_ZEROINIT));
    auto* q = static_cast<unsigned char*>(GlobalLock(block));
    EXPECT_EQ(0xAB, q[15]);
    EXPECT_EQ(0, q[16]);
    EXPECT_EQ(0, q[99999]);
    EXPECT_EQ(block, GlobalHandle(q));
    if (q != p) {
        EXPECT_EQ(nullptr, GlobalHandle(p));
    }
    // Locked and not allowed to move: it cannot grow.
    EXPECT_EQ(nullptr, GlobalReAlloc(block, 200000, 0));
    EXPECT_EQ(100000u, GlobalSize(block));
    EXPECT_EQ(nullptr, GlobalFree(block));
    EXPECT_EQ(0u, GlobalSize(block));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    EXPECT_EQ(block, GlobalFree(block));
}

TEST(GlobalMemory, FixedBlocksAreTheirOwnHandleAndGetANewOneWhenMoved) {
    HGLOBAL block = GlobalAlloc(GPTR, 8);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(block, GlobalLock(block));
    EXPECT_EQ(block, GlobalHandle(block));
    EXPECT_EQ(nullptr, GlobalReAlloc(block, 1 << 20, GMEM_ZEROINIT)); // would have to move
    EXPECT_EQ(block, GlobalReAlloc(block, 4, 0));                     // shrinks in place
    std::memcpy(block, "abcd", 4);
    HGLOBAL moved = GlobalReAlloc(block, 1 << 20, GMEM_MOVEABLE | GMEM_ZEROINIT);
    ASSERT_NE(nullptr, moved);
    EXPECT_EQ(0, std::memcmp(moved, "abcd", 4));
    EXPECT_EQ(0, static_cast<char*>(moved)[4]);
    EXPECT_EQ(moved, GlobalHandle(moved));
    EXPECT_EQ(static_cast<SIZE_T>(1 << 20), GlobalSize(moved));
    EXPECT_EQ(nullptr, GlobalFree(moved));
}

TEST(GlobalMemory, RefusedGrowthLeavesTheBlockIntact) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 64);
    ASSERT_NE(nullptr, block);
    void* p = GlobalLock(block);
    std::memset(p, 7, 64);
    const SIZE_T previous = PlatSetGlobalBlockLimit(1000);
    EXPECT_EQ(nullptr, GlobalReAlloc(block, 1001, GMEM_MOVEABLE));
    EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, GetLastError());
    EXPECT_EQ(nullptr, GlobalAlloc(GMEM_FIXED, 1001));
    PlatSetGlobalBlockLimit(previous);
    EXPECT_EQ(64u, GlobalSize(block));
    EXPECT_EQ(p, GlobalLock(block));
    EXPECT_EQ(7, static_cast<char*>(p)[63]);
    EXPECT_EQ(nullptr, GlobalFree(block));
}

} // namespace
