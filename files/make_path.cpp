#include "files/path_chars.h"

#include <korutil/files.h>

#include <cstring>

int MakePath(char* buffer, int bufferSize, const char* directory, const char* name,
             const char* extension) {
    using korutil::detail::isPathSeparator;
    if (!buffer || bufferSize <= 0) {
        return 0;
    }
    if (!directory) {
        directory = "";
    }
    if (!name) {
        name = "";
    }
    if (!extension) {
        extension = "";
    }
    const std::size_t d = std::strlen(directory);
    const std::size_t n = std::strlen(name);
    const std::size_t e = std::strlen(extension);
    // An empty directory adds no separator: the result is the name alone.
    const bool separator = d > 0 && !isPathSeparator(directory[d - 1]);
    const bool dot = e > 0 && extension[0] != '.';
    const std::size_t needed = d + separator + n + dot + e + 1;
    if (needed > static_cast<std::size_t>(bufferSize)) {
        return 0;
    }
    char* out = buffer;
    std::memmove(out, directory, d);
    out += d;
    if (separator) {
        *out++ = korutil::detail::kPathSeparator;
    }
    std::memmove(out, name, n);
    out += n;
    if (dot) {
        *out++ = '.';
    }
    std::memmove(out, extension, e);
    out[e] = '\0';
    return 1;
}
