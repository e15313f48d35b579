#include <korutil/files.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A host block as the memory file expects it: moveable global memory, locked.
unsigned char* lockedBlock(SIZE_T size, unsigned char fill) {
    auto* p = static_cast<unsigned char*>(GlobalLock(GlobalAlloc(GMEM_MOVEABLE, size)));
    std::memset(p, fill, size);
    return p;
}

TEST(MemFile, GrowsTheHostBlockByTheStepWithZeros) {
    CMemFile file;
    unsigned char* block = lockedBlock(100, 0xEE);
    ASSERT_EQ(1, file.Open(block, 100));
    EXPECT_EQ(95, file.Seek(95, CFile::fromBegin));
    EXPECT_EQ(10, file.Write("0123456789", 10));
    EXPECT_EQ(356, file.GetMemorySize()); // 100 + the default step of 256
    unsigned char tail[300];
    EXPECT_EQ(251, file.Read(tail, sizeof tail));
    EXPECT_EQ(std::vector<unsigned char>(251, 0), std::vector<unsigned char>(tail, tail + 251));
    std::vector<char> big(1000, 'b');
    EXPECT_EQ(1000, file.Write(big.data(), 1000)); // larger than the step: grows by the count
    EXPECT_EQ(1356, file.GetMemorySize());

    unsigned char* back = nullptr;
    long size = 0;
    EXPECT_EQ(1, file.Close(&back, &size));
    EXPECT_EQ(1356, size);
    EXPECT_EQ(nullptr, file.GetMemoryPtr());
    EXPECT_EQ(0, file.GetMemorySize());
    EXPECT_EQ(0xEE, back[94]);
    EXPECT_EQ(0, std::memcmp(back + 95, "0123456789", 10));
    HGLOBAL handle = GlobalHandle(back);
    EXPECT_EQ(static_cast<SIZE_T>(1356), GlobalSize(handle));
    EXPECT_FALSE(GlobalUnlock(handle)); // locked exactly once, as handed in
    EXPECT_EQ(NO_ERROR, GetLastError());
    GlobalFree(handle);
}

TEST(MemFile, SeekClampsAndCountsFromTheEndBackwards) {
    unsigned char block[100] = {};
    CMemFile file;
    file.Open(block, 100);
    EXPECT_EQ(100, file.Seek(500, CFile::fromBegin));
    EXPECT_EQ(3, file.Seek(3, CFile::fromBegin));
    EXPECT_EQ(0, file.Seek(-5, CFile::fromCurrent));
    EXPECT_EQ(90, file.Seek(10, CFile::fromEnd));
    EXPECT_EQ(100, file.Seek(-10, CFile::fromEnd));
    EXPECT_EQ(100, file.Seek(0x7FFFFFFFL, CFile::fromCurrent));
    EXPECT_EQ(0, file.Seek(-0x7FFFFFFFL - 1, CFile::fromCurrent));
    EXPECT_EQ(0, file.Seek(7, static_cast<CFile::SeekFrom>(9))); // unknown origin: unmoved
    EXPECT_EQ(80, file.Seek(80, CFile::fromBegin));
    char buffer[50];
    EXPECT_EQ(20, file.Read(buffer, 50));
    EXPECT_EQ(0, file.Read(buffer, 50));
}

TEST(MemFile, BlocksThatCannotGrowRefuseTheWriteAndStayIntact) {
    // Not global memory: no handle to grow it by.
    unsigned char plain[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    CMemFile file(4);
    file.Open(plain, 8);
    file.Seek(6, CFile::fromBegin);
    EXPECT_EQ(2, file.Write("ab", 2)); // fits
    EXPECT_EQ(0, file.Write("c", 1));
    EXPECT_EQ(8, file.GetPosition());
    EXPECT_EQ(8, file.GetMemorySize());
    CMemFile empty;
    empty.Open(nullptr, 0);
    char byte;
    EXPECT_EQ(0, empty.Read(&byte, 1));
    EXPECT_EQ(0, empty.Write("x", 1));

    // Global memory whose growth the system refuses, or whose size would pass 32 bits: the
    // old block comes back, still locked and intact.
    for (long growBy : {256L, 0x7FFFFFF8L}) {
        unsigned char* block = lockedBlock(64, 0x5A);
        CMemFile refused(growBy);
        refused.Open(block, 64);
        refused.Seek(0, CFile::fromEnd);
        const SIZE_T previous = PlatSetGlobalBlockLimit(100);
        EXPECT_EQ(0, refused.Write("x", 1));
        PlatSetGlobalBlockLimit(previous);
        EXPECT_EQ(64, refused.GetPosition());
        unsigned char* back = nullptr;
        long size = 0;
        refused.Close(&back, &size);
        EXPECT_EQ(block, back);
        EXPECT_EQ(64, size);
        EXPECT_EQ(0x5A, back[63]);
        HGLOBAL handle = GlobalHandle(back);
        EXPECT_FALSE(GlobalUnlock(handle));
        EXPECT_EQ(NO_ERROR, GetLastError());
        GlobalFree(handle);
    }
}

TEST(GlobalMemory, LockCountsHandlesFromAddressesAndMoves) {
    HGLOBAL block = GlobalAlloc(GHND, 16);
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
    // Locked and not allowed to move: it cannot grow.
    EXPECT_EQ(nullptr, GlobalReAlloc(block, 200000, 0));
    EXPECT_EQ(16u, GlobalSize(block));
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_EQ(ERROR_NOT_LOCKED, GetLastError());
    EXPECT_EQ(nullptr, GlobalReAlloc(block, 16, GMEM_MODIFY | GMEM_MOVEABLE));
    EXPECT_EQ(ERROR_NOT_SUPPORTED, GetLastError());
    EXPECT_EQ(nullptr, GlobalFree(block));
    EXPECT_EQ(0u, GlobalSize(block));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    EXPECT_EQ(block, GlobalFree(block));

    // A fixed block is its own handle, and gets a new one when it moves.
    block = GlobalAlloc(GPTR, 8);
    EXPECT_EQ(block, GlobalLock(block));
    EXPECT_EQ(block, GlobalHandle(block));
    EXPECT_EQ(nullptr, GlobalReAlloc(block, 1 << 20, GMEM_ZEROINIT)); // would have to move
    EXPECT_EQ(block, GlobalReAlloc(block, 4, 0));                     // shrinks in place
    std::memcpy(block, "abcd", 4);
    HGLOBAL moved = GlobalReAlloc(block, 1 << 20, GMEM_MOVEABLE | GMEM_ZEROINIT);
    ASSERT_NE(nullptr, moved);
    EXPECT_EQ(0, std::memcmp(moved, "abcd\0", 5));
    EXPECT_EQ(moved, GlobalHandle(moved));
    const SIZE_T previous = PlatSetGlobalBlockLimit(1000);
    EXPECT_EQ(nullptr, GlobalAlloc(GMEM_FIXED, 1001));
    EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, GetLastError());
    PlatSetGlobalBlockLimit(previous);
    EXPECT_EQ(nullptr, GlobalFree(moved));
}

} // namespace
