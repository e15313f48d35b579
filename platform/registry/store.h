// The registry's store: one SQLite connection per process, the open key handles, the
// transaction of a group of calls, and the reads that stay true while nothing commits.
// Everything here runs under Store::lock.
#pragma once

#include <korutil/platform/errors.h>
#include <korutil/platform/registry.h>

#include "registry/read_cache.h"

#include <sqlite3.h>
#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

namespace korutil::detail {

// Where a handle points: its key and how many levels below its root that key lies.
struct KeyRef {
    std::int64_t id = 0;
    unsigned depth = 0;
};

class Store {
public:
    std::recursive_mutex lock;

    static Store& instance();

    // Makes sure the connection is open on the file that $KORUTIL_REGISTRY names (again after
    // a fork, a change of the variable, or when that file was deleted or replaced since the
    // last call); a Windows status code.
    DWORD connect();
    // Folds the log into the database file (when this connection may) and closes it.
    void disconnect();

    // The key a handle names. ERROR_INVALID_HANDLE for an unknown handle or one of another
    // store file, ERROR_KEY_DELETED when its key is gone (with the file that held it, too).
    DWORD keyOf(HKEY handle, KeyRef& key, bool verify = true);
    // Whether the handle is a root or one this process opened on the current store file.
    bool knows(HKEY handle) const;
    // ERROR_SUCCESS when the key is still there, ERROR_KEY_DELETED when it is gone.
    DWORD verifyKey(std::int64_t id);
    HKEY newHandle(const KeyRef& key);
    bool closeHandle(HKEY handle);

    sqlite3* db() const { return m_db; }
    bool readOnly() const { return m_readOnly; }
    // Whether values keep their own last-write time (stores made before that keep it on the
    // key alone).
    bool valueTimes() const { return m_valueTimes; }
    // A prepared statement for a literal SQL text, reused across calls.
    sqlite3_stmt* statement(const char* sql);
    // Runs a statement without results; a SQLite result code.
    int exec(const char* sql);

    // A failed statement: when SQLite rolled back the open group's transaction because of
    // it, the rest of the group fails with its status instead of running on its own.
    void noteFailure(int rc);

    // The calls between begin and end run as one transaction; groups nest.
    DWORD beginGroup();
    DWORD endGroup(bool commit);
    bool inGroup() const { return m_groupDepth > 0; }
    // The status every call of a broken group gives; 0 outside groups and in sound ones.
    DWORD groupStatus() const { return m_groupStatus; }

    // Called when this process changes the store: cached reads are dropped.
    void wrote() { m_cache.clear(); }
    // The cache, checked against the store's current change token; null when reads of the
    // moment cannot be cached (the log's index is not mapped, or a writer is mid-commit).
    ReadCache* cache();
    // Whether nothing has been committed since cache() was asked: a read made in between
    // may then be kept.
    bool unchangedSinceCache() const;

private:
    struct OpenKey {
        KeyRef key;
        unsigned pathGeneration;
        unsigned storeGeneration;
    };
    struct FileId {
        dev_t dev = 0;
        ino_t ino = 0;
        bool present = false;
    };

    const std::string& wantedPath();
    bool sameFileAtPath();
    bool nameStillOurs() const;
    DWORD open();
    int layOut();
    int createSchema();
    int readRoots();
    void noteIdentity();
    void close(bool fold);
    void retire();
    void abandon();
    bool readToken(ChangeToken& token) const;

    sqlite3* m_db = nullptr;
    std::string m_path;
    std::string m_wanted;
    unsigned m_pathGeneration = 0;
    unsigned m_storeGeneration = 0;
    // Pins the file the handles belong to, so that its inode cannot name another file later.
    int m_identityFd = -1;
    // The directory the file was found in, and its name there.
    int m_dirFd = -1;
    std::string m_name;
    std::int64_t m_nameChecked = 0;
    FileId m_file;
    FileId m_log;
    FileId m_index;
    struct timespec m_fileTime {};
    off_t m_fileSize = 0;
    bool m_readOnly = false;
    bool m_valueTimes = true;
    const volatile unsigned char* m_shm = nullptr;
    std::int64_t m_roots[6] = {};
    std::unordered_map<const char*, sqlite3_stmt*> m_statements;
    std::unordered_map<std::uintptr_t, OpenKey> m_handles;
    std::uintptr_t m_next = 0x10000;
    unsigned m_groupDepth = 0;
    DWORD m_groupStatus = ERROR_SUCCESS;
    ReadCache m_cache;
    ChangeToken m_cacheToken;

    friend void forkChild();
};

// A SQLite result as a Windows status code.
DWORD statusFromSqlite(int rc);

// Binds, steps and resets one statement; resets and clears its bindings on every path.
class Query {
public:
    explicit Query(const char* sql);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    Query& bind(int index, std::int64_t value);
    Query& bind(int index, const std::string& text);
    Query& bind(int index, const char* text);
    Query& bindBlob(int index, const void* data, std::size_t size);
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step();

    std::int64_t integer(int column) const;
    std::string text(int column) const;
    const void* blob(int column) const;
    std::size_t bytes(int column) const;

private:
    sqlite3_stmt* m_stmt;
};

// The changes of one call, all or nothing: a transaction of its own, or a savepoint inside
// the open group's transaction. Rolled back unless committed.
class Transaction {
public:
    Transaction();
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    DWORD status() const { return m_status; }
    DWORD commit();

private:
    DWORD m_status;
    bool m_open = false;
    bool m_nested = false;
};

// Now as a FILETIME count: 100-nanosecond steps since 1601.
std::int64_t fileTimeNow();

} // namespace korutil::detail
