#include "registry/names.h"

namespace korutil::detail {

DWORD splitPath(const char* path, std::vector<std::string>& parts) {
    parts.clear();
    if (!path || !*path) {
        return ERROR_SUCCESS;
    }
    if (path[0] == '\\') {
        return ERROR_BAD_PATHNAME;
    }
    const char* start = path;
    for (const char* p = path;; ++p) {
        if (*p == '\\' || *p == '\0') {
            if (p == start) {
                return *p == '\0' ? ERROR_SUCCESS : ERROR_BAD_PATHNAME;
            }
            parts.emplace_back(start, p);
            if (*p == '\0' || p[1] == '\0') {
                return ERROR_SUCCESS;
            }
            start = p + 1;
        }
    }
}

DWORD checkNewKeys(const std::vector<std::string>& parts, unsigned depth) {
    for (const std::string& part : parts) {
        for (unsigned char c : part) {
            // A line break (or any control character) could not stand in a .reg header.
            if (c < 0x20 || c == 0x7F) {
                return ERROR_BAD_PATHNAME;
            }
        }
        if (part.size() > kMaxKeyName) {
            return ERROR_INVALID_PARAMETER;
        }
    }
    return depth + parts.size() > kMaxKeyDepth ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}

} // namespace korutil::detail
