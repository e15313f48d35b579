#include "support/private_registry.h"

#include "frame/heap.h"

#include <korutil/settings.h>

#include <gtest/gtest.h>

#include <pthread.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using korutil::detail::HeapFailureScope;

class RegKey : public korutil::test::PrivateRegistry {
protected:
    void TearDown() override {
        CRegKeyBase::EnableAll();
        PrivateRegistry::TearDown();
    }
};

constexpr CRegKeyBase::Mode kCreate = CRegKeyBase::modeCreate;
constexpr CRegKeyBase::Mode kOpen = CRegKeyBase::modeOpen;
constexpr CRegKeyBase::Context kUser = CRegKeyBase::ctxCurrentUser;

bool keyExists(HKEY root, const char* path) {
    HKEY key = nullptr;
    const bool found = RegOpenKeyA(root, path, &key) == ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
}

// Everything below a key as text: names, classes, value types and bytes.
std::string dump(HKEY key, const std::string& indent = "") {
    std::string out;
    char name[512];
    char cls[512];
    BYTE data[512];
    DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
    for (DWORD i = 0; !RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize);
         ++i, nameSize = sizeof name, dataSize = sizeof data) {
        out += indent + name + ":" + std::to_string(type) + "=" +
               std::string(reinterpret_cast<char*>(data), dataSize) + "\n";
    }
    DWORD classSize = sizeof cls;
    for (DWORD i = 0; !RegEnumKeyExA(key, i, name, &nameSize, nullptr, cls, &classSize, nullptr);
         ++i, nameSize = sizeof name, classSize = sizeof cls) {
        HKEY sub = nullptr;
        RegOpenKeyA(key, name, &sub);
        out += indent + "[" + name + "] class " + cls + "\n" + dump(sub, indent + "  ");
        RegCloseKey(sub);
    }
    return out;
}

TEST_F(RegKey, DisabledObjectsHoldNoKeyAndGiveDefaults) {
    CRegKeyBase before("Software\\Acme", nullptr, kCreate, kUser, 0);
    before.SetDword("Count", 3);
    CRegKeyBase::DisableAll();
    CRegKeyBase off("Software\\Acme", "", kCreate, kUser, 0);
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
    EXPECT_EQ(3ul, before.GetDword("Count", 0));
    CRegKeyBase forced("Software\\Acme", kOpen, HKEY_CURRENT_USER, 1);
    EXPECT_EQ(3ul, forced.GetDword("Count", 0));
}

TEST_F(RegKey, OpensCreatesAndBuildsPaths) {
    EXPECT_EQ(
        0,
        CRegKeyBase("Software\\Missing", "Deep", kOpen, CRegKeyBase::ctxLocalMachine, 0).IsOpen());
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "Software"));
    CRegKeyBase("Software\\A", "B\\C", kCreate, CRegKeyBase::ctxLocalMachine, 0)
        .SetString("Where", "abc");
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, "Software\\A\\B\\C"));
    for (const char* sub : {static_cast<const char*>(nullptr), ""}) {
        CRegKeyBase plain("Software\\A", sub, kOpen, CRegKeyBase::ctxLocalMachine, 0);
        char name[8];
        EXPECT_EQ(ERROR_SUCCESS, plain.EnumKey(0, name, sizeof name));
        EXPECT_STREQ("B", name);
    }
    EXPECT_EQ(1, CRegKeyBase("Types", nullptr, kCreate, CRegKeyBase::ctxClassesRoot, 0).IsOpen());
    EXPECT_EQ(0, CRegKeyBase("Software", nullptr, kCreate, static_cast<CRegKeyBase::Context>(-4), 0)
                     .IsOpen());

    // Below an open parent, which the object never closes; only mode 1 creates.
    CRegKeyBase parent("Software\\A", nullptr, kOpen, CRegKeyBase::ctxLocalMachine, 0);
    {
        char where[8];
        EXPECT_EQ(3, CRegKeyBase("B\\C", kOpen, parent, 0).GetString("where", "", where, 8));
        EXPECT_EQ(1, CRegKeyBase("New\\Key", kCreate, parent, 0).IsOpen());
        EXPECT_EQ(0, CRegKeyBase("Other", static_cast<CRegKeyBase::Mode>(2), parent, 0).IsOpen());
    }
    EXPECT_TRUE(keyExists(parent, "New\\Key"));
    {
        // An empty path opens the parent's key with a handle of the object's own.
        CRegKeyBase self("", kOpen, parent, 0);
        EXPECT_NE(static_cast<HKEY>(parent), static_cast<HKEY>(self));
        EXPECT_TRUE(keyExists(self, "New"));
    }
    EXPECT_TRUE(keyExists(parent, "New")); // the parent's handle still works

    // A path the heap cut short opens nothing (it might name the parent).
    {
        HeapFailureScope fail(2); // the path's backslash
        CRegKeyBase key("Software\\A", "B", kCreate, CRegKeyBase::ctxLocalMachine, 0);
        EXPECT_EQ(0, key.IsOpen());
    }
}

TEST_F(RegKey, StringValuesAndTheirDefaults) {
    CRegKeyBase key("Software\\Strings", nullptr, kCreate, kUser, 0);
    key.SetString("Three", "abc");
    key.SetString("Null", nullptr); // nothing
    DWORD size = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Three", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(4u, size);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(key, "Null", nullptr, nullptr, nullptr, &size));
    const char expand[] = "%PATH%";
    RegSetValueExA(key, "Expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(expand), 7);
    key.SetDword("Number", 5);
    // Written by other programs: without a terminator, and empty.
    RegSetValueExA(key, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("xyz"), 3);
    RegSetValueExA(key, "Nothing", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 0);

    // The default is cut to the buffer and terminated; nothing is written past it.
    const struct {
        const char* name;
        const char* def;
        int size;
        int result;
        const char* text;
    } cases[] = {{"Three", "d", 16, 3, "abc"},       {"Three", "d", 2, 1, "d"},
                 {"Missing", "a long", 4, 3, "a l"}, {"Expand", "df", 16, 2, "df"},
                 {"Number", "df", 16, 2, "df"},      {"Bare", "d", 16, 3, "xyz"},
                 {"Bare", "d", 3, 1, "d"},           {"Nothing", "d", 16, 0, ""}};
    for (const auto& c : cases) {
        char buffer[17];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(c.result, key.GetString(c.name, c.def, buffer, c.size)) << c.name;
        EXPECT_STREQ(c.text, buffer) << c.name;
        EXPECT_EQ('#', buffer[c.size]) << c.name;
    }
    char buffer[4] = "xyz";
    EXPECT_EQ(0, key.GetString("Missing", "x", buffer, 0));
    EXPECT_EQ(0, key.GetString("Missing", "x", nullptr, 4));
    EXPECT_STREQ("xyz", buffer);

    CString text;
    for (const char* name : {"Expand", "Number", "Missing"}) {
        key.GetString(name, "dflt", &text);
        EXPECT_STREQ("dflt", text) << name;
    }
    key.GetString("Bare", "d", &text);
    EXPECT_STREQ("xyz", text);
    key.GetString("Nothing", "d", &text);
    EXPECT_STREQ("", text);
    key.SetString(nullptr, "the default value");
    key.GetString("", "", &text);
    EXPECT_STREQ("the default value", text);
    {
        HeapFailureScope fail(1); // no block for the value: the default
        key.GetString("Three", "fallback", &text);
    }
    EXPECT_STREQ("fallback", text);
}

TEST_F(RegKey, DwordsAreFourBytesAndDataBlocksMatchTheirLength) {
    CRegKeyBase key("Software\\Numbers", nullptr, kCreate, kUser, 0);
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
    unsigned char ten[10] = {};
    key.SetData("Eight", eight, 8);
    key.SetData("Ten", ten, 10);
    unsigned char buffer[8] = {};
    EXPECT_EQ(8, key.GetData("Eight", buffer, 8));
    EXPECT_EQ(0, std::memcmp(eight, buffer, 8));
    std::memset(buffer, 0x55, sizeof buffer);
    EXPECT_EQ(10, key.GetData("Ten", buffer, 8));
    EXPECT_EQ(0x55, buffer[0]);
    EXPECT_EQ(0, key.GetData("Missing", buffer, 8));
    EXPECT_EQ(3, key.GetData("Text", buffer, 8)); // another type: its stored size
    EXPECT_EQ(10, key.GetDataLength("Ten"));
    EXPECT_EQ(0, key.GetDataLength("Text"));
    EXPECT_EQ(0, key.GetDataLength("Missing"));

    // Enumeration passes through, with the sizes at unsigned long width.
    char name[16];
    unsigned long nameSize = sizeof name, valueType = 0, dataSize = sizeof buffer;
    ASSERT_EQ(ERROR_SUCCESS, key.EnumValue(0, name, &nameSize, &valueType, buffer, &dataSize));
    EXPECT_STREQ("Eight", name);
    EXPECT_EQ(5ul, nameSize);
    EXPECT_EQ(static_cast<unsigned long>(REG_BINARY), valueType);
    EXPECT_EQ(8ul, dataSize);
    nameSize = 2;
    EXPECT_EQ(ERROR_MORE_DATA, key.EnumValue(1, name, &nameSize, nullptr, nullptr, nullptr));
    nameSize = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, key.EnumValue(5, name, &nameSize, nullptr, nullptr, nullptr));
}

// A tree three levels deep with values at every level and a class on every key, an empty
// value, a long value name and a class longer than the copy's class buffer.
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
    RegSetValueExA(root, std::string(300, 'n').c_str(), 0, REG_BINARY, nullptr, 0);
    HKEY wide = nullptr;
    RegCreateKeyExA(root, "Wide", 0, const_cast<LPSTR>(std::string(300, 'c').c_str()), 0,
                    KEY_ALL_ACCESS, nullptr, &wide, nullptr);
    RegSetValueExA(wide, "In", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
    RegCloseKey(wide);
}

TEST_F(RegKey, CopiesAndDeletesWholeTrees) {
    CRegKeyBase from("Software\\From", nullptr, kCreate, kUser, 0);
    buildTree(from);
    CRegKeyBase to("Software\\To", nullptr, kCreate, kUser, 0);
    to.SetString("Top", "overwritten");
    to.SetString("Extra", "kept");
    CRegKeyBase::CopyKeyTree(from, to);

    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(to, "Extra")); // kept; removed to compare
    std::string source = dump(from);
    EXPECT_NE(std::string::npos, source.find("[L3b] class class of L1b\\L2c\\L3b"));
    EXPECT_NE(std::string::npos, source.find(std::string(300, 'n') + ":3=\n"));
    // The over-long class is not carried over; everything else is.
    const std::size_t wideClass = source.find("[Wide] class ") + 13;
    source.erase(wideClass, 300);
    EXPECT_EQ(source, dump(to));
    EXPECT_EQ(1ul, to.GetDword("Top", 0));

    EXPECT_EQ(static_cast<unsigned long>(ERROR_BADKEY), CRegKeyBase::RegDeleteKeyAll(to, ""));
    EXPECT_EQ(static_cast<unsigned long>(ERROR_BADKEY), CRegKeyBase::RegDeleteKeyAll(to, nullptr));
    EXPECT_EQ(static_cast<unsigned long>(ERROR_FILE_NOT_FOUND),
              CRegKeyBase::RegDeleteKeyAll(to, "None"));
    EXPECT_EQ(0ul, CRegKeyBase::RegDeleteKeyAll(HKEY_CURRENT_USER, "Software\\To"));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, "Software\\To"));
    EXPECT_EQ(0ul, to.GetDword("Top", 0)); // the object's key is gone with its tree

    from.DeleteSubKey("L1a");
    EXPECT_FALSE(keyExists(from, "L1a"));
    EXPECT_TRUE(keyExists(from, "L1b\\L2c\\L3b"));
    CRegKeyBase("Software\\Nowhere", nullptr, kOpen, kUser, 0).DeleteSubKey("Software");
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, "Software\\From")); // a null parent: nothing

    // A value whose block the heap refuses is skipped; the next one is copied.
    CRegKeyBase small("Software\\Small", nullptr, kCreate, kUser, 0);
    small.SetDword("A", 1);
    small.SetDword("B", 2);
    CRegKeyBase target("Software\\Target", nullptr, kCreate, kUser, 0);
    {
        HeapFailureScope fail(2); // the block for value A; the name buffer came first
        CRegKeyBase::CopyKeyTree(small, target);
    }
    EXPECT_EQ(0ul, target.GetDword("A", 0));
    EXPECT_EQ(2ul, target.GetDword("B", 0));
}

} // namespace

namespace {

// Runs `body` on a thread with a small stack, as a host's worker might have.
void onSmallStack(void (*body)()) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 256 * 1024);
    pthread_t thread;
    ASSERT_EQ(0, pthread_create(
                     &thread, &attr,
                     [](void* f) -> void* {
                         reinterpret_cast<void (*)()>(f)();
                         return nullptr;
                     },
                     reinterpret_cast<void*>(body)));
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

unsigned depthBelow(HKEY key) {
    unsigned depth = 0;
    HKEY level = nullptr;
    RegOpenKeyExA(key, nullptr, 0, KEY_READ, &level);
    char name[256];
    while (RegEnumKeyA(level, 0, name, sizeof name) == ERROR_SUCCESS) {
        HKEY next = nullptr;
        RegOpenKeyA(level, name, &next);
        RegCloseKey(level);
        level = next;
        ++depth;
    }
    RegCloseKey(level);
    return depth;
}

} // namespace

// The deepest tree the registry holds is copied and deleted on a small stack.
TEST_F(RegKey, WalksTheDeepestTreeOnASmallStack) {
    CRegKeyBase top("Software\\Deep", nullptr, kCreate, kUser, 0);
    HKEY level = nullptr;
    RegOpenKeyExA(top, nullptr, 0, KEY_ALL_ACCESS, &level);
    for (int i = 0; i < 600; ++i) {
        HKEY next = nullptr;
        if (RegCreateKeyA(level, "level", &next) != ERROR_SUCCESS) {
            break;
        }
        RegSetValueExA(next, "i", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4);
        RegCloseKey(level);
        level = next;
    }
    RegCloseKey(level);
    ASSERT_EQ(510u, depthBelow(top)); // 512 levels below the root, Software\Deep included
    onSmallStack([] {
        CRegKeyBase from("Software\\Deep", nullptr, kOpen, kUser, 0);
        CRegKeyBase to("Copy", nullptr, kCreate, kUser, 0);
        CRegKeyBase::CopyKeyTree(from, to);
    });
    CRegKeyBase copy("Copy", nullptr, kOpen, kUser, 0);
    EXPECT_EQ(510u, depthBelow(copy));
    onSmallStack([] {
        EXPECT_EQ(0ul, CRegKeyBase::RegDeleteKeyAll(HKEY_CURRENT_USER, "Software\\Deep"));
        EXPECT_EQ(0ul, CRegKeyBase::RegDeleteKeyAll(HKEY_CURRENT_USER, "Copy"));
    });
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, "Software\\Deep"));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, "Copy"));
}

// A copy into a key of its own source copies the source as it was before the copy.
TEST_F(RegKey, CopiesATreeIntoItself) {
    CRegKeyBase from("Software\\Self", nullptr, kCreate, kUser, 0);
    buildTree(from);
    CRegKeyBase inside("L1b\\Inside", kCreate, from, 0);
    const std::string before = dump(from);
    CRegKeyBase::CopyKeyTree(from, inside);
    std::string expected = before;
    const std::size_t wideClass = expected.find("[Wide] class ") + 13;
    expected.erase(wideClass, 300); // the over-long class stays behind, as in any copy
    EXPECT_EQ(expected, dump(inside));
    const std::string after = dump(from);
    CRegKeyBase::CopyKeyTree(from, from); // onto itself: nothing changes
    EXPECT_EQ(after, dump(from));
}
