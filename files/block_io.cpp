#include "files/block_io.h"

namespace korutil::detail {

HANDLE openDiskFile(const char* fileName, CFile::OpenMode mode) {
    switch (mode) {
    case CFile::modeRead:
        return CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    case CFile::modeWrite:
        return CreateFileA(fileName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    return INVALID_HANDLE_VALUE;
}

long readBlock(HANDLE handle, void* buffer, long count) {
    DWORD done = 0;
    if (!ReadFile(handle, buffer, static_cast<DWORD>(count), &done, nullptr)) {
        return -1;
    }
    return static_cast<long>(done);
}

long writeBlock(HANDLE handle, const void* buffer, long count) {
    DWORD done = 0;
    if (!WriteFile(handle, buffer, static_cast<DWORD>(count), &done, nullptr)) {
        return -1;
    }
    return static_cast<long>(done);
}

long moveFilePointer(HANDLE handle, long offset, DWORD method) {
    if (offset < -kMaxFileCount - 1 || offset > kMaxFileCount) {
        return -1;
    }
    const DWORD position = SetFilePointer(handle, static_cast<LONG>(offset), nullptr, method);
    return static_cast<long>(static_cast<LONG>(position));
}

} // namespace korutil::detail
