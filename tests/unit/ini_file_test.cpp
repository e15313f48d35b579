#include "support/temp_dir.h"

#include <korutil/settings.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace {

using korutil::test::TempDir;

std::string readFile(const std::string& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

// The file once the saves held back for it have reached it.
std::string flushedFile(const std::string& path) {
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
    return readFile(path);
}

// A settings record as a host writes one: one list of Xfer calls for both directions.
struct Record : CIniFile {
    explicit Record(const std::string& file) : CIniFile(file.c_str()) {}
    int i = 0;
    unsigned int u = 0;
    long l = 0;
    unsigned long ul = 0;
    char name[16] = {};
    int UpdateData(int save) override {
        char def[] = "nobody";
        Xfer(save, "Numbers", "Int", &i, -1);
        Xfer(save, "Numbers", "UInt", &u, 2u);
        Xfer(save, "Numbers", "Long", &l, LONG_MIN);
        Xfer(save, "Numbers", "ULong", &ul, ULONG_MAX - 1);
        Xfer(save, "Text", "Name", name, sizeof name, def);
        return CIniFile::UpdateData(save);
    }
};

// Reaches the protected worker.
struct Raw : CIniFile {
    using CIniFile::CIniFile;
    using CIniFile::Xfer;
};

TEST(CIniFile, RoundTripsEveryWidthExactlyAndLoadsDefaults) {
    TempDir dir;
    Record out(dir.file("record.ini"));
    out.i = INT_MIN;
    out.u = UINT_MAX;
    out.l = LONG_MIN;
    out.ul = ULONG_MAX;
    std::strcpy(out.name, " Ada ");
    ASSERT_EQ(1, out.UpdateData(1));
    const std::string text = flushedFile(out.GetIniFileName());
    EXPECT_NE(std::string::npos, text.find("Int=-2147483648\nUInt=4294967295\n"));
    EXPECT_NE(std::string::npos, text.find("ULong=" + std::to_string(ULONG_MAX) + "\n"));

    Record in(dir.file("record.ini"));
    ASSERT_EQ(1, in.UpdateData(0));
    EXPECT_EQ(INT_MIN, in.i);
    EXPECT_EQ(UINT_MAX, in.u);
    EXPECT_EQ(LONG_MIN, in.l);
    EXPECT_EQ(ULONG_MAX, in.ul);
    EXPECT_STREQ(" Ada ", in.name); // blanks and all

    // A missing file, or no name at all: every default, at the variable's full width.
    for (const std::string& file : {dir.file("missing.ini"), std::string()}) {
        Record fresh(file);
        EXPECT_EQ(1, fresh.UpdateData(0));
        EXPECT_EQ(-1, fresh.i);
        EXPECT_EQ(2u, fresh.u);
        EXPECT_EQ(LONG_MIN, fresh.l);
        EXPECT_EQ(ULONG_MAX - 1, fresh.ul);
        EXPECT_STREQ("nobody", fresh.name);
    }
}

// How many times a complete new `name` has been renamed into the watched directory (which
// also reports creations, so that no two renames follow each other and merge into one event).
int replacements(int watch, const std::string& name) {
    int count = 0;
    alignas(inotify_event) char events[8192];
    for (ssize_t n; (n = read(watch, events, sizeof events)) > 0;) {
        for (char* p = events; p < events + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            count += (event->mask & IN_MOVED_TO) && event->len && name == event->name;
            p += sizeof(inotify_event) + event->len;
        }
    }
    return count;
}

// A save reaches the file as one replacement of it, not one per key: a second save of the
// record completes the first, a key that the host writes itself completes the second and is
// in the file at once. A save reaches the file on its own soon.
TEST(CIniFile, ASaveWritesTheFileOnce) {
    TempDir dir;
    const std::string file = dir.file("once.ini");
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(watch, dir.path().c_str(), IN_MOVED_TO | IN_CREATE), 0);
    Record record(file);
    record.i = 1;
    record.UpdateData(1);
    record.i = 2;
    record.UpdateData(1);
    EXPECT_TRUE(WritePrivateProfileStringA("Host", "key", "value", file.c_str()));
    const std::string text = readFile(file);
    EXPECT_NE(std::string::npos, text.find("Int=2\n"));
    EXPECT_NE(std::string::npos, text.find("[Host]\nkey=value\n"));
    EXPECT_EQ(3, replacements(watch, "once.ini"));
    close(watch);

    record.i = 3;
    record.UpdateData(1);
    bool seen = false;
    for (int wait = 0; wait < 1000 && !seen; ++wait) {
        seen = readFile(file).find("Int=3\n") != std::string::npos;
        usleep(seen ? 0 : 10000);
    }
    EXPECT_TRUE(seen);
}

// A save of a process that ends normally is written out at exit. The process is a freshly
// started copy of this one (a forked child writes at once): it runs this test up to the exit,
// and the directory comes to it through the environment.
TEST(CIniFile, ASaveReachesTheFileAtExit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char* inherited = std::getenv("KORUTIL_TEST_EXIT_DIR");
    std::optional<TempDir> dir;
    if (!inherited) {
        dir.emplace();
        setenv("KORUTIL_TEST_EXIT_DIR", dir->path().c_str(), 1);
    }
    const std::string file = (inherited ? std::string(inherited) : dir->path()) + "/exit.ini";
    EXPECT_EXIT(
        {
            Record record(file);
            record.i = 4;
            record.UpdateData(1);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    unsetenv("KORUTIL_TEST_EXIT_DIR");
    EXPECT_NE(std::string::npos, readFile(file).find("Int=4\n"));
}

TEST(CIniFile, ParsesDecimalText) {
    TempDir dir;
    const std::string file = dir.file("numbers.ini");
    std::ofstream(file) << "[n]\nempty=\nmixed=12abc\nletters=abc\nneg=-7\nplus=  +42\n"
                           "wrap=4294967297\nminus1=-1\nspace=\" 9\"\n";
    CIniFile ini(file.c_str());
    const struct {
        const char* key;
        int expected;
    } cases[] = {{"empty", 55}, {"missing", 55}, {"mixed", 12}, {"letters", 0},
                 {"neg", -7},   {"plus", 42},    {"wrap", 1},   {"space", 9}};
    for (const auto& c : cases) {
        int v = 1234;
        EXPECT_EQ(1, ini.Xfer(0, "n", c.key, &v, 55));
        EXPECT_EQ(c.expected, v) << c.key;
    }
    unsigned int u = 0;
    ini.Xfer(0, "n", "minus1", &u, 0u);
    EXPECT_EQ(UINT_MAX, u);
    unsigned long ul = 0;
    ini.Xfer(0, "n", "minus1", &ul, 0ul);
    EXPECT_EQ(ULONG_MAX, ul);
}

TEST(CIniFile, StringsAreCopiedToExactlyTheBufferLength) {
    TempDir dir;
    const std::string file = dir.file("strings.ini");
    CIniFile ini(file.c_str());
    char def[] = "default";
    // Saving ignores the length and writes the string, cut to 255 characters.
    ini.Xfer(1, "s", "six", const_cast<char*>("abcdef"), 2, def);
    ini.Xfer(1, "s", "two", const_cast<char*>("ab"), 0, def);
    ini.Xfer(1, "s", "long", const_cast<char*>(std::string(300, 'v').c_str()), 4, def);
    // Not UTF-8: cut where asked, not stepped back over every continuation byte.
    ini.Xfer(1, "s", "bytes", const_cast<char*>(std::string(300, '\x80').c_str()), 4, def);
    // The cut never splits a character: 254 bytes, then the two of the "e acute" left out.
    const std::string accents = std::string(254, 'e') + "\xC3\xA9";
    ini.Xfer(1, "s", "utf", const_cast<char*>(accents.c_str()), 4, def);
    const std::string saved = flushedFile(file);
    EXPECT_NE(std::string::npos, saved.find("long=" + std::string(255, 'v') + "\n"));
    EXPECT_NE(std::string::npos, saved.find("bytes=" + std::string(255, '\x80') + "\n"));
    EXPECT_NE(std::string::npos, saved.find("utf=" + std::string(254, 'e') + "\n"));

    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    ini.Xfer(0, "s", "six", buffer, 4, def);
    EXPECT_EQ(0, std::memcmp("abcd####", buffer, 8)); // no terminator, nothing past 4
    ini.Xfer(0, "s", "two", buffer, 4, def);
    EXPECT_EQ(0, std::memcmp("ab\0\0####", buffer, 8));
    std::memset(buffer, '#', sizeof buffer);
    ini.Xfer(0, "s", "six", buffer, 0, def);
    EXPECT_EQ('#', buffer[0]);
    ini.Xfer(0, "s", "none", buffer, 8, def);
    EXPECT_STREQ("default", buffer);

    // A stored value longer than the working buffer loads as its first 255 characters.
    std::ofstream(file, std::ios::app) << "[t]\nhuge=" << std::string(400, 'h') << "\n";
    char big[400];
    ini.Xfer(0, "t", "huge", big, sizeof big, def);
    EXPECT_EQ(std::string(255, 'h'), big);

    // Unknown types touch neither the file nor the variable.
    Raw raw(dir.file("invalid.ini").c_str());
    int value = 77;
    EXPECT_EQ(0, raw.Xfer(1, "s", "k", -5, &value, &value));
    EXPECT_EQ(0, raw.Xfer(0, "s", "k", -5, &value, &value));
    EXPECT_EQ(77, value);
    EXPECT_NE(0, access(raw.GetIniFileName(), F_OK));
}

TEST(CIniFile, NamesFromArgumentsAndModules) {
    CIniFile cut(std::string(200, 'n').c_str());
    EXPECT_EQ(std::string(127, 'n'), cut.GetIniFileName());
    CIniFile other("other.ini");
    other = CIniFile(cut);
    EXPECT_STREQ(cut.GetIniFileName(), other.GetIniFileName());

    // The test program has no extension: ".INI" is added to its path.
    char exe[128];
    const DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
    const std::string fromExe = CIniFile(static_cast<HINSTANCE>(nullptr)).GetIniFileName();
    EXPECT_EQ(n > 0 && n + 4 < sizeof exe ? std::string(exe) + ".INI" : "", fromExe);
    EXPECT_STREQ("", CIniFile(reinterpret_cast<HINSTANCE>(0x10)).GetIniFileName());

    // A library's extension is replaced; a dot in a directory name is not an extension.
    // ".INI" that does not fit whole gives no name rather than the module's own.
    TempDir dir;
    const std::string base = dir.path() + "/my.dir/";
    ASSERT_EQ(0, mkdir(base.c_str(), 0700));
    const struct {
        std::string file;
        std::string expected;
    } cases[] = {
        {"lib.so", "lib.INI"},
        {"lib", "lib.INI"},
        {std::string(123 - base.size(), 'f'), std::string(123 - base.size(), 'f') + ".INI"},
        {std::string(124 - base.size(), 'g'), ""},
        {std::string(127 - base.size(), 'h'), ""}};
    for (const auto& c : cases) {
        const std::string path = base + c.file;
        {
            std::ifstream in("/usr/lib/x86_64-linux-gnu/libdl.so.2", std::ios::binary);
            if (!in) {
                GTEST_SKIP() << "no library to load";
            }
            std::ofstream(path, std::ios::binary) << in.rdbuf();
        }
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, handle) << dlerror();
        const CIniFile ini(static_cast<HINSTANCE>(GetModuleHandleA(path.c_str())));
        EXPECT_EQ(c.expected.empty() ? "" : base + c.expected, ini.GetIniFileName()) << c.file;
        dlclose(handle);
    }
}

} // namespace
