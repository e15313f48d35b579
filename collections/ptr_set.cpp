#include <korutil/collections.h>

#include "collections/lower_bound.h"

using korutil::detail::keyOf;

CPtrSet::CPtrSet(int nGrowBy, int nInitialCapacity) : m_array(nGrowBy, nInitialCapacity) {}

CPtrSet::~CPtrSet() {}

int CPtrSet::indexFor(void* p) const {
    return korutil::detail::lowerBound<sizeof(void*)>(m_array.m_buf.PtrTo(0), m_array.GetCount(),
                                                      keyOf(p));
}

int CPtrSet::addElt(void* p, int nFailIfPresent) {
    const int i = indexFor(p);
    if (i < m_array.GetCount() && m_array.GetAt(i) == p) {
        return nFailIfPresent ? 0 : 1;
    }
    return m_array.InsertAt(i, p);
}

int CPtrSet::Add(void* p) {
    return addElt(p, 1);
}

int CPtrSet::Include(void* p) {
    return addElt(p, 0);
}

int CPtrSet::Contains(void* p) const {
    const int i = indexFor(p);
    return i < m_array.GetCount() && m_array.GetAt(i) == p ? 1 : 0;
}

int CPtrSet::Remove(void* p) {
    const int i = indexFor(p);
    if (i >= m_array.GetCount() || m_array.GetAt(i) != p) {
        return 0;
    }
    return m_array.RemoveAt(i);
}

int CPtrSet::RemoveAt(int nIndex) {
    return m_array.RemoveAt(nIndex);
}

void CPtrSet::RemoveAll() {
    m_array.RemoveAll();
}
