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

// A dictionary from pointer keys to pointer values (null is valid for both), kept sorted by
// key in one block, so that lookups are binary searches. Keys are unique and compare as
// signed integers of pointer width.
class KORUTIL_API CPtrToPtrDict : public CCollection {
public:
    // One entry. Copying one copies both fields.
    struct Pair {
        void* m_pKey;
        void* m_pValue;
    };

    // nGrowBy and nInitialCapacity are in entries, as for CPtrArray.
    CPtrToPtrDict(int nGrowBy = 16, int nInitialCapacity = 0);
    ~CPtrToPtrDict() override;
    CPtrToPtrDict(const CPtrToPtrDict&) = delete;
    CPtrToPtrDict& operator=(const CPtrToPtrDict&) = delete;

    // 1 when key is present, storing its value in *pValue unless pValue is null.
    int Lookup(void* key, void** pValue) const;
    // Inserts a new entry; 0, changing nothing, when key is present or the block cannot grow.
    int Add(void* key, void* value);
    // Replaces the value of a present key; 0, inserting nothing, when key is absent. To
    // replace or insert in one step, call Set and, when it returns 0, Add.
    int Set(void* key, void* value);
    int Remove(void* key);
    // 0 for an index outside 0 to count - 1.
    int RemoveAt(int nIndex);
    void RemoveAll();

    int GetCount() const { return m_buf.GetLength(); }
    int IsEmpty() const { return m_buf.GetLength() == 0 ? 1 : 0; }

    // The value at a sorted position; the index is the caller's to keep in range. Keys
    // cannot be changed through ElementAt.
    void* GetAt(int nIndex) const { return ourPtrTo(nIndex)->m_pValue; }
    void* operator[](int nIndex) const { return ourPtrTo(nIndex)->m_pValue; }
    void*& ElementAt(int nIndex) { return ourPtrTo(nIndex)->m_pValue; }
    void*& operator[](int nIndex) { return ourPtrTo(nIndex)->m_pValue; }
    // The key and the value at a sorted position; nothing is checked.
    void GetAt(int nIndex, void** pKey, void** pValue) const {
        *pKey = ourPtrTo(nIndex)->m_pKey;
        *pValue = ourPtrTo(nIndex)->m_pValue;
    }

private:
    int indexFor(void* key) const;
    Pair* ourPtrTo(int nIndex) const { return reinterpret_cast<Pair*>(m_buf.PtrTo(nIndex)); }

    CHugeGrowBuf m_buf;
};

// -- CPtrList

// -- CBits128
