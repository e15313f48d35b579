#include <korutil/buffers.h>

#include "frame/heap.h"

#include <climits>
#include <cstring>

using korutil::detail::heapRelease;
using korutil::detail::heapResize;

// A step below 1 would divide by zero when rounding; one element per step is the nearest
// sound reading.
CGrowBuf::CGrowBuf(int nElementSize, int nGrowBy, int bShrink)
    : m_pBlock(nullptr), m_nLength(0), m_nAllocated(0), m_nElementSize(nElementSize),
      m_nGrowBy(nGrowBy < 1 ? 1 : nGrowBy), m_bShrink(bShrink) {}

CGrowBuf::~CGrowBuf() {
    heapRelease(m_pBlock);
    m_pBlock = nullptr;
    m_nLength = 0;
    m_nAllocated = 0;
}

int CGrowBuf::SetLength(int nLength) {
    if (nLength < 0) {
        return 0;
    }
    if (nLength == m_nLength) {
        return 1;
    }
    const long long target =
        (static_cast<long long>(nLength) + m_nGrowBy - 1) / m_nGrowBy * m_nGrowBy;
    if (target != m_nAllocated && (target > m_nAllocated || m_bShrink)) {
        // Sizes are kept within int so that SizeOf and element offsets cannot overflow.
        if (m_nElementSize < 0 || (nLength > 0 && m_nElementSize == 0) ||
            target * m_nElementSize > INT_MAX) {
            return 0;
        }
        if (target == 0) {
            heapRelease(m_pBlock);
            m_pBlock = nullptr;
            m_nAllocated = 0;
        } else {
            void* block = heapResize(m_pBlock, static_cast<std::size_t>(target * m_nElementSize));
            if (block != nullptr) {
                m_pBlock = static_cast<unsigned char*>(block);
                m_nAllocated = static_cast<int>(target);
            } else if (target > m_nAllocated) {
                return 0;
            }
            // A refused shrink keeps the larger block: it still holds every element, and a
            // shortening that cannot fail lets callers cut data before they shorten.
        }
    }
    if (nLength > m_nLength) {
        std::memset(PtrTo(m_nLength), 0, static_cast<std::size_t>(SizeOf(nLength - m_nLength)));
    }
    m_nLength = nLength;
    return 1;
}

int CGrowBuf::Insert(int nPos, int nCount) {
    if (nPos < 0 || nPos > m_nLength || nCount < 0 ||
        static_cast<long long>(m_nLength) + nCount > INT_MAX) {
        return 0;
    }
    const int oldLength = m_nLength;
    if (!SetLength(oldLength + nCount)) {
        return 0;
    }
    if (nCount > 0) {
        if (oldLength > nPos) {
            std::memmove(PtrTo(nPos + nCount), PtrTo(nPos),
                         static_cast<std::size_t>(SizeOf(oldLength - nPos)));
        }
        std::memset(PtrTo(nPos), 0, static_cast<std::size_t>(SizeOf(nCount)));
    }
    return 1;
}

int CGrowBuf::Copy(int nDest, const CGrowBuf* pSource, int nFirst, int nEnd) {
    if (pSource == nullptr || nFirst < 0 || nEnd < nFirst || nEnd > pSource->m_nLength ||
        nDest < 0) {
        return 0;
    }
    const int count = nEnd - nFirst;
    if (count == 0) {
        return 1;
    }
    // Elements of another size would be cut or read past the source's block.
    if (pSource->m_nElementSize != m_nElementSize) {
        return 0;
    }
    const long long end = static_cast<long long>(nDest) + count;
    if (end > m_nLength) {
        if (end > INT_MAX || !SetLength(static_cast<int>(end))) {
            return 0;
        }
    }
    // The source address is taken now: lengthening may have moved this block, and the source
    // may be this buffer.
    std::memmove(PtrTo(nDest), pSource->PtrTo(nFirst), static_cast<std::size_t>(SizeOf(count)));
    return 1;
}

int CGrowBuf::Copy(const CGrowBuf& other) {
    if (&other == this) {
        return 1;
    }
    // Emptied without the shrink flag, so that the block stays for the copy.
    m_bShrink = 0;
    if (!SetLength(0)) {
        return 0;
    }
    if (other.m_nElementSize != m_nElementSize) {
        // The kept block is re-counted in whole growth steps of the new element size, so that
        // it still holds m_nAllocated elements; a block too small for one step goes.
        const long long bytes = static_cast<long long>(m_nAllocated) * m_nElementSize;
        const long long step = static_cast<long long>(other.m_nElementSize) * m_nGrowBy;
        const long long steps = step > 0 ? bytes / step : 0;
        m_nAllocated = static_cast<int>(steps * m_nGrowBy);
        if (m_nAllocated == 0) {
            heapRelease(m_pBlock);
            m_pBlock = nullptr;
        }
        m_nElementSize = other.m_nElementSize;
    }
    m_bShrink = other.m_bShrink;
    return Copy(0, &other, 0, other.GetLength()) ? 1 : 0;
}

int CGrowBuf::Delete(int nPos, int nCount) {
    if (nPos < 0 || nCount < 0 || static_cast<long long>(nPos) + nCount > m_nLength) {
        return 0;
    }
    if (!Copy(nPos, this, nPos + nCount, m_nLength)) {
        return 0;
    }
    return SetLength(m_nLength - nCount);
}

int CGrowBuf::Flush() {
    return SetLength(0);
}
