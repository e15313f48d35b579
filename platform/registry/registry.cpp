#include "kernel/no_throw.h"
#include "registry/store.h"

#include <cstring>
#include <vector>

using korutil::detail::fileTimeNow;
using korutil::detail::Query;
using korutil::detail::statusFromSqlite;
using korutil::detail::Store;
using korutil::detail::Transaction;

namespace {

constexpr std::size_t kMaxKeyName = 255;

// Runs one registry call under the store's lock with the store connected.
template <class F> LSTATUS withStore(F body) {
    Store& store = Store::instance();
    std::lock_guard<std::recursive_mutex> guard(store.lock);
    if (DWORD status = store.connect()) {
        return static_cast<LSTATUS>(status);
    }
    return static_cast<LSTATUS>(
        korutil::detail::failOnBadAlloc(DWORD(ERROR_OUTOFMEMORY), [&] { return body(store); }));
}

// A key path split at its backslashes. A trailing backslash is allowed; a leading one or an
// empty name in the middle is not.
DWORD splitPath(const char* path, std::vector<std::string>& parts) {
    parts.clear();
    if (!path || !*path) {
        return ERROR_SUCCESS;
    }
    if (path[0] == '\\') {
        return ERROR_BAD_PATHNAME;
    }
    std::string part;
    for (const char* p = path;; ++p) {
        if (*p == '\\' || *p == '\0') {
            if (part.empty()) {
                return *p == '\0' ? ERROR_SUCCESS : ERROR_BAD_PATHNAME;
            }
            parts.push_back(std::move(part));
            part.clear();
            if (*p == '\0' || p[1] == '\0') {
                return ERROR_SUCCESS;
            }
        } else {
            part += *p;
        }
    }
}

// The child key of that name, 0 when there is none; a status on a store failure.
DWORD findChild(std::int64_t parent, const std::string& name, std::int64_t& child) {
    Query q("SELECT id FROM keys WHERE parent = ? AND name = ?");
    const int rc = q.bind(1, parent).bind(2, name).step();
    child = rc == SQLITE_ROW ? q.integer(0) : 0;
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? ERROR_SUCCESS : statusFromSqlite(rc);
}

// Follows existing keys down the path; `walked` tells how many parts exist.
DWORD walk(std::int64_t& id, const std::vector<std::string>& parts, std::size_t& walked) {
    for (walked = 0; walked < parts.size(); ++walked) {
        std::int64_t child = 0;
        if (DWORD status = findChild(id, parts[walked], child)) {
            return status;
        }
        if (!child) {
            return ERROR_SUCCESS;
        }
        id = child;
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
        std::int64_t id = 0;
        std::vector<std::string> parts;
        std::size_t walked = 0;
        if (DWORD status = store.keyOf(hKey, id)) {
            return status;
        }
        if (DWORD status = splitPath(lpSubKey, parts)) {
            return status;
        }
        if (DWORD status = walk(id, parts, walked)) {
            return status;
        }
        if (walked != parts.size()) {
            return ERROR_FILE_NOT_FOUND;
        }
        *phkResult = store.newHandle(id);
        return ERROR_SUCCESS;
    });
}

struct KeyEntry {
    std::string name;
    std::string cls;
    std::int64_t written = 0;
};

DWORD enumKey(HKEY hKey, DWORD index, KeyEntry& entry) {
    return withStore([&](Store& store) -> DWORD {
        std::int64_t id = 0;
        if (DWORD status = store.keyOf(hKey, id, false)) {
            return status;
        }
        Query q("SELECT name, class, written FROM keys WHERE parent = ? ORDER BY name "
                "LIMIT 1 OFFSET ?");
        const int rc = q.bind(1, id).bind(2, static_cast<std::int64_t>(index)).step();
        if (rc == SQLITE_DONE) {
            const DWORD status = store.verifyKey(id);
            return status ? status : ERROR_NO_MORE_ITEMS;
        }
        if (rc != SQLITE_ROW) {
            return statusFromSqlite(rc);
        }
        entry.name = q.text(0);
        entry.cls = q.text(1);
        entry.written = q.integer(2);
        return ERROR_SUCCESS;
    });
}

} // namespace

extern "C" LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM,
                                        PHKEY phkResult) {
    return openKey(hKey, lpSubKey, phkResult);
}

extern "C" LSTATUS WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    if (phkResult && (!lpSubKey || !*lpSubKey) &&
        (hKey == HKEY_CLASSES_ROOT || hKey == HKEY_CURRENT_USER || hKey == HKEY_LOCAL_MACHINE ||
         hKey == HKEY_USERS || hKey == HKEY_CURRENT_CONFIG)) {
        *phkResult = hKey;
        return ERROR_SUCCESS;
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
    return withStore([&](Store& store) -> DWORD {
        std::vector<std::string> parts;
        if (DWORD status = splitPath(lpSubKey, parts)) {
            return status;
        }
        for (const std::string& part : parts) {
            if (part.size() > kMaxKeyName) {
                return ERROR_INVALID_PARAMETER;
            }
        }
        // Most calls find the key in place; only a missing one costs a write transaction.
        std::int64_t id = 0;
        std::size_t walked = 0;
        if (DWORD status = store.keyOf(hKey, id)) {
            return status;
        }
        if (DWORD status = walk(id, parts, walked)) {
            return status;
        }
        DWORD disposition = REG_OPENED_EXISTING_KEY;
        if (walked != parts.size()) {
            Transaction tx;
            if (tx.status()) {
                return tx.status();
            }
            if (DWORD status = store.keyOf(hKey, id)) {
                return status;
            }
            if (DWORD status = walk(id, parts, walked)) {
                return status;
            }
            if (walked != parts.size()) {
                disposition = REG_CREATED_NEW_KEY;
                if (DWORD status = touch(id)) {
                    return status;
                }
            }
            for (; walked < parts.size(); ++walked) {
                const bool last = walked + 1 == parts.size();
                Query insert("INSERT INTO keys(parent, name, class, written) VALUES(?, ?, ?, ?)");
                const int rc = insert.bind(1, id)
                                   .bind(2, parts[walked])
                                   .bind(3, std::string(last && lpClass ? lpClass : ""))
                                   .bind(4, fileTimeNow())
                                   .step();
                if (rc != SQLITE_DONE) {
                    return statusFromSqlite(rc);
                }
                id = sqlite3_last_insert_rowid(store.db());
            }
            if (DWORD status = tx.commit()) {
                return status;
            }
        }
        *phkResult = store.newHandle(id);
        if (lpdwDisposition) {
            *lpdwDisposition = disposition;
        }
        return ERROR_SUCCESS;
    });
}

extern "C" LSTATUS WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    if (!lpSubKey || !*lpSubKey) {
        return RegOpenKeyA(hKey, lpSubKey, phkResult);
    }
    return RegCreateKeyExA(hKey, lpSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, phkResult, nullptr);
}

extern "C" LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    Store& store = Store::instance();
    std::lock_guard<std::recursive_mutex> guard(store.lock);
    return store.closeHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

extern "C" LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType,
                                           LPBYTE lpData, LPDWORD lpcbData) {
    if (lpData && !lpcbData) {
        return ERROR_INVALID_PARAMETER;
    }
    return withStore([&](Store& store) -> DWORD {
        // A value found proves its key is there; only a miss needs to ask.
        std::int64_t id = 0;
        if (DWORD status = store.keyOf(hKey, id, false)) {
            return status;
        }
        Query q("SELECT type, data FROM vals WHERE key = ? AND name = ?");
        const int rc = q.bind(1, id).bind(2, std::string(lpValueName ? lpValueName : "")).step();
        if (rc == SQLITE_DONE) {
            const DWORD status = store.verifyKey(id);
            return status ? status : ERROR_FILE_NOT_FOUND;
        }
        if (rc != SQLITE_ROW) {
            return statusFromSqlite(rc);
        }
        if (lpType) {
            *lpType = static_cast<DWORD>(q.integer(0));
        }
        return copyValueData(q.blob(1), static_cast<DWORD>(q.bytes(1)), lpData, lpcbData);
    });
}

extern "C" LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType,
                                         const BYTE* lpData, DWORD cbData) {
    if ((!lpData && cbData) || cbData > 0x7FFFFFFFu) {
        return ERROR_INVALID_PARAMETER;
    }
    return withStore([&](Store& store) -> DWORD {
        Transaction tx;
        if (tx.status()) {
            return tx.status();
        }
        std::int64_t id = 0;
        if (DWORD status = store.keyOf(hKey, id)) {
            return status;
        }
        Query q("INSERT INTO vals(key, name, type, data) VALUES(?, ?, ?, ?) "
                "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
        const int rc = q.bind(1, id)
                           .bind(2, std::string(lpValueName ? lpValueName : ""))
                           .bind(3, static_cast<std::int64_t>(dwType))
                           .bindBlob(4, lpData, cbData)
                           .step();
        if (rc != SQLITE_DONE) {
            return statusFromSqlite(rc);
        }
        if (DWORD status = touch(id)) {
            return status;
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
        std::int64_t id = 0;
        if (DWORD status = store.keyOf(hKey, id)) {
            return status;
        }
        Query q("DELETE FROM vals WHERE key = ? AND name = ?");
        const int rc = q.bind(1, id).bind(2, std::string(lpValueName ? lpValueName : "")).step();
        if (rc != SQLITE_DONE) {
            return statusFromSqlite(rc);
        }
        if (sqlite3_changes(store.db()) == 0) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (DWORD status = touch(id)) {
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
    KeyEntry entry;
    if (LSTATUS status = enumKey(hKey, dwIndex, entry)) {
        return status;
    }
    if (!copyName(entry.name, lpName, *lpcchName)) {
        return ERROR_MORE_DATA;
    }
    *lpcchName = static_cast<DWORD>(entry.name.size());
    if (lpClass) {
        if (!copyName(entry.cls, lpClass, *lpcchClass)) {
            return ERROR_MORE_DATA;
        }
        *lpcchClass = static_cast<DWORD>(entry.cls.size());
    }
    toFileTime(entry.written, lpftLastWriteTime);
    return ERROR_SUCCESS;
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
        std::int64_t id = 0;
        if (DWORD status = store.keyOf(hKey, id, false)) {
            return status;
        }
        Query q("SELECT name, type, data FROM vals WHERE key = ? ORDER BY name LIMIT 1 OFFSET ?");
        const int rc = q.bind(1, id).bind(2, static_cast<std::int64_t>(dwIndex)).step();
        if (rc == SQLITE_DONE) {
            const DWORD status = store.verifyKey(id);
            return status ? status : ERROR_NO_MORE_ITEMS;
        }
        if (rc != SQLITE_ROW) {
            return statusFromSqlite(rc);
        }
        const std::string name = q.text(0);
        if (!copyName(name, lpValueName, *lpcchValueName)) {
            return ERROR_MORE_DATA;
        }
        *lpcchValueName = static_cast<DWORD>(name.size());
        if (lpType) {
            *lpType = static_cast<DWORD>(q.integer(1));
        }
        return copyValueData(q.blob(2), static_cast<DWORD>(q.bytes(2)), lpData, lpcbData);
    });
}

extern "C" LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    if (!lpSubKey) {
        return ERROR_INVALID_PARAMETER;
    }
    return withStore([&](Store& store) -> DWORD {
        std::vector<std::string> parts;
        if (DWORD status = splitPath(lpSubKey, parts)) {
            return status;
        }
        Transaction tx;
        if (tx.status()) {
            return tx.status();
        }
        std::int64_t id = 0;
        std::size_t walked = 0;
        if (DWORD status = store.keyOf(hKey, id)) {
            return status;
        }
        if (DWORD status = walk(id, parts, walked)) {
            return status;
        }
        if (walked != parts.size()) {
            return ERROR_FILE_NOT_FOUND;
        }
        Query parentOf("SELECT parent FROM keys WHERE id = ?");
        int rc = parentOf.bind(1, id).step();
        if (rc != SQLITE_ROW) {
            return statusFromSqlite(rc);
        }
        const std::int64_t parent = parentOf.integer(0);
        if (parent == 0) {
            return ERROR_ACCESS_DENIED; // a predefined root
        }
        Query children("SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
        rc = children.bind(1, id).step();
        if (rc == SQLITE_ROW) {
            return ERROR_ACCESS_DENIED;
        }
        if (rc != SQLITE_DONE) {
            return statusFromSqlite(rc);
        }
        Query values("DELETE FROM vals WHERE key = ?");
        Query key("DELETE FROM keys WHERE id = ?");
        if ((rc = values.bind(1, id).step()) != SQLITE_DONE ||
            (rc = key.bind(1, id).step()) != SQLITE_DONE) {
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
        std::int64_t id = 0;
        if (DWORD status = store.keyOf(hKey, id)) {
            return status;
        }
        Query self("SELECT class, written FROM keys WHERE id = ?");
        Query keys("SELECT count(*), ifnull(max(length(CAST(name AS BLOB))), 0), "
                   "ifnull(max(length(CAST(class AS BLOB))), 0) FROM keys WHERE parent = ?");
        Query vals("SELECT count(*), ifnull(max(length(CAST(name AS BLOB))), 0), "
                   "ifnull(max(length(data)), 0) FROM vals WHERE key = ?");
        int rc;
        if ((rc = self.bind(1, id).step()) != SQLITE_ROW ||
            (rc = keys.bind(1, id).step()) != SQLITE_ROW ||
            (rc = vals.bind(1, id).step()) != SQLITE_ROW) {
            return statusFromSqlite(rc);
        }
        const std::string cls = self.text(0);
        if (lpClass) {
            if (!copyName(cls, lpClass, *lpcchClass)) {
                *lpcchClass = static_cast<DWORD>(cls.size());
                return ERROR_MORE_DATA;
            }
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
        std::int64_t id = 0;
        if (DWORD status = store.keyOf(hKey, id)) {
            return status;
        }
        sqlite3_wal_checkpoint_v2(store.db(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        return ERROR_SUCCESS;
    });
}

extern "C" void WINAPI PlatRegCloseStore(void) {
    Store& store = Store::instance();
    std::lock_guard<std::recursive_mutex> guard(store.lock);
    store.disconnect();
}
