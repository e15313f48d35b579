#include "support/child_process.h"
#include "support/private_registry.h"

#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
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
    constexpr int kWriters = 8;
    constexpr int kValues = 40;
    const DWORD zero = 0;
    ASSERT_EQ(ERROR_SUCCESS, set(key, "Counter", REG_DWORD, &zero, 4));
    EXPECT_EQ(0, korutil::test::runInChildrenAtOnce(kWriters, [&](int w) {
                  int failures = 0;
                  for (int v = 0; v < kValues; ++v) {
                      // Read, add one, write back: a group makes it one step for everyone.
                      failures += PlatRegBeginGroup() != 0;
                      DWORD counter = 0, size = 4;
                      failures += RegQueryValueExA(key, "Counter", nullptr, nullptr,
                                                   reinterpret_cast<BYTE*>(&counter), &size) != 0;
                      ++counter;
                      failures += set(key, "Counter", REG_DWORD, &counter, 4) != 0;
                      failures += PlatRegEndGroup(TRUE) != 0;
                      const DWORD data = static_cast<DWORD>(w * 1000 + v);
                      const std::string name = "w" + std::to_string(w) + "v" + std::to_string(v);
                      failures += set(key, name.c_str(), REG_DWORD, &data, 4) != 0;
                      HKEY sub = nullptr;
                      failures += RegCreateKeyA(key, ("k" + std::to_string(v)).c_str(), &sub) != 0;
                      RegCloseKey(sub);
                  }
                  return failures;
              }));
    DWORD values = 0, subCount = 0, counter = 0, size = 4;
    counts(key, &subCount, &values);
    EXPECT_EQ(static_cast<DWORD>(kWriters * kValues + 1), values);
    ASSERT_EQ(ERROR_SUCCESS, query(key, "Counter", &counter, &size));
    EXPECT_EQ(static_cast<DWORD>(kWriters * kValues), counter);
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

TEST_F(Registry, RefusesWhatWindowsCannotHold) {
    std::string deep;
    for (int level = 0; level < 512; ++level) {
        deep += "d\\";
    }
    const std::string name255(255, 'n'), value16383(16383, 'v'), class32766(32766, 'c');
    const std::string class32767 = class32766 + "c";
    const struct {
        HKEY parent;
        std::string path;
        const char* cls;
        LSTATUS status;
    } keys[] = {
        {HKEY_CURRENT_USER, deep, nullptr, ERROR_SUCCESS}, // 512 levels below the root
        {HKEY_CURRENT_USER, deep + "x", nullptr, ERROR_INVALID_PARAMETER},
        {HKEY_CURRENT_USER, name255, nullptr, ERROR_SUCCESS},
        {HKEY_CURRENT_USER, name255 + "n", nullptr, ERROR_INVALID_PARAMETER},
        {HKEY_CURRENT_USER, "a]\r\n[HKEY_CURRENT_USER", nullptr, ERROR_BAD_PATHNAME},
        {HKEY_CURRENT_USER, "tab\there", nullptr, ERROR_BAD_PATHNAME},
        {HKEY_CURRENT_USER, "a] [b \"c\" @=;", nullptr, ERROR_SUCCESS},
        {HKEY_CURRENT_USER, "Classes\\Long", class32766.c_str(), ERROR_SUCCESS},
        {HKEY_CURRENT_USER, "Classes\\Longer", class32767.c_str(), ERROR_INVALID_PARAMETER},
    };
    for (const auto& k : keys) {
        HKEY key = nullptr;
        EXPECT_EQ(k.status, RegCreateKeyExA(k.parent, k.path.c_str(), 0, const_cast<LPSTR>(k.cls),
                                            0, KEY_ALL_ACCESS, nullptr, &key, nullptr))
            << k.path.substr(0, 40);
        EXPECT_EQ(k.status == ERROR_SUCCESS, key != nullptr);
        if (key && k.path == deep) {
            HKEY below = nullptr;
            EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyA(key, "x", &below));
        }
        RegCloseKey(key);
    }
    HKEY key = create(HKEY_CURRENT_USER, "Values");
    EXPECT_EQ(ERROR_SUCCESS, set(key, value16383.c_str(), REG_SZ, "", 1));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, set(key, (value16383 + "v").c_str(), REG_SZ, "", 1));
    EXPECT_EQ(ERROR_SUCCESS, set(key, "line\nbreak", REG_SZ, "", 1)); // the .reg text escapes it
    RegCloseKey(key);
}

TEST_F(Registry, OpenWithoutPathGivesTheSameHandleOrANewOne) {
    HKEY key = create(HKEY_CURRENT_USER, "Software\\Same");
    HKEY other = create(HKEY_CURRENT_USER, "Software");
    HKEY same = nullptr, fresh = nullptr, made = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(key, "", &same));
    EXPECT_EQ(key, same);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key, nullptr, 0, KEY_READ, &fresh));
    EXPECT_NE(key, fresh);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(key, "", &made));
    EXPECT_NE(key, made);
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &same));
    EXPECT_EQ(HKEY_CURRENT_USER, same);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(other, "Same"));
    same = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyA(key, nullptr, &same)); // deleted meanwhile: still itself
    EXPECT_EQ(key, same);
    EXPECT_EQ(ERROR_KEY_DELETED, RegOpenKeyExA(key, "", 0, KEY_READ, &same));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyA(reinterpret_cast<HKEY>(0x1234), "", &same));
    EXPECT_EQ(nullptr, same);
    for (HKEY k : {key, fresh, made, other}) {
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(k));
    }
}

TEST_F(Registry, GroupsCommitOrUndoAsAWhole) {
    HKEY key = create(HKEY_CURRENT_USER, "Software\\Group");
    const auto seenElsewhere = [&](const char* name) {
        return korutil::test::runInChild([&] {
            HKEY k = nullptr;
            const bool found = RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Group", &k) == 0 &&
                               query(k, name, nullptr, nullptr) == ERROR_SUCCESS;
            PlatRegCloseStore();
            return found ? 1 : 0;
        });
    };
    const DWORD one = 1;
    ASSERT_EQ(ERROR_SUCCESS, PlatRegBeginGroup());
    ASSERT_EQ(ERROR_SUCCESS, set(key, "a", REG_DWORD, &one, 4));
    HKEY sub = create(key, "Sub\\Deeper");
    ASSERT_EQ(ERROR_SUCCESS, PlatRegBeginGroup());
    ASSERT_EQ(ERROR_SUCCESS, set(key, "b", REG_DWORD, &one, 4));
    EXPECT_EQ(ERROR_SUCCESS, PlatRegEndGroup(FALSE)); // undoes b alone
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, query(key, "b", nullptr, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, query(key, "a", nullptr, nullptr)); // the group sees its own work
    EXPECT_EQ(0, seenElsewhere("a"));                            // nobody else does yet
    EXPECT_EQ(ERROR_SUCCESS, PlatRegEndGroup(TRUE));
    EXPECT_EQ(1, seenElsewhere("a"));
    EXPECT_EQ(ERROR_INVALID_FUNCTION, PlatRegEndGroup(TRUE));

    ASSERT_EQ(ERROR_SUCCESS, PlatRegBeginGroup());
    ASSERT_EQ(ERROR_SUCCESS, set(key, "c", REG_DWORD, &one, 4));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key, "Sub\\Deeper"));
    EXPECT_EQ(ERROR_SUCCESS, PlatRegEndGroup(FALSE));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, query(key, "c", nullptr, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              query(sub, "", nullptr, nullptr)); // its key is back // the deleted key is back
    RegCloseKey(sub);
    RegCloseKey(key);
}

// Enumeration by index against a model, while this process and another one change the key
// between the steps: every answer is the one a search from the start would give.
TEST_F(Registry, EnumerationFollowsEveryChange) {
    HKEY key = create(HKEY_CURRENT_USER, "Software\\Walk");
    std::map<std::string, std::string> values, subkeys; // by lower-case name
    const auto lower = [](std::string s) {
        for (char& c : s) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return s;
    };
    ASSERT_EQ(ERROR_SUCCESS, PlatRegBeginGroup());
    for (int i = 0; i < 20000; ++i) {
        const std::string name = "v" + std::to_string(i * 7919 % 20000);
        values[lower(name)] = name;
        ASSERT_EQ(ERROR_SUCCESS, set(key, name.c_str(), REG_SZ, name.c_str(), 3));
    }
    ASSERT_EQ(ERROR_SUCCESS, PlatRegEndGroup(TRUE));
    std::mt19937 random(7);
    DWORD index = 0;
    for (int step = 0; step < 2000; ++step) {
        const bool ofValues = random() % 2;
        auto& model = ofValues ? values : subkeys;
        const std::string name =
            std::string(random() % 2 ? "K" : "k") + std::to_string(random() % 60);
        const int action = static_cast<int>(random() % 10);
        if (action == 0) {
            model.emplace(lower(name), name); // the first spelling stays
            if (ofValues) {
                EXPECT_EQ(0, korutil::test::runInChild([&] {
                              const LSTATUS status = set(key, name.c_str(), REG_SZ, "x", 2);
                              PlatRegCloseStore();
                              return static_cast<int>(status);
                          }));
            } else {
                RegCloseKey(create(key, name.c_str()));
            }
        } else if (action == 1) {
            const bool had = model.erase(lower(name)) != 0;
            EXPECT_EQ(had ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND,
                      ofValues ? RegDeleteValueA(key, name.c_str())
                               : RegDeleteKeyA(key, name.c_str()));
        } else {
            index = action == 2 ? static_cast<DWORD>(random() % (model.size() + 2)) : index + 1;
            char got[64];
            DWORD size = sizeof got;
            const LSTATUS status =
                ofValues ? RegEnumValueA(key, index, got, &size, nullptr, nullptr, nullptr, nullptr)
                         : RegEnumKeyA(key, index, got, sizeof got);
            if (index >= model.size()) {
                EXPECT_EQ(ERROR_NO_MORE_ITEMS, status) << step;
            } else {
                ASSERT_EQ(ERROR_SUCCESS, status) << step;
                EXPECT_EQ(std::next(model.begin(), index)->second, got) << step;
            }
        }
    }
    RegCloseKey(key);
}

// A store file deleted or replaced under an open connection: its handles fail, nothing is
// written into the store that is there now, and the roots open that one.
TEST_F(Registry, NoticesAStoreFileDeletedOrReplaced) {
    const std::string file = m_dir.file("registry.sqlite");
    const std::string other = m_dir.file("other.sqlite");
    // The other store, made the same way, has its keys under the same ids.
    ASSERT_EQ(0, korutil::test::runInChild([&] {
                  setenv("KORUTIL_REGISTRY", other.c_str(), 1);
                  HKEY k = nullptr;
                  const LSTATUS status = RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Other", &k);
                  PlatRegCloseStore();
                  return static_cast<int>(status);
              }));
    HKEY key = create(HKEY_CURRENT_USER, "Software\\Mine");
    const DWORD one = 1;
    ASSERT_EQ(ERROR_SUCCESS, set(key, "v", REG_DWORD, &one, 4));
    ASSERT_EQ(0, rename(other.c_str(), file.c_str()));
    EXPECT_EQ(ERROR_KEY_DELETED, set(key, "w", REG_DWORD, &one, 4));
    EXPECT_EQ(ERROR_KEY_DELETED, query(key, "v", nullptr, nullptr));
    HKEY now = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Mine", &now));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Other", &now));
    DWORD values = 9;
    counts(now, nullptr, &values);
    EXPECT_EQ(0u, values);
    RegCloseKey(now);
    // Another process sees the new store whole, not mixed with the old one's log.
    EXPECT_EQ(0, korutil::test::runInChild([] {
                  HKEY k = nullptr;
                  const LSTATUS status = RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Other", &k);
                  PlatRegCloseStore();
                  return static_cast<int>(status);
              }));
    ASSERT_EQ(0, unlink(file.c_str()));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Other", &now));
    RegCloseKey(key);
}

// A store in a directory its user may not write: it reads, and changes fail.
TEST_F(Registry, ReadsAStoreItsUserMayNotWrite) {
    if (getuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    HKEY key = create(HKEY_LOCAL_MACHINE, "Software\\System");
    ASSERT_EQ(ERROR_SUCCESS, set(key, "v", REG_SZ, "abc", 4));
    RegCloseKey(key);
    PlatRegCloseStore();
    ASSERT_EQ(0, chmod(m_dir.path().c_str(), 0755));
    ASSERT_EQ(0, chmod(m_dir.file("registry.sqlite").c_str(), 0644));
    EXPECT_EQ(0, korutil::test::runInChild([] {
                  if (setgid(65534) != 0 || setuid(65534) != 0) {
                      return 100;
                  }
                  HKEY k = nullptr;
                  char text[8] = {};
                  DWORD size = sizeof text;
                  int failures = RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\System", &k) != 0;
                  failures += query(k, "v", text, &size) != 0 || std::string(text) != "abc";
                  failures += set(k, "w", REG_SZ, "x", 2) != ERROR_ACCESS_DENIED;
                  HKEY made = nullptr;
                  failures += RegCreateKeyA(k, "New", &made) != ERROR_ACCESS_DENIED;
                  return failures;
              }));
    struct stat st {};
    EXPECT_NE(0, stat(m_dir.file("registry.sqlite-wal").c_str(), &st));
}

// What a set acknowledged survives the process being killed; a full disk fails the set and
// keeps what was there.
TEST_F(Registry, KeepsAcknowledgedWritesThroughKillsAndFullDisks) {
    int acks[2];
    ASSERT_EQ(0, pipe(acks));
    const pid_t writer = fork();
    if (writer == 0) {
        HKEY k = nullptr;
        RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Killed", &k);
        for (DWORD i = 0;; ++i) {
            if (set(k, ("v" + std::to_string(i)).c_str(), REG_DWORD, &i, 4) == 0) {
                (void)!write(acks[1], &i, sizeof i);
            }
        }
    }
    close(acks[1]);
    DWORD last = 0;
    for (int n = 0; n < 300 && read(acks[0], &last, sizeof last) == sizeof last; ++n) {
    }
    kill(writer, SIGKILL);
    waitpid(writer, nullptr, 0);
    close(acks[0]);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Killed", &key));
    for (DWORD i = 0; i <= last; ++i) {
        DWORD read = ~i, size = 4;
        ASSERT_EQ(ERROR_SUCCESS, query(key, ("v" + std::to_string(i)).c_str(), &read, &size)) << i;
        EXPECT_EQ(i, read);
    }

    struct stat st {};
    ASSERT_EQ(0, stat(m_dir.file("registry.sqlite").c_str(), &st));
    const int full = korutil::test::runInChild([&] {
        korutil::test::limitFileSize(static_cast<rlim_t>(st.st_size) + 256 * 1024);
        const std::string block(4000, 'x');
        for (int i = 0; i < 1000; ++i) {
            const LSTATUS status = set(key, ("big" + std::to_string(i)).c_str(), REG_BINARY,
                                       block.data(), static_cast<DWORD>(block.size()));
            if (status) {
                return status == ERROR_CANTWRITE ? 0 : 1;
            }
        }
        return 2;
    });
    EXPECT_EQ(0, full);
    DWORD read = 0, size = 4;
    ASSERT_EQ(ERROR_SUCCESS, query(key, ("v" + std::to_string(last)).c_str(), &read, &size));
    EXPECT_EQ(last, read);
    DWORD values = 0;
    counts(key, nullptr, &values);
    EXPECT_GT(values, last + 1); // the sets before the disk filled up are there too
    RegCloseKey(key);
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
