#include "support/child_process.h"
#include "support/file_contents.h"
#include "support/temp_dir.h"

#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <iterator>
#include <set>
#include <string>

namespace {

using korutil::test::readText;
using korutil::test::TempDir;
using korutil::test::writeText;

std::set<std::string> find(const std::string& pattern) {
    std::set<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        names.insert(data.cFileName);
    } while (FindNextFileA(search, &data));
    EXPECT_EQ(ERROR_NO_MORE_FILES, GetLastError());
    EXPECT_TRUE(FindClose(search));
    return names;
}

std::size_t entriesIn(const std::string& dir) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST(FindFiles, WildcardsAndTheTrailingDotStarRule) {
    TempDir dir;
    for (const char* name : {"REPORT", "REPORT.DAT", "REPORT.001", "REPORTS.TXT", "report.002"}) {
        writeText(dir.file(name), "x");
    }
    std::filesystem::create_directory(dir.file("REPORT.DIR"));
    using Names = std::set<std::string>;
    EXPECT_EQ((Names{"REPORT", "REPORT.DAT", "REPORT.001", "REPORT.DIR"}),
              find(dir.path() + "\\REPORT.*"));
    EXPECT_EQ((Names{"REPORT.DAT", "REPORT.001", "REPORT.DIR"}), find(dir.file("REPORT.???")));
    EXPECT_EQ((Names{"REPORTS.TXT"}), find(dir.file("*S.*T")));
    EXPECT_EQ((Names{"REPORT.DAT"}), find(dir.file("REPORT.DAT")));
    EXPECT_EQ(8u, find(dir.file("*.*")).size()); // with "." and ".."

    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(dir.file("REPORT.D*").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    EXPECT_STREQ("REPORT.DAT", data.cFileName); // name order
    EXPECT_EQ(1u, data.nFileSizeLow);
    EXPECT_EQ(FILE_ATTRIBUTE_ARCHIVE, data.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(FindNextFileA(search, &data));
    EXPECT_STREQ("REPORT.DIR", data.cFileName);
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(FindClose(search));
    EXPECT_FALSE(FindClose(search));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());

    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA(dir.file("NOTHING.*").c_str(), &data));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA(dir.file("none/*").c_str(), &data));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
}

TEST(CopyFile, CopiesContentsModeAndTimeAndFailsIfAsked) {
    TempDir dir;
    const std::string source = dir.file("source.txt");
    const std::string target = dir.file("target.txt");
    writeText(source, "contents");
    ::chmod(source.c_str(), 0640);
    ASSERT_TRUE(CopyFileA(source.c_str(), target.c_str(), TRUE));
    EXPECT_EQ("contents", readText(target));
    struct stat from {
    }, to{};
    ::stat(source.c_str(), &from);
    ::stat(target.c_str(), &to);
    EXPECT_EQ(0640u, to.st_mode & 07777);
    EXPECT_EQ(from.st_mtim.tv_sec, to.st_mtim.tv_sec);

    writeText(source, "changed");
    EXPECT_FALSE(CopyFileA(source.c_str(), target.c_str(), TRUE));
    EXPECT_EQ(ERROR_FILE_EXISTS, GetLastError());
    EXPECT_EQ("contents", readText(target));
    EXPECT_TRUE(CopyFileA(source.c_str(), target.c_str(), FALSE));
    EXPECT_EQ("changed", readText(target));

    EXPECT_FALSE(CopyFileA(dir.file("missing").c_str(), target.c_str(), FALSE));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_FALSE(CopyFileA(source.c_str(), dir.file("none/target").c_str(), FALSE));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
    EXPECT_FALSE(CopyFileA(dir.path().c_str(), dir.file("dir-copy").c_str(), FALSE));
    EXPECT_EQ(2u, entriesIn(dir.path())); // source, target and nothing half-made
}

TEST(CopyFile, RespectsFilesHeldOpenByAnotherProcess) {
    TempDir dir;
    const std::string source = dir.file("source.txt");
    const std::string target = dir.file("target.txt");
    writeText(source, "new");
    writeText(target, "old");
    {
        korutil::test::HoldingProcess holder([&] {
            return CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr) != INVALID_HANDLE_VALUE;
        });
        ASSERT_TRUE(holder.opened());
        EXPECT_FALSE(CopyFileA(source.c_str(), target.c_str(), FALSE));
        EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
        EXPECT_EQ("old", readText(target));
    }
    {
        korutil::test::HoldingProcess writer([&] {
            return CreateFileA(source.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                               nullptr) != INVALID_HANDLE_VALUE;
        });
        ASSERT_TRUE(writer.opened());
        EXPECT_FALSE(CopyFileA(source.c_str(), dir.file("other.txt").c_str(), TRUE));
        EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
    }
    EXPECT_EQ(2u, entriesIn(dir.path()));
}

TEST(CopyFile, FailureHalfwayLeavesNoPartialTarget) {
    TempDir dir;
    const std::string source = dir.file("source.bin");
    writeText(source, std::string(5000, 's'));
    const int result = korutil::test::runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 1000;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            return 10;
        }
        if (CopyFileA(source.c_str(), dir.file("copy.bin").c_str(), TRUE)) {
            return 1;
        }
        return GetLastError() == ERROR_DISK_FULL ? 0 : 2;
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ(1u, entriesIn(dir.path()));
}

TEST(CopyFile, ReadOnlyDirectoryRefusesTheCopyAndKeepsNothing) {
    TempDir dir;
    const std::string source = dir.file("source.txt");
    writeText(source, "x");
    std::filesystem::create_directory(dir.file("locked"));
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(source.c_str(), 0644);
    ::chmod(dir.file("locked").c_str(), 0555);
    const int result = korutil::test::runInChild([&] {
        // Permission bits do not stop root: the copy runs as an ordinary user then.
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            return 10;
        }
        if (CopyFileA(source.c_str(), dir.file("locked/copy.txt").c_str(), TRUE)) {
            return 1;
        }
        return GetLastError() == ERROR_ACCESS_DENIED ? 0 : 2;
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ(0u, entriesIn(dir.file("locked")));
}

} // namespace
