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
    // Any offset beyond 2^33 lands clamped all the same; bounding it first keeps the sums
    // below from overflowing whatever the width of long.
    constexpr long long kFar = 1LL << 33;
    const long long distance = offset < -kFar ? -kFar : offset > kFar ? kFar : offset;
    long long target;
    switch (from) {
    case CFile::fromBegin:
        target = distance;
        break;
    case CFile::fromCurrent:
        target = m_position + distance;
        break;
    case CFile::fromEnd:
        target = m_memSize - distance;
        break;
    default:
        return m_position;
    }
    m_position = static_cast<long>(target < 0 ? 0 : target > m_memSize ? m_memSize : target);
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
