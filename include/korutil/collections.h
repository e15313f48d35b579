// Pointer collections: the abstract container base and the pointer containers. They store
// pointer values only and never dereference, free or own what the pointers point to.
#pragma once

#include <korutil/buffers.h>
#include <korutil/frame.h>

#include <cstddef>

// The data-less root of every container: a common base with a virtual destructor, so that a
// host can own any container through a CCollection pointer.
class KORUTIL_API CCollection {
public:
    CCollection() = default;
    CCollection(const CCollection&) {}
    CCollection& operator=(const CCollection&) { return *this; }
    virtual ~CCollection() = 0;
};

namespace korutil::detail {
// The pointer stored in an element of a pointer-sized buffer.
inline void** ptrSlot(const CHugeGrowBuf& buf, int nIndex) {
    return reinterpret_cast<void**>(buf.PtrTo(nIndex));
}

// Appending within the block's top growth step changes nothing but the length; doing that
// inline spares a host's append loop two calls into the library for most elements.
struct HugeGrowBufAccess {
    static bool appendInPlace(CHugeGrowBuf& buf) {
        if (buf.m_nLength < buf.m_nAllocated && buf.m_nLength >= buf.m_nAllocated - buf.m_nGrowBy) {
            ++buf.m_nLength;
            return true;
        }
        return false;
    }
};
} // namespace korutil::detail

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
    void* GetAt(int nIndex) const { return *korutil::detail::ptrSlot(m_buf, nIndex); }
    void* operator[](int nIndex) const { return *korutil::detail::ptrSlot(m_buf, nIndex); }
    void*& ElementAt(int nIndex) { return *korutil::detail::ptrSlot(m_buf, nIndex); }
    void*& operator[](int nIndex) { return *korutil::detail::ptrSlot(m_buf, nIndex); }

    // Puts p at nIndex (-1 appends), moving the elements from there up by one. 0, changing
    // nothing, when nIndex is below -1 or above the count, or the storage cannot grow.
    int InsertAt(int nIndex, void* p) {
        if (nIndex == -1 && korutil::detail::HugeGrowBufAccess::appendInPlace(m_buf)) {
            *korutil::detail::ptrSlot(m_buf, m_buf.GetLength() - 1) = p;
            return 1;
        }
        return insertAt(nIndex, p);
    }
    // 0, changing nothing, when nIndex is not within 0 to count - 1.
    int RemoveAt(int nIndex);
    // Searches upwards from *pIndex. On a match, 1 with *pIndex set to it; otherwise 0 with
    // *pIndex raised to the count (left as it is when already at or above it).
    int Find(void* p, int* pIndex) const;
    // Removes the lowest occurrence of p; 0 when p is not stored.
    int Remove(void* p);
    void RemoveAll();

private:
    friend class CPtrSet; // searches the storage in place

    // InsertAt beyond the inline append: growth, insertion inside, argument checks.
    int insertAt(int nIndex, void* p);

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

// A set of pointers without duplicates, sorted as signed integers of pointer width (null
// sorts as 0), with binary-search membership and index access to the sorted elements.
class KORUTIL_API CPtrSet : public CCollection {
public:
    // Both arguments go to the member array: grow-by step and initial capacity.
    CPtrSet(int nGrowBy = 16, int nInitialCapacity = 0);
    ~CPtrSet() override;
    CPtrSet(const CPtrSet&) = delete;
    CPtrSet& operator=(const CPtrSet&) = delete;

    // Inserts p at its sorted place: 1 after an insertion, 0 when p is already there or the
    // storage cannot grow.
    int Add(void* p);
    // As Add, but 1 when p is already there.
    int Include(void* p);
    int Contains(void* p) const;
    int Remove(void* p);
    // 0 for an index outside 0 to count - 1.
    int RemoveAt(int nIndex);
    void RemoveAll();

    int GetCount() const { return m_array.GetCount(); }
    int IsEmpty() const { return m_array.IsEmpty(); }

    // The element at a sorted position; the index is the caller's to keep in range, and a
    // caller writing through ElementAt keeps the order and the absence of duplicates.
    void* GetAt(int nIndex) const { return m_array.GetAt(nIndex); }
    void* operator[](int nIndex) const { return m_array.GetAt(nIndex); }
    void*& ElementAt(int nIndex) { return m_array.ElementAt(nIndex); }
    void*& operator[](int nIndex) { return m_array.ElementAt(nIndex); }

private:
    // Where p stands or would be inserted: the first element not less than p.
    int indexFor(void* p) const;
    // nFailIfPresent: whether an element already present makes the call return 0.
    int addElt(void* p, int nFailIfPresent);

    CPtrArray m_array;
};

// A doubly linked list of pointers addressed by position. It remembers the node it located
// last, so that walking the positions one by one, up or down, costs one step per access;
// any other jump walks from the front. Nodes come from a process-wide pool shared by every
// list, which is not locked: all lists of a process are used from one thread at a time.
class KORUTIL_API CPtrList : public CCollection {
public:
    class KORUTIL_API Node {
    public:
        // The list sets the fields when it links the node.
        Node() {}
        Node(const Node&) = default;
        Node& operator=(const Node&) = default;

        // A request of one node's size is served from the pool, which takes 64 nodes at a
        // time from the heap and never gives them back; null when the heap refuses.
        static void* operator new(std::size_t size) noexcept;
        // Puts the node at the front of the pool, so that it is handed out next.
        static void operator delete(void* p);
        // Releases nothing: the pool's blocks are not tracked, and nodes of one block may be
        // in use in several lists.
        static void FreeMemory();

        Node* m_pNext; // toward the tail; in a free node, the next free node
        Node* m_pPrev;
        void* m_pData;

        // The front of the chain of free nodes.
        static Node* m_pFreeList;
    };

    CPtrList();
    // Gives the nodes still held back to the pool.
    ~CPtrList() override;

    int GetCount() const { return m_nCount; }
    int IsEmpty() const { return m_head.m_pNext == &m_tail ? 1 : 0; }
    // Null for a position outside 0 to count - 1. The step to the next position is inline,
    // so that walking a list position by position costs about as much as following its links.
    void* GetAt(int index) const {
        if (m_nCursor != -1 && index == m_nCursor + 1 && m_pCursor->m_pNext != &m_tail) {
            m_pCursor = m_pCursor->m_pNext;
            ++m_nCursor;
            return m_pCursor->m_pData;
        }
        const Node* node = ptrToIndex(index);
        return node != nullptr ? node->m_pData : nullptr;
    }
    void* operator[](int index) const { return GetAt(index); }
    // Outside 0 to count - 1, a spare variable shared by all lists and read by none.
    void*& ElementAt(int index);
    void*& operator[](int index) { return ElementAt(index); }

    // index -1 or the count appends. 0 for other positions outside the list, or when the
    // pool cannot supply a node (the list is unchanged).
    int InsertAt(int index, void* p);
    // Searches toward the tail from *pIndex. 1 with *pIndex at the match; else 0 with *pIndex
    // at the count, or unchanged if the list is empty or *pIndex is outside it. A null
    // pIndex searches from position 0.
    int Find(void* p, int* pIndex) const;
    // Removes the lowest occurrence of p.
    int Remove(void* p);
    int RemoveAt(int index);
    void RemoveAll();

    CPtrList(const CPtrList&) = delete;
    CPtrList& operator=(const CPtrList&) = delete;

private:
    Node* ptrToIndex(int index) const;
    int insertBefore(Node* pos, int index, void* p);
    void unlinkAndDelete(Node* node);

    Node m_head;
    Node m_tail;
    int m_nCount;
    mutable Node* m_pCursor;
    mutable int m_nCursor;
};

// 128 on/off flags in 16 bytes: flag n is bit n % 8 (from the least significant) of byte
// n / 8. Flag numbers from 128 to 255 lie outside the set: Set and Clear ignore them and Get
// answers 0.
class KORUTIL_API CBits128 {
public:
    CBits128();
    CBits128(const CBits128& other) = default;

    void Set(unsigned char n);
    void Clear(unsigned char n);
    int Get(unsigned char n) const;
    void SetAll();
    void ClearAll();
    // The 16 bytes, valid as long as the object.
    const unsigned char* GetBits() const { return m_bits; }
    CBits128& operator=(const CBits128& other);

private:
    unsigned char m_bits[16];
};
