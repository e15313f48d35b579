#include "registry/store.h"

#include <pthread.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace korutil::detail {
namespace {

const char* const kRootNames[6] = {
    "HKEY_CLASSES_ROOT",  "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS", nullptr,
    "HKEY_CURRENT_CONFIG"};

// The slot of a predefined root in kRootNames, or -1. Accepts the root values with and
// without the sign extension of 64-bit Windows.
int rootSlot(HKEY handle) {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    const std::uintptr_t high = value >> 32;
    if (high != 0 && high != 0xFFFFFFFFu) {
        return -1;
    }
    const auto low = static_cast<std::uint32_t>(value);
    if (low < 0x80000000u || low > 0x80000005u || !kRootNames[low - 0x80000000u]) {
        return -1;
    }
    return static_cast<int>(low - 0x80000000u);
}

std::string defaultPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = getpwuid(getuid());
            home = pw ? pw->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.config";
    }
    return base + "/korutil/registry.sqlite";
}

void makeParents(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0700); // existing directories are fine
    }
}

const char* const kSchema = "CREATE TABLE IF NOT EXISTS keys("
                            " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                            " parent INTEGER NOT NULL,"
                            " name TEXT NOT NULL COLLATE NOCASE,"
                            " class TEXT NOT NULL DEFAULT '',"
                            " written INTEGER NOT NULL DEFAULT 0,"
                            " UNIQUE(parent, name));"
                            "CREATE TABLE IF NOT EXISTS vals("
                            " key INTEGER NOT NULL,"
                            " name TEXT NOT NULL COLLATE NOCASE,"
                            " type INTEGER NOT NULL,"
                            " data BLOB NOT NULL,"
                            " PRIMARY KEY(key, name)) WITHOUT ROWID;";

} // namespace

Store& Store::instance() {
    static Store* store = [] {
        auto* created = new Store; // outlives every static destructor
        // A connection must not cross a fork: SQLite's per-process lock records would claim,
        // in the child, locks that only the parent holds. The parent closes it before the
        // fork and opens it again on its next call.
        pthread_atfork(
            [] {
                std::lock_guard<std::recursive_mutex> guard(instance().lock);
                instance().disconnect();
            },
            nullptr, nullptr);
        return created;
    }();
    return *store;
}

DWORD statusFromSqlite(int rc) {
    switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return ERROR_SUCCESS;
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ERROR_CANTOPEN;
    case SQLITE_READONLY:
    case SQLITE_FULL:
        return ERROR_CANTWRITE;
    case SQLITE_IOERR:
        return ERROR_CANTREAD;
    case SQLITE_NOMEM:
        return ERROR_OUTOFMEMORY;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_LOCK_VIOLATION;
    default:
        return ERROR_BADDB;
    }
}

std::int64_t fileTimeNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return 116444736000000000LL + static_cast<std::int64_t>(ts.tv_sec) * 10000000LL +
           ts.tv_nsec / 100;
}

void Store::abandon() {
    // A connection inherited across fork belongs to the parent: it is dropped unused.
    m_db = nullptr;
    m_statements.clear();
}

void Store::disconnect() {
    if (m_db && m_pid == static_cast<long>(getpid())) {
        for (auto& entry : m_statements) {
            sqlite3_finalize(entry.second);
        }
        m_statements.clear();
        sqlite3_close_v2(m_db);
    }
    abandon();
}

DWORD Store::layOut() {
    char* message = nullptr;
    // WAL lets readers go on while a writer commits; NORMAL syncing keeps it durable for
    // application crashes at a fraction of the cost.
    int rc = sqlite3_exec(m_db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr,
                          nullptr, &message);
    sqlite3_free(message);
    if (rc != SQLITE_OK && (rc & 0xFF) != SQLITE_BUSY && (rc & 0xFF) != SQLITE_READONLY) {
        return statusFromSqlite(rc);
    }
    {
        Query present("SELECT count(*) FROM sqlite_master WHERE name IN ('keys','vals')");
        rc = present.step();
        if (rc != SQLITE_ROW) {
            return statusFromSqlite(rc);
        }
        if (present.integer(0) != 2) {
            rc = SQLITE_DONE;
        }
    }
    if (rc == SQLITE_DONE) {
        Transaction tx;
        if (tx.status() != ERROR_SUCCESS) {
            return tx.status();
        }
        rc = sqlite3_exec(m_db, kSchema, nullptr, nullptr, &message);
        sqlite3_free(message);
        if (rc != SQLITE_OK) {
            return statusFromSqlite(rc);
        }
        for (const char* name : kRootNames) {
            if (name) {
                Query insert("INSERT OR IGNORE INTO keys(parent, name, written) VALUES(0, ?, ?)");
                rc = insert.bind(1, std::string(name)).bind(2, fileTimeNow()).step();
                if (rc != SQLITE_DONE) {
                    return statusFromSqlite(rc);
                }
            }
        }
        if (DWORD status = tx.commit()) {
            return status;
        }
    }
    for (int slot = 0; slot < 6; ++slot) {
        m_roots[slot] = 0;
        if (kRootNames[slot]) {
            Query root("SELECT id FROM keys WHERE parent = 0 AND name = ?");
            rc = root.bind(1, std::string(kRootNames[slot])).step();
            if (rc != SQLITE_ROW) {
                return rc == SQLITE_DONE ? ERROR_BADDB : statusFromSqlite(rc);
            }
            m_roots[slot] = root.integer(0);
        }
    }
    return ERROR_SUCCESS;
}

DWORD Store::connect() {
    const char* env = std::getenv("KORUTIL_REGISTRY");
    const std::string wanted = env && *env ? std::string(env) : defaultPath();
    const long pid = static_cast<long>(getpid());
    if (m_db && m_pid != pid) {
        abandon();
    }
    if (m_db && wanted == m_path) {
        return ERROR_SUCCESS;
    }
    disconnect();
    if (wanted != m_path) {
        ++m_generation; // handles of the previous file name nothing in this one
        m_path = wanted;
    }
    makeParents(m_path);
    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(m_path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        return statusFromSqlite(rc);
    }
    sqlite3_busy_timeout(db, 30000);
    m_db = db;
    m_pid = pid;
    if (DWORD status = layOut()) {
        disconnect();
        return status;
    }
    return ERROR_SUCCESS;
}

sqlite3_stmt* Store::statement(const char* sql) {
    auto it = m_statements.find(sql);
    if (it != m_statements.end()) {
        return it->second;
    }
    sqlite3_stmt* stmt = nullptr;
    if (!m_db ||
        sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    m_statements.emplace(sql, stmt);
    return stmt;
}

DWORD Store::keyOf(HKEY handle, std::int64_t& id, bool verify) {
    const int slot = rootSlot(handle);
    if (slot >= 0) {
        id = m_roots[slot];
        return ERROR_SUCCESS;
    }
    auto it = m_handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == m_handles.end() || it->second.generation != m_generation) {
        return ERROR_INVALID_HANDLE;
    }
    id = it->second.id;
    return verify ? verifyKey(id) : ERROR_SUCCESS;
}

DWORD Store::verifyKey(std::int64_t id) {
    Query exists("SELECT 1 FROM keys WHERE id = ?");
    const int rc = exists.bind(1, id).step();
    if (rc == SQLITE_DONE) {
        return ERROR_KEY_DELETED;
    }
    return rc == SQLITE_ROW ? ERROR_SUCCESS : statusFromSqlite(rc);
}

HKEY Store::newHandle(std::int64_t id) {
    const std::uintptr_t value = m_next;
    m_next += 4;
    m_handles.emplace(value, OpenKey{id, m_generation});
    return reinterpret_cast<HKEY>(value);
}

bool Store::closeHandle(HKEY handle) {
    if (rootSlot(handle) >= 0) {
        return true;
    }
    return m_handles.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0;
}

Query::Query(const char* sql) : m_stmt(Store::instance().statement(sql)) {}

Query::~Query() {
    if (m_stmt) {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
}

Query& Query::bind(int index, std::int64_t value) {
    if (m_stmt) {
        sqlite3_bind_int64(m_stmt, index, value);
    }
    return *this;
}

Query& Query::bind(int index, const std::string& text) {
    if (m_stmt) {
        sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    return *this;
}

Query& Query::bindBlob(int index, const void* data, std::size_t size) {
    if (m_stmt) {
        if (size == 0) {
            sqlite3_bind_zeroblob(m_stmt, index, 0);
        } else {
            sqlite3_bind_blob(m_stmt, index, data, static_cast<int>(size), SQLITE_TRANSIENT);
        }
    }
    return *this;
}

int Query::step() {
    if (!m_stmt) {
        // The statement could not be prepared: report why (a damaged file, say).
        sqlite3* db = Store::instance().db();
        const int rc = db ? sqlite3_errcode(db) : SQLITE_CANTOPEN;
        return rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_ERROR : rc;
    }
    return sqlite3_step(m_stmt);
}

std::int64_t Query::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

std::string Query::text(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
             : std::string();
}

const void* Query::blob(int column) const {
    return sqlite3_column_blob(m_stmt, column);
}

std::size_t Query::bytes(int column) const {
    return static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column));
}

Transaction::Transaction() {
    const int rc =
        sqlite3_exec(Store::instance().db(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    m_status = statusFromSqlite(rc);
    m_open = rc == SQLITE_OK;
}

Transaction::~Transaction() {
    if (m_open) {
        sqlite3_exec(Store::instance().db(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

DWORD Transaction::commit() {
    const int rc = sqlite3_exec(Store::instance().db(), "COMMIT", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
        m_open = false;
    }
    return statusFromSqlite(rc);
}

} // namespace korutil::detail
