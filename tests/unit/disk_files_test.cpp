#include "frame/heap.h"
#include "support/child_process.h"
#include "support/file_contents.h"
#include "support/temp_dir.h"

#include <korutil/files.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using korutil::test::HoldingProcess;
using korutil::test::readText;
using korutil::test::sizeOf;
using korutil::test::TempDir;
using korutil::test::writeText;

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;

HANDLE openFile(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// What both disk files promise through the CDiskFile interface.
template <class File> class DiskFile : public ::testing::Test {};
using DiskFileTypes = ::testing::Types<CRawDiskFile, CBufDiskFile>;
TYPED_TEST_SUITE(DiskFile, DiskFileTypes);

TYPED_TEST(DiskFile, ModesPositionsSharingAndClosedState) {
    TempDir dir;
    const std::string path = dir.file("data.bin");
    writeText(path, "old contents that must go");
    TypeParam file, other;
    CDiskFile& disk = file;
    EXPECT_EQ(-1, disk.GetPosition());
    EXPECT_EQ(0, disk.Close());
    EXPECT_EQ(0, disk.Open(path.c_str(), static_cast<CFile::OpenMode>(2)));
    EXPECT_EQ(0, disk.Open(dir.path().c_str(), CFile::modeRead));
    EXPECT_EQ(0, disk.Open(dir.file("no/such.bin").c_str(), CFile::modeWrite));
    ASSERT_EQ(1, disk.Open(path.c_str(), CFile::modeWrite));
    EXPECT_EQ(0, disk.Open(path.c_str(), CFile::modeWrite)); // already open: left alone
    EXPECT_EQ(0, other.Open(path.c_str(), CFile::modeRead)); // a writer admits nobody
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
    EXPECT_EQ(-1, disk.Seek(0, CFile::fromBegin));
    // A reader admits readers and refuses writers, which truncate nothing.
    ASSERT_EQ(1, disk.Open(path.c_str(), CFile::modeRead));
    EXPECT_EQ(1, other.Open(path.c_str(), CFile::modeRead));
    other.Close();
    EXPECT_EQ(0, other.Open(path.c_str(), CFile::modeWrite));
    EXPECT_EQ(1, disk.Close());
    EXPECT_EQ(10, sizeOf(path));
}

// Random transfers and seeks through a small buffer, against a plain model of the file.
TEST(BufDiskFile, MatchesAModelOfTheFile) {
    TempDir dir;
    const std::string path = dir.file("model.bin");
    std::mt19937 random(20261206);
    auto below = [&](long n) { return static_cast<long>(random() % static_cast<unsigned>(n)); };
    CBufDiskFile file(16);
    ASSERT_EQ(1, file.Open(path.c_str(), CFile::modeWrite));
    std::string model;
    long position = 0;
    for (int step = 0; step < 20000; ++step) {
        const long count = below(41); // beyond the buffer too
        const long size = static_cast<long>(model.size());
        std::string bytes(static_cast<std::size_t>(count), '\0');
        switch (below(4)) {
        case 0:
            for (char& c : bytes) {
                c = static_cast<char>('a' + below(26));
            }
            ASSERT_EQ(count, file.Write(bytes.data(), count)) << step;
            model.resize(std::max<std::size_t>(model.size(), position + count));
            model.replace(position, count, bytes);
            position += count;
            break;
        case 1: {
            const long expected = std::clamp(size - position, 0L, count);
            ASSERT_EQ(expected, file.Read(bytes.data(), count)) << step;
            ASSERT_EQ(model.substr(std::min(position, size), expected), bytes.substr(0, expected));
            position += expected;
            break;
        }
        case 2: {
            const auto from = static_cast<CFile::SeekFrom>(below(3));
            const long base = from == CFile::fromBegin ? 0
                              : from == CFile::fromEnd ? size
                                                       : position;
            const long target = below(size + 8);
            ASSERT_EQ(target, file.Seek(target - base, from)) << step;
            position = target;
            break;
        }
        default:
            ASSERT_EQ(position, file.GetPosition()) << step;
        }
    }
    ASSERT_EQ(1, file.Close());
    EXPECT_EQ(model, readText(path));
}

TEST(BufDiskFile, CapacityAndHeapRefusal) {
    TempDir dir;
    const std::string path = dir.file("buffered.bin");
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
    // Neither truncated nor left locked, and the next Open gets the full 8192 bytes again.
    EXPECT_EQ("keep", readText(path));
    ASSERT_EQ(1, file.Open(path.c_str(), CFile::modeWrite));
    std::vector<char> bytes(10000, 'b');
    EXPECT_EQ(8192, file.Write(bytes.data(), 8192));
    EXPECT_EQ(8192, file.GetPosition());
    EXPECT_EQ(0, sizeOf(path));
    EXPECT_EQ(1, file.Write("c", 1)); // passes the 8192 pending bytes to the system first
    EXPECT_EQ(8192, sizeOf(path));
    EXPECT_EQ(10000, file.Write(bytes.data(), 10000)); // the pending byte, then 10000 directly
    EXPECT_EQ(18193, sizeOf(path));
    EXPECT_EQ(1, file.Close());

    CBufDiskFile small(3000);
    {
        korutil::detail::HeapFailureScope refuseFirst(1);
        ASSERT_EQ(1, small.Open(path.c_str(), CFile::modeWrite));
    }
    // 3000 refused, 1976 granted: the 1977th pending byte forces a write.
    EXPECT_EQ(1976, small.Write(bytes.data(), 1976));
    EXPECT_EQ(0, sizeOf(path));
    EXPECT_EQ(1, small.Write("c", 1));
    EXPECT_EQ(1976, sizeOf(path));
    EXPECT_EQ(1, small.Close());
    EXPECT_EQ(0, CBufDiskFile(0).Open(path.c_str(), CFile::modeWrite));
    EXPECT_EQ(1977, sizeOf(path));
}

TEST(BufDiskFile, PendingBytesPastA32BitPositionGiveNoPosition) {
    TempDir dir;
    CBufDiskFile file;
    ASSERT_EQ(1, file.Open(dir.file("sparse.bin").c_str(), CFile::modeWrite));
    EXPECT_EQ(0x7FFFFFF0L, file.Seek(0x7FFFFFF0L, CFile::fromBegin));
    EXPECT_EQ(15, file.Write("0123456789abcde", 15));
    EXPECT_EQ(0x7FFFFFFFL, file.GetPosition());
    EXPECT_EQ(1, file.Write("g", 1));
    EXPECT_EQ(-1, file.GetPosition());
    EXPECT_EQ(1, file.Close());
}

// Short writes and failures at a file-size limit; the buffered file keeps what did not reach
// the file pending and writes nothing twice.
TEST(DiskFiles, FileSizeLimit) {
    TempDir dir;
    const std::string raw = dir.file("raw.bin");
    const std::string buffered = dir.file("buffered.bin");
    const int result = korutil::test::runInChild([&] {
        const rlim_t unlimited = korutil::test::limitFileSize(6000);
        static char block[6500];
        CRawDiskFile rawFile;
        if (!rawFile.Open(raw.c_str(), CFile::modeWrite) || rawFile.Write(block, 6500) != 6000 ||
            rawFile.Write(block, 1) != -1 || GetLastError() != ERROR_DISK_FULL ||
            !rawFile.Close()) {
            return 1;
        }
        CBufDiskFile file(4096);
        file.Open(buffered.c_str(), CFile::modeWrite);
        char bytes[16];
        long taken = 0, n;
        do { // records of 16 bytes, each byte its position
            for (int i = 0; i < 16; ++i) {
                bytes[i] = static_cast<char>(taken + i);
            }
            taken += n = file.Write(bytes, 16);
        } while (n == 16);
        // 4096 written, 1904 of the next 4096 reached the file, 2192 still pending.
        if (n != 0 || taken != 8192 || file.GetPosition() != 8192 || file.Read(bytes, 1) != -1 ||
            file.Seek(0, CFile::fromBegin) != -1) {
            return 3;
        }
        korutil::test::limitFileSize(unlimited);
        return file.Close() == 1 ? 0 : 4;
    });
    EXPECT_EQ(0, result);
    const std::string written = readText(buffered);
    ASSERT_EQ(8192u, written.size());
    for (std::size_t i = 0; i < written.size(); ++i) {
        ASSERT_EQ(static_cast<char>(i), written[i]) << "at " << i;
    }
}

TEST(PlatformFiles, SharingComparesAccessWithSharingBothWays) {
    TempDir dir;
    const std::string path = dir.file("shared.dat");
    writeText(path, "0123456789");
    struct Case {
        DWORD firstAccess, firstShare, secondAccess, secondShare;
        bool admitted;
    } cases[] = {
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
        {GENERIC_READ, FILE_SHARE_READ, kReadWrite, 0, false},
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, 0, false}, // would deny the first reader
        {kReadWrite, 0, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, false},
        {GENERIC_WRITE, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_WRITE, true},
        {GENERIC_WRITE, FILE_SHARE_WRITE, GENERIC_WRITE, FILE_SHARE_WRITE, true},
        {GENERIC_WRITE, FILE_SHARE_WRITE, GENERIC_READ, FILE_SHARE_WRITE, false},
    };
    for (const Case& c : cases) {
        HANDLE first = openFile(path, c.firstAccess, c.firstShare, OPEN_EXISTING);
        HANDLE second = openFile(path, c.secondAccess, c.secondShare, OPEN_EXISTING);
        EXPECT_EQ(c.admitted, second != INVALID_HANDLE_VALUE) << &c - cases;
        EXPECT_EQ(c.admitted ? NO_ERROR : ERROR_SHARING_VIOLATION, GetLastError());
        CloseHandle(second);
        EXPECT_TRUE(CloseHandle(first));
    }
    // Another process holding the file is respected, and a refused opener truncates nothing.
    HoldingProcess writer(
        [&] { return openFile(path, kReadWrite, 0, OPEN_EXISTING) != INVALID_HANDLE_VALUE; });
    ASSERT_TRUE(writer.opened());
    CRawDiskFile refused;
    EXPECT_EQ(0, refused.Open(path.c_str(), CFile::modeRead));
    EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
    EXPECT_EQ(0, refused.Open(path.c_str(), CFile::modeWrite));
    EXPECT_EQ(INVALID_HANDLE_VALUE, openFile(path, kReadWrite, 0, TRUNCATE_EXISTING));
    EXPECT_EQ(10, sizeOf(path));
}

TEST(PlatformFiles, DispositionsTransfersAndThe32BitFilePointer) {
    TempDir dir;
    const std::string path = dir.file("new.dat");
    struct Refusal {
        std::string path;
        DWORD access, disposition, error;
    } refusals[] = {
        {path, GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {dir.file("none/x.dat"), kReadWrite, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {dir.path(), GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {path, GENERIC_READ, TRUNCATE_EXISTING, ERROR_INVALID_PARAMETER},
        {"", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
    };
    for (const Refusal& r : refusals) {
        EXPECT_EQ(INVALID_HANDLE_VALUE, openFile(r.path, r.access, 0, r.disposition)) << r.path;
        EXPECT_EQ(r.error, GetLastError()) << r.path;
    }
    HANDLE file = openFile(path, GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(NO_ERROR, GetLastError());
    DWORD done = 99;
    char tail[8] = {};
    EXPECT_FALSE(ReadFile(file, tail, 1, &done, nullptr)); // opened without GENERIC_READ
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_TRUE(WriteFile(file, "abcdefghij", 10, &done, nullptr));
    EXPECT_EQ(10u, done);
    CloseHandle(file);
    EXPECT_EQ(INVALID_HANDLE_VALUE, openFile(path, kReadWrite, 0, CREATE_NEW));
    EXPECT_EQ(ERROR_FILE_EXISTS, GetLastError());

    // Backslashes name the same directories; GENERIC_ALL reads and writes.
    std::string windowsStyle = path;
    windowsStyle[windowsStyle.rfind('/')] = '\\';
    file = openFile(windowsStyle, GENERIC_ALL, 0, OPEN_ALWAYS);
    EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());
    EXPECT_EQ(7u, SetFilePointer(file, -3, nullptr, FILE_END));
    EXPECT_TRUE(ReadFile(file, tail, sizeof tail, &done, nullptr));
    EXPECT_EQ(3u, done);
    EXPECT_STREQ("hij", tail);
    EXPECT_TRUE(WriteFile(file, "k", 1, &done, nullptr));
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, -12, nullptr, FILE_END));
    EXPECT_EQ(ERROR_NEGATIVE_SEEK, GetLastError());
    EXPECT_EQ(11u, SetFilePointer(file, 0, nullptr, FILE_CURRENT)); // unmoved
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, 0, nullptr, 7));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    LONG high = 1;
    EXPECT_EQ(0u, SetFilePointer(file, 0, &high, FILE_BEGIN)); // 4 GiB: past the end is allowed
    EXPECT_EQ(1, high);
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, 0x7FFFFFFF, nullptr, FILE_CURRENT));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

} // namespace

namespace {

std::string contentsOf(const std::string& path) {
    HANDLE file = openFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    char text[32] = {};
    DWORD done = 0;
    ReadFile(file, text, sizeof text - 1, &done, nullptr);
    CloseHandle(file);
    return file == INVALID_HANDLE_VALUE ? "(none)" : text;
}

// Names that differ only in case name the same file, along the whole path; the exact name
// wins, and of several others the one first in byte order; new names keep their case.
TEST(PlatformFiles, NamesWithoutCase) {
    TempDir dir;
    ASSERT_EQ(0, mkdir(dir.file("Data").c_str(), 0755));
    for (const char* name : {"Report.dat", "REPORT.DAT", "report.txt", "\xC3\x84rger",
                             "\xD0\x9F\xD1\x80\xD0\xB8", "\xFE"}) {
        writeText(dir.file(std::string("Data/") + name), name);
    }
    const struct {
        const char* name;
        const char* opened;
    } lookups[] = {
        {"Data/Report.dat", "Report.dat"},
        {"data\\rePORT.dat", "REPORT.DAT"},
        {"DATA/REPORT.TXT", "report.txt"},
        {"data/\xC3\xA4RGER", "\xC3\x84rger"},
        {"data/\xD0\xBF\xD0\xA0\xD0\x98", "\xD0\x9F\xD1\x80\xD0\xB8"},
        {"data/\xFF", "(none)"}, // not UTF-8: only the same byte
        {"data/report.da", "(none)"},
    };
    for (const auto& l : lookups) {
        EXPECT_EQ(l.opened, contentsOf(dir.file(l.name))) << l.name;
    }
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              openFile(dir.file("DATA/report.DAT"), kReadWrite, 0, CREATE_NEW));
    EXPECT_EQ(ERROR_FILE_EXISTS, GetLastError());
    HANDLE created = openFile(dir.file("DATA/New.Txt"), kReadWrite, 0, CREATE_ALWAYS);
    EXPECT_NE(INVALID_HANDLE_VALUE, created);
    CloseHandle(created);
    CloseHandle(openFile(dir.file("DATA/new.txt"), kReadWrite, 0, OPEN_ALWAYS));
    EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());
    EXPECT_EQ(0, sizeOf(dir.file("Data/New.Txt")));
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA(dir.file("DATA").c_str()));
    EXPECT_EQ(FILE_ATTRIBUTE_ARCHIVE, GetFileAttributesA(dir.file("data/NEW.TXT").c_str()));
    EXPECT_TRUE(DeleteFileA(dir.file("DATA/NEW.TXT").c_str()));
    EXPECT_EQ(-1, sizeOf(dir.file("Data/New.Txt")));
}

TEST(PlatformFiles, AttributesAndDeletion) {
    TempDir dir;
    const std::string path = dir.file(".hidden");
    writeText(path, "x");
    ::chmod(path.c_str(), 0444);
    const struct {
        std::string path;
        DWORD attributes, error;
    } cases[] = {
        {path, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY,
         ERROR_ACCESS_DENIED}, // read-only: kept
        {dir.path(), FILE_ATTRIBUTE_DIRECTORY, ERROR_ACCESS_DENIED},
        {dir.file("none"), INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
        {dir.file("none/x"), INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.attributes, GetFileAttributesA(c.path.c_str())) << c.path;
        if (c.attributes == INVALID_FILE_ATTRIBUTES) {
            EXPECT_EQ(c.error, GetLastError()) << c.path;
        }
        EXPECT_FALSE(DeleteFileA(c.path.c_str()));
        EXPECT_EQ(c.error, GetLastError()) << c.path;
    }
    ::chmod(path.c_str(), 0644);

    // An open without FILE_SHARE_DELETE keeps the file, in this process or another.
    HANDLE shared =
        openFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
    {
        HoldingProcess holder([&] {
            return openFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING) !=
                   INVALID_HANDLE_VALUE;
        });
        ASSERT_TRUE(holder.opened());
        EXPECT_FALSE(DeleteFileA(path.c_str()));
        EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
    }
    EXPECT_TRUE(DeleteFileA(path.c_str()));
    CloseHandle(shared);
    EXPECT_EQ(-1, sizeOf(path));
}

// Opening a FIFO never waits for its other end; reads and writes then wait as on a
// synchronous handle. In a child process, so that a wait ends in the alarm.
TEST(PlatformFiles, FifosOpenWithoutWaiting) {
    TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0666));
    ASSERT_EQ(0, chmod(dir.path().c_str(), 0755));
    EXPECT_EQ(0, korutil::test::runInChild([&] {
                  alarm(10);
                  HANDLE reader = openFile(fifo, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           OPEN_EXISTING);
                  HANDLE writer = openFile(fifo, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           OPEN_EXISTING);
                  char text[8] = {};
                  DWORD done = 0;
                  if (reader == INVALID_HANDLE_VALUE || writer == INVALID_HANDLE_VALUE ||
                      !WriteFile(writer, "abc", 3, &done, nullptr) ||
                      !ReadFile(reader, text, sizeof text, &done, nullptr) ||
                      std::string(text) != "abc") {
                      return 1;
                  }
                  CloseHandle(reader);
                  CloseHandle(writer);
                  // A writer that may not read opens write-only, and only while someone reads (as
                  // an ordinary user: permission bits do not stop root).
                  if (chmod(fifo.c_str(), 0222) != 0 ||
                      (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))) {
                      return 2;
                  }
                  return openFile(fifo, GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_EXISTING) ==
                                     INVALID_HANDLE_VALUE &&
                                 GetLastError() == ERROR_PIPE_NOT_CONNECTED
                             ? 0
                             : 3;
              }));
}

} // namespace
