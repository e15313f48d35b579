#include "kernel/profile_writer.h"

#include "kernel/file_object.h"
#include "kernel/path_lookup.h"
#include "kernel/profile_cache.h"
#include "kernel/whole_file.h"

#include <korutil/platform/errors.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>

namespace korutil::detail {
namespace {

// The file layer's codes, seen from a write: a missing piece of the path is a missing
// directory, and what the file layer cannot name is a write fault.
DWORD errorFromErrno(int e) {
    if (e == ENOENT) {
        return ERROR_PATH_NOT_FOUND;
    }
    const DWORD error = windowsError(e, std::string());
    return error == ERROR_INVALID_FUNCTION ? ERROR_WRITE_FAULT : error;
}

// The file that `path` designates: found without case, and through symbolic links to the end
// of their chain. A name that does not exist gives the path that a new file gets. False with
// errno set when a link cannot be read or the chain does not end.
bool designatedFile(const std::string& path, std::string& out) {
    out = path;
    for (int links = 0;;) {
        struct stat st {};
        if (::lstat(out.c_str(), &st) != 0) {
            if (!mayDifferInCase(errno)) {
                return true; // the open will meet and report it
            }
            std::string found = resolveCase(out);
            const bool exists = found != out && ::lstat(found.c_str(), &st) == 0;
            out = std::move(found);
            if (!exists) {
                return true;
            }
        }
        if (!S_ISLNK(st.st_mode)) {
            return true;
        }
        if (++links > 40) {
            errno = ELOOP;
            return false;
        }
        char target[PATH_MAX];
        const ssize_t n = ::readlink(out.c_str(), target, sizeof target);
        if (n < 0 || n == static_cast<ssize_t>(sizeof target)) {
            errno = n < 0 ? errno : ENAMETOOLONG;
            return false;
        }
        const std::string link(target, static_cast<std::size_t>(n));
        out = link[0] == '/' ? link : parentDirectory(out) + "/" + link;
    }
}

bool ensureDirectory(const std::string& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) {
            errno = ENOTDIR;
            return false;
        }
        return true;
    }
    const std::size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !ensureDirectory(dir.substr(0, slash))) {
        return false;
    }
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

// Opens the file for a write and takes its exclusive lock. Writers replace the file by
// renaming a new one over it, so a lock won on a file that has been replaced meanwhile is
// given up and taken again on the current one. Opening never waits for a FIFO or a device.
int lockCurrent(const std::string& path, struct stat& st) {
    for (;;) {
        OwnedFd fd(::open(path.c_str(), O_RDONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666));
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
            return -1;
        }
        if (!S_ISREG(st.st_mode)) {
            errno = EACCES;
            return -1;
        }
        int r;
        while ((r = ::flock(fd.get(), LOCK_EX)) != 0 && errno == EINTR) {
        }
        struct stat now {};
        if (r != 0 || ::fstat(fd.get(), &st) != 0) {
            return -1;
        }
        if (::stat(path.c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino) {
            return fd.release();
        }
    }
}

// Writes the new content beside the file and renames it over the file: readers see the old
// file or the new one, and a crash leaves one of them whole.
bool replaceFile(const std::string& path, const struct stat& old, const std::string& content,
                 struct stat& now) {
    const std::size_t slash = path.find_last_of('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = parentDirectory(path) + "/." + base + ".XXXXXX";
    OwnedFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        return false;
    }
    if (writeAll(fd.get(), content) && ::fchmod(fd.get(), old.st_mode & 07777) == 0 &&
        ::fsync(fd.get()) == 0 && ::rename(temp.c_str(), path.c_str()) == 0) {
        return ::fstat(fd.get(), &now) == 0;
    }
    const int e = errno;
    ::unlink(temp.c_str());
    errno = e;
    return false;
}

// For a file with several names: every name must see the new content, so the file itself is
// rewritten. The exclusive lock keeps the layer's readers out meanwhile.
bool rewriteInPlace(const std::string& path, const std::string& content, struct stat& now) {
    OwnedFd fd(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    return fd.get() >= 0 && writeAll(fd.get(), content) &&
           ::ftruncate(fd.get(), static_cast<off_t>(content.size())) == 0 &&
           ::fsync(fd.get()) == 0 && ::fstat(fd.get(), &now) == 0;
}

bool writable(const std::string& path, const struct stat& st) {
    return (st.st_mode & 0222) != 0 && ::access(path.c_str(), W_OK) == 0 &&
           (st.st_nlink > 1 || ::access(parentDirectory(path).c_str(), W_OK) == 0);
}

} // namespace

DWORD checkProfileWritable(const std::string& path, bool makeDirectory) {
    std::string target;
    if (!designatedFile(path, target)) {
        return errorFromErrno(errno);
    }
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        return S_ISREG(st.st_mode) && writable(target, st) ? NO_ERROR : ERROR_ACCESS_DENIED;
    }
    if (errno != ENOENT) {
        return errorFromErrno(errno);
    }
    const std::string dir = parentDirectory(target);
    if (::stat(dir.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode) && ::access(dir.c_str(), W_OK) == 0 ? NO_ERROR
                                                                       : ERROR_ACCESS_DENIED;
    }
    return makeDirectory ? NO_ERROR : ERROR_PATH_NOT_FOUND;
}

DWORD writeProfileFile(const std::string& path, bool makeDirectory,
                       const std::vector<ProfileWrite>& writes) {
    std::string target;
    if (!designatedFile(path, target)) {
        return errorFromErrno(errno);
    }
    struct stat st {};
    const bool setsValue = std::any_of(writes.begin(), writes.end(),
                                       [](const ProfileWrite& w) { return w.key && w.value; });
    if (!setsValue && ::stat(target.c_str(), &st) != 0 && errno == ENOENT) {
        return NO_ERROR; // deleting from a file that does not exist changes nothing
    }
    if (makeDirectory && !ensureDirectory(parentDirectory(target))) {
        return errorFromErrno(errno);
    }
    const OwnedFd fd(lockCurrent(target, st));
    if (fd.get() < 0) {
        return errorFromErrno(errno);
    }
    // The rename would replace a read-only file as easily as any other; refuse as Windows
    // does for its read-only attribute.
    if (!writable(target, st)) {
        return ERROR_ACCESS_DENIED;
    }
    const bool linked = st.st_nlink > 1;
    const std::shared_ptr<const IniDocument> cached = linked ? nullptr : cachedDocument(path, st);
    IniDocument doc;
    if (cached) {
        doc = *cached;
    } else {
        std::string content;
        if (!readToEnd(fd.get(), content)) {
            return ERROR_READ_FAULT;
        }
        doc = IniDocument::parse(content);
    }
    bool changed = false;
    for (const ProfileWrite& write : writes) {
        changed |= doc.apply(write);
    }
    if (!changed) {
        return NO_ERROR;
    }
    auto shared = std::make_shared<const IniDocument>(std::move(doc));
    const std::string content = shared->serialize();
    struct stat now {};
    if (!(linked ? rewriteInPlace(target, content, now) : replaceFile(target, st, content, now))) {
        return errorFromErrno(errno);
    }
    if (!linked) {
        rememberDocument(path, target, now, std::move(shared));
    }
    return NO_ERROR;
}

} // namespace korutil::detail
