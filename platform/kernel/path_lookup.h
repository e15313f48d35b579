// Finding files by names without case, as Windows programs name them. Callers try the name as
// written first and come here only when that fails, so that a name written exactly costs
// nothing more than on a case-sensitive system.
#pragma once

#include <dirent.h>

#include <cerrno>
#include <memory>
#include <string>

namespace korutil::detail {

// `path` (a native path, `/` separated) with each component that does not exist as written
// replaced by the entry of its directory that matches it without case (case_fold.h). An exact
// match always wins; of several entries that differ only in case, the one that sorts first
// by bytes ("REPORT.DAT" before "Report.dat" before "report.dat"). From the first component
// that matches nothing, the rest is kept as written: a file created there keeps the caller's
// case, in directories found without case.
std::string resolveCase(const std::string& path);

// The directory that holds the last component of a native path: "." for a bare name, "/"
// for a component of the root.
std::string parentDirectory(const std::string& path);

// Whether a lookup that failed with this errno value may succeed by resolveCase.
inline bool mayDifferInCase(int error) {
    return error == ENOENT || error == ENOTDIR;
}

// A directory listing, closed also when the work on its entries runs out of memory.
struct DirCloser {
    void operator()(DIR* listing) const { ::closedir(listing); }
};
using OwnedDir = std::unique_ptr<DIR, DirCloser>;

} // namespace korutil::detail
