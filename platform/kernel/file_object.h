// Files opened through CreateFileA: one open file description each, carrying the open's
// sharing locks, so that the Windows sharing rules hold between processes as well.
#pragma once

#include "kernel/handle_table.h"

#include <string>

struct stat;

namespace korutil::detail {

class FileObject : public KernelObject {
public:
    FileObject(int fd, DWORD access) : m_fd(fd), m_access(access) {}
    ~FileObject() override;
    FileObject(const FileObject&) = delete;
    FileObject& operator=(const FileObject&) = delete;

    int fd() const { return m_fd; }
    // GENERIC_READ or GENERIC_ALL; GENERIC_WRITE or GENERIC_ALL.
    bool canRead() const { return (m_access & 0x90000000u) != 0; }
    bool canWrite() const { return (m_access & 0x50000000u) != 0; }

private:
    int m_fd;
    DWORD m_access;
};

// The layer's path for a Windows-style one: `\` read as `/`.
std::string nativePath(const char* path);

// The Windows error code for an errno value met while working on `path` (ENOENT becomes
// ERROR_PATH_NOT_FOUND when the directory itself is missing).
DWORD windowsError(int error, const std::string& path);

// Opens `path` as CreateFileA does (a name that does not exist as written is looked up
// without case) and returns the descriptor (admitted under the sharing rules, its locks
// held), or -1 with *error set to the Windows code. *existed tells whether the file was
// there before.
int openShared(const std::string& path, DWORD access, DWORD share, DWORD disposition,
               DWORD attributes, DWORD* error, bool* existed);

// Whether an open other than `fd` holds the file without FILE_SHARE_DELETE.
bool othersDenyDelete(int fd);

// The Windows attributes of a file of this status whose last path component is `name`.
DWORD fileAttributes(const struct stat& st, const char* name);

} // namespace korutil::detail
