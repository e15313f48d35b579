// The parsed private-profile files of this process, shared by its threads. Each document is
// kept with the identity of the file it was parsed from (device, inode, size, times) and is
// parsed again when the file on disk differs. A file with more than one name (hard links) is
// rewritten in place by writers, so it is read under its shared lock and never from the
// cache: its identity may not change with its content.
#pragma once

#include "kernel/ini_document.h"

#include <korutil/platform/types.h>

#include <memory>
#include <string>

struct stat;

namespace korutil::detail {

// The current document of the file at `path` (found without case when the name does not
// exist as written), or null with *error: ERROR_FILE_NOT_FOUND when there is no file,
// ERROR_ACCESS_DENIED when it is not a regular file or cannot be read. Never waits for a
// FIFO or a device.
std::shared_ptr<const IniDocument> currentDocument(const std::string& path, DWORD* error);

// The cached document of `path` if it was parsed from the file of this status, else null.
std::shared_ptr<const IniDocument> cachedDocument(const std::string& path, const struct stat& st);

// Records the document that a write through the name `path` has just put into the file of
// this status at `target`.
void rememberDocument(const std::string& path, const std::string& target, const struct stat& st,
                      std::shared_ptr<const IniDocument> doc);

} // namespace korutil::detail
