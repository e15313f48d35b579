#include "support/temp_dir.h"

#include <korutil/settings.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using korutil::test::TempDir;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
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
        Xfer(save, "Numbers", "Long", &l, -3L);
        Xfer(save, "Numbers", "ULong", &ul, 4ul);
        Xfer(save, "Text", "Name", name, sizeof name, def);
        return 1;
    }
};

// Reaches the worker, which hosts may call from their own derived classes.
struct Raw : CIniFile {
    using CIniFile::CIniFile;
    using CIniFile::Xfer;
};

TEST(CIniFile, RoundTripsEveryWidthExactly) {
    TempDir dir;
    Record out(dir.file("record.ini"));
    out.i = INT_MIN;
    out.u = UINT_MAX;
    out.l = LONG_MIN;
    out.ul = ULONG_MAX;
    std::strcpy(out.name, "Ada");
    ASSERT_EQ(1, out.UpdateData(1));

    const std::string text = readFile(out.GetIniFileName());
    EXPECT_NE(std::string::npos, text.find("Int=-2147483648\n"));
    EXPECT_NE(std::string::npos, text.find("UInt=4294967295\n"));
    EXPECT_NE(std::string::npos, text.find("ULong=" + std::to_string(ULONG_MAX) + "\n"));

    Record in(dir.file("record.ini"));
    ASSERT_EQ(1, in.UpdateData(0));
    EXPECT_EQ(INT_MIN, in.i);
    EXPECT_EQ(UINT_MAX, in.u);
    EXPECT_EQ(LONG_MIN, in.l);
    EXPECT_EQ(ULONG_MAX, in.ul);
    EXPECT_STREQ("Ada", in.name);

    // A missing file, or a file without a name, loads every default.
    for (const std::string& file : {dir.file("missing.ini"), std::string()}) {
        Record fresh(file);
        fresh.name[0] = 'x';
        EXPECT_EQ(1, fresh.UpdateData(0));
        EXPECT_EQ(-1, fresh.i);
        EXPECT_EQ(2u, fresh.u);
        EXPECT_EQ(-3L, fresh.l);
        EXPECT_EQ(4ul, fresh.ul);
        EXPECT_STREQ("nobody", fresh.name);
    }
}

TEST(CIniFile, ParsesDecimalTextLikeTheOriginalFormat) {
    TempDir dir;
    const std::string file = dir.file("numbers.ini");
    std::ofstream(file) << "[n]\nempty=\nmixed=12abc\nletters=abc\nneg=-7\nplus=  +42\n"
                           "wrap=4294967297\nminus1=-1\nspace=\" 9\"\n";
    CIniFile ini(file.c_str());
    int v = 0;
    const auto load = [&](const char* key) {
        v = 1234;
        EXPECT_EQ(1, ini.Xfer(0, "n", key, &v, 55));
        return v;
    };
    EXPECT_EQ(55, load("empty"));
    EXPECT_EQ(55, load("missing"));
    EXPECT_EQ(12, load("mixed"));
    EXPECT_EQ(0, load("letters"));
    EXPECT_EQ(-7, load("neg"));
    EXPECT_EQ(42, load("plus"));
    EXPECT_EQ(1, load("wrap"));
    EXPECT_EQ(9, load("space"));
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
    char longValue[301];
    std::memset(longValue, 'v', 300);
    longValue[300] = '\0';
    // Saving ignores the length and writes the string, cut to 255 characters.
    ini.Xfer(1, "s", "six", const_cast<char*>("abcdef"), 2, def);
    ini.Xfer(1, "s", "two", const_cast<char*>("ab"), 0, def);
    ini.Xfer(1, "s", "long", longValue, 4, def);
    EXPECT_NE(std::string::npos, readFile(file).find("long=" + std::string(255, 'v') + "\n"));

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
}

TEST(CIniFile, RejectsUnknownTypesWithoutTouchingAnything) {
    TempDir dir;
    const std::string file = dir.file("invalid.ini");
    Raw ini(file.c_str());
    int value = 77;
    int def = 5;
    EXPECT_EQ(0, ini.Xfer(1, "s", "k", -5, &value, &def));
    EXPECT_EQ(0, ini.Xfer(0, "s", "k", -5, &value, &def));
    EXPECT_EQ(77, value);
    EXPECT_NE(0, access(file.c_str(), F_OK));
    EXPECT_EQ(1, ini.Xfer(1, "s", "k", CIniFile::typeInt, &value, &def));
    EXPECT_EQ(1, ini.UpdateData(0));
    EXPECT_EQ(1, ini.UpdateData(1));
}

TEST(CIniFile, NamesFromArgumentsAndModules) {
    const std::string longName(200, 'n');
    CIniFile cut(longName.c_str());
    EXPECT_EQ(std::string(127, 'n'), cut.GetIniFileName());

    CIniFile copy(cut);
    EXPECT_STREQ(cut.GetIniFileName(), copy.GetIniFileName());
    CIniFile other("other.ini");
    other = cut;
    EXPECT_STREQ(cut.GetIniFileName(), other.GetIniFileName());

    // The test program has no extension: the INI name is its path with ".INI" added.
    char exe[128];
    const DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
    CIniFile fromModule(static_cast<HINSTANCE>(nullptr));
    if (n > 0 && n < sizeof exe - 4) {
        EXPECT_EQ(std::string(exe) + ".INI", fromModule.GetIniFileName());
    } else {
        EXPECT_STREQ("", fromModule.GetIniFileName());
    }
    // A library's last extension is replaced.
    Dl_info info{};
    ASSERT_NE(0, dladdr(reinterpret_cast<void*>(&GetModuleFileNameA), &info));
    char lib[128];
    const DWORD libLength =
        GetModuleFileNameA(static_cast<HMODULE>(info.dli_fbase), lib, sizeof lib);
    if (libLength > 0 && libLength < sizeof lib) {
        std::string expected(lib);
        expected = expected.substr(0, expected.rfind('.') + 1) + "INI";
        EXPECT_EQ(expected, CIniFile(static_cast<HINSTANCE>(info.dli_fbase)).GetIniFileName());
    }
    CIniFile bad(reinterpret_cast<HINSTANCE>(0x10));
    EXPECT_STREQ("", bad.GetIniFileName());
}

} // namespace
