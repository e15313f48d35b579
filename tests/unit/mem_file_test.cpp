#include <korutil/files.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A host block as the memory file expects it: moveable global memory, locked.
unsigned char* lockedBlock(SIZE_T size, unsigned char fill) {
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE, size);
    auto* p = static_cast<unsigned char*>(GlobalLock(handle));
    std::memset(p, fill, size);
    return p;
}

void release(unsigned char* p) {
    HGLOBAL handle = GlobalHandle(p);
    GlobalUnlock(handle);
    GlobalFree(handle);
}

TEST(MemFile, GrowsTheHostBlockByTheStepWithZeros) {
    CMemFile file;
    unsigned char* block = lockedBlock(100, 0xEE);
    ASSERT_EQ(1, file.Open(block, 100));
    EXPECT_EQ(95, file.Seek(95, CFile::fromBegin));
    EXPECT_EQ(10, file.Write("0123456789", 10));
    EXPECT_EQ(356, file.GetMemorySize()); // 100 + the default step of 256
    EXPECT_EQ(105, file.GetPosition());
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
    EXPECT_EQ(static_cast<SIZE_T>(1356), GlobalSize(GlobalHandle(back)));
    release(back);
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
    EXPECT_EQ(plain, file.GetMemoryPtr());

    CMemFile empty;
    empty.Open(nullptr, 0);
    char byte;
    EXPECT_EQ(0, empty.Read(&byte, 1));
    EXPECT_EQ(0, empty.Write("x", 1));

    // Global memory whose growth the system refuses: the old block comes back, still locked.
    unsigned char* block = lockedBlock(64, 0x5A);
    CMemFile refused;
    refused.Open(block, 64);
    refused.Seek(0, CFile::fromEnd);
    const SIZE_T previous = PlatSetGlobalBlockLimit(100);
    EXPECT_EQ(0, refused.Write("x", 1));
    PlatSetGlobalBlockLimit(previous);
    unsigned char* back = nullptr;
    long size = 0;
    refused.Close(&back, &size);
    EXPECT_EQ(block, back);
    EXPECT_EQ(64, size);
    EXPECT_EQ(0x5A, back[63]);
    EXPECT_FALSE(GlobalUnlock(GlobalHandle(back))); // locked exactly once, as handed in
    EXPECT_EQ(NO_ERROR, GetLastError());
    GlobalFree(GlobalHandle(back));

    // A size past 32 bits is refused before the system is asked.
    unsigned char* small = lockedBlock(16, 0);
    CMemFile huge(0x7FFFFFF8L);
    huge.Open(small, 16);
    huge.Seek(0, CFile::fromEnd);
    EXPECT_EQ(0, huge.Write("x", 1));
    EXPECT_EQ(16, huge.GetMemorySize());
    release(small);
}

} // namespace
