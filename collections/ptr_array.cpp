#include <korutil/collections.h>

CPtrArray::CPtrArray(int nGrowBy, int nInitialCapacity)
    : m_buf(static_cast<int>(sizeof(void*)), nGrowBy, nInitialCapacity) {}

CPtrArray::~CPtrArray() {}

int CPtrArray::insertAt(int nIndex, void* p) {
    if (nIndex == -1) {
        nIndex = m_buf.GetLength();
    }
    if (!m_buf.InsertAt(nIndex, 1)) {
        return 0;
    }
    *korutil::detail::ptrSlot(m_buf, nIndex) = p;
    return 1;
}

int CPtrArray::RemoveAt(int nIndex) {
    return m_buf.RemoveAt(nIndex, 1);
}

// A null pIndex searches the whole array, and a negative start is read as 0, so that a wrong
// start cannot read outside the storage.
int CPtrArray::Find(void* p, int* pIndex) const {
    const int count = m_buf.GetLength();
    int start = pIndex != nullptr ? *pIndex : 0;
    for (int i = start < 0 ? 0 : start; i < count; ++i) {
        if (*korutil::detail::ptrSlot(m_buf, i) == p) {
            if (pIndex != nullptr) {
                *pIndex = i;
            }
            return 1;
        }
    }
    if (pIndex != nullptr && start < count) {
        *pIndex = count;
    }
    return 0;
}

int CPtrArray::Remove(void* p) {
    int index = 0;
    return Find(p, &index) ? RemoveAt(index) : 0;
}

// An empty array keeps whatever room its constructor took.
void CPtrArray::RemoveAll() {
    if (m_buf.GetLength() > 0) {
        m_buf.RemoveAt(0, m_buf.GetLength());
    }
}
