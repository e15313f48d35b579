#include "kernel/file_object.h"
#include "kernel/no_throw.h"
#include "kernel/path_lookup.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/files.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

static BOOL fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

static BOOL deleteFile(LPCSTR lpFileName) {
    using namespace korutil::detail;
    if (!lpFileName) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    std::string path = nativePath(lpFileName);
    if (path.empty()) {
        return fail(ERROR_PATH_NOT_FOUND);
    }
    struct stat st {};
    int result = ::lstat(path.c_str(), &st);
    if (result != 0 && mayDifferInCase(errno)) {
        path = resolveCase(path);
        result = ::lstat(path.c_str(), &st);
    }
    if (result != 0) {
        return fail(windowsError(errno, path));
    }
    // A symbolic link is removed itself; a directory needs RemoveDirectory; a read-only file
    // is kept, as Windows keeps a file with the read-only attribute.
    if (S_ISDIR(st.st_mode) || (!S_ISLNK(st.st_mode) && (st.st_mode & 0222) == 0)) {
        return fail(ERROR_ACCESS_DENIED);
    }
    if (S_ISREG(st.st_mode)) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            const bool denied = othersDenyDelete(fd);
            ::close(fd);
            if (denied) {
                return fail(ERROR_SHARING_VIOLATION);
            }
        }
    }
    if (::unlink(path.c_str()) != 0) {
        return fail(windowsError(errno, path));
    }
    return TRUE;
}

extern "C" BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&] { return deleteFile(lpFileName); });
}
