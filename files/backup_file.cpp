#include "files/path_chars.h"

#include <korutil/files.h>

#include <cctype>
#include <climits>
#include <cstring>

namespace {

// The number an extension holds, read as the C library's strtol would read it in base 10
// (white space, a sign, digits up to the first other character; 0 without digits), but
// saturating instead of overflowing.
long long extensionNumber(const char* text) {
    while (std::isspace(static_cast<unsigned char>(*text))) {
        ++text;
    }
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (value < LLONG_MAX / 10) {
            value = value * 10 + (*text - '0');
        }
    }
    return negative ? -value : value;
}

} // namespace

int BackupFile(const char* fileName) {
    if (!fileName) {
        return 0;
    }
    const std::size_t length = std::strlen(fileName);
    char pattern[MAX_PATH];
    if (length >= sizeof pattern) {
        return 0;
    }
    std::memcpy(pattern, fileName, length + 1);
    // Only a dot in the last part of the path starts an extension: a dot in a directory name
    // would send the backup into the parent directory.
    char* dot = std::strrchr(pattern, '.');
    const char* separator = korutil::detail::lastPathSeparator(pattern);
    if (dot && separator && dot < separator) {
        dot = nullptr;
    }
    if (!dot) {
        dot = pattern + length;
    }
    char* star = dot + 1;
    if (static_cast<std::size_t>(star - pattern) + 2 > sizeof pattern) {
        return 0;
    }
    star[-1] = '.';
    star[0] = '*';
    star[1] = '\0';

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    long long highest = 0;
    do {
        if (const char* extension = std::strrchr(found.cFileName, '.')) {
            const long long number = extensionNumber(extension + 1);
            if (number > highest) {
                highest = number;
            }
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    if (highest >= INT_MAX) {
        return 0;
    }

    char digits[1024];
    const int count = wsprintfA(digits, "%03d", static_cast<int>(highest + 1));
    if (static_cast<std::size_t>(star - pattern) + static_cast<std::size_t>(count) + 1 >
        sizeof pattern) {
        return 0;
    }
    std::memcpy(star, digits, static_cast<std::size_t>(count) + 1);
    return CopyFileA(fileName, pattern, TRUE) ? 1 : 0;
}
