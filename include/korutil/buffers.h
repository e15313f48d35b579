// Buffers and ranges: growable element buffers and the range set. Each owns one block from
// the library heap, grown and shrunk in fixed steps of elements.
#pragma once

#include <korutil/frame.h>

// -- CHugeGrowBuf

// A growable array of fixed-size elements in one block from the library heap; the storage of
// the pointer containers. The block always holds the length rounded up to whole growth steps,
// in both directions, and is released at length 0. Only memory the block gains when it grows
// is zeroed: elements opened by InsertAt hold whatever was there, and the caller writes them.
class KORUTIL_API CHugeGrowBuf {
public:
    // Room for nInitialCapacity elements (rounded up to the growth step, all zero) is taken
    // at once, yet the length starts at 0 and the first insertion fits the block to it.
    CHugeGrowBuf(int nElementSize, int nGrowBy, int nInitialCapacity);
    ~CHugeGrowBuf();
    CHugeGrowBuf(const CHugeGrowBuf&) = delete;
    CHugeGrowBuf& operator=(const CHugeGrowBuf&) = delete;

    // Opens nCount elements at nPosition (0 to length). 0, changing nothing, for bad arguments
    // or when the heap cannot supply the block.
    int InsertAt(int nPosition, int nCount);
    // Removes nCount elements from nPosition on (nPosition below the length). 0, changing
    // nothing, for bad arguments; otherwise 1, even when the heap refuses the smaller block.
    int RemoveAt(int nPosition, int nCount);

    int GetLength() const { return m_nLength; }
    unsigned long GetSize() const { return SizeOf(m_nLength); }
    unsigned long SizeOf(int nCount) const {
        return static_cast<unsigned long>(nCount) * static_cast<unsigned long>(m_nElementSize);
    }
    // Valid until the next InsertAt, RemoveAt or resize; the index is not checked.
    unsigned char* PtrTo(int nIndex) const {
        return m_pBlock + static_cast<std::intptr_t>(nIndex) * m_nElementSize;
    }

protected:
    // Sets the length and fits the block to it. 0, changing nothing, when the heap cannot
    // supply a larger block; a smaller one the heap refuses is kept as it is.
    int resize(int nLength);

    unsigned char* m_pBlock;
    int m_nElementSize;
    int m_nLength;
    int m_nAllocated; // elements the block really has room for
    int m_nGrowBy;
};

// -- CGrowBuf, Range, CRangeSet
