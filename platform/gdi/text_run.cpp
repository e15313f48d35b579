#include "gdi/text_run.h"

#include "kernel/text_encoding.h"

#include <korutil/platform/errors.h>

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korutil::detail {
namespace {

// Blends two 0x..RRGGBB colours, `alpha` of 255 parts of the first, rounding each channel to
// the nearest: red and blue travel in one word, 16 bits apart, so two multiplications serve
// three channels; x/255 is (x + 128 + ((x + 128) >> 8)) >> 8, exact for x up to 255 * 255.
// The reserved byte comes out 0.
std::uint32_t blend(std::uint32_t ink, std::uint32_t under, std::uint32_t alpha) {
    const std::uint32_t rest = 255 - alpha;
    std::uint32_t rb = (ink & 0xFF00FFu) * alpha + (under & 0xFF00FFu) * rest + 0x800080u;
    std::uint32_t g = (ink & 0x00FF00u) * alpha + (under & 0x00FF00u) * rest + 0x008000u;
    rb = ((rb + ((rb >> 8) & 0xFF00FFu)) >> 8) & 0xFF00FFu;
    g = ((g + ((g >> 8) & 0x00FF00u)) >> 8) & 0x00FF00u;
    return rb | g;
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

// Blends `ink` over a row of 32-bit pixels by their coverage, as blend() does pixel by pixel:
// pixels without coverage stay as they are, covered ones get a reserved byte of 0.
void blendRow(std::uint8_t* pixels, const std::uint8_t* coverage, long long count,
              std::uint32_t ink) {
    long long i = 0;
#if defined(__SSE2__)
    // Four pixels at a time in 16-bit lanes: with alpha + rest = 255 no lane overflows.
    const __m128i zero = _mm_setzero_si128();
    const __m128i inks = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(ink)), zero);
    const __m128i full = _mm_set1_epi16(255);
    const __m128i half = _mm_set1_epi16(128);
    const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
    for (; i + 4 <= count; i += 4) {
        std::uint32_t four;
        std::memcpy(&four, coverage + i, 4);
        if (four == 0) {
            continue;
        }
        const __m128i alpha16 = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(four)), zero);
        const __m128i pairs = _mm_unpacklo_epi16(alpha16, alpha16);
        const __m128i alphas[2] = {_mm_unpacklo_epi32(pairs, pairs),
                                   _mm_unpackhi_epi32(pairs, pairs)};
        __m128i* at = reinterpret_cast<__m128i*>(pixels + i * 4);
        const __m128i under = _mm_loadu_si128(at);
        const __m128i halves[2] = {_mm_unpacklo_epi8(under, zero), _mm_unpackhi_epi8(under, zero)};
        __m128i mixed[2];
        for (int h = 0; h < 2; ++h) {
            __m128i x = _mm_add_epi16(
                _mm_add_epi16(_mm_mullo_epi16(inks, alphas[h]),
                              _mm_mullo_epi16(halves[h], _mm_sub_epi16(full, alphas[h]))),
                half);
            mixed[h] = _mm_srli_epi16(_mm_add_epi16(x, _mm_srli_epi16(x, 8)), 8);
        }
        const __m128i uncovered = _mm_cmpeq_epi32(_mm_unpacklo_epi16(alpha16, zero), zero);
        const __m128i keep = _mm_or_si128(uncovered, colour);
        _mm_storeu_si128(at, _mm_and_si128(_mm_packus_epi16(mixed[0], mixed[1]), keep));
    }
#endif
    for (; i < count; ++i) {
        const std::uint32_t alpha = coverage[i];
        if (alpha != 0) {
            std::uint32_t under;
            std::memcpy(&under, pixels + i * 4, 4);
            const std::uint32_t value = alpha == 255 ? ink : blend(ink, under, alpha);
            std::memcpy(pixels + i * 4, &value, 4);
        }
    }
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
    const std::uint32_t inkRgb = (static_cast<std::uint32_t>(GetRValue(inkColor)) << 16) |
                                 (static_cast<std::uint32_t>(GetGValue(inkColor)) << 8) |
                                 GetBValue(inkColor);
    for (long long row = top; row < bottom; ++row) {
        const std::uint8_t* coverage = glyph.coverage.data() + (row - y) * glyph.width + (left - x);
        const int py = static_cast<int>(row);
        if (bits == 32) {
            blendRow(surface.row(py) + left * 4, coverage, right - left, inkRgb);
            continue;
        }
        for (long long px = left; px < right; ++px, ++coverage) {
            const std::uint32_t alpha = *coverage;
            const int ix = static_cast<int>(px);
            if (alpha == 255) {
                surface.setPixel(ix, py, ink);
            } else if (alpha != 0) { // grey-scale glyphs reach only surfaces of 16 bits or more
                const COLORREF under = surface.colorOf(surface.pixel(ix, py));
                const std::uint32_t underRgb =
                    (static_cast<std::uint32_t>(GetRValue(under)) << 16) |
                    (static_cast<std::uint32_t>(GetGValue(under)) << 8) | GetBValue(under);
                const std::uint32_t mixed = blend(inkRgb, underRgb, alpha);
                surface.setPixel(
                    ix, py, surface.valueOf(RGB(mixed >> 16, (mixed >> 8) & 0xFF, mixed & 0xFF)));
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
