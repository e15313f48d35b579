// A brush as one target draws it: the pixel value, in the target surface's format, at each
// surface position, with the pattern aligned to the context's brush origin. Solid and system
// colour brushes give one value; pattern and hatch brushes repeat a small tile. Callers hold
// the layer's lock while they prepare and use it.
#pragma once

#include "gdi/dc.h"

#include <cstdint>
#include <vector>

namespace korutil::detail {

class BrushPaint {
public:
    // False for a null (hollow) brush, which draws nothing.
    bool prepare(const DcObject& dc, const BrushObject& brush, const DrawTarget& target);

    bool isSolid() const { return m_width == 0; }
    std::uint32_t solidValue() const { return m_solid; }
    // Whether some pixels are left alone: a hatch brush under the TRANSPARENT background mode
    // draws only its lines.
    bool hasGaps() const { return !m_drawn.empty(); }

    // The value at a surface position, and whether the brush draws there.
    std::uint32_t at(int x, int y) const { return isSolid() ? m_solid : m_values[index(x, y)]; }
    bool drawsAt(int x, int y) const { return m_drawn.empty() || m_drawn[index(x, y)] != 0; }
    // `count` values of surface row y from x.
    void row(int x, int y, int count, std::uint32_t* out) const;

private:
    std::size_t index(int x, int y) const {
        int px = (x - m_originX) % m_width;
        int py = (y - m_originY) % m_height;
        if (px < 0) {
            px += m_width;
        }
        if (py < 0) {
            py += m_height;
        }
        return static_cast<std::size_t>(py) * static_cast<std::size_t>(m_width) +
               static_cast<std::size_t>(px);
    }

    std::uint32_t m_solid = 0;
    int m_width = 0; // 0 for a solid brush
    int m_height = 0;
    int m_originX = 0;
    int m_originY = 0;
    std::vector<std::uint32_t> m_values;
    std::vector<std::uint8_t> m_drawn; // empty when every pixel is drawn
};

// The colour a solid brush shows in a context: its own, the current system colour, or the
// context's DC brush colour.
COLORREF brushColor(const DcObject& dc, const BrushObject& brush);

} // namespace korutil::detail
