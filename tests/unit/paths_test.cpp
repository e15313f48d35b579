#include "files/path_chars.h"
#include "support/child_process.h"
#include "support/file_contents.h"
#include "support/temp_dir.h"

#include <korutil/files.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <set>
#include <string>

namespace {

using korutil::test::readText;
using korutil::test::TempDir;
using korutil::test::writeText;
using Names = std::set<std::string>;

Names find(const std::string& pattern) {
    Names names;
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

TEST(MakePath, JoinsWithOneSeparatorAndOneDot) {
    struct Case {
        const char *directory, *extension, *expected;
    } cases[] = {
        {"/data", "DAT", "/data/REPORT.DAT"},
        {"C:\\DATA\\", ".DAT", "C:\\DATA\\REPORT.DAT"},
        {"/data/", nullptr, "/data/REPORT"},
        {"/data", "", "/data/REPORT"},
        {"", "DAT", "REPORT.DAT"},
    };
    char buffer[64];
    for (const Case& c : cases) {
        ASSERT_EQ(1, MakePath(buffer, sizeof buffer, c.directory, "REPORT", c.extension));
        EXPECT_STREQ(c.expected, buffer);
    }
    // "/data/REPORT.DAT" needs 17 bytes with its terminator.
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(0, MakePath(buffer, 16, "/data", "REPORT", "DAT"));
    EXPECT_EQ('#', buffer[0]);
    EXPECT_EQ(1, MakePath(buffer, 17, "/data", "REPORT", "DAT"));
    EXPECT_EQ(0, MakePath(buffer, 0, "", "", nullptr));
}

TEST(MakeExePathName, PathsBesideTheModule) {
    char module[PATH_MAX];
    ASSERT_GT(GetModuleFileNameA(nullptr, module, sizeof module), 0u);
    const std::string directory = std::filesystem::path(module).parent_path().string();
    char buffer[PATH_MAX];
    ASSERT_EQ(1, MakeExePathName(nullptr, buffer, sizeof buffer, "HELP.TXT"));
    EXPECT_EQ(directory + "/HELP.TXT", buffer);
    ASSERT_EQ(1, MakeExePathName(nullptr, buffer, sizeof buffer, nullptr));
    EXPECT_EQ(directory, buffer);
    // The test counts the whole module name: it needs strlen(module) + 4 + 1 bytes.
    const int fits = static_cast<int>(std::strlen(module)) + 5;
    EXPECT_EQ(0, MakeExePathName(nullptr, buffer, fits - 1, "HELP"));
    EXPECT_EQ(1, MakeExePathName(nullptr, buffer, fits, "HELP"));
    // A module name cut by a small buffer, or no module, gives no directory to build on.
    EXPECT_EQ(0, MakeExePathName(nullptr, buffer, 8, nullptr));
    EXPECT_EQ(0, MakeExePathName(reinterpret_cast<HINSTANCE>(0x10), buffer, sizeof buffer, "x"));

    struct Case {
        const char *module, *fileName, *expected;
    } cases[] = {
        {"/apps/editor", nullptr, "/apps"},
        {"/editor", nullptr, "/"}, // the root keeps its separator
        {"/editor", "help.txt", "/help.txt"},
        {"C:\\APPS\\EDITOR.EXE", "HELP.TXT", "C:\\APPS\\HELP.TXT"},
        {"editor", "help.txt", "help.txt"},
        {"editor", nullptr, ""},
    };
    for (const Case& c : cases) {
        std::strcpy(buffer, c.module);
        EXPECT_EQ(1, korutil::detail::placeBesideModule(buffer, 64, c.fileName));
        EXPECT_STREQ(c.expected, buffer) << c.module;
    }
}

TEST(BackupFile, NumbersFollowTheHighestInUse) {
    TempDir dir;
    const std::string report = dir.file("REPORT.DAT");
    EXPECT_EQ(0, BackupFile(report.c_str())); // nothing to back up
    EXPECT_EQ(0u, entriesIn(dir.path()));
    writeText(report, "v1");
    ASSERT_EQ(1, BackupFile(report.c_str()));
    EXPECT_EQ("v1", readText(dir.file("REPORT.001")));
    writeText(dir.file("REPORT.007"), "old");
    writeText(dir.file("REPORT.TXT"), "not a number");
    writeText(report, "v2");
    ASSERT_EQ(1, BackupFile(report.c_str()));
    EXPECT_EQ("v2", readText(dir.file("REPORT.008")));
    writeText(dir.file("report.999"), "old"); // the same base name, without case
    ASSERT_EQ(1, BackupFile(report.c_str()));
    EXPECT_EQ("v2", readText(dir.file("REPORT.1000")));
    writeText(dir.file("REPORT.99999999999999999999"), "saturates");
    EXPECT_EQ(0, BackupFile(report.c_str()));

    // Only the last part of the path has an extension; either separator works.
    std::filesystem::create_directory(dir.file("MY.DIR"));
    const std::string readme = dir.path() + "\\MY.DIR\\README";
    writeText(dir.file("MY.DIR/README"), "text");
    ASSERT_EQ(1, BackupFile(readme.c_str()));
    EXPECT_EQ("text", readText(dir.file("MY.DIR/README.001")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("MY.001")));
    // Names that do not fit, or whose backup name would not.
    EXPECT_EQ(0, BackupFile(std::string(300, 'a').c_str()));
    const std::string longName = dir.file(std::string(MAX_PATH - 4 - dir.path().size(), 'n'));
    writeText(longName, "x");
    EXPECT_EQ(0, BackupFile(longName.c_str()));
}

TEST(FindFiles, WildcardsAndTheTrailingDotStarRule) {
    TempDir dir;
    for (const char* name :
         {"REPORT", "REPORT.DAT", "REPORT.001", "REPORTS.TXT", "report.002", "\xC3\xA4rger.txt"}) {
        writeText(dir.file(name), "x");
    }
    std::filesystem::create_directory(dir.file("REPORT.DIR"));
    // Names and patterns without case, directories too; `?` is one character.
    const struct {
        const char* pattern;
        Names found;
    } cases[] = {
        {"\\REPORT.*", {"REPORT", "REPORT.DAT", "REPORT.001", "REPORT.DIR", "report.002"}},
        {"/report.dat.*", {"REPORT.DAT"}},
        {"/*s.*T", {"REPORTS.TXT"}},
        {"/?EPORT.0?1", {"REPORT.001"}},
        {"/report.dir/../?RGER.*", {"\xC3\xA4rger.txt"}},
        {"/\xC3\x84*", {"\xC3\xA4rger.txt"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.found, find(dir.path() + c.pattern)) << c.pattern;
    }
    EXPECT_EQ(9u, find(dir.file("*.*")).size()); // with "." and ".."

    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(dir.file("REPORT.D*").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    EXPECT_STREQ("REPORT.DAT", data.cFileName); // name order
    EXPECT_EQ(1u, data.nFileSizeLow);
    EXPECT_EQ(FILE_ATTRIBUTE_ARCHIVE, data.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(FindNextFileA(search, &data));
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
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    // Other case names the same files: a target so named exists, and is the one replaced.
    EXPECT_FALSE(CopyFileA(dir.file("SOURCE.TXT").c_str(), dir.file("Target.txt").c_str(), TRUE));
    EXPECT_EQ(ERROR_FILE_EXISTS, GetLastError());
    writeText(source, "again");
    EXPECT_TRUE(CopyFileA(dir.file("SOURCE.TXT").c_str(), dir.file("TARGET.txt").c_str(), FALSE));
    EXPECT_EQ("again", readText(target));
    // A FIFO would be read until some writer ends it; it is refused at once.
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    EXPECT_EQ(0, korutil::test::runInChild([&] {
                  alarm(10);
                  return !CopyFileA(fifo.c_str(), dir.file("copy").c_str(), FALSE) &&
                                 GetLastError() == ERROR_ACCESS_DENIED
                             ? 0
                             : 1;
              }));
    ::unlink(fifo.c_str());

    // Files held open by another process: a reader keeps its target, a writer its source.
    {
        korutil::test::HoldingProcess holder([&] {
            CRawDiskFile held;
            return held.Open(target.c_str(), CFile::modeRead) == 1;
        });
        ASSERT_TRUE(holder.opened());
        EXPECT_FALSE(CopyFileA(source.c_str(), target.c_str(), FALSE));
        EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
        EXPECT_EQ("again", readText(target));
    }
    {
        korutil::test::HoldingProcess writer([&] {
            CRawDiskFile held;
            return held.Open(source.c_str(), CFile::modeWrite) == 1;
        });
        ASSERT_TRUE(writer.opened());
        EXPECT_FALSE(CopyFileA(source.c_str(), dir.file("other.txt").c_str(), TRUE));
        EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
    }
    EXPECT_EQ(2u, entriesIn(dir.path())); // source, target and nothing half-made
}

// Faults in a child: a file-size limit halfway through a copy, and a read-only directory.
TEST(CopyFile, FailuresLeaveNoPartialTarget) {
    TempDir dir;
    const std::string source = dir.file("REPORT.DAT");
    writeText(source, std::string(5000, 's'));
    std::filesystem::create_directory(dir.file("locked"));
    const std::string locked = dir.file("locked/REPORT.DAT");
    writeText(locked, "x");
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(locked.c_str(), 0644);
    ::chmod(source.c_str(), 0644);
    ::chmod(dir.file("locked").c_str(), 0555);
    const int result = korutil::test::runInChild([&] {
        korutil::test::limitFileSize(1000);
        if (CopyFileA(source.c_str(), dir.file("copy.bin").c_str(), TRUE) ||
            GetLastError() != ERROR_DISK_FULL) {
            return 1;
        }
        // Permission bits do not stop root: the rest runs as an ordinary user.
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            return 10;
        }
        if (CopyFileA(source.c_str(), dir.file("locked/copy.txt").c_str(), TRUE) ||
            GetLastError() != ERROR_ACCESS_DENIED) {
            return 2;
        }
        return BackupFile(locked.c_str()) == 0 ? 0 : 3;
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ(2u, entriesIn(dir.path()));
    EXPECT_EQ(1u, entriesIn(dir.file("locked")));
}

} // namespace
