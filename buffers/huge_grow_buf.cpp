#include <korutil/buffers.h>

#include "frame/heap.h"

#include <climits>
#include <cstdint>
#include <cstring>

using korutil::detail::heapAllocate;
using korutil::detail::heapRelease;
using korutil::detail::heapResize;

// A growth step below 1 would divide by zero; it is taken as 1.
CHugeGrowBuf::CHugeGrowBuf(int nElementSize, int nGrowBy, int nInitialCapacity)
    : m_pBlock(nullptr), m_nElementSize(nElementSize), m_nLength(0), m_nAllocated(0),
      m_nGrowBy(nGrowBy < 1 ? 1 : nGrowBy) {
    resize(nInitialCapacity);
    m_nLength = 0;
}

CHugeGrowBuf::~CHugeGrowBuf() {
    resize(0);
}

int CHugeGrowBuf::resize(int nLength) {
    if (nLength <= 0) {
        heapRelease(m_pBlock);
        m_pBlock = nullptr;
        m_nAllocated = 0;
        m_nLength = 0;
        return 1;
    }
    const long long target = (static_cast<long long>(nLength) + m_nGrowBy - 1) / m_nGrowBy *
                             static_cast<long long>(m_nGrowBy);
    if (target != m_nAllocated) {
        // Sizes the block cannot be given (beyond int elements or the address space) are
        // refused like any allocation the heap turns down.
        const unsigned long long wanted =
            static_cast<unsigned long long>(target) * static_cast<unsigned int>(m_nElementSize);
        if (target > INT_MAX || wanted > SIZE_MAX) {
            return 0;
        }
        const std::size_t newBytes = static_cast<std::size_t>(wanted);
        const std::size_t oldBytes =
            static_cast<std::size_t>(m_nAllocated) * static_cast<unsigned int>(m_nElementSize);
        unsigned char* block;
        if (m_pBlock == nullptr) {
            block = static_cast<unsigned char*>(heapAllocate(newBytes));
            if (block == nullptr) {
                return 0;
            }
            std::memset(block, 0, newBytes);
        } else {
            block = static_cast<unsigned char*>(heapResize(m_pBlock, newBytes));
            if (block == nullptr) {
                if (newBytes > oldBytes) {
                    return 0;
                }
                // Shrinking needs no memory: a refused smaller block leaves the larger one,
                // and m_nAllocated keeps describing it, so a removal always succeeds.
                m_nLength = nLength;
                return 1;
            }
            if (newBytes > oldBytes) {
                std::memset(block + oldBytes, 0, newBytes - oldBytes);
            }
        }
        m_pBlock = block;
        m_nAllocated = static_cast<int>(target);
    }
    m_nLength = nLength;
    return 1;
}

int CHugeGrowBuf::InsertAt(int nPosition, int nCount) {
    if (nPosition < 0 || nPosition > m_nLength || nCount < 0 || nCount > INT_MAX - m_nLength) {
        return 0;
    }
    const int tail = m_nLength - nPosition;
    if (!resize(m_nLength + nCount)) {
        return 0;
    }
    if (tail != 0 && nCount != 0) {
        std::memmove(PtrTo(nPosition + nCount), PtrTo(nPosition), SizeOf(tail));
    }
    return 1;
}

int CHugeGrowBuf::RemoveAt(int nPosition, int nCount) {
    if (nPosition < 0 || nPosition >= m_nLength || nCount < 0 || nCount > m_nLength - nPosition) {
        return 0;
    }
    const int tail = m_nLength - nPosition - nCount;
    if (tail != 0 && nCount != 0) {
        std::memmove(PtrTo(nPosition), PtrTo(nPosition + nCount), SizeOf(tail));
    }
    // Never fails: the length only falls, and a refused smaller block is kept.
    resize(m_nLength - nCount);
    return 1;
}
