#include "files/block_io.h"

using namespace korutil::detail;

CRawDiskFile::CRawDiskFile() : m_hFile(INVALID_HANDLE_VALUE) {}

CRawDiskFile::~CRawDiskFile() {
    m_hFile = INVALID_HANDLE_VALUE;
}

int CRawDiskFile::Open(const char* fileName, CFile::OpenMode mode) {
    // A second Open would lose the handle held, and with it the file stays locked.
    if (m_hFile != INVALID_HANDLE_VALUE) {
        return 0;
    }
    m_hFile = openDiskFile(fileName, mode);
    return m_hFile != INVALID_HANDLE_VALUE ? 1 : 0;
}

int CRawDiskFile::Close() {
    if (m_hFile == INVALID_HANDLE_VALUE) {
        return 0;
    }
    const BOOL closed = CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    return closed ? 1 : 0;
}

long CRawDiskFile::GetPosition() const {
    return moveFilePointer(m_hFile, 0, FILE_CURRENT);
}

long CRawDiskFile::Seek(long offset, CFile::SeekFrom from) {
    return moveFilePointer(m_hFile, offset, static_cast<DWORD>(from));
}

long CRawDiskFile::Read(void* buffer, long count) {
    if (count == 0) {
        return 0;
    }
    if (count < 0 || count > kMaxFileCount) {
        return -1;
    }
    return readBlock(m_hFile, buffer, count);
}

long CRawDiskFile::Write(const void* buffer, long count) {
    if (count == 0) {
        return 0;
    }
    if (count < 0 || count > kMaxFileCount) {
        return -1;
    }
    return writeBlock(m_hFile, buffer, count);
}
