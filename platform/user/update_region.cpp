#include "user/update_region.h"

#include "gdi/surface.h"

namespace korutil::detail {
namespace {

bool overlaps(const RECT& a, const RECT& b) {
    return !isEmpty(intersect(a, b));
}

bool covers(const RECT& outer, const RECT& inner) {
    return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
           outer.bottom >= inner.bottom;
}

// The parts of `r` outside `cut`: up to four bands, top and bottom full width, sides between.
void appendDifference(const RECT& r, const RECT& cut, std::vector<RECT>& out) {
    const RECT c = intersect(r, cut);
    if (isEmpty(c)) {
        out.push_back(r);
        return;
    }
    if (c.top > r.top) {
        out.push_back(RECT{r.left, r.top, r.right, c.top});
    }
    if (c.left > r.left) {
        out.push_back(RECT{r.left, c.top, c.left, c.bottom});
    }
    if (c.right < r.right) {
        out.push_back(RECT{c.right, c.top, r.right, c.bottom});
    }
    if (c.bottom < r.bottom) {
        out.push_back(RECT{r.left, c.bottom, r.right, r.bottom});
    }
}

} // namespace

RECT UpdateRegion::bounds() const {
    RECT box{0, 0, 0, 0};
    for (const RECT& r : m_rects) {
        box = unite(box, r);
    }
    return box;
}

void UpdateRegion::add(const RECT& area) {
    if (isEmpty(area)) {
        return;
    }
    for (const RECT& r : m_rects) {
        if (covers(r, area)) {
            return;
        }
    }
    // The new rectangle goes in whole; the old ones keep only what it does not cover, so the
    // list stays disjoint.
    std::vector<RECT> next;
    for (const RECT& r : m_rects) {
        if (overlaps(r, area)) {
            appendDifference(r, area, next);
        } else {
            next.push_back(r);
        }
    }
    next.push_back(area);
    if (next.size() > kMaxRects) {
        RECT box = area;
        for (const RECT& r : next) {
            box = unite(box, r);
        }
        next.assign(1, box);
    }
    m_rects.swap(next);
}

void UpdateRegion::subtract(const RECT& area) {
    if (isEmpty(area)) {
        return;
    }
    std::vector<RECT> next;
    for (const RECT& r : m_rects) {
        appendDifference(r, area, next);
    }
    if (next.size() > kMaxRects) {
        // Too many pieces to keep: what is left stays invalid as one box, which paints a
        // little more than needed but never less.
        RECT box{0, 0, 0, 0};
        for (const RECT& r : next) {
            box = unite(box, r);
        }
        next.assign(1, box);
    }
    m_rects.swap(next);
}

void UpdateRegion::clip(const RECT& area) {
    std::vector<RECT> next;
    for (const RECT& r : m_rects) {
        const RECT c = intersect(r, area);
        if (!isEmpty(c)) {
            next.push_back(c);
        }
    }
    m_rects.swap(next);
}

void UpdateRegion::offset(int dx, int dy) {
    for (RECT& r : m_rects) {
        r = detail::offset(r, dx, dy);
    }
}

} // namespace korutil::detail
