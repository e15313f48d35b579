#include "support/canvas.h"
#include "support/pictures.h"

#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using korutil::test::Canvas;
using Wide = __int128;
constexpr COLORREF kWhite = RGB(255, 255, 255);

std::vector<bool> painted(const Canvas& canvas) {
    std::vector<bool> out;
    for (COLORREF c : canvas.pixels()) {
        out.push_back(c != 0);
    }
    return out;
}

// The cosmetic line rule, as its definition reads: the start pixel and not the end; at each
// position along the major axis the minor coordinate nearest to the true line, an exact half
// going to the smaller coordinate; only pixels inside the clip.
std::vector<bool> modelLine(const Canvas& canvas, long long x0, long long y0, long long x1,
                            long long y1, const RECT& clip) {
    std::vector<bool> out(static_cast<size_t>(canvas.width() * canvas.height()));
    const bool xMajor = llabs(x1 - x0) >= llabs(y1 - y0);
    const long long m0 = xMajor ? x0 : y0, m1 = xMajor ? x1 : y1, n0 = xMajor ? y0 : x0;
    const long long dm = m1 - m0, dn = xMajor ? y1 - y0 : x1 - x0;
    const long long lo = xMajor ? clip.left : clip.top, hi = xMajor ? clip.right : clip.bottom;
    for (long long m = std::max(lo, std::min(m0, m1)); m < hi && m <= std::max(m0, m1); ++m) {
        if (m == m1) {
            continue;
        }
        const Wide num = static_cast<Wide>(m - m0) * dn * (dm > 0 ? 1 : -1), den = llabs(dm);
        const Wide twice = 2 * num - den; // minor offset = ceil(num / den - 1/2)
        const long long n =
            n0 + static_cast<long long>(twice / (2 * den) + (twice % (2 * den) > 0 ? 1 : 0));
        const long long x = xMajor ? m : n, y = xMajor ? n : m;
        if (x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom) {
            out[static_cast<size_t>(y * canvas.width() + x)] = true;
        }
    }
    return out;
}

long long randomCoordinate(std::mt19937& random, int scale) {
    switch (scale) {
    case 0:
        return std::uniform_int_distribution<int>(0, 63)(random);
    case 1:
        return std::uniform_int_distribution<int>(-150, 214)(random);
    case 2:
        return std::uniform_int_distribution<int>(-3000000, 3000000)(random);
    default:
        return std::uniform_int_distribution<int>(INT_MIN, INT_MAX)(random);
    }
}

// Random lines of every slope and length, clipped to random rectangles half of the time; the
// clip must cut the line without moving a single pixel of it.
TEST(GdiLines, RandomLinesFollowTheGridIntersectRule) {
    Canvas canvas(64, 64);
    HPEN pen = CreatePen(PS_SOLID, 0, kWhite);
    SelectObject(canvas.dc(), pen);
    std::mt19937 random(20261206);
    for (int i = 0; i < 1500; ++i) {
        const int scale = i % 4 == 3 ? std::uniform_int_distribution<int>(1, 3)(random) : 0;
        const int x0 = static_cast<int>(randomCoordinate(random, scale));
        const int y0 = static_cast<int>(randomCoordinate(random, scale));
        const int x1 = static_cast<int>(randomCoordinate(random, scale));
        const int y1 = static_cast<int>(randomCoordinate(random, scale));
        RECT clip{0, 0, 64, 64};
        canvas.clear();
        SelectClipRgn(canvas.dc(), nullptr);
        if (i % 2) {
            std::uniform_int_distribution<int> at(0, 63);
            clip = RECT{at(random), at(random), 0, 0};
            clip.right = clip.left + 1 + at(random) % (64 - clip.left);
            clip.bottom = clip.top + 1 + at(random) % (64 - clip.top);
            IntersectClipRect(canvas.dc(), clip.left, clip.top, clip.right, clip.bottom);
        }
        MoveToEx(canvas.dc(), x0, y0, nullptr);
        ASSERT_TRUE(LineTo(canvas.dc(), x1, y1));
        if (!korutil::test::checkDrawing(
                modelLine(canvas, x0, y0, x1, y1, clip) == painted(canvas), canvas, "line",
                "line " + std::to_string(x0) + "," + std::to_string(y0) + " to " +
                    std::to_string(x1) + "," + std::to_string(y1) + " clip " +
                    std::to_string(clip.left) + "," + std::to_string(clip.top) + "," +
                    std::to_string(clip.right) + "," + std::to_string(clip.bottom))) {
            break;
        }
    }
    canvas.clear(); // a fan of every slope, to look at
    SelectClipRgn(canvas.dc(), nullptr);
    for (int k = 0; k < 64; k += 4) {
        MoveToEx(canvas.dc(), 32, 32, nullptr);
        LineTo(canvas.dc(), k, 0);
        MoveToEx(canvas.dc(), 32, 32, nullptr);
        LineTo(canvas.dc(), 63, k);
    }
    korutil::test::pictureOnFailure(canvas.bitmap(), "fan");
    DeleteObject(pen);
}

TEST(GdiLines, CurrentPositionMovesWhateverIsDrawn) {
    Canvas canvas(8, 8);
    POINT at{-1, -1};
    EXPECT_TRUE(MoveToEx(canvas.dc(), 3, 4, nullptr));
    EXPECT_TRUE(MoveToEx(canvas.dc(), 100, -100, &at));
    EXPECT_EQ(3, at.x);
    EXPECT_EQ(4, at.y);
    SelectObject(canvas.dc(), GetStockObject(NULL_PEN));
    EXPECT_TRUE(LineTo(canvas.dc(), 5, 6));
    EXPECT_TRUE(GetCurrentPositionEx(canvas.dc(), &at));
    EXPECT_EQ(5, at.x);
    EXPECT_EQ(6, at.y);
    EXPECT_EQ(std::vector<bool>(64), painted(canvas));
    SetLastError(0);
    EXPECT_FALSE(GetCurrentPositionEx(canvas.dc(), nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    // Wide pens keep to the 2^27 device range of Windows NT.
    HPEN wide = CreatePen(PS_SOLID, 3, kWhite);
    SelectObject(canvas.dc(), wide);
    SetLastError(0);
    EXPECT_FALSE(LineTo(canvas.dc(), 1 << 28, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(Rectangle(canvas.dc(), 0, 0, 1 << 28, 4));
    EXPECT_TRUE(GetCurrentPositionEx(canvas.dc(), &at));
    EXPECT_EQ(5, at.x);
    SelectObject(canvas.dc(), GetStockObject(BLACK_PEN));
    DeleteObject(wide);
}

// Dashed and dotted cosmetic pens: the Windows NT run lengths, counted in pixels along the
// major axis from the start of each LineTo; gaps in the background colour when opaque.
TEST(GdiLines, StylesRepeatTheirRunsFromEachLineStart) {
    const struct {
        int style;
        std::vector<int> runs;
    } cases[] = {{PS_DASH, {18, 6}},
                 {PS_DOT, {3, 3}},
                 {PS_DASHDOT, {9, 6, 3, 6}},
                 {PS_DASHDOTDOT, {9, 3, 3, 3, 3, 3}}};
    const COLORREF red = RGB(255, 0, 0);
    Canvas canvas(100, 40);
    SetBkColor(canvas.dc(), red);
    for (const auto& c : cases) {
        for (int width : {0, 1, 2}) {
            HPEN pen = CreatePen(c.style, width, kWhite);
            SelectObject(canvas.dc(), pen);
            canvas.clear();
            SetBkMode(canvas.dc(), OPAQUE);
            MoveToEx(canvas.dc(), 0, 0, nullptr);
            LineTo(canvas.dc(), 99, 0);
            MoveToEx(canvas.dc(), 0, 10, nullptr);
            LineTo(canvas.dc(), 90, 39); // x-major: the pattern follows x
            SetBkMode(canvas.dc(), TRANSPARENT);
            MoveToEx(canvas.dc(), 0, 5, nullptr);
            LineTo(canvas.dc(), 40, 5);
            LineTo(canvas.dc(), 99, 5);
            const std::vector<COLORREF> got = canvas.pixels();
            for (int x = 0; x < 99; ++x) {
                const int onAt5 = x < 40 ? x : x - 40;
                auto on = [&](int pos) {
                    int period = 0, run = 0;
                    for (int r : c.runs) {
                        period += r;
                    }
                    for (pos %= period; pos >= c.runs[run]; pos -= c.runs[run++]) {
                    }
                    return width > 1 || run % 2 == 0;
                };
                ASSERT_EQ(on(x) ? kWhite : red, got[x])
                    << c.style << " width " << width << " x " << x;
                ASSERT_EQ(on(onAt5) ? kWhite : 0, got[5 * 100 + x]) << c.style << " x " << x;
                const int y = 10 + (x * 29 * 2 + 90 - 1) / 180;
                if (x < 90 && width <= 1) {
                    ASSERT_EQ(on(x) ? kWhite : red, got[y * 100 + x]) << c.style << " x " << x;
                }
            }
            SelectObject(canvas.dc(), GetStockObject(BLACK_PEN));
            DeleteObject(pen);
        }
    }
}

// The sixteen modes by their names, in R2_ order.
std::uint32_t rop2Model(int mode, std::uint32_t p, std::uint32_t d) {
    const std::uint32_t results[16] = {0,     ~(p | d), ~p & d, ~p,       p & ~d, ~d,
                                       p ^ d, ~(p & d), p & d,  ~(p ^ d), d,      ~p | d,
                                       p,     p | ~d,   p | d,  ~0u};
    return results[mode - 1];
}

// Every mode, bit by bit on pixel values: colours on a 32-bit bitmap, colour-table indices on
// a monochrome one (where a pen takes the nearer of black and white).
TEST(GdiLines, MixModesCombinePixelValuesBitByBit) {
    std::mt19937 random(7);
    for (int bits : {32, 1}) {
        Canvas canvas(64, 17, bits);
        const std::uint32_t mask = bits == 32 ? 0xFFFFFF : 1;
        auto color = [&](std::uint32_t v) { return bits == 32 ? v : v ? kWhite : 0; };
        for (int mode = R2_BLACK; mode <= R2_WHITE; ++mode) {
            EXPECT_EQ(mode == R2_BLACK ? R2_COPYPEN : mode - 1, SetROP2(canvas.dc(), mode));
            for (int x = 0; x < 64; ++x) {
                const std::uint32_t d = random() & mask, p = random() & mask;
                const COLORREF shade =
                    bits == 1 && x % 2 ? (p ? RGB(200, 190, 180) : RGB(90, 60, 30)) : color(p);
                SetPixel(canvas.dc(), x, mode, color(d));
                HPEN pen = CreatePen(PS_SOLID, 1, shade);
                HGDIOBJ old = SelectObject(canvas.dc(), pen);
                MoveToEx(canvas.dc(), x, mode, nullptr);
                LineTo(canvas.dc(), x + 1, mode);
                SelectObject(canvas.dc(), old);
                DeleteObject(pen);
                ASSERT_EQ(color(rop2Model(mode, p, d) & mask), GetPixel(canvas.dc(), x, mode))
                    << "mode " << mode << " pen " << p << " on " << d << " at " << bits;
            }
        }
    }
    SetLastError(0);
    Canvas canvas(1, 1);
    EXPECT_EQ(0, SetROP2(canvas.dc(), R2_WHITE + 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(R2_COPYPEN, GetROP2(canvas.dc()));
}

// Wide pens: round-ended strokes, every pixel whose centre lies within half the width of the
// segment (the centre of an even width sitting half a pixel up and left), each painted once,
// and clipping that cuts without moving anything.
TEST(GdiLines, WidePensPaintTheirStrokeOnce) {
    Canvas canvas(48, 48);
    std::mt19937 random(99);
    std::uniform_int_distribution<int> at(4, 43), widths(2, 9);
    for (int i = 0; i < 300; ++i) {
        const int x0 = at(random), y0 = at(random), x1 = at(random), y1 = at(random);
        const int width = widths(random);
        HPEN pen = CreatePen(PS_SOLID, width, kWhite);
        SelectObject(canvas.dc(), pen);
        SetROP2(canvas.dc(), R2_XORPEN);
        canvas.clear();
        MoveToEx(canvas.dc(), x0, y0, nullptr);
        LineTo(canvas.dc(), x1, y1);
        const std::vector<COLORREF> once = canvas.pixels();
        const double shift = width % 2 ? 0 : 0.5, r = width / 2.0;
        std::string wrong;
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 48; ++x) {
                const double px = x + shift, py = y + shift, vx = x1 - x0, vy = y1 - y0;
                const double len2 = vx * vx + vy * vy;
                const double t =
                    len2 ? std::clamp(((px - x0) * vx + (py - y0) * vy) / len2, 0.0, 1.0) : 0;
                const double d = std::hypot(px - x0 - t * vx, py - y0 - t * vy);
                const COLORREF got = once[static_cast<size_t>(y * 48 + x)];
                if ((got != 0 && got != kWhite) ||
                    (std::fabs(d - r) > 1e-9 && (d < r) != (got != 0))) {
                    wrong += " " + std::to_string(x) + "," + std::to_string(y);
                }
            }
        }
        if (!korutil::test::checkDrawing(wrong.empty(), canvas, "stroke",
                                         std::to_string(x0) + "," + std::to_string(y0) + " to " +
                                             std::to_string(x1) + "," + std::to_string(y1) +
                                             " width " + std::to_string(width) + ":" + wrong)) {
            break;
        }
        if (i < 8) { // a few to look at
            korutil::test::pictureOnFailure(canvas.bitmap(), "stroke" + std::to_string(i));
        }
        const RECT clip{at(random), at(random), 48, 48};
        canvas.clear();
        IntersectClipRect(canvas.dc(), clip.left, clip.top, clip.right, clip.bottom);
        MoveToEx(canvas.dc(), x0, y0, nullptr);
        LineTo(canvas.dc(), x1, y1);
        SelectClipRgn(canvas.dc(), nullptr);
        const std::vector<COLORREF> clipped = canvas.pixels();
        for (int p = 0; p < 48 * 48; ++p) {
            const bool inside = p % 48 >= clip.left && p / 48 >= clip.top;
            ASSERT_EQ(inside ? once[static_cast<size_t>(p)] : 0, clipped[static_cast<size_t>(p)]);
        }
        SelectObject(canvas.dc(), GetStockObject(BLACK_PEN));
        DeleteObject(pen);
    }
}

} // namespace
