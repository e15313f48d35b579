#include "support/child_process.h"
#include "support/private_registry.h"

#include "regfile.h"

#include <korutil/settings.h>

#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

class RegFile : public korutil::test::PrivateRegistry {};

void set(HKEY key, const char* name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())));
}

HKEY make(HKEY parent, const char* path, const char* cls) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(parent, path, 0, const_cast<LPSTR>(cls), 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    return key;
}

// Every kind of value the format has to carry, at three levels, with classes.
void buildTree() {
    HKEY top = make(HKEY_CURRENT_USER, "Software\\Round", "top \"class\" \\ here");
    using namespace std::string_literals;
    set(top, "Plain", REG_SZ, "plain text\0"s);
    set(top, "Quotes \"and\" \\slashes\\", REG_SZ, "C:\\dir\\\"x\"\0"s);
    set(top, "", REG_SZ, "default value\0"s);
    set(top, "Lines", REG_SZ, "one\r\ntwo\0"s);
    set(top, "Bare", REG_SZ, "no terminator"s);
    set(top, "EmptySz", REG_SZ, ""s);
    set(top, "Expand", REG_EXPAND_SZ, "%HOME%\\x\0"s);
    set(top, "Multi", REG_MULTI_SZ, "a\0bc\0\0"s);
    set(top, "Dword", REG_DWORD, "\x2a\0\0\x80"s);
    set(top, "ShortDword", REG_DWORD, "\1\2\3"s);
    set(top, "Qword", REG_QWORD, "\1\2\3\4\5\6\7\x08"s);
    set(top, "Odd", 0x123456, "\xff"s);
    set(top, "EmptyBin", REG_BINARY, ""s);
    std::string big;
    for (int i = 0; i < 300; ++i) {
        big += static_cast<char>(i * 7);
    }
    set(top, "Big", REG_BINARY, big);
    HKEY mid = make(top, "Level2", "");
    set(mid, "Utf8", REG_SZ, "gr\xC3\xBC\xC3\x9F\0"s);
    HKEY deep = make(mid, "Level3\\Leaf", "leaf class");
    set(deep, "n", REG_DWORD, "\1\0\0\0"s);
    RegCloseKey(make(top, "Empty Key", ""));
    for (HKEY k : {top, mid, deep}) {
        RegCloseKey(k);
    }
}

std::string exported(const char* path) {
    std::string text;
    EXPECT_EQ(ERROR_SUCCESS, korutil::regfile::exportKey(path, text));
    return text;
}

TEST_F(RegFile, ExportThenImportReproducesTheTreeExactly) {
    buildTree();
    const std::string text = "REGEDIT4\n" + exported("HKCU\\Software\\Round");
    EXPECT_NE(std::string::npos, text.find("\n[HKEY_CURRENT_USER\\Software\\Round]\n"
                                           ";@class=\"top \\\"class\\\" \\\\ here\"\n"));
    EXPECT_NE(std::string::npos, text.find("\n\"Dword\"=dword:8000002a\n"));
    EXPECT_NE(std::string::npos, text.find("\n\"Bare\"=hex(1):6e,6f,"));
    EXPECT_NE(std::string::npos, text.find("\n\"Odd\"=hex(123456):ff\n"));
    // Values regedit's forms would change are kept byte for byte.
    EXPECT_NE(std::string::npos, text.find("\n\"ShortDword\"=hex(4):01,02,03\n"));
    EXPECT_NE(std::string::npos, text.find(",\\\n  "));

    ASSERT_EQ(0ul, CRegKeyBase::RegDeleteKeyAll(HKEY_CURRENT_USER, "Software\\Round"));
    std::string error;
    ASSERT_EQ(ERROR_SUCCESS, korutil::regfile::importText(text, error)) << error;
    EXPECT_EQ(text, "REGEDIT4\n" + exported("HKEY_CURRENT_USER\\Software\\Round"));
}

TEST_F(RegFile, ImportDeletesAndReportsErrors) {
    buildTree();
    std::string error;
    const std::string edits = "REGEDIT4\n\n"
                              "[-HKEY_CURRENT_USER\\Software\\Round\\Level2]\n"
                              "[HKEY_CURRENT_USER\\Software\\Round]\n"
                              "\"Plain\"=-\n"
                              "\"Missing\"=-\n"
                              "\"Wrapped\"=hex:01,02,\\\n"
                              "   03\n"
                              "[-HKEY_CURRENT_USER\\Software\\Nothing]\n";
    ASSERT_EQ(ERROR_SUCCESS, korutil::regfile::importText(edits, error)) << error;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Round", &key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(key, "Plain", nullptr, nullptr, nullptr, nullptr));
    HKEY gone = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyA(key, "Level2", &gone));
    BYTE data[4];
    DWORD size = sizeof data;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Wrapped", nullptr, nullptr, data, &size));
    EXPECT_EQ(3u, size);
    EXPECT_EQ(3, data[2]);
    RegCloseKey(key);

    const struct {
        const char* text;
        const char* where;
    } bad[] = {
        {"not a registry file\n", "line 1"},
        {"REGEDIT4\n\"v\"=\"outside\"\n", "line 2: value outside a key"},
        {"REGEDIT4\n[HKEY_NOWHERE\\x]\n", "line 2: unknown root"},
        {"REGEDIT4\n[HKCU\\x]\n\"v\"=hex:0g\n", "line 3: bad hex data"},
        {"REGEDIT4\n[HKCU\\x]\n\"v\"=dword:123456789\n", "line 3: bad dword"},
        {"REGEDIT4\n[HKCU\\x]\n\"v\"=\"open\n", "line 3: bad string"},
        {"REGEDIT4\n[HKCU\\x]\n\"v\" \"x\"\n", "line 3: '=' expected"},
        {"REGEDIT4\n[HKCU\\x]\n\"v\"=float:1\n", "line 3: unknown value format"},
        {"REGEDIT4\n[-HKCU]\n", "line 2: cannot delete"},
    };
    for (const auto& b : bad) {
        error.clear();
        EXPECT_NE(ERROR_SUCCESS, korutil::regfile::importText(b.text, error)) << b.text;
        EXPECT_EQ(0u, error.find(b.where)) << error;
    }
}

std::string run(const std::string& arguments) {
    const std::string command = std::string(KORUTIL_REG_TOOL) + " " + arguments + " 2>&1";
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    char chunk[256];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
        out.append(chunk, n);
    }
    const int status = pclose(pipe);
    return std::to_string(WEXITSTATUS(status)) + ":" + out;
}

TEST_F(RegFile, TheToolSetsQueriesExportsAndImports) {
    PlatRegCloseStore(); // the tool is another process on the same store
    EXPECT_EQ("0:", run("set 'HKCU\\Software\\Tool' Name REG_SZ 'say \"hi\"'"));
    EXPECT_EQ("0:", run("set 'HKCU\\Software\\Tool' Count REG_DWORD 0x2a"));
    EXPECT_EQ("0:", run("set 'HKCU\\Software\\Tool\\Sub' @ REG_BINARY 01,02"));
    EXPECT_EQ("0:\"Count\"=dword:0000002a\n", run("query 'HKCU\\Software\\Tool' Count"));
    EXPECT_EQ("2:", run("set 'HKCU\\Software\\Tool' Count REG_DWORD 99999999999").substr(0, 2));
    EXPECT_EQ("2:", run("frobnicate x").substr(0, 2));

    const std::string file = m_dir.file("tool.reg");
    EXPECT_EQ("0:", run("export 'HKEY_CURRENT_USER\\Software\\Tool' '" + file + "'"));
    std::stringstream text;
    text << std::ifstream(file).rdbuf();
    EXPECT_EQ("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tool]\n\"Count\"=dword:0000002a\n"
              "\"Name\"=\"say \\\"hi\\\"\"\n\n[HKEY_CURRENT_USER\\Software\\Tool\\Sub]\n"
              "@=hex:01,02\n\n",
              text.str());

    EXPECT_EQ("0:", run("delete 'HKCU\\Software\\Tool'"));
    EXPECT_EQ("1:", run("query 'HKCU\\Software\\Tool'").substr(0, 2));
    EXPECT_EQ("0:", run("import '" + file + "'"));
    EXPECT_EQ("0:" + text.str().substr(9),
              "0:" + run("export HKCU\\\\Software\\\\Tool").substr(11));
    EXPECT_EQ("0:", run("delete 'HKCU\\Software\\Tool' Name"));
    EXPECT_EQ("1:", run("query 'HKCU\\Software\\Tool' Name").substr(0, 2));
}

} // namespace

namespace {

// Random text of up to `longest` characters drawn from `alphabet`.
std::string randomText(std::mt19937& random, const std::string& alphabet, std::size_t longest) {
    std::string text(random() % (longest + 1), ' ');
    for (char& c : text) {
        c = alphabet[random() % alphabet.size()];
    }
    return text;
}

// A random tree below HKCU\Software\Random: names with every character the format must
// escape or survive, long classes with line breaks, and values of every type.
void buildRandomTree(std::mt19937& random) {
    const std::string keyChars = "aZ09 ][\";=@-.{}\xC3\xA9#!";
    const std::string valueChars = keyChars + "\\\r\n\t";
    std::vector<std::string> paths = {"Software\\Random"};
    for (int k = 0; k < 25; ++k) {
        std::string name = randomText(random, keyChars, 12);
        name += static_cast<char>('a' + k % 26); // never empty
        const std::string path = paths[random() % paths.size()] + "\\" + name;
        const std::string cls = random() % 3 ? randomText(random, valueChars, 8)
                                             : randomText(random, valueChars, 2000) + "\n";
        HKEY key = make(HKEY_CURRENT_USER, path.c_str(), cls.c_str());
        paths.push_back(path);
        for (int v = static_cast<int>(random() % 5); v > 0; --v) {
            const std::string value = random() % 6 ? randomText(random, valueChars, 20) : "";
            std::string data = randomText(random, valueChars, 40);
            const DWORD types[] = {REG_SZ,    REG_SZ,     REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD,
                                   REG_QWORD, REG_BINARY, 0xFFFFFFFFu,   REG_NONE};
            const DWORD type = types[random() % 9];
            if (type == REG_DWORD) {
                data.resize(random() % 2 ? 4 : 3);
            } else if (type != REG_BINARY && random() % 2) {
                data += '\0';
            }
            set(key, value.c_str(), type, data);
        }
        RegCloseKey(key);
    }
}

} // namespace

TEST_F(RegFile, RandomTreesComeBackByteForByte) {
    std::mt19937 random(11);
    for (int round = 0; round < 4; ++round) {
        buildRandomTree(random);
        const std::string text = "REGEDIT4\n" + exported("HKCU\\Software\\Random");
        ASSERT_EQ(0ul, CRegKeyBase::RegDeleteKeyAll(HKEY_CURRENT_USER, "Software\\Random"));
        std::string error;
        ASSERT_EQ(ERROR_SUCCESS, korutil::regfile::importText(text, error)) << error;
        EXPECT_EQ(text, "REGEDIT4\n" + exported("HKCU\\Software\\Random")) << round;
        ASSERT_EQ(0ul, CRegKeyBase::RegDeleteKeyAll(HKEY_CURRENT_USER, "Software\\Random"));
    }
}

TEST_F(RegFile, DeepestTreeExportsOnASmallStack) {
    std::string path = "Software";
    while (path.size() < 2 * 511) {
        path += "\\d";
    }
    RegCloseKey(make(HKEY_CURRENT_USER, path.c_str(), "deep"));
    static std::string text;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 256 * 1024);
    pthread_t thread;
    ASSERT_EQ(0, pthread_create(
                     &thread, &attr,
                     [](void*) -> void* {
                         text = "REGEDIT4\n" + exported("HKCU\\Software");
                         return nullptr;
                     },
                     nullptr));
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    ASSERT_EQ(0ul, CRegKeyBase::RegDeleteKeyAll(HKEY_CURRENT_USER, "Software"));
    std::string error;
    ASSERT_EQ(ERROR_SUCCESS, korutil::regfile::importText(text, error)) << error;
    EXPECT_EQ(text, "REGEDIT4\n" + exported("HKCU\\Software"));
}

TEST_F(RegFile, AFailedImportChangesNothing) {
    std::string error;
    EXPECT_EQ(ERROR_INVALID_DATA,
              korutil::regfile::importText("REGEDIT4\n[HKCU\\Software\\Half]\n\"a\"=dword:1\n"
                                           "[-HKCU\\Software\\Keep]\n[HKCU\\Software\\Half\\B]\n"
                                           "\"b\"=bogus\n",
                                           error));
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Half", &key));
}

TEST_F(RegFile, TheToolReportsFailuresAndLeavesAFileThatHoldsEverything) {
    HKEY key = make(HKEY_CURRENT_USER, "Software\\Tool", "");
    const std::string value(100, 'v');
    for (int i = 0; i < 100; ++i) {
        set(key, ("n" + std::to_string(i)).c_str(), REG_SZ, value);
    }
    // This process keeps the store open: the tool's own close folds its log in.
    EXPECT_EQ("0:", run("set 'HKCU\\Software\\Tool' Name REG_SZ kept"));
    const std::string copy = m_dir.file("copy.sqlite");
    std::filesystem::copy_file(m_dir.file("registry.sqlite"), copy);
    EXPECT_EQ(0, korutil::test::runInChild([&] {
                  setenv("KORUTIL_REGISTRY", copy.c_str(), 1);
                  CRegKeyBase tool("Software\\Tool", nullptr, CRegKeyBase::modeOpen,
                                   CRegKeyBase::ctxCurrentUser, 0);
                  char text[8];
                  return tool.GetString("Name", "", text, sizeof text) == 4 ? 0 : 1;
              }));
    EXPECT_EQ("1:", run("export 'HKCU\\Software\\Tool' - >/dev/full"));
    EXPECT_EQ("1:",
              run("export 'HKCU\\Software\\Tool' " + m_dir.file("no/such/dir.reg")).substr(0, 2));

    // A damaged store is reported as such, not as a missing value.
    RegCloseKey(key);
    PlatRegCloseStore();
    std::fstream file(m_dir.file("registry.sqlite"),
                      std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(-2048, std::ios::end);
    file << std::string(2048, '\x5A');
    file.close();
    const std::string damaged = run("query 'HKCU\\Software\\Tool' Name");
    EXPECT_EQ("1:", damaged.substr(0, 2));
    EXPECT_NE(std::string::npos, damaged.find("error 1009")) << damaged;
}
