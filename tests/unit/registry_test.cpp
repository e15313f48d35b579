#include "support/child_process.h"
#include "support/private_registry.h"

#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Every test gets a registry file of its own.
class Registry : public korutil::test::PrivateRegistry {};

HKEY create(HKEY parent, const char* path, const char* cls = nullptr,
            DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(parent, path, 0, const_cast<LPSTR>(cls), 0,
                                             KEY_ALL_ACCESS, nullptr, &key, disposition));
    return key;
}

LSTATUS set(HKEY key, const char* name, DWORD type, const void* data, DWORD size) {
    return RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
}

std::vector<std::string> subkeys(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) {
        names.push_back(name);
    }
    return names;
}

TEST_F(Registry, CreatesOpensAndComparesNamesWithoutCase) {
    DWORD disposition = 0;
    HKEY deep = create(HKEY_CURRENT_USER, "Software\\Acme\\Editor\\", "EditorClass", &disposition);
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    HKEY again = create(HKEY_CURRENT_USER, "SOFTWARE\\acme\\EDITOR", "other", &disposition);
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
    HKEY opened = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, "software\\ACME", &opened));
    EXPECT_EQ(std::vector<std::string>{"Editor"}, subkeys(opened));

    HKEY missing = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyA(opened, "Viewer", &missing));
    EXPECT_EQ(nullptr, missing);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, 0, &missing));
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegCreateKeyA(HKEY_CURRENT_USER, "\\lead", &missing));
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegCreateKeyA(HKEY_CURRENT_USER, "a\\\\b", &missing));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegCreateKeyA(HKEY_CURRENT_USER, std::string(256, 'n').c_str(), &missing));

    // The class belongs to the key created with it; intermediate keys have none.
    char cls[32];
    DWORD clsSize = sizeof cls;
    DWORD subCount = 9;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryInfoKeyA(again, cls, &clsSize, nullptr, &subCount, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ("EditorClass", cls);
    EXPECT_EQ(11u, clsSize);
    EXPECT_EQ(0u, subCount);

    // Subkeys enumerate in name order whatever their case.
    for (const char* name : {"beta", "Alpha", "gamma", "ALPHA2"}) {
        RegCloseKey(create(deep, name));
    }
    EXPECT_EQ((std::vector<std::string>{"Alpha", "ALPHA2", "beta", "gamma"}), subkeys(deep));
    char small[5];
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyA(deep, 1, small, sizeof small));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyA(deep, 4, small, sizeof small));

    for (HKEY k : {deep, again, opened, HKEY_CURRENT_USER}) {
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(k));
    }
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(deep));
}

LSTATUS query(HKEY key, const char* name, void* data, DWORD* size, DWORD* type = nullptr) {
    return RegQueryValueExA(key, name, nullptr, type, static_cast<LPBYTE>(data), size);
}

LSTATUS enumValue(HKEY key, DWORD index, DWORD nameSize, void* data = nullptr,
                  DWORD* size = nullptr) {
    char name[16];
    return RegEnumValueA(key, index, name, &nameSize, nullptr, nullptr, static_cast<LPBYTE>(data),
                         size);
}

void counts(HKEY key, DWORD* subkeys, DWORD* values, DWORD* maxName = nullptr,
            DWORD* maxData = nullptr) {
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, subkeys, nullptr,
                                              nullptr, values, maxName, maxData, nullptr, nullptr));
}

TEST_F(Registry, StoresTypedValuesAndReportsSizes) {
    HKEY key = create(HKEY_CURRENT_USER, "Software\\Values");
    const DWORD number = 0xDEADBEEF;
    ASSERT_EQ(ERROR_SUCCESS, set(key, "Number", REG_DWORD, &number, 4));
    ASSERT_EQ(ERROR_SUCCESS, set(key, "Text", REG_SZ, "abc", 4));
    ASSERT_EQ(ERROR_SUCCESS, set(key, nullptr, REG_SZ, "dflt", 5));
    ASSERT_EQ(ERROR_SUCCESS, set(key, "Empty", REG_BINARY, nullptr, 0));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, set(key, "Bad", REG_BINARY, nullptr, 3));

    // Size only; then a short buffer: 234, the needed size, the buffer untouched.
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(ERROR_SUCCESS, query(key, "TEXT", nullptr, &size, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(4u, size);
    char buffer[8] = "zzzzzzz";
    size = 2;
    EXPECT_EQ(ERROR_MORE_DATA, query(key, "Text", buffer, &size));
    EXPECT_EQ(4u, size);
    EXPECT_STREQ("zzzzzzz", buffer);
    size = sizeof buffer;
    ASSERT_EQ(ERROR_SUCCESS, query(key, "", buffer, &size));
    EXPECT_STREQ("dflt", buffer);
    DWORD read = 0;
    size = sizeof read;
    ASSERT_EQ(ERROR_SUCCESS, query(key, "number", &read, &size));
    EXPECT_EQ(number, read);
    size = 99;
    ASSERT_EQ(ERROR_SUCCESS, query(key, "Empty", nullptr, &size));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, query(key, "Text", buffer, nullptr));

    // Values enumerate in name order ("" first); a name or data that does not fit gives 234.
    size = sizeof buffer;
    ASSERT_EQ(ERROR_SUCCESS, enumValue(key, 0, 1, buffer, &size));
    EXPECT_EQ(5u, size);
    EXPECT_EQ(ERROR_MORE_DATA, enumValue(key, 2, 3));
    EXPECT_EQ(ERROR_SUCCESS, enumValue(key, 2, 7));
    size = 1;
    EXPECT_EQ(ERROR_MORE_DATA, enumValue(key, 3, 8, buffer, &size));
    EXPECT_EQ(4u, size);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, enumValue(key, 4, 8));
    DWORD values = 0, maxName = 0, maxData = 0;
    counts(key, nullptr, &values, &maxName, &maxData);
    EXPECT_EQ(4u, values);
    EXPECT_EQ(6u, maxName);
    EXPECT_EQ(5u, maxData);

    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "text"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(key, "text"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, query(key, "Text", nullptr, nullptr));
    RegCloseKey(key);
}

TEST_F(Registry, DeletesLeafKeysOnlyAndStaleHandlesFail) {
    HKEY parent = create(HKEY_CURRENT_USER, "Software\\Tree");
    HKEY child = create(parent, "Child");
    const DWORD one = 1;
    set(child, "v", REG_DWORD, &one, 4);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Tree"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_CURRENT_USER, ""));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(parent, "None"));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(parent, "CHILD"));

    // The open handle names a key that is gone; once closed it names nothing.
    EXPECT_EQ(ERROR_KEY_DELETED, query(child, "v", nullptr, nullptr));
    EXPECT_EQ(ERROR_KEY_DELETED, set(child, "v", REG_DWORD, &one, 4));
    HKEY grandchild = nullptr;
    EXPECT_EQ(ERROR_KEY_DELETED, RegCreateKeyA(child, "x", &grandchild));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(child));
    EXPECT_EQ(ERROR_INVALID_HANDLE, query(child, "v", nullptr, nullptr));

    // Re-created, it is a new key without the old values.
    child = create(parent, "Child");
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, query(child, "v", nullptr, nullptr));
    RegCloseKey(child);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(parent, "Child"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(parent, ""));
    EXPECT_EQ(ERROR_KEY_DELETED, RegFlushKey(parent));
    RegCloseKey(parent);
}

TEST_F(Registry, PersistsAndFollowsTheStoreFile) {
    HKEY key = create(HKEY_LOCAL_MACHINE, "Software\\Persist");
    const DWORD value = 42;
    set(key, "Answer", REG_DWORD, &value, 4);
    EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(key));
    PlatRegCloseStore();
    // Same file: the handle still works after the connection was closed.
    DWORD read = 0;
    DWORD size = sizeof read;
    ASSERT_EQ(ERROR_SUCCESS, query(key, "Answer", &read, &size));
    EXPECT_EQ(42u, read);

    // Another file: another registry, where handles of the first one name nothing.
    setenv("KORUTIL_REGISTRY", m_dir.file("other.sqlite").c_str(), 1);
    HKEY other = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Persist", &other));
    EXPECT_EQ(ERROR_INVALID_HANDLE, query(key, "Answer", nullptr, nullptr));
    setenv("KORUTIL_REGISTRY", m_dir.file("registry.sqlite").c_str(), 1);
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Persist", &other));
    RegCloseKey(other);
}

TEST_F(Registry, SeveralProcessesSetValuesAtOnce) {
    HKEY key = create(HKEY_CURRENT_USER, "Software\\Shared");
    constexpr int kWriters = 4;
    constexpr int kValues = 40;
    EXPECT_EQ(0, korutil::test::runInChildrenAtOnce(kWriters, [&](int w) {
                  int failures = 0;
                  for (int v = 0; v < kValues; ++v) {
                      const DWORD data = static_cast<DWORD>(w * 1000 + v);
                      const std::string name = "w" + std::to_string(w) + "v" + std::to_string(v);
                      failures += set(key, name.c_str(), REG_DWORD, &data, 4) != 0;
                      HKEY sub = nullptr;
                      failures += RegCreateKeyA(key, ("k" + std::to_string(v)).c_str(), &sub) != 0;
                      RegCloseKey(sub);
                  }
                  return failures;
              }));
    DWORD values = 0, subCount = 0;
    counts(key, &subCount, &values);
    EXPECT_EQ(static_cast<DWORD>(kWriters * kValues), values);
    EXPECT_EQ(static_cast<DWORD>(kValues), subCount);
    RegCloseKey(key);
}

TEST_F(Registry, DamagedOrUnusableStoresFailEveryCall) {
    HKEY key = create(HKEY_CURRENT_USER, "Software\\Before");
    PlatRegCloseStore();
    const std::string file = m_dir.file("registry.sqlite");
    unlink((file + "-wal").c_str());
    unlink((file + "-shm").c_str());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << std::string(8192, '\x5A');

    const auto everyCallFails = [&](HKEY handle) {
        HKEY out = nullptr;
        char name[64];
        DWORD size = sizeof name;
        EXPECT_NE(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, "Software", &out));
        EXPECT_NE(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, "Software\\New", &out));
        EXPECT_EQ(nullptr, out);
        EXPECT_NE(ERROR_SUCCESS, set(handle, "v", REG_DWORD, &size, 4));
        EXPECT_NE(ERROR_SUCCESS, query(handle, "v", nullptr, &size));
        EXPECT_NE(ERROR_SUCCESS, RegEnumKeyA(HKEY_CURRENT_USER, 0, name, sizeof name));
        EXPECT_NE(ERROR_SUCCESS,
                  RegEnumValueA(handle, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
        EXPECT_NE(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Before"));
        EXPECT_NE(ERROR_SUCCESS,
                  RegQueryInfoKeyA(handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr));
    };
    EXPECT_EQ(ERROR_BADDB, RegOpenKeyA(HKEY_CURRENT_USER, "Software", &key));
    everyCallFails(HKEY_CURRENT_USER);
    // A store whose file cannot be made (its directory is a file) fails the same way.
    setenv("KORUTIL_REGISTRY", (file + "/inside.sqlite").c_str(), 1);
    everyCallFails(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(ERROR_CANTOPEN, RegCreateKeyA(HKEY_CURRENT_USER, "Software\\New", &key));
}

TEST(Version, ReportsTheNtFamily) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_EQ(148u, sizeof info);
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), info.dwPlatformId);
    info.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(GetVersionExA(&info));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(0, lstrlenA(nullptr));
    EXPECT_EQ(3, lstrlenA("abc"));
}

} // namespace
