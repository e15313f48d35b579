#include "gdi/brush_paint.h"

#include <korutil/platform/gdi.h>

namespace korutil::detail {
namespace {

// The 8 by 8 hatch tiles, one byte a row, the high bit leftmost; 1 marks the hatch line.
const std::uint8_t kHatches[6][8] = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF}, // HS_HORIZONTAL
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08}, // HS_VERTICAL
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01}, // HS_FDIAGONAL
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80}, // HS_BDIAGONAL
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0xFF}, // HS_CROSS
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81}, // HS_DIAGCROSS
};

} // namespace

COLORREF brushColor(const DcObject& dc, const BrushObject& brush) {
    if (brush.sysColor >= 0) {
        return GetSysColor(brush.sysColor);
    }
    if (brush.dcBrush) {
        return dc.state.dcBrushColor;
    }
    return brush.brush.lbColor;
}

bool BrushPaint::prepare(const DcObject& dc, const BrushObject& brush, const DrawTarget& target) {
    const Surface& dest = *target.surface;
    m_originX = target.origin.x + dc.state.brushOrigin.x;
    m_originY = target.origin.y + dc.state.brushOrigin.y;
    m_values.clear();
    m_drawn.clear();
    m_width = 0;
    m_height = 0;
    switch (brush.brush.lbStyle) {
    case BS_NULL:
        return false;
    case BS_HATCHED: {
        const std::size_t style = brush.brush.lbHatch < 6 ? brush.brush.lbHatch : 0;
        const std::uint32_t line = dest.valueOf(brush.brush.lbColor);
        const bool opaque = dc.state.bkMode == OPAQUE;
        const std::uint32_t back = dest.valueOf(dc.state.bkColor);
        m_width = m_height = 8;
        m_values.assign(64, back);
        if (!opaque) {
            m_drawn.assign(64, 0);
        }
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                if ((kHatches[style][y] >> (7 - x)) & 1) {
                    m_values[static_cast<std::size_t>(y * 8 + x)] = line;
                    if (!opaque) {
                        m_drawn[static_cast<std::size_t>(y * 8 + x)] = 1;
                    }
                }
            }
        }
        return true;
    }
    case BS_PATTERN:
    case BS_DIBPATTERN:
    case BS_DIBPATTERNPT: {
        const Surface* pattern = brush.pattern.get();
        if (!pattern) {
            return false;
        }
        m_width = pattern->width();
        m_height = pattern->height();
        m_values.resize(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height));
        // A monochrome pattern draws its 0 bits in the text colour and its 1 bits in the
        // background colour of the context.
        const std::uint32_t zero = dest.valueOf(dc.state.textColor);
        const std::uint32_t one = dest.valueOf(dc.state.bkColor);
        for (int y = 0; y < m_height; ++y) {
            for (int x = 0; x < m_width; ++x) {
                const std::uint32_t source = pattern->pixel(x, y);
                std::uint32_t value;
                if (pattern->isMono() && brush.brush.lbStyle == BS_PATTERN) {
                    value = source ? one : zero;
                } else {
                    value = dest.valueOf(pattern->colorOf(source));
                }
                m_values[static_cast<std::size_t>(y * m_width + x)] = value;
            }
        }
        return true;
    }
    default:
        m_solid = dest.valueOf(brushColor(dc, brush));
        return true;
    }
}

void BrushPaint::row(int x, int y, int count, std::uint32_t* out) const {
    if (isSolid()) {
        for (int i = 0; i < count; ++i) {
            out[i] = m_solid;
        }
        return;
    }
    const std::size_t start = index(x, y);
    const std::size_t rowStart = start - start % static_cast<std::size_t>(m_width);
    std::size_t px = start - rowStart;
    for (int i = 0; i < count; ++i) {
        out[i] = m_values[rowStart + px];
        if (++px == static_cast<std::size_t>(m_width)) {
            px = 0;
        }
    }
}

} // namespace korutil::detail
