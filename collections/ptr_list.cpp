#include <korutil/collections.h>

namespace {

// What ElementAt answers for a position outside the list: writes land here and no list
// ever reads it.
void* g_spareElement = nullptr;

} // namespace

CPtrList::CPtrList() : m_nCount(0), m_pCursor(nullptr), m_nCursor(-1) {
    m_head.m_pNext = &m_tail;
    m_head.m_pPrev = nullptr;
    m_head.m_pData = nullptr;
    m_tail.m_pNext = nullptr;
    m_tail.m_pPrev = &m_head;
    m_tail.m_pData = nullptr;
}

// The nodes go back to the pool rather than being stranded: nothing else could ever reuse
// them.
CPtrList::~CPtrList() {
    RemoveAll();
}

CPtrList::Node* CPtrList::ptrToIndex(int index) const {
    if (index < 0 || index >= m_nCount) {
        m_pCursor = nullptr;
        m_nCursor = -1;
        return nullptr;
    }
    if (m_nCursor != -1) {
        if (m_nCursor == index) {
            return m_pCursor;
        }
        if (m_nCursor + 1 == index) {
            if (m_pCursor->m_pNext == &m_tail) {
                m_pCursor = nullptr;
                m_nCursor = -1;
                return nullptr;
            }
            m_pCursor = m_pCursor->m_pNext;
            ++m_nCursor;
            return m_pCursor;
        }
        if (m_nCursor - 1 == index) {
            if (m_pCursor->m_pPrev == &m_head) {
                m_pCursor = nullptr;
                m_nCursor = -1;
                return nullptr;
            }
            m_pCursor = m_pCursor->m_pPrev;
            --m_nCursor;
            return m_pCursor;
        }
    }
    m_pCursor = m_head.m_pNext;
    m_nCursor = 0;
    while (m_pCursor != &m_tail && m_nCursor < index) {
        m_pCursor = m_pCursor->m_pNext;
        ++m_nCursor;
    }
    if (m_pCursor != &m_tail) {
        return m_pCursor;
    }
    m_pCursor = nullptr;
    m_nCursor = -1;
    return nullptr;
}

void*& CPtrList::ElementAt(int index) {
    Node* node = ptrToIndex(index);
    return node != nullptr ? node->m_pData : g_spareElement;
}

int CPtrList::insertBefore(Node* pos, int index, void* p) {
    Node* node = new Node;
    if (node == nullptr) {
        return 0;
    }
    node->m_pData = p;
    node->m_pNext = pos;
    node->m_pPrev = pos->m_pPrev;
    pos->m_pPrev->m_pNext = node;
    pos->m_pPrev = node;
    // The cursor stays on its node, which has moved up one position.
    if (m_nCursor != -1 && m_nCursor >= index) {
        ++m_nCursor;
    }
    ++m_nCount;
    return 1;
}

int CPtrList::InsertAt(int index, void* p) {
    if (index == m_nCount || index == -1) {
        return insertBefore(&m_tail, m_nCount, p);
    }
    Node* pos = ptrToIndex(index);
    return pos != nullptr ? insertBefore(pos, index, p) : 0;
}

void CPtrList::unlinkAndDelete(Node* node) {
    if (node == m_pCursor) {
        // The successor takes over the position.
        m_pCursor = node->m_pNext;
        if (m_pCursor == &m_tail) {
            m_pCursor = nullptr;
            m_nCursor = -1;
        }
    }
    node->m_pPrev->m_pNext = node->m_pNext;
    node->m_pNext->m_pPrev = node->m_pPrev;
    delete node;
}

int CPtrList::RemoveAt(int index) {
    Node* node = ptrToIndex(index);
    if (node == nullptr) {
        return 0;
    }
    unlinkAndDelete(node);
    --m_nCount;
    return 1;
}

void CPtrList::RemoveAll() {
    while (m_nCount > 0) {
        RemoveAt(0);
    }
}

// A null pIndex searches from the front, as in CPtrArray, rather than crashing.
int CPtrList::Find(void* p, int* pIndex) const {
    int start = 0;
    int& index = pIndex != nullptr ? *pIndex : start;
    if (IsEmpty()) {
        return 0;
    }
    const Node* node = ptrToIndex(index);
    if (node == nullptr) {
        return 0;
    }
    for (; node != &m_tail; node = node->m_pNext) {
        if (node->m_pData == p) {
            return 1;
        }
        ++index;
    }
    return 0;
}

int CPtrList::Remove(void* p) {
    int index = 0;
    if (!Find(p, &index)) {
        return 0;
    }
    return RemoveAt(index);
}
