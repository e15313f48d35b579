#include "files/path_chars.h"
#include "support/child_process.h"
#include "support/file_contents.h"
#include "support/temp_dir.h"

#include <korutil/files.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>

namespace {

using korutil::test::readText;
using korutil::test::TempDir;
using korutil::test::writeText;

bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

TEST(MakePath, JoinsWithOneSeparatorAndOneDot) {
    char buffer[64];
    ASSERT_EQ(1, MakePath(buffer, sizeof buffer, "/data", "REPORT", "DAT"));
    EXPECT_STREQ("/data/REPORT.DAT", buffer);
    ASSERT_EQ(1, MakePath(buffer, sizeof buffer, "C:\\DATA\\", "REPORT", ".DAT"));
    EXPECT_STREQ("C:\\DATA\\REPORT.DAT", buffer);
    ASSERT_EQ(1, MakePath(buffer, sizeof buffer, "/data/", "REPORT", nullptr));
    EXPECT_STREQ("/data/REPORT", buffer);
    ASSERT_EQ(1, MakePath(buffer, sizeof buffer, "/data", "REPORT", ""));
    EXPECT_STREQ("/data/REPORT", buffer);
    ASSERT_EQ(1, MakePath(buffer, sizeof buffer, "", "REPORT", "DAT"));
    EXPECT_STREQ("REPORT.DAT", buffer);

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
    // A module name cut by a small buffer gives no directory to build on.
    EXPECT_EQ(0, MakeExePathName(nullptr, buffer, 8, nullptr));
    EXPECT_EQ(0, MakeExePathName(reinterpret_cast<HINSTANCE>(0x10), buffer, sizeof buffer, "x"));
}

TEST(MakeExePathName, DirectoryRulesOnModuleNames) {
    struct Case {
        const char* module;
        const char* fileName;
        const char* expected;
    } cases[] = {
        {"/apps/editor", "help.txt", "/apps/help.txt"},
        {"/apps/editor", nullptr, "/apps"},
        {"/editor", nullptr, "/"}, // the root keeps its separator
        {"/editor", "help.txt", "/help.txt"},
        {"C:\\APPS\\EDITOR.EXE", "HELP.TXT", "C:\\APPS\\HELP.TXT"},
        {"editor", "help.txt", "help.txt"},
        {"editor", nullptr, ""},
    };
    for (const Case& c : cases) {
        char buffer[64];
        std::strcpy(buffer, c.module);
        EXPECT_EQ(1, korutil::detail::placeBesideModule(buffer, sizeof buffer, c.fileName));
        EXPECT_STREQ(c.expected, buffer) << c.module;
    }
    char buffer[20];
    std::strcpy(buffer, "/apps/abcdefghijkl"); // 18 characters + 4 + 1 > 20
    EXPECT_EQ(0, korutil::detail::placeBesideModule(buffer, sizeof buffer, "HELP"));
}

TEST(BackupFile, NumbersFollowTheHighestInUse) {
    TempDir dir;
    const std::string report = dir.file("REPORT.DAT");
    EXPECT_EQ(0, BackupFile(report.c_str())); // nothing to back up
    EXPECT_EQ(0u, std::distance(std::filesystem::directory_iterator(dir.path()), {}));
    writeText(report, "v1");
    ASSERT_EQ(1, BackupFile(report.c_str()));
    EXPECT_EQ("v1", readText(dir.file("REPORT.001")));
    writeText(dir.file("REPORT.007"), "old");
    writeText(dir.file("REPORT.TXT"), "not a number");
    writeText(report, "v2");
    ASSERT_EQ(1, BackupFile(report.c_str()));
    EXPECT_EQ("v2", readText(dir.file("REPORT.008")));
    writeText(dir.file("REPORT.999"), "old");
    ASSERT_EQ(1, BackupFile(report.c_str()));
    EXPECT_TRUE(exists(dir.file("REPORT.1000")));
    writeText(dir.file("REPORT.99999999999999999999"), "saturates");
    EXPECT_EQ(0, BackupFile(report.c_str()));
}

TEST(BackupFile, NamesWithoutExtensionAndDotsInDirectories) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("MY.DIR"));
    const std::string readme = dir.file("MY.DIR/README");
    writeText(readme, "text");
    ASSERT_EQ(1, BackupFile(readme.c_str()));
    EXPECT_EQ("text", readText(dir.file("MY.DIR/README.001")));
    EXPECT_FALSE(exists(dir.file("MY.001")));
    std::string windowsStyle = dir.path() + "\\MY.DIR\\README";
    ASSERT_EQ(1, BackupFile(windowsStyle.c_str()));
    EXPECT_TRUE(exists(dir.file("MY.DIR/README.002")));
    EXPECT_EQ(0, BackupFile(std::string(300, 'a').c_str()));
}

TEST(BackupFile, ReadOnlyDirectoryFailsAndLeavesNothing) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("locked"));
    const std::string file = dir.file("locked/REPORT.DAT");
    writeText(file, "x");
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(file.c_str(), 0644);
    ::chmod(dir.file("locked").c_str(), 0555);
    const int result = korutil::test::runInChild([&] {
        // Permission bits do not stop root: the backup runs as an ordinary user then.
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            return 10;
        }
        return BackupFile(file.c_str());
    });
    EXPECT_EQ(0, result);
    EXPECT_EQ(1u, std::distance(std::filesystem::directory_iterator(dir.file("locked")), {}));
}

} // namespace
