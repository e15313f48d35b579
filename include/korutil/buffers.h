// Buffers and ranges: growable element buffers and the range set. Each owns one block from
// the library heap, grown and shrunk in fixed steps of elements.
#pragma once

#include <korutil/frame.h>

#include <cstddef>
#include <cstdint>

namespace korutil::detail {
struct HugeGrowBufAccess;
}

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
    friend struct korutil::detail::HugeGrowBufAccess;

    // Sets the length and fits the block to it. 0, changing nothing, when the heap cannot
    // supply a larger block; a smaller one the heap refuses is kept as it is.
    int resize(int nLength);

    unsigned char* m_pBlock;
    int m_nElementSize;
    int m_nLength;
    int m_nAllocated; // elements the block really has room for
    int m_nGrowBy;
};

// A growable array of fixed-size elements of raw bytes in one heap block. The block is always
// sized to a whole number of growth steps; with the shrink flag it follows the length down as
// well as up. Every length change goes through the virtual SetLength, Copy and Insert, so a
// derived class that overrides one of them changes every operation built on it.
class KORUTIL_API CGrowBuf {
public:
    // Element size in bytes, growth step in elements (at least 1), shrink flag.
    CGrowBuf(int nElementSize, int nGrowBy, int bShrink);
    virtual ~CGrowBuf();

    // Copies source elements [nFirst, nEnd) to this buffer from nDest on, lengthening it when
    // the copy reaches past its end. Source and destination may be the same buffer and
    // overlap. 0 (nothing changed) when the heap refuses, the range is not within the
    // source, or the element sizes differ.
    virtual int Copy(int nDest, const CGrowBuf* pSource, int nFirst, int nEnd);
    // New elements are zero-filled. 0 (nothing changed) when the heap cannot supply the
    // block or nLength is negative. Shortening never fails.
    virtual int SetLength(int nLength);
    // Opens a gap of nCount zero-filled elements at nPos (0 to the length).
    virtual int Insert(int nPos, int nCount);

    // Makes this buffer a copy of the other: its elements, element size and shrink flag; the
    // growth step stays this buffer's own. On failure the buffer is left empty.
    int Copy(const CGrowBuf& other);
    // Removes nCount elements from nPos on.
    int Delete(int nPos, int nCount);
    int Flush();

    int GetLength() const { return m_nLength; }
    int IsEmpty() const { return m_nLength == 0 ? 1 : 0; }
    // Valid until the next length change, which may move the block.
    void* GetElement(int nIndex) const { return PtrTo(nIndex); }

    CGrowBuf(const CGrowBuf&) = delete;
    CGrowBuf& operator=(const CGrowBuf&) = delete;

protected:
    int SizeOf(int nCount) const { return nCount * m_nElementSize; }
    unsigned char* PtrTo(int nIndex) const {
        return m_pBlock + static_cast<std::ptrdiff_t>(nIndex) * m_nElementSize;
    }

    unsigned char* m_pBlock;
    int m_nLength;
    int m_nAllocated;
    int m_nElementSize;
    int m_nGrowBy;
    int m_bShrink;
};

// The positions p with from <= p < upTo. A plain record: copying and assignment are
// member-wise.
struct KORUTIL_API Range {
    long from;
    long upTo;
};

// A set of positions kept as the shortest sorted list of disjoint, non-touching, non-empty
// ranges, with union and difference with a range, membership and index queries, and
// sliding to follow insertions into and removals from the axis it marks.
class KORUTIL_API CRangeSet : public CGrowBuf {
public:
    CRangeSet();
    ~CRangeSet() override;

    // Union with [from, upTo): 1 (unchanged) when from == upTo, 0 when upTo < from or the
    // list cannot grow.
    int Include(long from, long upTo);
    int Include(const Range& range) { return Include(range.from, range.upTo); }
    // Difference with [from, upTo): 0 when upTo <= from or the list cannot grow.
    int Exclude(long from, long upTo);
    int Exclude(const Range& range) { return Exclude(range.from, range.upTo); }
    // distance >= 0: every position at or after pos moves up by distance. distance < 0: the
    // positions [pos, pos - distance) go and everything behind moves down. 0 (unchanged)
    // when the list cannot grow or a moved bound would leave the range of long.
    int Slide(long pos, long distance);

    // -1 on an empty set; else the first range with upTo >= pos, or GetCount() if none.
    int IndexWithUpToGE(long pos) const;
    // The last range with from <= pos, or -1 if none or the set is empty.
    int IndexWithFromLE(long pos) const;
    int IndexContaining(long pos) const;
    int Contains(long pos) const { return IndexContaining(pos) != -1 ? 1 : 0; }

    int GetCount() const { return GetLength(); }
    // Valid until the next change of the set.
    const Range* GetAt(int nIndex) const { return static_cast<const Range*>(GetElement(nIndex)); }
    const Range* operator[](int nIndex) const { return GetAt(nIndex); }

private:
    int slideIns(long pos, long distance);
    int slideDel(long pos, long distance);
    Range* getRange(int nIndex) { return static_cast<Range*>(GetElement(nIndex)); }
};
