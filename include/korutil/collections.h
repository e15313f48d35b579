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

// -- CPtrList

#include <cstddef>

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
    // at the count, or unchanged if the list is empty or *pIndex is outside it.
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

// -- CBits128
