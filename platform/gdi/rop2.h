// Binary raster operations (SetROP2): how a pen or brush value P combines with the pixel value
// D already there. They work bit by bit on pixel values in the surface's own format (colour
// indices on paletted and monochrome surfaces, all 32 bits of a 32-bit pixel), as Windows
// computes them. Callers hold the layer's lock (gdi/lock.h).
#pragma once

#include "gdi/brush_paint.h"
#include "gdi/surface.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace korutil::detail {

// R2_x - 1 is the operation's truth table: bit (2 * P + D) holds the result for those input
// bits, so R2_COPYPEN (13) is 1100b and R2_NOT (6) is 0101b.
inline std::uint32_t rop2(int mode, std::uint32_t pen, std::uint32_t dest) {
    const unsigned table = static_cast<unsigned>(mode - 1) & 0xFu;
    std::uint32_t out = 0;
    if (table & 1u) {
        out |= ~pen & ~dest;
    }
    if (table & 2u) {
        out |= ~pen & dest;
    }
    if (table & 4u) {
        out |= pen & ~dest;
    }
    if (table & 8u) {
        out |= pen & dest;
    }
    return out;
}

// Modes whose result does not depend on the destination write without reading it.
inline bool rop2IgnoresDest(int mode) {
    return mode == R2_BLACK || mode == R2_COPYPEN || mode == R2_NOTCOPYPEN || mode == R2_WHITE;
}

// Calls body(std::integral_constant<int, mode>) so that loops over many pixels compile once per
// mode, with the operation folded to its few instructions.
template <class Body> void withRop2(int mode, Body&& body) {
    switch (mode) {
    case R2_BLACK:
        return body(std::integral_constant<int, R2_BLACK>{});
    case R2_NOTMERGEPEN:
        return body(std::integral_constant<int, R2_NOTMERGEPEN>{});
    case R2_MASKNOTPEN:
        return body(std::integral_constant<int, R2_MASKNOTPEN>{});
    case R2_NOTCOPYPEN:
        return body(std::integral_constant<int, R2_NOTCOPYPEN>{});
    case R2_MASKPENNOT:
        return body(std::integral_constant<int, R2_MASKPENNOT>{});
    case R2_NOT:
        return body(std::integral_constant<int, R2_NOT>{});
    case R2_XORPEN:
        return body(std::integral_constant<int, R2_XORPEN>{});
    case R2_NOTMASKPEN:
        return body(std::integral_constant<int, R2_NOTMASKPEN>{});
    case R2_MASKPEN:
        return body(std::integral_constant<int, R2_MASKPEN>{});
    case R2_NOTXORPEN:
        return body(std::integral_constant<int, R2_NOTXORPEN>{});
    case R2_NOP:
        return body(std::integral_constant<int, R2_NOP>{});
    case R2_MERGENOTPEN:
        return body(std::integral_constant<int, R2_MERGENOTPEN>{});
    case R2_COPYPEN:
        return body(std::integral_constant<int, R2_COPYPEN>{});
    case R2_MERGEPENNOT:
        return body(std::integral_constant<int, R2_MERGEPENNOT>{});
    case R2_MERGEPEN:
        return body(std::integral_constant<int, R2_MERGEPEN>{});
    default:
        return body(std::integral_constant<int, R2_WHITE>{});
    }
}

// A 32-bit pixel in memory through the mode.
template <int Mode> void rop2At(std::uint8_t* p, std::uint32_t pen) {
    std::uint32_t dest = 0;
    if (!rop2IgnoresDest(Mode)) {
        std::memcpy(&dest, p, 4);
    }
    const std::uint32_t out = rop2(Mode, pen, dest);
    std::memcpy(p, &out, 4);
}

// One pixel through the mode; x and y lie inside the surface. Damage is the caller's.
inline void rop2Pixel(Surface& surface, int x, int y, std::uint32_t pen, int mode) {
    if (mode == R2_COPYPEN) {
        surface.setPixel(x, y, pen);
        return;
    }
    if (mode == R2_NOP) {
        return;
    }
    const std::uint32_t dest = rop2IgnoresDest(mode) ? 0 : surface.pixel(x, y);
    surface.setPixel(x, y, rop2(mode, pen, dest) & surface.valueMask());
}

// `count` pixels of row y from x, all with one value; the span lies inside the surface.
inline void rop2Span(Surface& surface, int x, int y, int count, std::uint32_t pen, int mode) {
    if (mode == R2_NOP || count <= 0) {
        return;
    }
    if (surface.bitsPerPixel() == 32) {
        // Copied into locals: pixel stores could alias whatever the closure holds, and force a
        // reload at every pixel.
        std::uint8_t* const row = surface.row(y) + static_cast<std::ptrdiff_t>(x) * 4;
        withRop2(mode, [row, count, pen](auto m) {
            std::uint8_t* p = row;
            const std::uint32_t value = pen;
            for (int i = count; i > 0; --i, p += 4) {
                rop2At<decltype(m)::value>(p, value);
            }
        });
        return;
    }
    for (int i = 0; i < count; ++i) {
        rop2Pixel(surface, x + i, y, pen, mode);
    }
}

// A surface rectangle (inside the surface) painted with a brush through the mode; pixels that a
// hatch brush leaves transparent stay as they are. Adds the damage.
inline void rop2FillRect(Surface& surface, const RECT& area, const BrushPaint& brush, int mode) {
    if (isEmpty(area)) {
        return;
    }
    if (brush.isSolid()) {
        for (int y = area.top; y < area.bottom; ++y) {
            rop2Span(surface, area.left, y, area.right - area.left, brush.solidValue(), mode);
        }
    } else {
        for (int y = area.top; y < area.bottom; ++y) {
            for (int x = area.left; x < area.right; ++x) {
                if (brush.drawsAt(x, y)) {
                    rop2Pixel(surface, x, y, brush.at(x, y), mode);
                }
            }
        }
    }
    surface.addDamage(area);
}

} // namespace korutil::detail
