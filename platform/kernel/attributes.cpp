#include "kernel/file_object.h"
#include "kernel/no_throw.h"
#include "kernel/path_lookup.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/files.h>

#include <sys/stat.h>

#include <cerrno>

static DWORD getFileAttributes(LPCSTR lpFileName) {
    using namespace korutil::detail;
    if (!lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    std::string path = nativePath(lpFileName);
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat st {};
    int result = ::stat(path.c_str(), &st);
    if (result != 0 && mayDifferInCase(errno)) {
        path = resolveCase(path);
        result = ::stat(path.c_str(), &st);
    }
    // A symbolic link whose target is missing is still a name in its directory.
    if (result != 0 && errno == ENOENT) {
        const int error = errno;
        result = ::lstat(path.c_str(), &st);
        errno = error;
    }
    if (result != 0) {
        SetLastError(windowsError(errno, path));
        return INVALID_FILE_ATTRIBUTES;
    }
    const std::size_t slash = path.find_last_of('/');
    return fileAttributes(st, path.c_str() + (slash == std::string::npos ? 0 : slash + 1));
}

extern "C" DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
    return korutil::detail::failOnBadAlloc(DWORD(INVALID_FILE_ATTRIBUTES),
                                           [&] { return getFileAttributes(lpFileName); });
}
