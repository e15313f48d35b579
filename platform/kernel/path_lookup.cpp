#include "kernel/path_lookup.h"

#include "kernel/case_fold.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <string_view>

namespace korutil::detail {
namespace {

// The entry of `dir` that matches `name` without case and sorts first, or "" for none.
std::string entryWithoutCase(const std::string& dir, std::string_view name) {
    std::string found;
    const OwnedDir listing(::opendir(dir.empty() ? "." : dir.c_str()));
    if (!listing) {
        return found;
    }
    while (const dirent* entry = ::readdir(listing.get())) {
        const char* candidate = entry->d_name;
        if (sameWithoutCase(candidate, name) &&
            (found.empty() || std::strcmp(candidate, found.c_str()) < 0)) {
            found = candidate;
        }
    }
    return found;
}

} // namespace

std::string parentDirectory(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string resolveCase(const std::string& path) {
    const int savedErrno = errno;
    std::string out;
    out.reserve(path.size());
    bool lost = false; // a component matched nothing: the rest cannot exist
    std::size_t pos = 0;
    while (pos < path.size()) {
        if (path[pos] == '/') {
            out += '/';
            ++pos;
            continue;
        }
        std::size_t end = path.find('/', pos);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string_view component(path.data() + pos, end - pos);
        const std::size_t dirLength = out.size();
        out.append(component);
        if (!lost && component != "." && component != "..") {
            struct stat st {};
            if (::lstat(out.c_str(), &st) != 0) {
                std::string match;
                if (errno == ENOENT) {
                    // Without the separator that ends it, unless that is the root.
                    const std::string dir =
                        out.substr(0, dirLength > 1 ? dirLength - 1 : dirLength);
                    match = entryWithoutCase(dir, component);
                }
                if (match.empty()) {
                    lost = true;
                } else {
                    out.replace(dirLength, component.size(), match);
                }
            }
        }
        pos = end;
    }
    errno = savedErrno;
    return out;
}

} // namespace korutil::detail
