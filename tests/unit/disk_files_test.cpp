#include "frame/heap.h"
#include "support/child_process.h"
#include "support/file_contents.h"
#include "support/temp_dir.h"

#include <korutil/files.h>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <string>
#include <vector>

namespace {

using korutil::test::HoldingProcess;
using korutil::test::readText;
using korutil::test::sizeOf;
using korutil::test::TempDir;
using korutil::test::writeText;

// What both disk files promise through the CDiskFile interface.
template <class File> class DiskFile : public ::testing::Test {};
using DiskFileTypes = ::testing::Types<CRawDiskFile, CBufDiskFile>;
TYPED_TEST_SUITE(DiskFile, DiskFileTypes);

TYPED_TEST(DiskFile, OpenModesPositionsAndClosedState) {
    TempDir dir;
    const std::string path = dir.file("data.bin");
    writeText(path, "old contents that must go");
    TypeParam file;
    CDiskFile& disk = file;
    EXPECT_EQ(-1, disk.GetPosition());
    EXPECT_EQ(0, disk.Close());
    EXPECT_EQ(0, disk.Open(path.c_str(), static_cast<CFile::OpenMode>(2)));
    ASSERT_EQ(1, disk.Open(path.c_str(), CFile::modeWrite));
    EXPECT_EQ(0, disk.Open(path.c_str(), CFile::modeWrite)); // already open: left alone
    EXPECT_EQ(0, disk.GetPosition());
    EXPECT_EQ(10, disk.Write("0123456789", 10));
    EXPECT_EQ(0, disk.Write("", 0));
    EXPECT_EQ(10, disk.Seek(0, CFile::fromCurrent));
    EXPECT_EQ(10, disk.Seek(0, CFile::fromEnd));
    EXPECT_EQ(7, disk.Seek(-3, CFile::fromEnd));
    EXPECT_EQ(-1, disk.Seek(-8, CFile::fromCurrent)); // before the start: refused, unmoved
    EXPECT_EQ(7, disk.GetPosition());
    char buffer[16] = {};
    EXPECT_EQ(3, disk.Read(buffer, sizeof buffer));
    EXPECT_STREQ("789", buffer);
    EXPECT_EQ(0, disk.Read(buffer, sizeof buffer));
    EXPECT_EQ(1, disk.Close());
    EXPECT_EQ(0, disk.Close());
    EXPECT_EQ("0123456789", readText(path));
    EXPECT_EQ(-1, disk.GetPosition());
    EXPECT_EQ(-1, disk.Seek(0, CFile::fromBegin));
}

TYPED_TEST(DiskFile, SharingBetweenObjectsAndProcesses) {
    TempDir dir;
    const std::string path = dir.file("shared.bin");
    writeText(path, "0123456789");
    TypeParam reader, other;
    ASSERT_EQ(1, reader.Open(path.c_str(), CFile::modeRead));
    ASSERT_EQ(1, other.Open(path.c_str(), CFile::modeRead));
    other.Close();
    EXPECT_EQ(0, other.Open(path.c_str(), CFile::modeWrite));
    reader.Close();
    {
        HoldingProcess holder([&] {
            TypeParam held;
            return held.Open(path.c_str(), CFile::modeRead) == 1;
        });
        ASSERT_TRUE(holder.opened());
        EXPECT_EQ(1, other.Open(path.c_str(), CFile::modeRead));
        other.Close();
        EXPECT_EQ(0, other.Open(path.c_str(), CFile::modeWrite));
    }
    EXPECT_EQ("0123456789", readText(path)); // the refused writer truncated nothing
}

TYPED_TEST(DiskFile, DirectoriesAndMissingPathsDoNotOpen) {
    TempDir dir;
    TypeParam file;
    EXPECT_EQ(0, file.Open(dir.path().c_str(), CFile::modeRead));
    EXPECT_EQ(0, file.Open(dir.path().c_str(), CFile::modeWrite));
    EXPECT_EQ(0, file.Open(dir.file("missing.bin").c_str(), CFile::modeRead));
    EXPECT_EQ(0, file.Open(dir.file("no/such/dir.bin").c_str(), CFile::modeWrite));
    EXPECT_EQ(0, file.Close());
}

TEST(BufDiskFile, PendingBytesReachTheFileOnlyWhenTheBufferIsFull) {
    TempDir dir;
    const std::string path = dir.file("buffered.bin");
    CBufDiskFile file;
    ASSERT_EQ(1, file.Open(path.c_str(), CFile::modeWrite));
    for (int i = 0; i < 8192; ++i) {
        const char byte = static_cast<char>(i);
        ASSERT_EQ(1, file.Write(&byte, 1));
    }
    EXPECT_EQ(0, sizeOf(path));
    EXPECT_EQ(8192, file.GetPosition());
    EXPECT_EQ(1, file.Write("x", 1));
    EXPECT_EQ(8192, sizeOf(path));
    // A large write with bytes pending writes both, the large one directly.
    std::vector<char> large(10000, 'L');
    EXPECT_EQ(10000, file.Write(large.data(), 10000));
    EXPECT_EQ(18193, sizeOf(path));
    EXPECT_EQ(1, file.Close());
}

TEST(BufDiskFile, ReadAheadIsGivenBackBeforeWritingAndSeeking) {
    TempDir dir;
    const std::string path = dir.file("mixed.bin");
    std::string expected;
    for (int i = 0; i < 100; ++i) {
        expected += static_cast<char>('A' + i % 26);
    }
    CBufDiskFile file;
    ASSERT_EQ(1, file.Open(path.c_str(), CFile::modeWrite));
    ASSERT_EQ(100, file.Write(expected.data(), 100));
    EXPECT_EQ(0, file.Seek(0, CFile::fromBegin));
    EXPECT_EQ(100, sizeOf(path)); // pending bytes written before moving
    char buffer[64] = {};
    EXPECT_EQ(1, file.Read(buffer, 1));
    EXPECT_EQ(1, file.GetPosition());
    EXPECT_EQ(9, file.Read(buffer + 1, 9));
    EXPECT_EQ(5, file.Write("12345", 5));
    expected.replace(10, 5, "12345");
    EXPECT_EQ(15, file.GetPosition());
    EXPECT_EQ(20, file.Seek(20, CFile::fromBegin));
    EXPECT_EQ(30, file.Read(buffer, 30));
    // 50 wanted, 50 left in the buffer at 50: served afresh from the logical position.
    EXPECT_EQ(50, file.Read(buffer, 50));
    EXPECT_EQ(expected.substr(50, 50), std::string(buffer, 50));
    EXPECT_EQ(0, file.Read(buffer, 1));
    EXPECT_EQ(1, file.Close());
    EXPECT_EQ(expected, readText(path));
}

TEST(BufDiskFile, BufferSizeSurvivesReopeningAndShrinksWhenTheHeapRefuses) {
    TempDir dir;
    const std::string path = dir.file("reopen.bin");
    CBufDiskFile file;
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(1, file.Open(path.c_str(), CFile::modeWrite));
        ASSERT_EQ(1, file.Close());
    }
    writeText(path, "keep");
    {
        korutil::detail::HeapFailureScope refuse(1, true);
        EXPECT_EQ(0, file.Open(path.c_str(), CFile::modeWrite));
    }
    // No buffer, no open: the file was neither truncated nor left locked.
    EXPECT_EQ("keep", readText(path));
    CRawDiskFile other;
    ASSERT_EQ(1, other.Open(path.c_str(), CFile::modeWrite));
    other.Close();
    CBufDiskFile small(3000);
    {
        korutil::detail::HeapFailureScope refuseFirst(1);
        ASSERT_EQ(1, small.Open(path.c_str(), CFile::modeWrite));
    }
    // 3000 refused, 1976 granted: the 1977th pending byte forces a write.
    std::vector<char> bytes(1976, 'b');
    EXPECT_EQ(1976, small.Write(bytes.data(), 1976));
    EXPECT_EQ(0, sizeOf(path));
    EXPECT_EQ(1, small.Write("c", 1));
    EXPECT_EQ(1976, sizeOf(path));
    EXPECT_EQ(1, small.Close());
    EXPECT_EQ(0, CBufDiskFile(0).Open(path.c_str(), CFile::modeWrite));
    EXPECT_EQ(1977, sizeOf(path));
}

TEST(BufDiskFile, FileSizeLimitKeepsUnwrittenBytesPendingWithoutDuplicates) {
    TempDir dir;
    const std::string path = dir.file("limited.bin");
    const int result = korutil::test::runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlim_t unlimited = limit.rlim_cur;
        limit.rlim_cur = 6000;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            return 10;
        }
        CBufDiskFile file(4096);
        if (!file.Open(path.c_str(), CFile::modeWrite)) {
            return 11;
        }
        long taken = 0;
        for (int record = 0;; ++record) {
            char bytes[16];
            for (int i = 0; i < 16; ++i) {
                bytes[i] = static_cast<char>(record * 16 + i);
            }
            const long n = file.Write(bytes, 16);
            if (n != 16) {
                if (n != 0) {
                    return 1;
                }
                break;
            }
            taken += n;
        }
        // 4096 written, 1904 of the next 4096 reached the file, 2192 still pending.
        if (taken != 8192 || file.GetPosition() != 8192) {
            return 2;
        }
        char byte;
        if (file.Read(&byte, 1) != -1 || file.Seek(0, CFile::fromBegin) != -1) {
            return 3;
        }
        limit.rlim_cur = unlimited;
        setrlimit(RLIMIT_FSIZE, &limit);
        return file.Close() == 1 ? 0 : 4;
    });
    EXPECT_EQ(0, result);
    const std::string written = readText(path);
    ASSERT_EQ(8192u, written.size());
    for (std::size_t i = 0; i < written.size(); ++i) {
        ASSERT_EQ(static_cast<char>(i), written[i]) << "at " << i;
    }
}

TEST(RawDiskFile, FileSizeLimitGivesAShortWriteThenFailure) {
    TempDir dir;
    const std::string path = dir.file("limited.bin");
    const int result = korutil::test::runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 1000;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            return 10;
        }
        CRawDiskFile file;
        static char block[1500];
        if (!file.Open(path.c_str(), CFile::modeWrite) || file.Write(block, 1500) != 1000 ||
            file.Write(block, 1) != -1 || GetLastError() != ERROR_DISK_FULL) {
            return 1;
        }
        return file.Close() == 1 ? 0 : 2;
    });
    EXPECT_EQ(0, result);
}

} // namespace
