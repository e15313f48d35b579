// Directory separators: `\` on Windows; on Linux `/` and `\` both, and `/` is the one added.
#pragma once

#include <cstddef>

namespace korutil::detail {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
inline bool isPathSeparator(char c) {
    return c == '\\';
}
#else
constexpr char kPathSeparator = '/';
inline bool isPathSeparator(char c) {
    return c == '\\' || c == '/';
}
#endif

// The last separator of a zero-terminated path, or null.
inline char* lastPathSeparator(char* path) {
    char* found = nullptr;
    for (char* p = path; *p; ++p) {
        if (isPathSeparator(*p)) {
            found = p;
        }
    }
    return found;
}

// Turns a module's full file name in `buffer` into the path of fileName beside it, or with a
// null fileName into its directory (a root keeps its separator). 0 when it would not fit.
int placeBesideModule(char* buffer, std::size_t bufferSize, const char* fileName);

} // namespace korutil::detail
