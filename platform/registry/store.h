// The registry's store: one SQLite connection per process, the open key handles, and the
// few statements the calls are made of. Everything here runs under Store::lock.
#pragma once

#include <korutil/platform/errors.h>
#include <korutil/platform/registry.h>

#include <sqlite3.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

namespace korutil::detail {

class Store {
public:
    std::recursive_mutex lock;

    static Store& instance();

    // Opens (or re-opens, when $KORUTIL_REGISTRY changed or after a fork) the database and
    // lays out its tables; a Windows status code.
    DWORD connect();
    void disconnect();

    // The key a handle names. ERROR_INVALID_HANDLE for an unknown handle or one from another
    // store file, ERROR_KEY_DELETED when its key is gone.
    DWORD keyOf(HKEY handle, std::int64_t& id, bool verify = true);
    // ERROR_SUCCESS when the key is still there, ERROR_KEY_DELETED when it is gone.
    DWORD verifyKey(std::int64_t id);
    HKEY newHandle(std::int64_t id);
    bool closeHandle(HKEY handle);

    sqlite3* db() const { return m_db; }
    // A prepared statement for a literal SQL text, reused across calls.
    sqlite3_stmt* statement(const char* sql);

private:
    struct OpenKey {
        std::int64_t id;
        unsigned generation;
    };
    void abandon();
    DWORD layOut();

    sqlite3* m_db = nullptr;
    std::string m_path;
    long m_pid = 0;
    unsigned m_generation = 0;
    std::int64_t m_roots[6] = {};
    std::unordered_map<const char*, sqlite3_stmt*> m_statements;
    std::unordered_map<std::uintptr_t, OpenKey> m_handles;
    std::uintptr_t m_next = 0x10000;
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

    bool ok() const { return m_stmt != nullptr; }
    Query& bind(int index, std::int64_t value);
    Query& bind(int index, const std::string& text);
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

// BEGIN IMMEDIATE ... COMMIT, rolled back unless committed.
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
};

// Now as a FILETIME count: 100-nanosecond steps since 1601.
std::int64_t fileTimeNow();

} // namespace korutil::detail
