#include "files/path_chars.h"

#include <korutil/files.h>

#include <cstring>

namespace korutil::detail {
namespace {

// C:\ on Windows, / elsewhere: cutting there would leave no directory at all.
bool isRootSeparator(const char* path, const char* separator) {
#ifdef _WIN32
    return separator == path + 2 && path[1] == ':';
#else
    return separator == path;
#endif
}

} // namespace

int placeBesideModule(char* buffer, std::size_t bufferSize, const char* fileName) {
    const std::size_t moduleLength = std::strlen(buffer);
    // The whole module name counts, not only its directory: it errs on the safe side.
    if (fileName && moduleLength + std::strlen(fileName) + 1 > bufferSize) {
        return 0;
    }
    char* separator = lastPathSeparator(buffer);
    if (!separator) {
        if (fileName) {
            std::strcpy(buffer, fileName);
        } else {
            buffer[0] = '\0';
        }
    } else if (fileName) {
        std::strcpy(separator + 1, fileName);
    } else if (isRootSeparator(buffer, separator)) {
        separator[1] = '\0';
    } else {
        separator[0] = '\0';
    }
    return 1;
}

} // namespace korutil::detail

int MakeExePathName(HINSTANCE hInstance, char* buffer, int bufferSize, const char* fileName) {
    if (!buffer || bufferSize <= 0) {
        return 0;
    }
    const DWORD length = GetModuleFileNameA(hInstance, buffer, static_cast<DWORD>(bufferSize));
    // Nothing or a cut name gives no directory to build on.
    if (length == 0 || length >= static_cast<DWORD>(bufferSize)) {
        buffer[0] = '\0';
        return 0;
    }
    return korutil::detail::placeBesideModule(buffer, static_cast<std::size_t>(bufferSize),
                                              fileName);
}
