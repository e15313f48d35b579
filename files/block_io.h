// What the two disk files share: the open flags of each mode, and one system call per block.
#pragma once

#include <korutil/files.h>

namespace korutil::detail {

// The largest position or count a file call handles: they are signed 32-bit values.
constexpr long kMaxFileCount = 0x7FFFFFFFL;

// CreateFileA with the flags of the mode; INVALID_HANDLE_VALUE for a mode that is not one.
HANDLE openDiskFile(const char* fileName, CFile::OpenMode mode);

// One ReadFile or WriteFile call: the bytes transferred, or -1 when the call failed. A partial
// transfer is not completed.
long readBlock(HANDLE handle, void* buffer, long count);
long writeBlock(HANDLE handle, const void* buffer, long count);

// SetFilePointer with a 32-bit distance, its result read as a signed 32-bit position, so that
// a failure arrives as -1 whatever the width of long.
long moveFilePointer(HANDLE handle, long offset, DWORD method);

} // namespace korutil::detail
