#include "kernel/case_fold.h"
#include "kernel/file_object.h"
#include "kernel/no_throw.h"
#include "kernel/path_lookup.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/files.h>
#include <korutil/platform/handles.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

namespace korutil::detail {
namespace {

// The matches are gathered when the search starts, so that FindNextFileA walks a stable,
// name-ordered list whatever happens to the directory meanwhile.
class FindObject : public KernelObject {
public:
    std::mutex lock;
    std::vector<WIN32_FIND_DATAA> matches;
    std::size_t next = 0;
};

// As on Windows, "name.*" also finds "name" itself: the dot and the extension may be absent
// at the end of the name, whatever dots come before ("a.b.*" finds "a.b").
bool nameMatches(const std::string& pattern, const char* name) {
    if (wildcardMatchWithoutCase(pattern, name)) {
        return true;
    }
    const std::size_t n = pattern.size();
    return n >= 2 && pattern.compare(n - 2, 2, ".*") == 0 &&
           wildcardMatchWithoutCase(std::string_view(pattern).substr(0, n - 2), name);
}

FILETIME toFileTime(const struct timespec& t) {
    // 100-nanosecond intervals since 1601-01-01.
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(t.tv_sec) + 11644473600ull) * 10000000ull +
        static_cast<std::uint64_t>(t.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

void describe(const std::string& dir, const char* name, WIN32_FIND_DATAA& data) {
    std::memset(&data, 0, sizeof data);
    std::strcpy(data.cFileName, name);
    struct stat st {};
    const std::string full = dir + "/" + name;
    if (::stat(full.c_str(), &st) != 0 && ::lstat(full.c_str(), &st) != 0) {
        data.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
        return;
    }
    data.dwFileAttributes = fileAttributes(st, name);
    data.ftCreationTime = toFileTime(st.st_ctim);
    data.ftLastAccessTime = toFileTime(st.st_atim);
    data.ftLastWriteTime = toFileTime(st.st_mtim);
    if (!S_ISDIR(st.st_mode)) {
        const auto size = static_cast<std::uint64_t>(st.st_size);
        data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
        data.nFileSizeLow = static_cast<DWORD>(size);
    }
}

} // namespace

DWORD fileAttributes(const struct stat& st, const char* name) {
    DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if ((st.st_mode & 0222) == 0) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    if (name[0] == '.' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) {
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    }
    return attributes;
}

} // namespace korutil::detail

using korutil::detail::FindObject;

static HANDLE findFirstFile(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    if (!lpFileName || !lpFindFileData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::string path = korutil::detail::nativePath(lpFileName);
    const std::size_t slash = path.find_last_of('/');
    std::string dir = korutil::detail::parentDirectory(path);
    const std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);
    if (pattern.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    korutil::detail::OwnedDir listing(::opendir(dir.c_str()));
    if (!listing && korutil::detail::mayDifferInCase(errno)) {
        dir = korutil::detail::resolveCase(dir);
        listing.reset(::opendir(dir.c_str()));
    }
    if (!listing) {
        const int error = errno;
        SetLastError(error == ENOENT || error == ENOTDIR
                         ? ERROR_PATH_NOT_FOUND
                         : korutil::detail::windowsError(error, dir));
        return INVALID_HANDLE_VALUE;
    }
    auto search = std::make_shared<FindObject>();
    while (const dirent* entry = ::readdir(listing.get())) {
        if (std::strlen(entry->d_name) < MAX_PATH &&
            korutil::detail::nameMatches(pattern, entry->d_name)) {
            search->matches.emplace_back();
            korutil::detail::describe(dir, entry->d_name, search->matches.back());
        }
    }
    listing.reset();
    if (search->matches.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::sort(search->matches.begin(), search->matches.end(),
              [](const WIN32_FIND_DATAA& a, const WIN32_FIND_DATAA& b) {
                  return std::strcmp(a.cFileName, b.cFileName) < 0;
              });
    *lpFindFileData = search->matches[0];
    search->next = 1;
    HANDLE handle = korutil::detail::insertHandle(search);
    if (!handle) {
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(NO_ERROR);
    return handle;
}

static BOOL findNextFile(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    auto search = korutil::detail::lookupHandleAs<FindObject>(hFindFile);
    if (!search) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!lpFindFileData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(search->lock);
    if (search->next >= search->matches.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *lpFindFileData = search->matches[search->next++];
    return TRUE;
}

extern "C" BOOL WINAPI FindClose(HANDLE hFindFile) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        // Only search handles: a file or thread handle is not closed by mistake.
        if (!korutil::detail::lookupHandleAs<FindObject>(hFindFile)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        return CloseHandle(hFindFile);
    });
}

extern "C" HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    return korutil::detail::failOnBadAlloc(
        INVALID_HANDLE_VALUE, [&] { return findFirstFile(lpFileName, lpFindFileData); });
}

extern "C" BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE),
                                           [&] { return findNextFile(hFindFile, lpFindFileData); });
}
