#include "files/block_io.h"
#include "frame/heap.h"

#include <cstring>

using namespace korutil::detail;

namespace {

constexpr long kBufferStep = 1024;

} // namespace

CBufDiskFile::CBufDiskFile(long bufferSize)
    : m_hFile(INVALID_HANDLE_VALUE), m_state(stateIdle), m_buffer(nullptr),
      m_bufferSize(bufferSize > kMaxFileCount ? kMaxFileCount : bufferSize), m_bufferPos(0),
      m_bufferFill(0) {}

CBufDiskFile::~CBufDiskFile() {
    m_hFile = INVALID_HANDLE_VALUE;
    heapRelease(m_buffer);
    m_buffer = nullptr;
}

bool CBufDiskFile::isOpen() const {
    return m_hFile != INVALID_HANDLE_VALUE && m_buffer;
}

int CBufDiskFile::Open(const char* fileName, CFile::OpenMode mode) {
    // A second Open would lose the handle held and the bytes still pending.
    if (m_hFile != INVALID_HANDLE_VALUE) {
        return 0;
    }
    // The buffer comes first: an Open that fails for want of memory has not created or
    // truncated the file. Its size stays as it was then, so that a later Open tries again in
    // full rather than failing for good.
    const long requested = m_bufferSize;
    while (m_bufferSize > 0 && !m_buffer) {
        m_buffer =
            static_cast<unsigned char*>(heapAllocate(static_cast<std::size_t>(m_bufferSize)));
        if (!m_buffer) {
            m_bufferSize -= kBufferStep;
        }
    }
    if (!m_buffer) {
        m_bufferSize = requested;
        return 0;
    }
    m_hFile = openDiskFile(fileName, mode);
    if (m_hFile == INVALID_HANDLE_VALUE) {
        heapRelease(m_buffer);
        m_buffer = nullptr;
        return 0;
    }
    m_bufferPos = 0;
    m_bufferFill = 0;
    m_state = stateIdle;
    return 1;
}

int CBufDiskFile::Close() {
    int result = 1;
    if (m_hFile != INVALID_HANDLE_VALUE) {
        if (m_state == stateWriting && m_buffer && !flushWriteBuffer()) {
            result = 0;
        }
        if (!CloseHandle(m_hFile)) {
            result = 0;
        }
        m_hFile = INVALID_HANDLE_VALUE;
    } else {
        result = 0;
    }
    heapRelease(m_buffer);
    m_buffer = nullptr;
    return result;
}

int CBufDiskFile::flushWriteBuffer() {
    if (m_bufferPos > 0) {
        const long written = writeBlock(m_hFile, m_buffer, m_bufferPos);
        if (written != m_bufferPos) {
            // Bytes that did reach the file leave the buffer, so that the retry the next
            // operation makes does not write them twice.
            if (written > 0) {
                std::memmove(m_buffer, m_buffer + written,
                             static_cast<std::size_t>(m_bufferPos - written));
                m_bufferPos -= written;
            }
            return 0;
        }
    }
    m_bufferPos = 0;
    m_bufferFill = 0;
    return 1;
}

int CBufDiskFile::emptyReadBuffer() {
    if (m_bufferPos < m_bufferFill) {
        const long current = moveFilePointer(m_hFile, 0, FILE_CURRENT);
        if (current < 0) {
            return 0;
        }
        const long target = current + m_bufferPos - m_bufferFill;
        if (moveFilePointer(m_hFile, target, FILE_BEGIN) != target) {
            return 0;
        }
    }
    m_bufferPos = 0;
    m_bufferFill = 0;
    return 1;
}

long CBufDiskFile::GetPosition() const {
    if (!isOpen()) {
        return -1;
    }
    const long system = moveFilePointer(m_hFile, 0, FILE_CURRENT);
    if (system < 0) {
        return -1;
    }
    if (m_state == stateReading) {
        return system - (m_bufferFill - m_bufferPos);
    }
    // Pending bytes may carry the position past what a signed 32-bit value holds.
    return m_bufferPos > kMaxFileCount - system ? -1 : system + m_bufferPos;
}

long CBufDiskFile::Seek(long offset, CFile::SeekFrom from) {
    if (!isOpen()) {
        return -1;
    }
    if (from == CFile::fromCurrent && offset == 0) {
        return GetPosition();
    }
    if (m_state == stateWriting && !flushWriteBuffer()) {
        return -1;
    }
    if (m_state == stateReading && !emptyReadBuffer()) {
        return -1;
    }
    return moveFilePointer(m_hFile, offset, static_cast<DWORD>(from));
}

long CBufDiskFile::Read(void* buffer, long count) {
    if (!isOpen() || count < 0 || count > kMaxFileCount) {
        return -1;
    }
    if (count == 0) {
        return 0;
    }
    if (m_state == stateWriting && !flushWriteBuffer()) {
        return -1;
    }
    m_state = stateReading;
    if (count > m_bufferFill - m_bufferPos) {
        // Buffered bytes are not combined with new ones: the request is served afresh from the
        // logical position, which the unread bytes are given back to reach.
        if (m_bufferPos < m_bufferFill &&
            moveFilePointer(m_hFile, m_bufferPos - m_bufferFill, FILE_CURRENT) < 0) {
            return -1;
        }
        m_bufferPos = 0;
        m_bufferFill = 0;
        if (count > m_bufferSize) {
            return readBlock(m_hFile, buffer, count);
        }
        const long loaded = readBlock(m_hFile, m_buffer, m_bufferSize);
        if (loaded < 0) {
            return -1;
        }
        m_bufferFill = loaded;
        if (loaded < count) {
            count = loaded;
        }
    }
    if (count > 0) {
        std::memcpy(buffer, m_buffer + m_bufferPos, static_cast<std::size_t>(count));
        m_bufferPos += count;
    }
    return count;
}

long CBufDiskFile::Write(const void* buffer, long count) {
    if (!isOpen() || count < 0 || count > kMaxFileCount) {
        return -1;
    }
    if (count == 0) {
        return 0;
    }
    if (m_state == stateReading && !emptyReadBuffer()) {
        return -1;
    }
    m_state = stateWriting;
    if (count > m_bufferSize - m_bufferPos) {
        if (m_bufferPos > 0 && !flushWriteBuffer()) {
            return 0;
        }
        if (count > m_bufferSize) {
            return writeBlock(m_hFile, buffer, count);
        }
    }
    std::memcpy(m_buffer + m_bufferPos, buffer, static_cast<std::size_t>(count));
    m_bufferPos += count;
    return count;
}
