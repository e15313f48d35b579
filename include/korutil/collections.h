// Pointer collections: the abstract container base and the pointer containers. They store
// pointer values only and never dereference, free or own what the pointers point to.
#pragma once

#include <korutil/frame.h>
#include <korutil/buffers.h>

// The data-less root of every container: a common base with a virtual destructor, so that a
// host can own any container through a CCollection pointer.
class KORUTIL_API CCollection {
public:
    CCollection() = default;
    CCollection(const CCollection&) {}
    CCollection& operator=(const CCollection&) { return *this; }
    virtual ~CCollection() = 0;
};

// -- CPtrArray, CPtrSet, CPtrToPtrDict

// A growable, index-addressed array of pointers (null included). The storage holds the count
// rounded up to whole grow-by steps and is released when the array empties.
class KORUTIL_API CPtrArray : public CCollection {
public:
    // nGrowBy: allocation step in elements (at least 1). nInitialCapacity: room taken at once,
    // which lasts only until the first insertion fits the storage to the count.
    CPtrArray(int nGrowBy = 16, int nInitialCapacity = 0);
    ~CPtrArray() override;
    CPtrArray(const CPtrArray&) = delete;
    CPtrArray& operator=(const CPtrArray&) = delete;

    int GetCount() const { return m_buf.GetLength(); }
    int IsEmpty() const { return m_buf.GetLength() == 0 ? 1 : 0; }

    // Element access; the index is the caller's to keep within 0 to count - 1.
    void* GetAt(int nIndex) const { return *slot(nIndex); }
    void* operator[](int nIndex) const { return *slot(nIndex); }
    void*& ElementAt(int nIndex) { return *slot(nIndex); }
    void*& operator[](int nIndex) { return *slot(nIndex); }

    // Puts p at nIndex (-1 appends), moving the elements from there up by one. 0, changing
    // nothing, when nIndex is below -1 or above the count, or the storage cannot grow.
    int InsertAt(int nIndex, void* p);
    // 0, changing nothing, when nIndex is not within 0 to count - 1.
    int RemoveAt(int nIndex);
    // Searches upwards from *pIndex. On a match, 1 with *pIndex set to it; otherwise 0 with
    // *pIndex raised to the count (left as it is when already at or above it).
    int Find(void* p, int* pIndex) const;
    // Removes the lowest occurrence of p; 0 when p is not stored.
    int Remove(void* p);
    void RemoveAll();

private:
    void** slot(int nIndex) const { return reinterpret_cast<void**>(m_buf.PtrTo(nIndex)); }

    CHugeGrowBuf m_buf;
};

// -- CPtrList

// -- CBits128
