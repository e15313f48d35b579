#include "support/temp_dir.h"

#include "frame/heap.h"

#include <korutil/settings.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using korutil::detail::HeapFailureScope;
using korutil::test::TempDir;

class RegKey : public ::testing::Test {
protected:
    void SetUp() override { setenv("KORUTIL_REGISTRY", m_dir.file("registry.sqlite").c_str(), 1); }
    void TearDown() override {
        CRegKeyBase::EnableAll();
        PlatRegCloseStore();
        unsetenv("KORUTIL_REGISTRY");
    }
    TempDir m_dir;
};

bool keyExists(HKEY root, const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyA(root, path, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// Everything below a key, as text: names, classes, value types and bytes.
std::string dump(HKEY key, const std::string& indent = "") {
    std::string out;
    char name[256];
    BYTE data[512];
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name;
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize)) {
            break;
        }
        out += indent + name + ":" + std::to_string(type) + "=" +
               std::string(reinterpret_cast<char*>(data), dataSize) + "\n";
    }
    for (DWORD i = 0;; ++i) {
        char cls[256];
        DWORD nameSize = sizeof name;
        DWORD classSize = sizeof cls;
        if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, cls, &classSize, nullptr)) {
            break;
        }
        HKEY sub = nullptr;
        RegOpenKeyA(key, name, &sub);
        out += indent + "[" + name + "] class " + cls + "\n" + dump(sub, indent + "  ");
        RegCloseKey(sub);
    }
    return out;
}

TEST_F(RegKey, DisabledObjectsHoldNoKeyAndGiveDefaults) {
    CRegKeyBase before("Software\\Acme", nullptr, CRegKeyBase::modeCreate,
                       CRegKeyBase::ctxCurrentUser, 0);
    before.SetDword("Count", 3);
    CRegKeyBase::DisableAll();
    CRegKeyBase off("Software\\Acme", "", CRegKeyBase::modeCreate, CRegKeyBase::ctxCurrentUser, 0);
    EXPECT_EQ(0, off.IsOpen());
    EXPECT_EQ(nullptr, static_cast<HKEY>(off));
    EXPECT_EQ(7ul, off.GetDword("Count", 7));
    char buffer[16];
    EXPECT_EQ(5, off.GetString("Name", "fresh", buffer, sizeof buffer));
    EXPECT_STREQ("fresh", buffer);
    CString text("old");
    off.GetString("Name", "dflt", &text);
    EXPECT_STREQ("dflt", text);
    EXPECT_EQ(0, off.GetDataLength("Blob"));
    EXPECT_EQ(0, off.GetData("Blob", buffer, 4));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, off.EnumKey(0, buffer, sizeof buffer));
    unsigned long size = sizeof buffer;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, off.EnumValue(0, buffer, &size, nullptr, nullptr, nullptr));
    off.SetDword("Count", 99); // does nothing

    // The switch acts at construction only, and an override ignores it.
    EXPECT_EQ(1, before.IsOpen());
    EXPECT_EQ(3ul, before.GetDword("Count", 0));
    CRegKeyBase forced("Software\\Acme", CRegKeyBase::modeOpen, HKEY_CURRENT_USER, 1);
    EXPECT_EQ(1, forced.IsOpen());
    EXPECT_EQ(3ul, forced.GetDword("Count", 0));
}

TEST_F(RegKey, OpensCreatesAndBuildsPaths) {
    CRegKeyBase missing("Software\\Missing", "Deep", CRegKeyBase::modeOpen,
                        CRegKeyBase::ctxLocalMachine, 0);
    EXPECT_EQ(0, missing.IsOpen());
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "Software"));

    {
        CRegKeyBase made("Software\\A", "B\\C", CRegKeyBase::modeCreate,
                         CRegKeyBase::ctxLocalMachine, 0);
        EXPECT_EQ(1, made.IsOpen());
        made.SetString("Where", "abc");
    }
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, "Software\\A\\B\\C"));
    for (const char* sub : {static_cast<const char*>(nullptr), ""}) {
        CRegKeyBase plain("Software\\A", sub, CRegKeyBase::modeOpen, CRegKeyBase::ctxLocalMachine,
                          0);
        EXPECT_EQ(1, plain.IsOpen());
        char name[8];
        EXPECT_EQ(ERROR_SUCCESS, plain.EnumKey(0, name, sizeof name));
        EXPECT_STREQ("B", name);
    }
    CRegKeyBase classes("Types", nullptr, CRegKeyBase::modeCreate, CRegKeyBase::ctxClassesRoot, 0);
    EXPECT_EQ(1, classes.IsOpen());
    CRegKeyBase nowhere("Software", nullptr, CRegKeyBase::modeCreate,
                        static_cast<CRegKeyBase::Context>(-4), 0);
    EXPECT_EQ(0, nowhere.IsOpen());

    // Below an open parent, which the object never closes.
    CRegKeyBase parent("Software\\A", nullptr, CRegKeyBase::modeOpen, CRegKeyBase::ctxLocalMachine,
                       0);
    {
        CRegKeyBase child("B\\C", CRegKeyBase::modeOpen, parent, 0);
        char where[8];
        EXPECT_EQ(3, child.GetString("where", "", where, sizeof where));
        CRegKeyBase created("New\\Key", CRegKeyBase::modeCreate, parent, 0);
        EXPECT_EQ(1, created.IsOpen());
        CRegKeyBase notCreated("Other", static_cast<CRegKeyBase::Mode>(2), parent, 0);
        EXPECT_EQ(0, notCreated.IsOpen());
    }
    EXPECT_TRUE(keyExists(parent, "New\\Key"));
}

TEST_F(RegKey, PathCutShortByTheHeapOpensNothing) {
    CRegKeyBase top("Software\\A", nullptr, CRegKeyBase::modeCreate, CRegKeyBase::ctxCurrentUser,
                    0);
    {
        HeapFailureScope fail(2); // the path's backslash
        CRegKeyBase key("Software\\A", "B", CRegKeyBase::modeCreate, CRegKeyBase::ctxCurrentUser,
                        0);
        EXPECT_EQ(0, key.IsOpen());
        key.SetDword("Value", 1);
    }
    EXPECT_EQ(5ul, top.GetDword("Value", 5));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, "Software\\A\\B"));
}

TEST_F(RegKey, StringValuesAndTheirDefaults) {
    CRegKeyBase key("Software\\Strings", nullptr, CRegKeyBase::modeCreate,
                    CRegKeyBase::ctxCurrentUser, 0);
    key.SetString("Three", "abc");
    DWORD size = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Three", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(4u, size);

    char buffer[16];
    EXPECT_EQ(3, key.GetString("Three", "d", buffer, 16));
    EXPECT_STREQ("abc", buffer);
    EXPECT_EQ(1, key.GetString("Three", "d", buffer, 2));
    EXPECT_STREQ("d", buffer);
    // The default is cut to the buffer and terminated; nothing is written past it.
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(3, key.GetString("Missing", "a long default", buffer, 4));
    EXPECT_EQ(0, std::memcmp("a l\0#", buffer, 5));
    EXPECT_EQ(0, key.GetString("Missing", "x", buffer, 0));
    EXPECT_EQ('a', buffer[0]);

    // Other types count as missing.
    const char expand[] = "%PATH%";
    RegSetValueExA(key, "Expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(expand),
                   sizeof expand);
    key.SetDword("Number", 5);
    EXPECT_EQ(2, key.GetString("Expand", "df", buffer, 16));
    CString text;
    key.GetString("Expand", "dflt", &text);
    EXPECT_STREQ("dflt", text);
    key.GetString("Number", "num", &text);
    EXPECT_STREQ("num", text);
    key.GetString("Three", "dflt", &text);
    EXPECT_STREQ("abc", text);
    key.SetString(nullptr, "the default value");
    key.GetString("", "", &text);
    EXPECT_STREQ("the default value", text);

    // Values written without a terminator by other programs still read as terminated text.
    RegSetValueExA(key, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("xyz"), 3);
    RegSetValueExA(key, "Nothing", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 0);
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(3, key.GetString("Bare", "d", buffer, 16));
    EXPECT_STREQ("xyz", buffer);
    EXPECT_EQ(1, key.GetString("Bare", "d", buffer, 3));
    EXPECT_EQ(0, key.GetString("Nothing", "d", buffer, 16));
    EXPECT_STREQ("", buffer);
    key.GetString("Bare", "d", &text);
    EXPECT_STREQ("xyz", text);
    key.GetString("Nothing", "d", &text);
    EXPECT_STREQ("", text);

    // No block for the value: the default.
    {
        HeapFailureScope fail(1);
        key.GetString("Three", "fallback", &text);
    }
    EXPECT_STREQ("fallback", text);
}

TEST_F(RegKey, DwordsAreFourBytesAndDataBlocksMatchTheirLength) {
    CRegKeyBase key("Software\\Numbers", nullptr, CRegKeyBase::modeCreate,
                    CRegKeyBase::ctxCurrentUser, 0);
    key.SetDword("Wide", static_cast<unsigned long>(0x123456789ull));
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Wide", nullptr, &type, nullptr, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(4u, size);
    EXPECT_EQ(0x23456789ul, key.GetDword("Wide", 0));
    key.SetDword("Max", 0xFFFFFFFFul);
    EXPECT_EQ(0xFFFFFFFFul, key.GetDword("Max", 0));
    key.SetString("Text", "12");
    EXPECT_EQ(9ul, key.GetDword("Text", 9));
    EXPECT_EQ(9ul, key.GetDword("Missing", 9));

    unsigned char eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    unsigned char ten[10] = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    key.SetData("Eight", eight, 8);
    key.SetData("Ten", ten, 10);
    unsigned char buffer[8] = {};
    EXPECT_EQ(8, key.GetData("Eight", buffer, 8));
    EXPECT_EQ(0, std::memcmp(eight, buffer, 8));
    std::memset(buffer, 0, sizeof buffer);
    EXPECT_EQ(10, key.GetData("Ten", buffer, 8));
    EXPECT_EQ(0, buffer[0]);
    EXPECT_EQ(0, key.GetData("Missing", buffer, 8));
    EXPECT_EQ(10, key.GetDataLength("Ten"));
    EXPECT_EQ(0, key.GetDataLength("Text"));
    EXPECT_EQ(3, key.GetData("Text", buffer, 8)); // another type: its stored size
    EXPECT_EQ(0, key.GetDataLength("Missing"));

    // Enumeration passes through, with the sizes at unsigned long width.
    char name[16];
    unsigned long nameSize = sizeof name;
    unsigned long valueType = 0;
    unsigned char data[16];
    unsigned long dataSize = sizeof data;
    ASSERT_EQ(ERROR_SUCCESS, key.EnumValue(0, name, &nameSize, &valueType, data, &dataSize));
    EXPECT_STREQ("Eight", name);
    EXPECT_EQ(5ul, nameSize);
    EXPECT_EQ(static_cast<unsigned long>(REG_BINARY), valueType);
    EXPECT_EQ(8ul, dataSize);
    nameSize = 2;
    EXPECT_EQ(ERROR_MORE_DATA, key.EnumValue(1, name, &nameSize, nullptr, nullptr, nullptr));
    nameSize = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, key.EnumValue(5, name, &nameSize, nullptr, nullptr, nullptr));
}

// A source tree three levels deep with values at every level and a class on every key.
void buildTree(HKEY root) {
    const char* paths[] = {"L1a", "L1a\\L2a", "L1a\\L2a\\L3a", "L1a\\L2b", "L1b", "L1b\\L2c\\L3b"};
    for (const char* path : paths) {
        HKEY key = nullptr;
        const std::string cls = std::string("class of ") + path;
        RegCreateKeyExA(root, path, 0, const_cast<LPSTR>(cls.c_str()), 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        const DWORD n = static_cast<DWORD>(std::strlen(path));
        RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path), n + 1);
        RegSetValueExA(key, "Length", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&n), 4);
        RegSetValueExA(key, "", 0, REG_BINARY, reinterpret_cast<const BYTE*>(path), n);
        RegCloseKey(key);
    }
    const DWORD top = 1;
    RegSetValueExA(root, "Top", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&top), 4);
}

TEST_F(RegKey, CopiesAndDeletesWholeTrees) {
    CRegKeyBase from("Software\\From", nullptr, CRegKeyBase::modeCreate,
                     CRegKeyBase::ctxCurrentUser, 0);
    buildTree(from);
    CRegKeyBase to("Software\\To", nullptr, CRegKeyBase::modeCreate, CRegKeyBase::ctxCurrentUser,
                   0);
    to.SetString("Top", "overwritten");
    to.SetString("Extra", "kept");
    CRegKeyBase::CopyKeyTree(from, to);

    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(to, "Extra")); // kept; removed to compare
    const std::string source = dump(from);
    EXPECT_NE(std::string::npos, source.find("[L3b] class class of L1b\\L2c\\L3b"));
    EXPECT_EQ(source, dump(to));

    EXPECT_EQ(static_cast<unsigned long>(ERROR_BADKEY), CRegKeyBase::RegDeleteKeyAll(to, ""));
    EXPECT_EQ(static_cast<unsigned long>(ERROR_BADKEY), CRegKeyBase::RegDeleteKeyAll(to, nullptr));
    EXPECT_EQ(static_cast<unsigned long>(ERROR_FILE_NOT_FOUND),
              CRegKeyBase::RegDeleteKeyAll(to, "None"));
    EXPECT_EQ(0ul, CRegKeyBase::RegDeleteKeyAll(HKEY_CURRENT_USER, "Software\\To"));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, "Software\\To"));
    EXPECT_EQ(0, to.GetDword("Top", 0)); // the object's key is gone with its tree

    from.DeleteSubKey("L1a");
    EXPECT_FALSE(keyExists(from, "L1a"));
    EXPECT_TRUE(keyExists(from, "L1b\\L2c\\L3b"));
    CRegKeyBase closed("Software\\Nowhere", nullptr, CRegKeyBase::modeOpen,
                       CRegKeyBase::ctxCurrentUser, 0);
    closed.DeleteSubKey("Software"); // a null parent deletes nothing
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, "Software\\From"));
}

TEST_F(RegKey, TreeCopySkipsWhatTheHeapRefuses) {
    CRegKeyBase from("Software\\From", nullptr, CRegKeyBase::modeCreate,
                     CRegKeyBase::ctxCurrentUser, 0);
    from.SetDword("A", 1);
    from.SetDword("B", 2);
    CRegKeyBase to("Software\\To", nullptr, CRegKeyBase::modeCreate, CRegKeyBase::ctxCurrentUser,
                   0);
    {
        HeapFailureScope fail(2); // the block for value A; the name buffer came first
        CRegKeyBase::CopyKeyTree(from, to);
    }
    EXPECT_EQ(0ul, to.GetDword("A", 0));
    EXPECT_EQ(2ul, to.GetDword("B", 0));
}

} // namespace
