#include "kernel/no_throw.h"
#include "kernel/file_object.h"
#include "kernel/path_lookup.h"
#include "kernel/whole_file.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/files.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace korutil::detail {
namespace {

// The copy under construction; removed unless it was put in place.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target) {
        const std::size_t slash = target.find_last_of('/');
        m_path = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) +
                 ".korcopy-XXXXXX";
        m_fd = ::mkostemp(m_path.data(), O_CLOEXEC);
        if (m_fd < 0) {
            m_path.clear();
        }
    }
    ~TemporaryFile() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        if (!m_path.empty()) {
            ::unlink(m_path.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int fd() const { return m_fd; }
    const std::string& path() const { return m_path; }
    // The file was put in place under its final name: nothing to remove any more.
    void kept() { m_path.clear(); }
    bool closeNow() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    std::string m_path;
    int m_fd = -1;
};

bool copyContents(int from, int to) {
    std::vector<char> block(1 << 17);
    for (;;) {
        const ssize_t got = ::read(from, block.data(), block.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return got == 0;
        }
        if (!writeAll(to, std::string_view(block.data(), static_cast<std::size_t>(got)))) {
            return false;
        }
    }
}

BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

} // namespace
} // namespace korutil::detail

static BOOL copyFile(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
    using namespace korutil::detail;
    if (!lpExistingFileName || !lpNewFileName) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const std::string source = nativePath(lpExistingFileName);
    std::string target = nativePath(lpNewFileName);
    DWORD error = NO_ERROR;
    bool existed = false;
    // The source is read as a reader that lets others read: a writer holding it refuses us.
    OwnedFd from(
        openShared(source, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, &error, &existed));
    if (from.get() < 0) {
        return fail(error);
    }
    struct stat sourceInfo {};
    if (::fstat(from.get(), &sourceInfo) != 0) {
        return fail(windowsError(errno, source));
    }
    // A FIFO or a device would be read until some other program ends it, if ever.
    if (!S_ISREG(sourceInfo.st_mode)) {
        return fail(ERROR_ACCESS_DENIED);
    }
    // An existing target is replaced only when it could be opened for writing without
    // sharing: somebody holding it open keeps it. A target that differs only in case is the
    // same file, as are directories along its path.
    struct stat targetInfo {};
    int found = ::lstat(target.c_str(), &targetInfo);
    if (found != 0 && mayDifferInCase(errno)) {
        target = resolveCase(target);
        found = ::lstat(target.c_str(), &targetInfo);
    }
    if (found == 0) {
        if (bFailIfExists) {
            return fail(ERROR_FILE_EXISTS);
        }
        OwnedFd check(openShared(target, GENERIC_WRITE, 0, OPEN_EXISTING, 0, &error, &existed));
        if (check.get() < 0) {
            return fail(error);
        }
    }
    TemporaryFile copy(target);
    if (copy.fd() < 0) {
        return fail(windowsError(errno, target));
    }
    if (!copyContents(from.get(), copy.fd())) {
        return fail(windowsError(errno, target));
    }
    const struct timespec times[2] = {sourceInfo.st_atim, sourceInfo.st_mtim};
    if (::fchmod(copy.fd(), sourceInfo.st_mode & 07777) != 0 || ::futimens(copy.fd(), times) != 0 ||
        !copy.closeNow()) {
        return fail(windowsError(errno, target));
    }
    if (bFailIfExists) {
        // Exclusive: a file that appeared under the target name meanwhile is not replaced.
        if (::renameat2(AT_FDCWD, copy.path().c_str(), AT_FDCWD, target.c_str(),
                        RENAME_NOREPLACE) != 0) {
            if (errno != EINVAL && errno != ENOSYS) {
                return fail(errno == EEXIST ? ERROR_FILE_EXISTS : windowsError(errno, target));
            }
            // File systems without the exclusive rename still have the exclusive link.
            if (::link(copy.path().c_str(), target.c_str()) != 0) {
                return fail(errno == EEXIST ? ERROR_FILE_EXISTS : windowsError(errno, target));
            }
            ::unlink(copy.path().c_str());
        }
    } else if (::rename(copy.path().c_str(), target.c_str()) != 0) {
        return fail(windowsError(errno, target));
    }
    copy.kept();
    SetLastError(NO_ERROR);
    return TRUE;
}

extern "C" BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName,
                                 BOOL bFailIfExists) {
    return korutil::detail::failOnBadAlloc(
        BOOL(FALSE), [&] { return copyFile(lpExistingFileName, lpNewFileName, bFailIfExists); });
}
