#include <korutil/collections.h>

#include "collections/lower_bound.h"

using korutil::detail::keyOf;

CPtrToPtrDict::CPtrToPtrDict(int nGrowBy, int nInitialCapacity)
    : m_buf(static_cast<int>(sizeof(Pair)), nGrowBy, nInitialCapacity) {}

CPtrToPtrDict::~CPtrToPtrDict() {}

int CPtrToPtrDict::indexFor(void* key) const {
    return korutil::detail::lowerBound<sizeof(Pair)>(m_buf.PtrTo(0), m_buf.GetLength(), keyOf(key));
}

int CPtrToPtrDict::Lookup(void* key, void** pValue) const {
    const int i = indexFor(key);
    if (i >= m_buf.GetLength() || ourPtrTo(i)->m_pKey != key) {
        return 0;
    }
    if (pValue != nullptr) {
        *pValue = ourPtrTo(i)->m_pValue;
    }
    return 1;
}

int CPtrToPtrDict::Add(void* key, void* value) {
    const int i = indexFor(key);
    if (i < m_buf.GetLength() && ourPtrTo(i)->m_pKey == key) {
        return 0;
    }
    if (!m_buf.InsertAt(i, 1)) {
        return 0;
    }
    *ourPtrTo(i) = Pair{key, value};
    return 1;
}

int CPtrToPtrDict::Set(void* key, void* value) {
    const int i = indexFor(key);
    if (i >= m_buf.GetLength() || ourPtrTo(i)->m_pKey != key) {
        return 0;
    }
    ourPtrTo(i)->m_pValue = value;
    return 1;
}

int CPtrToPtrDict::Remove(void* key) {
    const int i = indexFor(key);
    if (i >= m_buf.GetLength() || ourPtrTo(i)->m_pKey != key) {
        return 0;
    }
    return m_buf.RemoveAt(i, 1);
}

int CPtrToPtrDict::RemoveAt(int nIndex) {
    return m_buf.RemoveAt(nIndex, 1);
}

void CPtrToPtrDict::RemoveAll() {
    if (m_buf.GetLength() > 0) {
        m_buf.RemoveAt(0, m_buf.GetLength());
    }
}
