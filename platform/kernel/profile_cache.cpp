#include "kernel/profile_cache.h"

#include "kernel/path_lookup.h"
#include "kernel/whole_file.h"

#include <korutil/platform/errors.h>

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <unordered_map>

namespace korutil::detail {
namespace {

struct Stamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};

    explicit Stamp(const struct stat& st)
        : dev(st.st_dev), ino(st.st_ino), size(st.st_size), mtime(st.st_mtim), ctime(st.st_ctim) {}
    bool operator==(const Stamp& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
               ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

struct Entry {
    Stamp stamp;
    std::shared_ptr<const IniDocument> doc;
    std::string found; // the file's path, when the name was found without case
};

struct Cache {
    std::mutex lock;
    std::unordered_map<std::string, Entry> files;
    // Names that were not found, with the identity of their directory when they were not.
    std::unordered_map<std::string, Stamp> missing;
    const Cache* parent = nullptr; // the instance this one replaced in a forked child
};

constexpr std::size_t kCacheLimit = 64;

// Never destroyed, so that it outlives every static destructor. A child process starts with
// a cache of its own, since another thread may have held the lock when the process forked.
Cache* g_cache = nullptr;

Cache& cache() {
    static const bool ready = [] {
        g_cache = new Cache;
        pthread_atfork(nullptr, nullptr, [] {
            Cache* fresh = new Cache;
            fresh->parent = g_cache; // kept as it was: its lock may be held for good
            g_cache = fresh;
        });
        return true;
    }();
    (void)ready;
    return *g_cache;
}

void remember(const std::string& path, const struct stat& st,
              std::shared_ptr<const IniDocument> doc, std::string found) {
    Cache& c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    if (c.files.size() >= kCacheLimit && c.files.find(path) == c.files.end()) {
        c.files.clear();
    }
    c.files.insert_or_assign(path, Entry{Stamp(st), std::move(doc), std::move(found)});
}

// The file that `path` names, found without case when the name does not exist as written.
// What the last search without case found is tried first, and a search that found nothing is
// not repeated while the directory stays as it was: a name in other case, or a missing file,
// costs one search, not one per read.
bool findFile(const std::string& path, std::string& actual, struct stat& st) {
    actual = path;
    if (::stat(path.c_str(), &st) == 0) {
        return true;
    }
    const int error = errno;
    if (!mayDifferInCase(error)) {
        return false;
    }
    struct stat dir {};
    const bool dirKnown = ::stat(parentDirectory(path).c_str(), &dir) == 0;
    Cache& c = cache();
    {
        std::lock_guard<std::mutex> guard(c.lock);
        const auto it = c.files.find(path);
        actual = it != c.files.end() ? it->second.found : std::string();
        const auto gone = c.missing.find(path);
        if (actual.empty() && dirKnown && gone != c.missing.end() && gone->second == Stamp(dir)) {
            errno = error;
            return false;
        }
    }
    if (!actual.empty() && ::stat(actual.c_str(), &st) == 0) {
        return true;
    }
    actual = resolveCase(path);
    if (actual != path && ::stat(actual.c_str(), &st) == 0) {
        return true;
    }
    if (dirKnown) {
        std::lock_guard<std::mutex> guard(c.lock);
        if (c.missing.size() >= kCacheLimit) {
            c.missing.clear();
        }
        c.missing.insert_or_assign(path, Stamp(dir));
    }
    errno = error;
    return false;
}

} // namespace

std::shared_ptr<const IniDocument> cachedDocument(const std::string& path, const struct stat& st) {
    Cache& c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    const auto it = c.files.find(path);
    return it != c.files.end() && it->second.stamp == Stamp(st) ? it->second.doc : nullptr;
}

void rememberDocument(const std::string& path, const std::string& target, const struct stat& st,
                      std::shared_ptr<const IniDocument> doc) {
    {
        // The new file may be what a name not found before names now; a directory's time
        // stamp is too coarse to tell right after.
        Cache& c = cache();
        std::lock_guard<std::mutex> guard(c.lock);
        c.missing.clear();
    }
    remember(path, st, std::move(doc), target == path ? std::string() : target);
}

std::shared_ptr<const IniDocument> currentDocument(const std::string& path, DWORD* error) {
    std::string actual;
    struct stat st {};
    if (!findFile(path, actual, st)) {
        *error = errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    const bool linked = st.st_nlink > 1;
    if (!linked) {
        if (auto doc = cachedDocument(path, st)) {
            return doc;
        }
    }
    const OwnedFd file(::open(actual.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    const int fd = file.get();
    if (fd < 0) {
        *error = errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
        return nullptr;
    }
    int locked = 0;
    while (linked && (locked = ::flock(fd, LOCK_SH)) != 0 && errno == EINTR) {
    }
    std::string content;
    const bool ok =
        locked == 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && readToEnd(fd, content);
    if (!ok) {
        *error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    auto doc = std::make_shared<const IniDocument>(IniDocument::parse(content));
    if (!linked) {
        remember(path, st, doc, actual == path ? std::string() : actual);
    }
    return doc;
}

} // namespace korutil::detail
