// Runs of private-profile writes that reach their file together (PlatDeferNextProfileWrite,
// profiles.h): the pending writes of each file, shared by the threads of this process, and
// the one thread that writes a run out once it has ended.
#pragma once

#include "kernel/ini_document.h"

#include <korutil/platform/types.h>

#include <functional>
#include <memory>
#include <string>

namespace korutil::detail {

// Adds a write to the run pending for the file at `path`; the file is written once for the
// whole run. A write of a key that the run already holds begins a new run, the pending one
// being written first. A new run first checks that the file could be written at all
// (checkProfileWritable) and answers that, holding nothing back when it could not.
DWORD deferWrite(const std::string& path, bool makeDirectory, ProfileWrite write);

// Writes out the run pending for `path` (for every file when `path` is null) now; NO_ERROR
// when there is none, else what writeProfileFile answered.
DWORD flushPending(const std::string* path);

// The document of `path` as this process sees it: what `readDisk` gives (null for no file)
// with the writes pending for the file applied. While writes are pending, `readDisk` runs
// while no run can be written out, so that the file and the pending writes agree.
std::shared_ptr<const IniDocument>
withPending(const std::string& path,
            const std::function<std::shared_ptr<const IniDocument>()>& readDisk);

} // namespace korutil::detail
