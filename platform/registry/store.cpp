#include "registry/store.h"

#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <new>

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

// A file name as a SQLite URI path: everything but unreserved characters and '/' escaped.
std::string uriPath(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

// Version 1 keeps a last-write time on every value, so that setting one changes a single
// page of the database; a key's time is the latest of its own and its values'.
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
                            " written INTEGER NOT NULL DEFAULT 0,"
                            " PRIMARY KEY(key, name)) WITHOUT ROWID;";

bool readOnlyFailure(int rc) {
    const int primary = rc & 0xFF;
    return primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN || primary == SQLITE_PERM;
}

} // namespace

void forkChild() {
    // The connection and its locks belong to the parent; the child opens its own.
    Store& store = Store::instance();
    store.abandon();
    store.m_groupDepth = 0;
    store.m_groupStatus = ERROR_SUCCESS;
    // The lock belongs to the forking thread, which has another id in the child: a fresh one
    // serves the child's only thread.
    new (&store.lock) std::recursive_mutex;
}

Store& Store::instance() {
    static Store* store = [] {
        auto* created = new Store; // outlives every static destructor
        // A connection must not cross a fork: SQLite's per-process lock records would claim,
        // in the child, locks that only the parent holds. The parent closes it before the
        // fork (unless a group of its own keeps it) and opens it again on its next call.
        pthread_atfork(
            [] {
                Store& s = instance();
                s.lock.lock();
                if (!s.inGroup()) {
                    s.disconnect();
                }
            },
            [] { instance().lock.unlock(); }, forkChild);
        // What this process wrote reaches the database file when it ends, so that the file
        // alone holds the registry once no process uses it.
        std::atexit([] {
            Store& s = instance();
            std::lock_guard<std::recursive_mutex> guard(s.lock);
            if (!s.inGroup()) {
                s.disconnect();
            }
        });
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
        return ERROR_ACCESS_DENIED;
    case SQLITE_FULL:
        return ERROR_CANTWRITE;
    case SQLITE_IOERR:
        return rc == SQLITE_IOERR_READ || rc == SQLITE_IOERR_SHORT_READ ? ERROR_CANTREAD
                                                                        : ERROR_CANTWRITE;
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
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

const std::string& Store::wantedPath() {
    const char* env = std::getenv("KORUTIL_REGISTRY");
    if (env && *env) {
        if (m_wanted != env) {
            m_wanted = env;
        }
    } else {
        m_wanted = defaultPath();
    }
    return m_wanted;
}

// Whether the path still names the file this connection has open, unchanged where the
// connection cannot see changes by itself (a read-only store). The file's own link count
// tells at once when it was deleted or replaced by a rename over it; the name itself is
// looked up again (which costs more than the rest of a read) at most every 50 ms.
bool Store::sameFileAtPath() {
    struct stat st {};
    if (m_identityFd < 0 || fstat(m_identityFd, &st) != 0 || st.st_nlink == 0) {
        return false;
    }
    if (m_readOnly && (st.st_size != m_fileSize || st.st_mtim.tv_sec != m_fileTime.tv_sec ||
                       st.st_mtim.tv_nsec != m_fileTime.tv_nsec)) {
        return false;
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::int64_t ms = static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    if (ms - m_nameChecked < 50 && ms >= m_nameChecked) {
        return true;
    }
    m_nameChecked = ms;
    return nameStillOurs();
}

// Looked up in the directory the file was opened in: one name to resolve, not the path.
bool Store::nameStillOurs() const {
    struct stat st {};
    const int found =
        m_dirFd >= 0 ? fstatat(m_dirFd, m_name.c_str(), &st, 0) : stat(m_path.c_str(), &st);
    return found == 0 && st.st_dev == m_file.dev && st.st_ino == m_file.ino;
}

void Store::abandon() {
    m_db = nullptr;
    m_statements.clear();
    m_shm = nullptr;
    m_cache.clear();
    m_cacheToken.valid = false;
}

void Store::close(bool fold) {
    if (!m_db) {
        return;
    }
    if (!fold) {
        // The log and index beside the path are not (or no longer) this file's: folding them
        // in or deleting them by name would damage whatever store is there now.
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    } else if (!m_readOnly) {
        // Other processes may keep the log alive; what can be folded in now is.
        sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    }
    for (auto& entry : m_statements) {
        sqlite3_finalize(entry.second);
    }
    sqlite3_close_v2(m_db);
    abandon();
}

void Store::disconnect() {
    if (m_db && sameFileAtPath()) {
        close(true);
    } else if (m_db) {
        retire();
    }
}

// The file at the path was deleted or replaced: the connection, its handles and the log and
// index it left under the path's names go.
void Store::retire() {
    close(false);
    for (const auto& [name, id] :
         {std::pair<std::string, FileId>{m_path + "-wal", m_log}, {m_path + "-shm", m_index}}) {
        struct stat st {};
        if (id.present && stat(name.c_str(), &st) == 0 && st.st_dev == id.dev &&
            st.st_ino == id.ino) {
            unlink(name.c_str());
        }
    }
    ++m_storeGeneration;
    if (m_identityFd >= 0) {
        ::close(m_identityFd);
        m_identityFd = -1;
    }
}

void Store::noteIdentity() {
    const auto idOf = [](const std::string& name, struct stat& st) {
        FileId id;
        if (stat(name.c_str(), &st) == 0) {
            id = FileId{st.st_dev, st.st_ino, true};
        }
        return id;
    };
    struct stat st {};
    m_file = idOf(m_path, st);
    m_fileTime = st.st_mtim;
    m_fileSize = st.st_size;
    if (m_identityFd >= 0) {
        struct stat pinned {};
        if (fstat(m_identityFd, &pinned) != 0 || pinned.st_dev != m_file.dev ||
            pinned.st_ino != m_file.ino) {
            ++m_storeGeneration; // another file than the one the handles were opened on
            ::close(m_identityFd);
            m_identityFd = -1;
        }
    }
    if (m_identityFd < 0) {
        m_identityFd = ::open(m_path.c_str(), O_PATH | O_CLOEXEC);
    }
    if (m_dirFd < 0) {
        const std::size_t slash = m_path.rfind('/');
        m_name = slash == std::string::npos ? m_path : m_path.substr(slash + 1);
        const std::string dir = slash == std::string::npos ? "." : m_path.substr(0, slash + 1);
        m_dirFd = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    struct stat other {};
    m_log = idOf(m_path + "-wal", other);
    m_index = idOf(m_path + "-shm", other);
}

int Store::readRoots() {
    for (int slot = 0; slot < 6; ++slot) {
        m_roots[slot] = 0;
        if (kRootNames[slot]) {
            Query root("SELECT id FROM keys WHERE parent = 0 AND name = ?");
            const int rc = root.bind(1, kRootNames[slot]).step();
            if (rc != SQLITE_ROW) {
                return rc == SQLITE_DONE ? SQLITE_CORRUPT : rc;
            }
            m_roots[slot] = root.integer(0);
        }
    }
    return SQLITE_OK;
}

int Store::createSchema() {
    int rc = sqlite3_exec(m_db, kSchema, nullptr, nullptr, nullptr);
    for (const char* name : kRootNames) {
        if (name && rc == SQLITE_OK) {
            Query insert("INSERT OR IGNORE INTO keys(parent, name, written) VALUES(0, ?, ?)");
            rc = insert.bind(1, name).bind(2, fileTimeNow()).step();
            rc = rc == SQLITE_DONE ? SQLITE_OK : rc;
        }
    }
    return rc;
}

// Sets the store up for use: the log, the tables and the roots; a SQLite result code.
int Store::layOut() {
    int rc = SQLITE_OK;
    if (!m_readOnly) {
        // WAL lets readers go on while a writer commits; NORMAL syncing keeps it durable for
        // application crashes at a fraction of the cost.
        exec("PRAGMA page_size=1024");
        rc = exec("PRAGMA journal_mode=WAL");
        if (rc != SQLITE_OK && (rc & 0xFF) != SQLITE_BUSY) {
            return rc;
        }
        exec("PRAGMA synchronous=NORMAL");
        exec("PRAGMA wal_autocheckpoint=4000");
    }
    const auto tables = [&](int& count) {
        Query present("SELECT count(*) FROM sqlite_master WHERE name IN ('keys','vals')");
        const int result = present.step();
        count = static_cast<int>(present.integer(0));
        return result == SQLITE_ROW ? SQLITE_OK : result;
    };
    const auto hasValueTimes = [&] {
        Query column("SELECT count(*) FROM pragma_table_info('vals') WHERE name = 'written'");
        return column.step() == SQLITE_ROW && column.integer(0) == 1;
    };
    int count = 0;
    if ((rc = tables(count)) != SQLITE_OK) {
        return rc;
    }
    m_valueTimes = count == 2 && hasValueTimes();
    if (m_readOnly || m_valueTimes) {
        return count == 2 ? readRoots() : SQLITE_CORRUPT;
    }
    rc = exec("BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) {
        // A store this process may only read keeps its older layout.
        return count == 2 && (rc & 0xFF) == SQLITE_READONLY ? readRoots() : rc;
    }
    // Another process may have laid it out meanwhile.
    if ((rc = tables(count)) == SQLITE_OK) {
        if (count != 2) {
            rc = createSchema();
        } else if (!hasValueTimes()) {
            rc = exec("ALTER TABLE vals ADD COLUMN written INTEGER NOT NULL DEFAULT 0");
        }
    }
    if (rc == SQLITE_OK) {
        rc = exec("COMMIT");
    }
    if (rc != SQLITE_OK) {
        exec("ROLLBACK");
        return rc;
    }
    m_valueTimes = true;
    return readRoots();
}

DWORD Store::open() {
    makeParents(m_path);
    m_readOnly = false;
    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(m_path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, 30000);
        m_db = db;
        rc = static_cast<int>(layOut());
    } else {
        sqlite3_close_v2(db);
    }
    if (rc != SQLITE_OK && readOnlyFailure(rc)) {
        // Neither the file nor its directory may be written (a read-only system registry,
        // say), so that the log and its index cannot be made: the file is read as it is,
        // and a change to it is noticed by its time and size.
        close(false);
        m_readOnly = true;
        db = nullptr;
        const std::string uri = "file:" + uriPath(m_path) + "?immutable=1";
        rc = sqlite3_open_v2(uri.c_str(), &db,
                             SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc == SQLITE_OK) {
            m_db = db;
            rc = static_cast<int>(layOut());
        } else {
            sqlite3_close_v2(db);
        }
    }
    if (rc != SQLITE_OK) {
        close(false);
        return statusFromSqlite(rc);
    }
    noteIdentity();
    // The log's index header moves with every commit of every process: reading it tells,
    // without a lock, whether cached reads still hold.
    sqlite3_file* file = nullptr;
    if (!m_readOnly &&
        sqlite3_file_control(m_db, "main", SQLITE_FCNTL_FILE_POINTER, &file) == SQLITE_OK && file &&
        file->pMethods && file->pMethods->iVersion >= 2 && file->pMethods->xShmMap) {
        volatile void* region = nullptr;
        rc = file->pMethods->xShmMap(file, 0, 32768, 0, &region);
        if ((rc == SQLITE_OK || (rc & 0xFF) == SQLITE_READONLY) && region) {
            m_shm = static_cast<const volatile unsigned char*>(region);
        }
    }
    return ERROR_SUCCESS;
}

DWORD Store::connect() {
    if (m_groupDepth > 0) {
        return m_groupStatus; // a group keeps the store it began on until it ends
    }
    const std::string& wanted = wantedPath();
    if (m_db && wanted == m_path) {
        if (sameFileAtPath()) {
            return ERROR_SUCCESS;
        }
        if (m_readOnly && nameStillOurs()) {
            close(false); // the same read-only file, changed: read it again
        } else {
            retire();
        }
    }
    if (wanted != m_path) {
        disconnect();
        ++m_pathGeneration; // handles of the previous file name nothing in this one
        m_path = wanted;
        for (int* fd : {&m_identityFd, &m_dirFd}) {
            if (*fd >= 0) {
                ::close(*fd);
                *fd = -1;
            }
        }
    }
    return open();
}

sqlite3_stmt* Store::statement(const char* sql) {
    auto it = m_statements.find(sql);
    if (it != m_statements.end()) {
        return it->second;
    }
    if (!m_db) {
        return nullptr;
    }
    // The entry is made first: a statement prepared and then not kept for want of memory
    // would keep the connection from closing.
    it = m_statements.emplace(sql, nullptr).first;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        m_statements.erase(it);
        return nullptr;
    }
    it->second = stmt;
    return stmt;
}

int Store::exec(const char* sql) {
    Query q(sql);
    int rc;
    while ((rc = q.step()) == SQLITE_ROW) {
    }
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

void Store::noteFailure(int rc) {
    if (m_groupDepth > 0 && !m_groupStatus && m_db && sqlite3_get_autocommit(m_db)) {
        m_groupStatus = statusFromSqlite(rc);
    }
}

DWORD Store::keyOf(HKEY handle, KeyRef& key, bool verify) {
    const int slot = rootSlot(handle);
    if (slot >= 0) {
        key = KeyRef{m_roots[slot], 0};
        return ERROR_SUCCESS;
    }
    const auto it = m_handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == m_handles.end() || it->second.pathGeneration != m_pathGeneration) {
        return ERROR_INVALID_HANDLE;
    }
    if (it->second.storeGeneration != m_storeGeneration) {
        return ERROR_KEY_DELETED; // gone with the file that held it
    }
    key = it->second.key;
    return verify ? verifyKey(key.id) : ERROR_SUCCESS;
}

bool Store::knows(HKEY handle) const {
    if (rootSlot(handle) >= 0) {
        return true;
    }
    const auto it = m_handles.find(reinterpret_cast<std::uintptr_t>(handle));
    return it != m_handles.end() && it->second.pathGeneration == m_pathGeneration;
}

DWORD Store::verifyKey(std::int64_t id) {
    Query exists("SELECT 1 FROM keys WHERE id = ?");
    const int rc = exists.bind(1, id).step();
    if (rc == SQLITE_DONE) {
        return ERROR_KEY_DELETED;
    }
    return rc == SQLITE_ROW ? ERROR_SUCCESS : statusFromSqlite(rc);
}

HKEY Store::newHandle(const KeyRef& key) {
    const std::uintptr_t value = m_next;
    m_handles.emplace(value, OpenKey{key, m_pathGeneration, m_storeGeneration});
    m_next += 4;
    return reinterpret_cast<HKEY>(value);
}

bool Store::closeHandle(HKEY handle) {
    if (rootSlot(handle) >= 0) {
        return true;
    }
    m_cache.forget(handle);
    return m_handles.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0;
}

bool Store::readToken(ChangeToken& token) const {
    token.valid = false;
    if (m_readOnly && m_db) {
        // Nothing changes a read-only file without connect() noticing and starting over.
        std::memset(token.bytes, 0, sizeof token.bytes);
        token.valid = true;
    } else if (m_shm) {
        // The order of SQLite's own readers: the first copy, then the second, which a writer
        // updates first; copies that differ mean a commit is under way. Acquire loads of the
        // first copy keep the second copy's reads after them (a fence would do the same, but
        // the thread sanitizer cannot follow fences).
        constexpr std::size_t half = ChangeToken::kSize / 2;
        for (std::size_t i = 0; i < half; ++i) {
            token.bytes[i] = __atomic_load_n(&m_shm[i], __ATOMIC_ACQUIRE);
        }
        for (std::size_t i = half; i < ChangeToken::kSize; ++i) {
            token.bytes[i] = m_shm[i];
        }
        token.valid = std::memcmp(token.bytes, token.bytes + half, half) == 0;
    }
    return token.valid;
}

ReadCache* Store::cache() {
    ChangeToken now;
    if (!readToken(now)) {
        m_cache.clear();
        m_cacheToken.valid = false;
        return nullptr;
    }
    if (!(now == m_cacheToken)) {
        m_cache.clear();
        m_cacheToken = now;
    }
    return &m_cache;
}

bool Store::unchangedSinceCache() const {
    ChangeToken now;
    return readToken(now) && now == m_cacheToken;
}

DWORD Store::beginGroup() {
    if (m_groupDepth > 0 && m_groupStatus) {
        return m_groupStatus;
    }
    const int rc = exec(m_groupDepth > 0 ? "SAVEPOINT grp" : "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) {
        return statusFromSqlite(rc);
    }
    if (m_groupDepth == 0) {
        m_groupStatus = ERROR_SUCCESS;
    }
    ++m_groupDepth;
    wrote();
    lock.lock(); // held until the group ends: other threads wait instead of joining it
    return ERROR_SUCCESS;
}

DWORD Store::endGroup(bool commit) {
    if (m_groupDepth == 0) {
        return ERROR_INVALID_FUNCTION;
    }
    --m_groupDepth;
    wrote();
    DWORD status = m_groupStatus;
    if (m_groupDepth > 0) {
        if (!status && !commit) {
            exec("ROLLBACK TO grp");
        }
        if (!status) {
            status = statusFromSqlite(exec("RELEASE grp"));
        }
    } else if (status || !commit) {
        if (!sqlite3_get_autocommit(m_db)) {
            exec("ROLLBACK");
        }
        m_groupStatus = ERROR_SUCCESS;
    } else if (!sameFileAtPath() || !nameStillOurs()) {
        // The file was replaced meanwhile: the work would land in a file nobody reads.
        exec("ROLLBACK");
        status = ERROR_CANTWRITE;
    } else if ((status = statusFromSqlite(exec("COMMIT"))) != ERROR_SUCCESS) {
        exec("ROLLBACK");
    }
    lock.unlock();
    return status;
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

Query& Query::bind(int index, const char* text) {
    if (m_stmt) {
        sqlite3_bind_text(m_stmt, index, text ? text : "", -1, SQLITE_STATIC);
    }
    return *this;
}

Query& Query::bindBlob(int index, const void* data, std::size_t size) {
    if (m_stmt) {
        if (size == 0) {
            sqlite3_bind_zeroblob(m_stmt, index, 0);
        } else {
            sqlite3_bind_blob(m_stmt, index, data, static_cast<int>(size), SQLITE_STATIC);
        }
    }
    return *this;
}

int Query::step() {
    Store& store = Store::instance();
    int rc;
    if (!m_stmt) {
        // The statement could not be prepared: report why (a damaged file, say).
        rc = store.db() ? sqlite3_errcode(store.db()) : SQLITE_CANTOPEN;
        if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE) {
            rc = SQLITE_ERROR;
        }
    } else {
        rc = sqlite3_step(m_stmt);
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        store.noteFailure(rc);
    }
    return rc;
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
    Store& store = Store::instance();
    store.wrote();
    m_nested = store.inGroup();
    const int rc = store.exec(m_nested ? "SAVEPOINT call" : "BEGIN IMMEDIATE");
    m_status = statusFromSqlite(rc);
    m_open = rc == SQLITE_OK;
}

Transaction::~Transaction() {
    if (m_open) {
        Store& store = Store::instance();
        if (m_nested) {
            store.exec("ROLLBACK TO call");
            store.exec("RELEASE call");
        } else {
            store.exec("ROLLBACK");
        }
    }
}

DWORD Transaction::commit() {
    const int rc = Store::instance().exec(m_nested ? "RELEASE call" : "COMMIT");
    if (rc == SQLITE_OK) {
        m_open = false;
    }
    return statusFromSqlite(rc);
}

} // namespace korutil::detail
