// Writing private-profile files so that concurrent writers in several processes lose no
// update and readers never see half a file. A write takes the file's exclusive lock, reads
// the current file, applies its changes and replaces the file by renaming a complete new one
// over it, so that a crash leaves the old file or the new one.
//
// A write goes to the file that the name designates: through a symbolic link (followed to the
// end of a chain) to its target, which stays a file of its own beside the link. A file with
// more than one name (hard links) is rewritten in place instead, under the same lock, so that
// every name sees the change; readers take the shared lock for such a file, but a crash in
// the middle of that rewrite can leave it incomplete.
#pragma once

#include "kernel/ini_document.h"

#include <korutil/platform/types.h>

#include <string>
#include <vector>

namespace korutil::detail {

// Applies `writes` in order to the file at `path` as one replacement of the file. A missing
// file is created, and its directory too when `makeDirectory` (the configuration home);
// writes that only delete leave a missing file missing. NO_ERROR or the Windows error:
// ERROR_ACCESS_DENIED for a read-only file or one that is not a regular file,
// ERROR_PATH_NOT_FOUND for a missing directory.
DWORD writeProfileFile(const std::string& path, bool makeDirectory,
                       const std::vector<ProfileWrite>& writes);

// What writeProfileFile would answer for the file itself, without writing: the failures that
// do not depend on the contents.
DWORD checkProfileWritable(const std::string& path, bool makeDirectory);

} // namespace korutil::detail
