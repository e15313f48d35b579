#include "kernel/file_object.h"
#include "kernel/no_throw.h"
#include "kernel/path_lookup.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/files.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace korutil::detail {
namespace {

// The sharing state of an open lives in read locks on reserved bytes far beyond any data:
// one byte per access it holds and one per access it denies. Read locks never conflict with
// each other, so any number of opens can hold the same byte; F_OFD_GETLK with a write lock
// asks whether another open description holds one. Open file description locks belong to the
// descriptor, not to the process, so two opens in one process see each other as well.
constexpr off_t kShareLockBase = off_t(1) << 62;
enum ShareByte : unsigned {
    holdsRead = 0,
    holdsWrite = 1,
    deniesRead = 2,
    deniesWrite = 3,
    deniesDelete = 4,
    kShareBytes = 5
};

unsigned bit(ShareByte which) {
    return 1u << which;
}

// Calls `each(first, count)` for every run of adjacent bytes in `set`, so that an open costs
// one system call per run instead of one per byte.
template <class Each> bool forEachRun(unsigned set, Each each) {
    for (unsigned first = 0; first < kShareBytes;) {
        if (!(set & (1u << first))) {
            ++first;
            continue;
        }
        unsigned count = 1;
        while (first + count < kShareBytes && (set & (1u << (first + count)))) {
            ++count;
        }
        if (!each(first, count)) {
            return false;
        }
        first += count;
    }
    return true;
}

struct flock shareLock(short type, unsigned first, unsigned count) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = kShareLockBase + first;
    lock.l_len = count;
    return lock;
}

void holdShareBytes(int fd, unsigned set) {
    forEachRun(set, [fd](unsigned first, unsigned count) {
        struct flock lock = shareLock(F_RDLCK, first, count);
        // A file system without locks leaves the open unshared rather than unusable.
        (void)fcntl(fd, F_OFD_SETLK, &lock);
        return true;
    });
}

bool othersHoldAnyOf(int fd, unsigned set) {
    return !forEachRun(set, [fd](unsigned first, unsigned count) {
        struct flock lock = shareLock(F_WRLCK, first, count);
        return fcntl(fd, F_OFD_GETLK, &lock) != 0 || lock.l_type == F_UNLCK;
    });
}

// Takes this open's locks first and looks for conflicts afterwards: two opens racing each
// other then both see the other's locks and at worst both are refused, never both admitted.
bool admitUnderSharing(int fd, bool read, bool write, DWORD share, bool canLock) {
    if (!canLock) {
        return true;
    }
    const bool shareRead = (share & FILE_SHARE_READ) != 0;
    const bool shareWrite = (share & FILE_SHARE_WRITE) != 0;
    const bool shareDelete = (share & FILE_SHARE_DELETE) != 0;
    holdShareBytes(fd, (read ? bit(holdsRead) : 0) | (write ? bit(holdsWrite) : 0) |
                           (shareRead ? 0 : bit(deniesRead)) | (shareWrite ? 0 : bit(deniesWrite)) |
                           (shareDelete ? 0 : bit(deniesDelete)));
    return !othersHoldAnyOf(fd, (read ? bit(deniesRead) : 0) | (write ? bit(deniesWrite) : 0) |
                                    (shareRead ? 0 : bit(holdsRead)) |
                                    (shareWrite ? 0 : bit(holdsWrite)));
}

int openRetrying(const std::string& path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

FileObject::~FileObject() {
    ::close(m_fd);
}

std::string nativePath(const char* path) {
    std::string result(path ? path : "");
    for (char& c : result) {
        if (c == '\\') {
            c = '/';
        }
    }
    return result;
}

DWORD windowsError(int error, const std::string& path) {
    switch (error) {
    case ENOENT: {
        const std::size_t slash = path.find_last_of('/');
        if (slash != std::string::npos && slash > 0) {
            struct stat st {};
            const std::string dir = path.substr(0, slash);
            if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
                return ERROR_PATH_NOT_FOUND;
            }
        }
        return path.empty() || path.back() == '/' ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    }
    case ENOTDIR:
    case ELOOP:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_INVALID_FUNCTION;
    }
}

bool othersDenyDelete(int fd) {
    return othersHoldAnyOf(fd, bit(deniesDelete));
}

int openShared(const std::string& path, DWORD access, DWORD share, DWORD disposition,
               DWORD attributes, DWORD* error, bool* existed) {
    const bool read = (access & (GENERIC_READ | GENERIC_ALL)) != 0;
    const bool write = (access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
    *existed = false;
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
        (disposition == TRUNCATE_EXISTING && !write)) {
        *error = ERROR_INVALID_PARAMETER;
        return -1;
    }
    if (path.empty()) {
        *error = ERROR_PATH_NOT_FOUND;
        return -1;
    }
    // A writer's descriptor is opened for reading too when it may be, because the sharing
    // locks are read locks; ReadFile still refuses an open without GENERIC_READ. Opening
    // never waits: not for the other end of a FIFO, not for a device.
    int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (write ? O_RDWR : O_RDONLY);
    const mode_t mode = (attributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    // A new file must not stand beside one that differs only in case, so CREATE_NEW looks
    // without case first; the other dispositions open the name as written first.
    bool resolved = disposition == CREATE_NEW;
    std::string actual = resolved ? resolveCase(path) : path;
    bool canLock = true;
    int fd = -1;
    for (;;) {
        if (disposition == CREATE_NEW) {
            fd = openRetrying(actual, flags | O_CREAT | O_EXCL, mode);
        } else {
            fd = openRetrying(actual, flags, mode);
            if (fd >= 0) {
                *existed = true;
            } else if (!resolved && mayDifferInCase(errno)) {
                resolved = true;
                std::string found = resolveCase(path);
                if (found != actual) {
                    actual = std::move(found);
                    continue;
                }
            }
            if (fd < 0 && errno == ENOENT &&
                (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)) {
                fd = openRetrying(actual, flags | O_CREAT | O_EXCL, mode);
                if (fd < 0 && errno == EEXIST) {
                    continue; // created by someone else meanwhile: open theirs
                }
            }
        }
        if (fd < 0 && errno == EACCES && write && !read && (flags & O_RDWR)) {
            // A file we may write but not read: a write-only descriptor cannot hold the
            // read locks, so this open goes without sharing locks.
            flags = (flags & ~O_RDWR) | O_WRONLY;
            canLock = false;
            continue;
        }
        break;
    }
    if (fd < 0) {
        // Only a write-only open of a FIFO that nobody reads meets ENXIO.
        *error = errno == ENXIO ? ERROR_PIPE_NOT_CONNECTED : windowsError(errno, actual);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        *error = ERROR_ACCESS_DENIED;
        return -1;
    }
    // FIFOs and devices then read and write as a synchronous Windows handle does: waiting.
    if (!S_ISREG(st.st_mode)) {
        (void)fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    if (!admitUnderSharing(fd, read, write, share, canLock)) {
        ::close(fd);
        *error = ERROR_SHARING_VIOLATION;
        return -1;
    }
    const bool truncate = disposition == TRUNCATE_EXISTING ||
                          (disposition == CREATE_ALWAYS && *existed && st.st_size != 0);
    if (truncate && ::ftruncate(fd, 0) != 0) {
        *error = windowsError(errno, actual);
        ::close(fd);
        return -1;
    }
    *error = NO_ERROR;
    return fd;
}

} // namespace korutil::detail

using korutil::detail::FileObject;
using korutil::detail::lookupHandleAs;

extern "C" HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                     LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                                     DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    return korutil::detail::failOnBadAlloc(INVALID_HANDLE_VALUE, [&]() -> HANDLE {
        if (hTemplateFile) {
            SetLastError(ERROR_NOT_SUPPORTED);
            return INVALID_HANDLE_VALUE;
        }
        const std::string path = korutil::detail::nativePath(lpFileName);
        DWORD error = NO_ERROR;
        bool existed = false;
        const int fd =
            korutil::detail::openShared(path, dwDesiredAccess, dwShareMode, dwCreationDisposition,
                                        dwFlagsAndAttributes, &error, &existed);
        if (fd < 0) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        std::shared_ptr<FileObject> file;
        try {
            file = std::make_shared<FileObject>(fd, dwDesiredAccess);
        } catch (...) {
            ::close(fd); // not yet owned by a file object
            throw;
        }
        HANDLE handle = korutil::detail::insertHandle(file);
        if (!handle) {
            return INVALID_HANDLE_VALUE;
        }
        const bool reportExisting = existed && (dwCreationDisposition == CREATE_ALWAYS ||
                                                dwCreationDisposition == OPEN_ALWAYS);
        SetLastError(reportExisting ? ERROR_ALREADY_EXISTS : NO_ERROR);
        return handle;
    });
}

extern "C" BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        if (lpNumberOfBytesRead) {
            *lpNumberOfBytesRead = 0;
        }
        auto file = lookupHandleAs<FileObject>(hFile);
        if (!file) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (lpOverlapped || (!lpBuffer && nNumberOfBytesToRead)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (!file->canRead()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        ssize_t got;
        do {
            got = ::read(file->fd(), lpBuffer, nNumberOfBytesToRead);
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            SetLastError(errno == EISDIR ? ERROR_INVALID_FUNCTION
                                         : korutil::detail::windowsError(errno, std::string()));
            return FALSE;
        }
        if (lpNumberOfBytesRead) {
            *lpNumberOfBytesRead = static_cast<DWORD>(got);
        }
        return TRUE;
    });
}

extern "C" BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                 LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        if (lpNumberOfBytesWritten) {
            *lpNumberOfBytesWritten = 0;
        }
        auto file = lookupHandleAs<FileObject>(hFile);
        if (!file) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (lpOverlapped || (!lpBuffer && nNumberOfBytesToWrite)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (!file->canWrite()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (nNumberOfBytesToWrite == 0) {
            return TRUE;
        }
        ssize_t put;
        do {
            put = ::write(file->fd(), lpBuffer, nNumberOfBytesToWrite);
        } while (put < 0 && errno == EINTR);
        if (put <= 0) {
            SetLastError(put == 0 ? ERROR_DISK_FULL
                                  : korutil::detail::windowsError(errno, std::string()));
            return FALSE;
        }
        if (lpNumberOfBytesWritten) {
            *lpNumberOfBytesWritten = static_cast<DWORD>(put);
        }
        return TRUE;
    });
}

extern "C" DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove,
                                       PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod) {
    return korutil::detail::failOnBadAlloc(DWORD(INVALID_SET_FILE_POINTER), [&]() -> DWORD {
        auto file = lookupHandleAs<FileObject>(hFile);
        if (!file) {
            SetLastError(ERROR_INVALID_HANDLE);
            return INVALID_SET_FILE_POINTER;
        }
        const std::int64_t distance =
            lpDistanceToMoveHigh ? static_cast<std::int64_t>(
                                       (static_cast<std::uint64_t>(*lpDistanceToMoveHigh) << 32) |
                                       static_cast<DWORD>(lDistanceToMove))
                                 : static_cast<std::int64_t>(lDistanceToMove);
        std::int64_t base;
        if (dwMoveMethod == FILE_BEGIN) {
            base = 0;
        } else if (dwMoveMethod == FILE_CURRENT) {
            base = ::lseek(file->fd(), 0, SEEK_CUR);
        } else if (dwMoveMethod == FILE_END) {
            struct stat st {};
            base = ::fstat(file->fd(), &st) == 0 ? st.st_size : -1;
        } else {
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_SET_FILE_POINTER;
        }
        if (base < 0) {
            SetLastError(korutil::detail::windowsError(errno, std::string()));
            return INVALID_SET_FILE_POINTER;
        }
        std::int64_t target;
        if (__builtin_add_overflow(base, distance, &target)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_SET_FILE_POINTER;
        }
        if (target < 0) {
            SetLastError(ERROR_NEGATIVE_SEEK);
            return INVALID_SET_FILE_POINTER;
        }
        if (!lpDistanceToMoveHigh && target > 0xFFFFFFFFll) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_SET_FILE_POINTER;
        }
        if (::lseek(file->fd(), target, SEEK_SET) < 0) {
            SetLastError(korutil::detail::windowsError(errno, std::string()));
            return INVALID_SET_FILE_POINTER;
        }
        if (lpDistanceToMoveHigh) {
            *lpDistanceToMoveHigh = static_cast<LONG>(target >> 32);
        }
        // A position of 0xFFFFFFFF is told from a failure by the last error.
        SetLastError(NO_ERROR);
        return static_cast<DWORD>(target);
    });
}

extern "C" DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    return korutil::detail::failOnBadAlloc(DWORD(INVALID_FILE_SIZE), [&]() -> DWORD {
        auto file = lookupHandleAs<FileObject>(hFile);
        struct stat st {};
        if (!file || ::fstat(file->fd(), &st) != 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return INVALID_FILE_SIZE;
        }
        const auto size = static_cast<std::uint64_t>(st.st_size);
        if (lpFileSizeHigh) {
            *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
        }
        SetLastError(NO_ERROR);
        return static_cast<DWORD>(size);
    });
}
