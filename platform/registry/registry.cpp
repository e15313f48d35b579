#include "kernel/no_throw.h"
#include "registry/names.h"
#include "registry/store.h"

#include <cstring>
#include <vector>

using korutil::detail::CachedValue;
using korutil::detail::EnumRow;
using korutil::detail::EnumRun;
using korutil::detail::fileTimeNow;
using korutil::detail::KeyRef;
using korutil::detail::Query;
using korutil::detail::ReadCache;
using korutil::detail::statusFromSqlite;
using korutil::detail::Store;
using korutil::detail::Transaction;

namespace {

// Runs one registry call under the store's lock with the store connected.
template <class F> LSTATUS withStore(F body) {
    return korutil::detail::failOnBadAlloc(LSTATUS(ERROR_NOT_ENOUGH_MEMORY), [&]() -> LSTATUS {
        Store& store = Store::instance();
        std::lock_guard<std::recursive_mutex> guard(store.lock);
        if (DWORD status = store.connect()) {
            return static_cast<LSTATUS>(status);
        }
        return static_cast<LSTATUS>(body(store));
    });
}

bool isRoot(HKEY hKey) {
    return hKey == HKEY_CLASSES_ROOT || hKey == HKEY_CURRENT_USER || hKey == HKEY_LOCAL_MACHINE ||
           hKey == HKEY_USERS || hKey == HKEY_CURRENT_CONFIG;
}

// The child key of that name, 0 when there is none; a status on a store failure.
DWORD findChild(std::int64_t parent, const std::string& name, std::int64_t& child) {
    Query q("SELECT id FROM keys WHERE parent = ? AND name = ?");
    const int rc = q.bind(1, parent).bind(2, name).step();
    child = rc == SQLITE_ROW ? q.integer(0) : 0;
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? ERROR_SUCCESS : statusFromSqlite(rc);
}

// Follows existing keys down the path; `walked` tells how many parts exist.
DWORD walk(KeyRef& key, const std::vector<std::string>& parts, std::size_t& walked) {
    for (walked = 0; walked < parts.size(); ++walked) {
        std::int64_t child = 0;
        if (DWORD status = findChild(key.id, parts[walked], child)) {
            return status;
        }
        if (!child) {
            return ERROR_SUCCESS;
        }
        key.id = child;
        ++key.depth;
    }
    return ERROR_SUCCESS;
}

DWORD touch(std::int64_t id) {
    Query q("UPDATE keys SET written = ? WHERE id = ?");
    const int rc = q.bind(1, fileTimeNow()).bind(2, id).step();
    return rc == SQLITE_DONE ? ERROR_SUCCESS : statusFromSqlite(rc);
}

void toFileTime(std::int64_t ticks, PFILETIME out) {
    if (out) {
        out->dwLowDateTime = static_cast<DWORD>(ticks);
        out->dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32);
    }
}

// Copies a name into a buffer of `capacity` characters counting the terminator.
bool copyName(const std::string& name, LPSTR out, DWORD capacity) {
    if (name.size() + 1 > capacity) {
        return false;
    }
    std::memcpy(out, name.c_str(), name.size() + 1);
    return true;
}

// Hands a value's data to the caller: the size alone when lpData is null, ERROR_MORE_DATA with
// the needed size when the buffer is too small.
LSTATUS copyValueData(const void* data, DWORD size, LPBYTE lpData, LPDWORD lpcbData) {
    if (lpData) {
        if (*lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (size) {
            std::memcpy(lpData, data, size);
        }
    }
    if (lpcbData) {
        *lpcbData = size;
    }
    return ERROR_SUCCESS;
}

LSTATUS openKey(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    if (!phkResult) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    return withStore([&](Store& store) -> DWORD {
        KeyRef key;
        std::vector<std::string> parts;
        std::size_t walked = 0;
        if (DWORD status = store.keyOf(hKey, key, false)) {
            return status;
        }
        if (DWORD status = korutil::detail::splitPath(lpSubKey, parts)) {
            return status;
        }
        if (parts.empty() && isRoot(hKey)) {
            *phkResult = hKey; // a predefined root stays itself
            return ERROR_SUCCESS;
        }
        if (DWORD status = walk(key, parts, walked)) {
            return status;
        }
        // A key found below proves the one above is there (a key with subkeys cannot be
        // deleted); otherwise ask.
        if (walked == 0) {
            if (DWORD status = store.verifyKey(key.id)) {
                return status;
            }
        }
        if (walked != parts.size()) {
            return ERROR_FILE_NOT_FOUND;
        }
        *phkResult = store.newHandle(key);
        return ERROR_SUCCESS;
    });
}

// The rows of a key's values, or of its subkeys, from entry `index` on (or after the name
// `after`), at most `count` of them and about kRunBytes of data; a SQLite result code.
constexpr std::size_t kRunBytes = 64 * 1024;
constexpr std::size_t kFirstRun = 16;
constexpr std::size_t kLongestRun = 1024;

int readRows(bool values, bool valueTimes, std::int64_t key, DWORD index, const std::string* after,
             std::size_t count, std::vector<EnumRow>& rows, bool& atEnd) {
    const char* sql;
    if (values) {
        sql = after ? "SELECT name, type, data FROM vals WHERE key = ?1 AND name > ?3 "
                      "ORDER BY name LIMIT ?2"
                    : "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY name "
                      "LIMIT ?2 OFFSET ?3";
    } else if (valueTimes) {
        sql = after ? "SELECT name, class, max(written, ifnull((SELECT max(v.written) FROM vals v "
                      "WHERE v.key = keys.id), 0)) FROM keys WHERE parent = ?1 AND name > ?3 "
                      "ORDER BY name LIMIT ?2"
                    : "SELECT name, class, max(written, ifnull((SELECT max(v.written) FROM vals v "
                      "WHERE v.key = keys.id), 0)) FROM keys WHERE parent = ?1 ORDER BY name "
                      "LIMIT ?2 OFFSET ?3";
    } else {
        sql = after ? "SELECT name, class, written FROM keys WHERE parent = ?1 AND name > ?3 "
                      "ORDER BY name LIMIT ?2"
                    : "SELECT name, class, written FROM keys WHERE parent = ?1 ORDER BY name "
                      "LIMIT ?2 OFFSET ?3";
    }
    Query q(sql);
    q.bind(1, key).bind(2, static_cast<std::int64_t>(count));
    if (after) {
        q.bind(3, *after);
    } else {
        q.bind(3, static_cast<std::int64_t>(index));
    }
    std::size_t bytes = 0;
    int rc;
    while (bytes < kRunBytes && (rc = q.step()) == SQLITE_ROW) {
        EnumRow row;
        row.name = q.text(0);
        if (values) {
            row.type = static_cast<DWORD>(q.integer(1));
            const auto* data = static_cast<const char*>(q.blob(2));
            row.data.assign(data ? data : "", q.bytes(2));
        } else {
            row.data = q.text(1);
            row.written = q.integer(2);
        }
        bytes += row.name.size() + row.data.size();
        rows.push_back(std::move(row));
    }
    if (bytes >= kRunBytes) {
        atEnd = false;
        return SQLITE_OK;
    }
    atEnd = rc == SQLITE_DONE && rows.size() < count; // not merely the limit reached
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// Entry `index` of a handle's values (or subkeys) in name order. A walk over the indexes
// reads runs of rows that stay valid while nothing changes the store, so that each step
// costs one step, not a search from the start.
DWORD enumEntry(Store& store, HKEY hKey, DWORD index, bool values, EnumRow& out) {
    KeyRef key;
    if (DWORD status = store.keyOf(hKey, key, false)) {
        return status;
    }
    ReadCache* cache = store.cache();
    EnumRun* run = cache ? cache->findRun(hKey, values) : nullptr;
    if (run && run->key != key.id) {
        run = nullptr;
    }
    if (run && index >= run->first) {
        const DWORD offset = index - run->first;
        if (offset < run->rows.size()) {
            out = run->rows[offset];
            return ERROR_SUCCESS;
        }
        if (run->atEnd) {
            return ERROR_NO_MORE_ITEMS; // nothing changed since the run found the end
        }
    }
    const bool continuing = run && !run->rows.empty() && index == run->first + run->rows.size();
    const std::size_t count = continuing ? run->nextCount : kFirstRun;
    std::vector<EnumRow> rows;
    bool atEnd = false;
    const int rc = readRows(values, store.valueTimes(), key.id, index,
                            continuing ? &run->rows.back().name : nullptr, count, rows, atEnd);
    if (rc != SQLITE_OK) {
        return statusFromSqlite(rc);
    }
    if (rows.empty()) {
        const DWORD status = store.verifyKey(key.id);
        if (status) {
            return status;
        }
    } else {
        out = rows.front();
    }
    if (cache && store.unchangedSinceCache()) {
        EnumRun& kept = cache->newRun(hKey, values);
        kept.key = key.id;
        kept.first = index;
        kept.rows = std::move(rows);
        kept.atEnd = atEnd;
        kept.nextCount = continuing ? std::min(count * 2, kLongestRun) : 2 * kFirstRun;
        return kept.rows.empty() ? DWORD(ERROR_NO_MORE_ITEMS) : DWORD(ERROR_SUCCESS);
    }
    return rows.empty() ? DWORD(ERROR_NO_MORE_ITEMS) : DWORD(ERROR_SUCCESS);
}

// A value by name: from the cache while nothing changed, else from the store.
DWORD findValue(Store& store, HKEY hKey, LPCSTR name, CachedValue& out) {
    KeyRef key;
    if (DWORD status = store.keyOf(hKey, key, false)) {
        return status;
    }
    ReadCache* cache = store.cache();
    if (const CachedValue* hit = cache ? cache->findValue(key.id, name) : nullptr) {
        out = *hit;
        return ERROR_SUCCESS;
    }
    // A value found proves its key is there; only a miss needs to ask.
    Query q("SELECT type, data FROM vals WHERE key = ? AND name = ?");
    const int rc = q.bind(1, key.id).bind(2, name).step();
    if (rc == SQLITE_DONE) {
        if (DWORD status = store.verifyKey(key.id)) {
            return status;
        }
        out.status = ERROR_FILE_NOT_FOUND;
    } else if (rc != SQLITE_ROW) {
        return statusFromSqlite(rc);
    } else {
        out.status = ERROR_SUCCESS;
        out.type = static_cast<DWORD>(q.integer(0));
        const auto* data = static_cast<const char*>(q.blob(1));
        out.data.assign(data ? data : "", q.bytes(1));
    }
    if (cache && store.unchangedSinceCache()) {
        cache->keepValue(key.id, name, out);
    }
    return ERROR_SUCCESS;
}

} // namespace

extern "C" LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM,
                                        PHKEY phkResult) {
    return openKey(hKey, lpSubKey, phkResult);
}

extern "C" LSTATUS WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    if (phkResult && (!lpSubKey || !*lpSubKey)) {
        // The handle given comes back as it is, also when its key was deleted meanwhile.
        *phkResult = nullptr;
        return withStore([&](Store& store) -> DWORD {
            if (!store.knows(hKey)) {
                return ERROR_INVALID_HANDLE;
            }
            *phkResult = hKey;
            return ERROR_SUCCESS;
        });
    }
    return openKey(hKey, lpSubKey, phkResult);
}

extern "C" LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR lpClass, DWORD,
                                          REGSAM, const LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                                          LPDWORD lpdwDisposition) {
    if (!phkResult) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    if (lpClass && std::strlen(lpClass) > korutil::detail::kMaxClass) {
        return ERROR_INVALID_PARAMETER;
    }
    return withStore([&](Store& store) -> DWORD {
        std::vector<std::string> parts;
        if (DWORD status = korutil::detail::splitPath(lpSubKey, parts)) {
            return status;
        }
        // Most calls find the key in place; only a missing one costs a write transaction
        // (inside a group, which holds one already, nothing is gained by looking first).
        KeyRef key;
        std::size_t walked = 0;
        if (DWORD status = store.keyOf(hKey, key, false)) {
            return status;
        }
        if (DWORD status = korutil::detail::checkNewKeys(parts, key.depth)) {
            return status;
        }
        if (parts.empty() && isRoot(hKey)) {
            *phkResult = hKey;
            if (lpdwDisposition) {
                *lpdwDisposition = REG_OPENED_EXISTING_KEY;
            }
            return ERROR_SUCCESS;
        }
        const KeyRef parent = key;
        if (!store.inGroup()) {
            if (DWORD status = walk(key, parts, walked)) {
                return status;
            }
            if (walked == 0 && parts.empty()) {
                if (DWORD status = store.verifyKey(key.id)) {
                    return status;
                }
            }
        }
        DWORD disposition = REG_OPENED_EXISTING_KEY;
        if (store.inGroup() || walked != parts.size()) {
            Transaction tx;
            if (tx.status()) {
                return tx.status();
            }
            key = parent;
            if (DWORD status = walk(key, parts, walked)) {
                return status;
            }
            if (walked == 0) {
                if (DWORD status = store.verifyKey(key.id)) {
                    return status;
                }
            }
            if (walked != parts.size()) {
                disposition = REG_CREATED_NEW_KEY;
                if (DWORD status = touch(key.id)) {
                    return status;
                }
            }
            for (; walked < parts.size(); ++walked) {
                const bool last = walked + 1 == parts.size();
                Query insert("INSERT INTO keys(parent, name, class, written) VALUES(?, ?, ?, ?)");
                const int rc = insert.bind(1, key.id)
                                   .bind(2, parts[walked])
                                   .bind(3, last ? lpClass : nullptr)
                                   .bind(4, fileTimeNow())
                                   .step();
                if (rc != SQLITE_DONE) {
                    return statusFromSqlite(rc);
                }
                key.id = sqlite3_last_insert_rowid(store.db());
                ++key.depth;
            }
            if (DWORD status = tx.commit()) {
                return status;
            }
        }
        *phkResult = store.newHandle(key);
        if (lpdwDisposition) {
            *lpdwDisposition = disposition;
        }
        return ERROR_SUCCESS;
    });
}

extern "C" LSTATUS WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    return RegCreateKeyExA(hKey, lpSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, phkResult, nullptr);
}

extern "C" LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    return korutil::detail::failOnBadAlloc(LSTATUS(ERROR_NOT_ENOUGH_MEMORY), [&]() -> LSTATUS {
        Store& store = Store::instance();
        std::lock_guard<std::recursive_mutex> guard(store.lock);
        return store.closeHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    });
}

extern "C" LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType,
                                           LPBYTE lpData, LPDWORD lpcbData) {
    if (lpData && !lpcbData) {
        return ERROR_INVALID_PARAMETER;
    }
    return withStore([&](Store& store) -> DWORD {
        CachedValue value;
        if (DWORD status = findValue(store, hKey, lpValueName, value)) {
            return status;
        }
        if (value.status) {
            return value.status;
        }
        if (lpType) {
            *lpType = value.type;
        }
        return copyValueData(value.data.data(), static_cast<DWORD>(value.data.size()), lpData,
                             lpcbData);
    });
}

extern "C" LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType,
                                         const BYTE* lpData, DWORD cbData) {
    if ((!lpData && cbData) || cbData > 0x7FFFFFFFu ||
        (lpValueName && std::strlen(lpValueName) > korutil::detail::kMaxValueName)) {
        return ERROR_INVALID_PARAMETER;
    }
    return withStore([&](Store& store) -> DWORD {
        KeyRef key;
        if (DWORD status = store.keyOf(hKey, key, false)) {
            return status;
        }
        const std::int64_t now = fileTimeNow();
        if (store.valueTimes()) {
            // One statement, one row, one page: the value carries its own time, and the key's
            // presence is part of the statement, which is all or nothing by itself.
            store.wrote();
            Query q("INSERT INTO vals(key, name, type, data, written) "
                    "SELECT ?1, ?2, ?3, ?4, ?5 WHERE EXISTS (SELECT 1 FROM keys WHERE id = ?1) "
                    "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, "
                    "data = excluded.data, written = excluded.written");
            const int rc = q.bind(1, key.id)
                               .bind(2, lpValueName)
                               .bind(3, static_cast<std::int64_t>(dwType))
                               .bindBlob(4, lpData, cbData)
                               .bind(5, now)
                               .step();
            if (rc != SQLITE_DONE) {
                return statusFromSqlite(rc);
            }
            if (sqlite3_changes(store.db()) == 0) {
                const DWORD status = store.verifyKey(key.id);
                return status ? status : DWORD(ERROR_KEY_DELETED);
            }
            return ERROR_SUCCESS;
        }
        Transaction tx;
        if (tx.status()) {
            return tx.status();
        }
        if (DWORD status = store.verifyKey(key.id)) {
            return status;
        }
        int rc;
        {
            Query q("INSERT INTO vals(key, name, type, data) VALUES(?, ?, ?, ?) ON CONFLICT(key, "
                    "name) DO UPDATE SET type = excluded.type, data = excluded.data");
            rc = q.bind(1, key.id)
                     .bind(2, lpValueName)
                     .bind(3, static_cast<std::int64_t>(dwType))
                     .bindBlob(4, lpData, cbData)
                     .step();
            if (rc == SQLITE_DONE) {
                if (DWORD status = touch(key.id)) {
                    return status;
                }
            }
        }
        if (rc != SQLITE_DONE) {
            return statusFromSqlite(rc);
        }
        return tx.commit();
    });
}

extern "C" LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    return withStore([&](Store& store) -> DWORD {
        Transaction tx;
        if (tx.status()) {
            return tx.status();
        }
        KeyRef key;
        if (DWORD status = store.keyOf(hKey, key)) {
            return status;
        }
        Query q("DELETE FROM vals WHERE key = ? AND name = ?");
        const int rc = q.bind(1, key.id).bind(2, lpValueName).step();
        if (rc != SQLITE_DONE) {
            return statusFromSqlite(rc);
        }
        if (sqlite3_changes(store.db()) == 0) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (DWORD status = touch(key.id)) {
            return status;
        }
        return tx.commit();
    });
}

extern "C" LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                                        LPDWORD, LPSTR lpClass, LPDWORD lpcchClass,
                                        PFILETIME lpftLastWriteTime) {
    if (!lpName || !lpcchName || (lpClass && !lpcchClass)) {
        return ERROR_INVALID_PARAMETER;
    }
    return withStore([&](Store& store) -> DWORD {
        EnumRow entry;
        if (DWORD status = enumEntry(store, hKey, dwIndex, false, entry)) {
            return status;
        }
        if (!copyName(entry.name, lpName, *lpcchName)) {
            return ERROR_MORE_DATA;
        }
        *lpcchName = static_cast<DWORD>(entry.name.size());
        if (lpClass) {
            if (!copyName(entry.data, lpClass, *lpcchClass)) {
                return ERROR_MORE_DATA;
            }
            *lpcchClass = static_cast<DWORD>(entry.data.size());
        }
        toFileTime(entry.written, lpftLastWriteTime);
        return ERROR_SUCCESS;
    });
}

extern "C" LSTATUS WINAPI RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) {
    return RegEnumKeyExA(hKey, dwIndex, lpName, &cchName, nullptr, nullptr, nullptr, nullptr);
}

extern "C" LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName,
                                        LPDWORD lpcchValueName, LPDWORD, LPDWORD lpType,
                                        LPBYTE lpData, LPDWORD lpcbData) {
    if (!lpValueName || !lpcchValueName || (lpData && !lpcbData)) {
        return ERROR_INVALID_PARAMETER;
    }
    return withStore([&](Store& store) -> DWORD {
        EnumRow entry;
        if (DWORD status = enumEntry(store, hKey, dwIndex, true, entry)) {
            return status;
        }
        if (!copyName(entry.name, lpValueName, *lpcchValueName)) {
            return ERROR_MORE_DATA;
        }
        *lpcchValueName = static_cast<DWORD>(entry.name.size());
        if (lpType) {
            *lpType = entry.type;
        }
        return copyValueData(entry.data.data(), static_cast<DWORD>(entry.data.size()), lpData,
                             lpcbData);
    });
}

extern "C" LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    if (!lpSubKey) {
        return ERROR_INVALID_PARAMETER;
    }
    return withStore([&](Store& store) -> DWORD {
        std::vector<std::string> parts;
        if (DWORD status = korutil::detail::splitPath(lpSubKey, parts)) {
            return status;
        }
        Transaction tx;
        if (tx.status()) {
            return tx.status();
        }
        KeyRef key;
        std::size_t walked = 0;
        if (DWORD status = store.keyOf(hKey, key)) {
            return status;
        }
        if (DWORD status = walk(key, parts, walked)) {
            return status;
        }
        if (walked != parts.size()) {
            return ERROR_FILE_NOT_FOUND;
        }
        Query parentOf("SELECT parent FROM keys WHERE id = ?");
        int rc = parentOf.bind(1, key.id).step();
        if (rc != SQLITE_ROW) {
            return statusFromSqlite(rc);
        }
        const std::int64_t parent = parentOf.integer(0);
        if (parent == 0) {
            return ERROR_ACCESS_DENIED; // a predefined root
        }
        Query children("SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
        rc = children.bind(1, key.id).step();
        if (rc == SQLITE_ROW) {
            return ERROR_ACCESS_DENIED;
        }
        if (rc != SQLITE_DONE) {
            return statusFromSqlite(rc);
        }
        Query values("DELETE FROM vals WHERE key = ?");
        Query self("DELETE FROM keys WHERE id = ?");
        if ((rc = values.bind(1, key.id).step()) != SQLITE_DONE ||
            (rc = self.bind(1, key.id).step()) != SQLITE_DONE) {
            return statusFromSqlite(rc);
        }
        if (DWORD status = touch(parent)) {
            return status;
        }
        return tx.commit();
    });
}

extern "C" LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD,
                                           LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                                           LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                           LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                           LPDWORD lpcbSecurityDescriptor,
                                           PFILETIME lpftLastWriteTime) {
    if (lpClass && !lpcchClass) {
        return ERROR_INVALID_PARAMETER;
    }
    return withStore([&](Store& store) -> DWORD {
        KeyRef key;
        if (DWORD status = store.keyOf(hKey, key)) {
            return status;
        }
        Query self(store.valueTimes()
                       ? "SELECT class, max(written, ifnull((SELECT max(v.written) FROM vals v "
                         "WHERE v.key = keys.id), 0)) FROM keys WHERE id = ?"
                       : "SELECT class, written FROM keys WHERE id = ?");
        Query keys("SELECT count(*), ifnull(max(length(CAST(name AS BLOB))), 0), "
                   "ifnull(max(length(CAST(class AS BLOB))), 0) FROM keys WHERE parent = ?");
        Query vals("SELECT count(*), ifnull(max(length(CAST(name AS BLOB))), 0), "
                   "ifnull(max(length(data)), 0) FROM vals WHERE key = ?");
        int rc;
        if ((rc = self.bind(1, key.id).step()) != SQLITE_ROW ||
            (rc = keys.bind(1, key.id).step()) != SQLITE_ROW ||
            (rc = vals.bind(1, key.id).step()) != SQLITE_ROW) {
            return statusFromSqlite(rc);
        }
        const std::string cls = self.text(0);
        if (lpClass && !copyName(cls, lpClass, *lpcchClass)) {
            *lpcchClass = static_cast<DWORD>(cls.size());
            return ERROR_MORE_DATA;
        }
        if (lpcchClass) {
            *lpcchClass = static_cast<DWORD>(cls.size());
        }
        const auto out = [](LPDWORD p, std::int64_t v) {
            if (p) {
                *p = static_cast<DWORD>(v);
            }
        };
        out(lpcSubKeys, keys.integer(0));
        out(lpcbMaxSubKeyLen, keys.integer(1));
        out(lpcbMaxClassLen, keys.integer(2));
        out(lpcValues, vals.integer(0));
        out(lpcbMaxValueNameLen, vals.integer(1));
        out(lpcbMaxValueLen, vals.integer(2));
        out(lpcbSecurityDescriptor, 0);
        toFileTime(self.integer(1), lpftLastWriteTime);
        return ERROR_SUCCESS;
    });
}

extern "C" LSTATUS WINAPI RegFlushKey(HKEY hKey) {
    return withStore([&](Store& store) -> DWORD {
        KeyRef key;
        if (DWORD status = store.keyOf(hKey, key)) {
            return status;
        }
        if (!store.inGroup() && !store.readOnly()) {
            sqlite3_wal_checkpoint_v2(store.db(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr,
                                      nullptr);
        }
        return ERROR_SUCCESS;
    });
}

extern "C" void WINAPI PlatRegCloseStore(void) {
    korutil::detail::failOnBadAlloc(0, [] {
        Store& store = Store::instance();
        std::lock_guard<std::recursive_mutex> guard(store.lock);
        if (!store.inGroup()) {
            store.disconnect();
        }
        return 0;
    });
}

extern "C" LSTATUS WINAPI PlatRegBeginGroup(void) {
    return withStore([](Store& store) -> DWORD { return store.beginGroup(); });
}

extern "C" LSTATUS WINAPI PlatRegEndGroup(BOOL commit) {
    return korutil::detail::failOnBadAlloc(LSTATUS(ERROR_NOT_ENOUGH_MEMORY), [&]() -> LSTATUS {
        Store& store = Store::instance();
        std::lock_guard<std::recursive_mutex> guard(store.lock);
        return static_cast<LSTATUS>(store.endGroup(commit != FALSE));
    });
}
