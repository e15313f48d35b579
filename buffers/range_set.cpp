#include <korutil/buffers.h>

#include <climits>

// Four ranges per step, and the block follows the count both ways so that an empty set holds
// no memory.
CRangeSet::CRangeSet() : CGrowBuf(sizeof(Range), 4, 1) {}

CRangeSet::~CRangeSet() {}

int CRangeSet::IndexWithUpToGE(long pos) const {
    const int n = GetCount();
    if (n == 0) {
        return -1;
    }
    // upTo increases strictly along the list: the first one at or above pos.
    int lo = 0;
    int hi = n;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (GetAt(mid)->upTo < pos) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo;
}

int CRangeSet::IndexWithFromLE(long pos) const {
    // from increases strictly too: one before the first one above pos.
    int lo = 0;
    int hi = GetCount();
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (GetAt(mid)->from <= pos) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return lo - 1;
}

int CRangeSet::IndexContaining(long pos) const {
    const int j = IndexWithFromLE(pos);
    return j >= 0 && GetAt(j)->upTo > pos ? j : -1;
}

int CRangeSet::Include(long from, long upTo) {
    if (upTo == from) {
        return 1;
    }
    if (upTo < from) {
        return 0;
    }
    const int n = GetCount();
    const int i = IndexWithUpToGE(from);
    const int j = IndexWithFromLE(upTo);
    if (i >= 0 && i < n && j >= 0 && i <= j) {
        // Ranges i to j overlap or touch the new one: they become range i.
        Range* first = getRange(i);
        const long last = GetAt(j)->upTo;
        if (from < first->from) {
            first->from = from;
        }
        first->upTo = last > upTo ? last : upTo;
        if (i == j) {
            return 1;
        }
        if (j < n - 1 && !Copy(i + 1, this, j + 1, n)) {
            return 0;
        }
        return SetLength(n - (j - i));
    }
    int k;
    if (i >= 0 && j >= 0) {
        k = j + 1;
    } else if (i < 0) {
        k = n;
    } else {
        k = 0;
    }
    if (!Insert(k, 1)) {
        return 0;
    }
    Range* added = getRange(k);
    added->from = from;
    added->upTo = upTo;
    return 1;
}

int CRangeSet::Exclude(long from, long upTo) {
    if (upTo <= from) {
        return 0;
    }
    if (IsEmpty()) {
        return 1;
    }
    int i = IndexWithUpToGE(from);
    int j = IndexWithFromLE(upTo);
    if (j < i) {
        return 1;
    }
    if (i == j) {
        const Range r = *GetAt(i);
        if (r.from < from && r.upTo > upTo) {
            // The span lies strictly inside: split. The insertion comes first, so that a
            // refusal leaves the set as it was.
            if (!Insert(i + 1, 1)) {
                return 0;
            }
            getRange(i)->upTo = from;
            Range* tail = getRange(i + 1);
            tail->from = upTo;
            tail->upTo = r.upTo;
            return 1;
        }
        if (r.from >= from && r.upTo <= upTo) {
            return Delete(i, 1);
        }
        if (r.from < from) {
            getRange(i)->upTo = from;
        } else {
            getRange(i)->from = upTo;
        }
        return 1;
    }
    if (GetAt(i)->from < from) {
        getRange(i)->upTo = from;
        ++i;
    }
    if (GetAt(j)->upTo > upTo) {
        getRange(j)->from = upTo;
    } else {
        ++j;
    }
    return j > i ? Delete(i, j - i) : 1;
}

int CRangeSet::Slide(long pos, long distance) {
    return distance >= 0 ? slideIns(pos, distance) : slideDel(pos, distance);
}

int CRangeSet::slideIns(long pos, long distance) {
    const int n = GetCount();
    if (n == 0 || distance == 0) {
        return 1;
    }
    // Nothing ends after the largest long, so nothing moves.
    if (pos == LONG_MAX) {
        return 1;
    }
    int k = IndexWithUpToGE(pos + 1);
    if (k >= n) {
        return 1;
    }
    if (GetAt(n - 1)->upTo > LONG_MAX - distance) {
        return 0;
    }
    if (GetAt(k)->from < pos) {
        // Range k straddles pos: its part at and after pos moves, the rest stays.
        if (!Insert(k, 1)) {
            return 0;
        }
        Range* before = getRange(k);
        Range* after = getRange(k + 1);
        before->from = after->from;
        before->upTo = pos;
        after->from = pos;
        ++k;
    }
    const int count = GetCount();
    for (int m = k; m < count; ++m) {
        Range* r = getRange(m);
        r->from += distance;
        r->upTo += distance;
    }
    return 1;
}

int CRangeSet::slideDel(long pos, long distance) {
    const int n = GetCount();
    if (n == 0 || distance == 0) {
        return 1;
    }
    // The span's end; every bound that moves down stays at or above pos.
    if (pos > LONG_MAX + distance) {
        return 0;
    }
    const long end = pos - distance;
    int i = IndexWithUpToGE(pos + 1);
    int k = IndexWithUpToGE(end);
    int lo = i;
    const bool startInside = i < n && GetAt(i)->from <= pos;
    const bool endInside = k < n && GetAt(k)->from <= end;
    if (startInside && endInside && i == k) {
        // One range covers the whole span: it loses the span's positions.
        Range* r = getRange(i);
        r->upTo += distance;
        k = i + 1;
        if (r->from < r->upTo) {
            lo = k;
        }
    } else {
        if (startInside) {
            Range* r = getRange(i);
            if (r->from < pos) {
                r->upTo = pos;
                lo = i + 1;
            }
        }
        if (endInside) {
            Range* r = getRange(k);
            r->from = end;
            if (r->upTo == end) {
                ++k;
            }
        }
    }
    for (int m = k; m < n; ++m) {
        Range* r = getRange(m);
        r->from += distance;
        r->upTo += distance;
    }
    // Remnants on both sides of the span that now touch become one range.
    if (k < n && lo > 0 && GetAt(lo - 1)->upTo == GetAt(k)->from) {
        getRange(k)->from = GetAt(lo - 1)->from;
        --lo;
    }
    return lo < k ? Delete(lo, k - lo) : 1;
}
