#include "support/child_process.h"
#include "support/file_contents.h"
#include "support/temp_dir.h"

#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using korutil::test::HoldingProcess;
using korutil::test::sizeOf;
using korutil::test::TempDir;
using korutil::test::writeText;

HANDLE openFile(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;

TEST(PlatformFiles, SharingRulesCompareAccessWithSharingBothWays) {
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
        ASSERT_NE(INVALID_HANDLE_VALUE, first);
        HANDLE second = openFile(path, c.secondAccess, c.secondShare, OPEN_EXISTING);
        EXPECT_EQ(c.admitted, second != INVALID_HANDLE_VALUE)
            << std::hex << c.firstAccess << "/" << c.firstShare << " then " << c.secondAccess << "/"
            << c.secondShare;
        if (second != INVALID_HANDLE_VALUE) {
            CloseHandle(second);
        } else {
            EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
        }
        CloseHandle(first);
    }
    // Closing the last open lifts every restriction.
    HANDLE alone = openFile(path, kReadWrite, 0, OPEN_EXISTING);
    EXPECT_NE(INVALID_HANDLE_VALUE, alone);
    EXPECT_TRUE(CloseHandle(alone));
}

TEST(PlatformFiles, AnotherProcessHoldingTheFileIsRespectedAndNeverTruncated) {
    TempDir dir;
    const std::string path = dir.file("held.dat");
    writeText(path, "precious");
    {
        HoldingProcess writer(
            [&] { return openFile(path, kReadWrite, 0, OPEN_EXISTING) != INVALID_HANDLE_VALUE; });
        ASSERT_TRUE(writer.opened());
        EXPECT_EQ(INVALID_HANDLE_VALUE,
                  openFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
        EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
        EXPECT_EQ(INVALID_HANDLE_VALUE, openFile(path, kReadWrite, 0, CREATE_ALWAYS));
        EXPECT_EQ(INVALID_HANDLE_VALUE, openFile(path, kReadWrite, 0, TRUNCATE_EXISTING));
        EXPECT_EQ(8, sizeOf(path));
    }
    {
        HoldingProcess reader([&] {
            return openFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING) !=
                   INVALID_HANDLE_VALUE;
        });
        ASSERT_TRUE(reader.opened());
        HANDLE second = openFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        EXPECT_NE(INVALID_HANDLE_VALUE, second);
        CloseHandle(second);
        EXPECT_EQ(INVALID_HANDLE_VALUE, openFile(path, kReadWrite, 0, CREATE_ALWAYS));
        EXPECT_EQ(8, sizeOf(path));
    }
    // The holder is gone: the file can be taken over and truncated now.
    HANDLE after = openFile(path, kReadWrite, 0, CREATE_ALWAYS);
    ASSERT_NE(INVALID_HANDLE_VALUE, after);
    EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());
    EXPECT_EQ(0, sizeOf(path));
    CloseHandle(after);
}

TEST(PlatformFiles, CreationDispositionsAndErrorCodes) {
    TempDir dir;
    const std::string path = dir.file("new.dat");
    EXPECT_EQ(INVALID_HANDLE_VALUE, openFile(path, GENERIC_READ, 0, OPEN_EXISTING));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, openFile(dir.file("none/x.dat"), kReadWrite, 0, CREATE_ALWAYS));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              openFile(dir.path(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, openFile(path, GENERIC_READ, 0, TRUNCATE_EXISTING));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());

    HANDLE created = openFile(path, kReadWrite, 0, CREATE_NEW);
    ASSERT_NE(INVALID_HANDLE_VALUE, created);
    EXPECT_EQ(NO_ERROR, GetLastError());
    CloseHandle(created);
    EXPECT_EQ(INVALID_HANDLE_VALUE, openFile(path, kReadWrite, 0, CREATE_NEW));
    EXPECT_EQ(ERROR_FILE_EXISTS, GetLastError());

    // Backslashes name the same directories.
    std::string windowsStyle = path;
    windowsStyle[windowsStyle.rfind('/')] = '\\';
    HANDLE again = openFile(windowsStyle, GENERIC_READ, FILE_SHARE_READ, OPEN_ALWAYS);
    EXPECT_NE(INVALID_HANDLE_VALUE, again);
    EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());
    CloseHandle(again);
    EXPECT_FALSE(CloseHandle(again));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

TEST(PlatformFiles, TransfersAndThe32BitFilePointer) {
    TempDir dir;
    const std::string path = dir.file("data.dat");
    HANDLE file = openFile(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD done = 99;
    char byte = 0;
    EXPECT_FALSE(ReadFile(file, &byte, 1, &done, nullptr)); // opened without GENERIC_READ
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(0u, done);
    EXPECT_TRUE(WriteFile(file, "abcdefghij", 10, &done, nullptr));
    EXPECT_EQ(10u, done);
    CloseHandle(file);

    file = openFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_FALSE(WriteFile(file, "x", 1, &done, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(7u, SetFilePointer(file, -3, nullptr, FILE_END));
    char tail[8] = {};
    EXPECT_TRUE(ReadFile(file, tail, sizeof tail, &done, nullptr));
    EXPECT_EQ(3u, done);
    EXPECT_STREQ("hij", tail);
    EXPECT_TRUE(ReadFile(file, tail, sizeof tail, &done, nullptr));
    EXPECT_EQ(0u, done);

    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, -11, nullptr, FILE_END));
    EXPECT_EQ(ERROR_NEGATIVE_SEEK, GetLastError());
    EXPECT_EQ(10u, SetFilePointer(file, 0, nullptr, FILE_CURRENT)); // unmoved
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, 0, nullptr, 7));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    LONG high = 1;
    EXPECT_EQ(0u, SetFilePointer(file, 0, &high, FILE_BEGIN)); // 4 GiB: past the end is allowed
    EXPECT_EQ(1, high);
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, 0x7FFFFFFF, nullptr, FILE_CURRENT));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
    CloseHandle(file);
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, 0, nullptr, FILE_CURRENT));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

} // namespace
