// The part of a window's client area that must be painted: a short list of disjoint
// rectangles, merged into their bounding box when the list would grow past kMaxRects, so that
// painting after many small invalidations stays cheap. Callers hold the layer's lock.
#pragma once

#include <korutil/platform/types.h>

#include <cstddef>
#include <vector>

namespace korutil::detail {

class UpdateRegion {
public:
    static constexpr std::size_t kMaxRects = 8;

    bool empty() const { return m_rects.empty(); }
    const std::vector<RECT>& rects() const { return m_rects; }
    // The bounding box; all zero when empty.
    RECT bounds() const;

    void add(const RECT& area);
    void subtract(const RECT& area);
    // Keeps only what lies inside `area`.
    void clip(const RECT& area);
    void offset(int dx, int dy);
    void clear() { m_rects.clear(); }

private:
    std::vector<RECT> m_rects;
};

} // namespace korutil::detail
