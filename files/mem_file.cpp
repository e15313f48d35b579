#include "files/block_io.h"

#include <cstring>

using korutil::detail::kMaxFileCount;

namespace {

// Grows the host's global block, which may move; null when it cannot, with the old block
// locked again and intact. The handle is found from the locked pointer.
unsigned char* growGlobalBlock(unsigned char* pointer, long newSize) {
    HGLOBAL handle = GlobalHandle(pointer);
    if (!handle) {
        return nullptr;
    }
    GlobalUnlock(handle);
    HGLOBAL grown =
        GlobalReAlloc(handle, static_cast<SIZE_T>(newSize), GMEM_MOVEABLE | GMEM_ZEROINIT);
    if (!grown) {
        GlobalLock(handle);
        return nullptr;
    }
    return static_cast<unsigned char*>(GlobalLock(grown));
}

long clampTo(long value, long low, long high) {
    return value < low ? low : value > high ? high : value;
}

} // namespace

CMemFile::CMemFile(long growBy)
    : m_growBy(growBy), m_pMemory(nullptr), m_memSize(0), m_position(0) {}

CMemFile::~CMemFile() {}

int CMemFile::Open(unsigned char* memory, long size) {
    m_pMemory = memory;
    m_memSize = size < 0 ? 0 : size;
    m_position = 0;
    return 1;
}

int CMemFile::Close(unsigned char** memory, long* size) {
    if (memory) {
        *memory = m_pMemory;
    }
    if (size) {
        *size = m_memSize;
    }
    m_pMemory = nullptr;
    m_memSize = 0;
    m_position = 0;
    return 1;
}

long CMemFile::GetPosition() const {
    return m_position;
}

long CMemFile::Seek(long offset, CFile::SeekFrom from) {
    long target;
    bool overflow;
    switch (from) {
    case CFile::fromBegin:
        target = offset;
        overflow = false;
        break;
    case CFile::fromCurrent:
        overflow = __builtin_add_overflow(m_position, offset, &target);
        break;
    case CFile::fromEnd:
        overflow = __builtin_sub_overflow(m_memSize, offset, &target);
        break;
    default:
        return m_position;
    }
    if (overflow) {
        // Only a target far outside the block overflows; it clamps to the side it went to.
        target = (from == CFile::fromCurrent) == (offset > 0) ? m_memSize : 0;
    }
    m_position = clampTo(target, 0, m_memSize);
    return m_position;
}

long CMemFile::Read(void* buffer, long count) {
    if (count <= 0) {
        return 0;
    }
    const long n = count < m_memSize - m_position ? count : m_memSize - m_position;
    if (n <= 0) {
        return 0;
    }
    std::memcpy(buffer, m_pMemory + m_position, static_cast<std::size_t>(n));
    m_position += n;
    return n;
}

long CMemFile::Write(const void* buffer, long count) {
    if (count <= 0 || count > kMaxFileCount) {
        return 0;
    }
    if (count > m_memSize - m_position) {
        const long grow = m_growBy > count ? m_growBy : count;
        // The size is a signed 32-bit value: a block that would pass it cannot grow.
        if (grow > kMaxFileCount - m_memSize) {
            return 0;
        }
        unsigned char* grown = growGlobalBlock(m_pMemory, m_memSize + grow);
        if (!grown) {
            return 0;
        }
        m_pMemory = grown;
        m_memSize += grow;
    }
    std::memcpy(m_pMemory + m_position, buffer, static_cast<std::size_t>(count));
    m_position += count;
    return count;
}
