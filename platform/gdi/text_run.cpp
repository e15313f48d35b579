#include "gdi/text_run.h"

#include "kernel/text_encoding.h"

#include <korutil/platform/errors.h>

#include <algorithm>
#include <vector>

namespace korutil::detail {
namespace {

std::uint8_t mix(std::uint32_t ink, std::uint32_t under, std::uint32_t alpha) {
    return static_cast<std::uint8_t>((ink * alpha + under * (255 - alpha) + 127) / 255);
}

// The characters' advances: the font's, or the sum of the caller's entries for their bytes.
long long advanceOf(FontFace& font, char32_t c, const INT* dx, std::size_t from, std::size_t to) {
    if (!dx) {
        return font.advance(c);
    }
    long long sum = 0;
    for (std::size_t i = from; i < to; ++i) {
        sum += dx[i];
    }
    return sum;
}

void fillArea(Surface& surface, const RECT& area, std::uint32_t value) {
    if (isEmpty(area)) {
        return;
    }
    const std::vector<std::uint32_t> row(static_cast<std::size_t>(area.right - area.left), value);
    for (int y = area.top; y < area.bottom; ++y) {
        surface.writeRow(area.left, y, area.right - area.left, row.data());
    }
    surface.addDamage(area);
}

// Draws one glyph whose bitmap's top-left pixel is at surface (x, y). Grey-scale coverage
// blends the ink over the pixels on surfaces of 16 bits and more; bilevel glyphs, which
// paletted and monochrome surfaces always get, set the ink where they cover.
void drawGlyph(Surface& surface, const Glyph& glyph, long long x, long long y, const RECT& clip,
               std::uint32_t ink, COLORREF inkColor, RECT& damage) {
    const long long left = std::max<long long>(x, clip.left);
    const long long top = std::max<long long>(y, clip.top);
    const long long right = std::min<long long>(x + glyph.width, clip.right);
    const long long bottom = std::min<long long>(y + glyph.height, clip.bottom);
    if (left >= right || top >= bottom) {
        return;
    }
    const int bits = surface.bitsPerPixel();
    const std::uint32_t inkRed = GetRValue(inkColor);
    const std::uint32_t inkGreen = GetGValue(inkColor);
    const std::uint32_t inkBlue = GetBValue(inkColor);
    for (long long row = top; row < bottom; ++row) {
        const std::uint8_t* coverage = glyph.coverage.data() + (row - y) * glyph.width + (left - x);
        const int py = static_cast<int>(row);
        if (bits == 32) {
            std::uint8_t* pixel = surface.row(py) + left * 4;
            for (long long px = left; px < right; ++px, ++coverage, pixel += 4) {
                const std::uint32_t alpha = *coverage;
                if (alpha == 255) {
                    pixel[0] = static_cast<std::uint8_t>(inkBlue);
                    pixel[1] = static_cast<std::uint8_t>(inkGreen);
                    pixel[2] = static_cast<std::uint8_t>(inkRed);
                    pixel[3] = 0;
                } else if (alpha != 0) {
                    pixel[0] = mix(inkBlue, pixel[0], alpha);
                    pixel[1] = mix(inkGreen, pixel[1], alpha);
                    pixel[2] = mix(inkRed, pixel[2], alpha);
                    pixel[3] = 0;
                }
            }
            continue;
        }
        for (long long px = left; px < right; ++px, ++coverage) {
            const std::uint32_t alpha = *coverage;
            const int ix = static_cast<int>(px);
            if (alpha == 255 || (bits <= 8 && alpha >= 128)) {
                surface.setPixel(ix, py, ink);
            } else if (alpha != 0 && bits > 8) {
                const COLORREF under = surface.colorOf(surface.pixel(ix, py));
                surface.setPixel(ix, py,
                                 surface.valueOf(RGB(mix(inkRed, GetRValue(under), alpha),
                                                     mix(inkGreen, GetGValue(under), alpha),
                                                     mix(inkBlue, GetBValue(under), alpha))));
            }
        }
    }
    damage = unite(damage, RECT{static_cast<LONG>(left), static_cast<LONG>(top),
                                static_cast<LONG>(right), static_cast<LONG>(bottom)});
}

} // namespace

FontFace* contextFont(DcObject& dc) {
    FontFace* face = dc.state.font ? realiseFont(*dc.state.font) : nullptr;
    if (!face) {
        SetLastError(ERROR_FILE_NOT_FOUND);
    }
    return face;
}

long long runWidth(FontFace& font, const char* text, std::size_t length, const INT* dx, int extra) {
    long long width = 0;
    const char* p = text;
    const char* const end = text + length;
    while (p < end) {
        const char* start = p;
        const char32_t c = nextUtf8(p, end);
        width += advanceOf(font, c, dx, static_cast<std::size_t>(start - text),
                           static_cast<std::size_t>(p - text)) +
                 extra;
    }
    return width;
}

void fillLogical(const DrawTarget& target, long long left, long long top, long long right,
                 long long bottom, COLORREF color, const RECT& clip) {
    Surface& surface = *target.surface;
    fillArea(surface, intersect(target.toSurface(left, top, right, bottom), clip),
             surface.valueOf(color & 0x00FFFFFFu));
}

void drawRun(const DcObject& dc, const DrawTarget& target, FontFace& font, long long left,
             long long top, const char* text, std::size_t length, const INT* dx, long long width,
             const RECT& clip) {
    Surface& surface = *target.surface;
    const DcState& state = dc.state;
    const TEXTMETRICA& metrics = font.metrics();
    // The cell spans the run's advances; negative spacing can make it run leftwards.
    const long long cellLeft = std::min(left, left + width);
    const long long cellRight = std::max(left, left + width);
    if (state.bkMode == OPAQUE) {
        fillLogical(target, cellLeft, top, cellRight, top + metrics.tmHeight, state.bkColor, clip);
    }
    const COLORREF inkColor = state.textColor & 0x00FFFFFFu;
    const std::uint32_t ink = surface.valueOf(inkColor);
    const bool bilevel = font.bilevel() || surface.bitsPerPixel() <= 8;
    const long long baseline = top + metrics.tmAscent + target.origin.y;
    long long pen = left + target.origin.x;
    RECT damage{0, 0, 0, 0};
    const char* p = text;
    const char* const end = text + length;
    while (p < end) {
        const char* start = p;
        const char32_t c = nextUtf8(p, end);
        const Glyph& glyph = font.glyph(c, bilevel);
        const long long advance =
            dx ? advanceOf(font, c, dx, static_cast<std::size_t>(start - text),
                           static_cast<std::size_t>(p - text))
               : glyph.advance;
        drawGlyph(surface, glyph, pen + glyph.left, baseline - glyph.top, clip, ink, inkColor,
                  damage);
        pen += advance + state.charExtra;
    }
    surface.addDamage(damage);
    if (font.underlined()) {
        const long long lineTop = top + font.underlineTop();
        fillLogical(target, cellLeft, lineTop, cellRight, lineTop + font.underlineHeight(),
                    inkColor, clip);
    }
    if (font.struckOut()) {
        const long long lineTop = top + font.strikeTop();
        fillLogical(target, cellLeft, lineTop, cellRight, lineTop + font.strikeHeight(), inkColor,
                    clip);
    }
}

} // namespace korutil::detail
