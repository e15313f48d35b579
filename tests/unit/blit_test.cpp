// BitBlt and StretchBlt: the geometry of copies (within one bitmap and between two, stretched,
// mirrored, clipped, partly outside the source) against a sampling model, the stretch modes,
// and the colour rules between monochrome and colour bitmaps.
#include <korutil/platform.h>

#include "support/dib_canvas.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using korutil::test::DibCanvas;
using korutil::test::extentOf;
using korutil::test::sampled;

TEST(Blit, GeometryAgainstASamplingModel) {
    std::mt19937 random(5);
    auto pick = [&](int lo, int hi) { return lo + static_cast<int>(random() % (hi - lo + 1)); };
    DibCanvas a(24, 20), b(17, 13);
    for (int round = 0; round < 1500; ++round) {
        const bool same = round % 2 == 0, stretch = round % 3 == 0;
        const DibCanvas& src = same ? a : b;
        for (const DibCanvas* c : {&a, &b}) {
            for (int i = 0; i < c->width() * c->height(); ++i) {
                c->at(i % c->width(), i / c->width()) = random();
            }
        }
        std::vector<std::uint32_t> before(24 * 20), source;
        for (int i = 0; i < 24 * 20; ++i) {
            before[i] = a.at(i % 24, i / 24);
        }
        for (int i = 0; i < src.width() * src.height(); ++i) {
            source.push_back(src.at(i % src.width(), i / src.width()));
        }
        const int x = pick(-5, 26), y = pick(-5, 22), w = pick(-14, 14), h = pick(-14, 14);
        const int sx = pick(-5, 26), sy = pick(-5, 22);
        const int sw = stretch ? pick(-14, 14) : w, sh = stretch ? pick(-14, 14) : h;
        const RECT clip{pick(0, 12), pick(0, 10), pick(10, 24), pick(8, 20)};
        SelectClipRgn(a.dc(), nullptr);
        IntersectClipRect(a.dc(), clip.left, clip.top, clip.right, clip.bottom);
        IntersectClipRect(b.dc(), 0, 0, 1, 1); // a source context's clip does not limit reading
        SetStretchBltMode(a.dc(), COLORONCOLOR);
        StretchBlt(a.dc(), x, y, w, h, src.dc(), sx, sy, sw, sh, SRCCOPY);
        // Offsets beyond the range of 32 bits reach nothing.
        BitBlt(a.dc(), 0, 0, 8, 8, src.dc(), INT32_MIN, INT32_MIN + round, SRCCOPY);
        StretchBlt(a.dc(), INT32_MAX, 0, INT32_MIN, 9, src.dc(), 0, 0, INT32_MAX, 1, SRCCOPY);
        for (int py = 0; py < 20; ++py) {
            for (int px = 0; px < 24; ++px) {
                const long long fx = sampled(px, extentOf(x, w), extentOf(sx, sw), src.width());
                const long long fy = sampled(py, extentOf(y, h), extentOf(sy, sh), src.height());
                const bool drawn = fx >= 0 && fy >= 0 && px >= clip.left && px < clip.right &&
                                   py >= clip.top && py < clip.bottom;
                ASSERT_EQ(drawn ? source[fy * src.width() + fx] : before[py * 24 + px],
                          a.at(px, py))
                    << "round " << round << ": " << x << "," << y << " " << w << "x" << h
                    << " from " << sx << "," << sy << " " << sw << "x" << sh << " at " << px << ","
                    << py << a.picture("geometry");
            }
        }
    }
}

// One row of white and black pixels, as the letters W, B and G (grey), through StretchBlt.
std::string stretched(int mode, const std::string& from, int width) {
    DibCanvas source(static_cast<int>(from.size()), 1), dest(width, 1);
    for (std::size_t x = 0; x < from.size(); ++x) {
        source.at(static_cast<int>(x), 0) = from[x] == 'W' ? 0xFFFFFF : 0;
    }
    SetStretchBltMode(dest.dc(), mode);
    StretchBlt(dest.dc(), 0, 0, width, 1, source.dc(), 0, 0, static_cast<int>(from.size()), 1,
               SRCCOPY);
    std::string out;
    for (int x = 0; x < width; ++x) {
        out += dest.at(x, 0) == 0xFFFFFF ? 'W' : dest.at(x, 0) == 0 ? 'B' : 'G';
    }
    return out;
}

TEST(Stretch, ModesCombineWhenShrinkingAndRepeatWhenEnlarging) {
    EXPECT_EQ("BW", stretched(BLACKONWHITE, "WBWW", 2));
    EXPECT_EQ("WBW", stretched(BLACKONWHITE, "WBWW", 3));
    EXPECT_EQ("BW", stretched(WHITEONBLACK, "BBWB", 2));
    EXPECT_EQ("BW", stretched(COLORONCOLOR, "WBWW", 2));
    EXPECT_EQ("GW", stretched(HALFTONE, "WBWW", 2));
    for (int mode : {BLACKONWHITE, WHITEONBLACK, COLORONCOLOR, HALFTONE}) {
        EXPECT_EQ("WWBBB", stretched(mode, "WB", 5)) << mode;
    }
    // Averaging covers both directions: a 2 by 2 checker gives mid grey.
    DibCanvas checker(2, 2), one(1, 1);
    checker.at(0, 0) = checker.at(1, 1) = 0xFFFFFF;
    SetStretchBltMode(one.dc(), HALFTONE);
    StretchBlt(one.dc(), 0, 0, 1, 1, checker.dc(), 0, 0, 2, 2, SRCCOPY);
    EXPECT_EQ(0x808080u, one.at(0, 0));
    EXPECT_EQ(0, SetStretchBltMode(one.dc(), 0));
}

TEST(Blit, MonochromeAndColourConversions) {
    const BYTE bits[2] = {0x0F, 0};
    HBITMAP mono = CreateBitmap(8, 1, 1, 1, bits), mono2 = CreateBitmap(8, 1, 1, 1, nullptr);
    HDC dc = CreateCompatibleDC(nullptr), dc2 = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, mono), old2 = SelectObject(dc2, mono2);
    DibCanvas colour(8, 1), table(8, 1, 1, {{0, 0, 255, 0}, {0, 255, 0, 0}});
    BYTE got[2] = {};
    auto monoBits = [&](HBITMAP b) { return GetBitmapBits(b, 2, got), got[0]; };
    // Monochrome into colour: 0 bits take the text colour, 1 bits the background colour.
    SetTextColor(colour.dc(), RGB(0, 0, 255));
    SetBkColor(colour.dc(), RGB(255, 255, 0));
    BitBlt(colour.dc(), 0, 0, 8, 1, dc, 0, 0, SRCCOPY);
    EXPECT_EQ((std::vector<std::uint32_t>{0xFF, 0xFFFF00}),
              (std::vector<std::uint32_t>{colour.at(0, 0), colour.at(7, 0)}));
    // Colour into monochrome: 1 where the pixel shows the source's background colour (the
    // reserved byte is no part of it); monochrome to monochrome copies bits whatever the
    // colours.
    colour.at(2, 0) = 0xFF00FF00;
    SetBkColor(colour.dc(), RGB(0, 255, 0));
    BitBlt(dc, 0, 0, 8, 1, colour.dc(), 0, 0, SRCCOPY);
    EXPECT_EQ(0x20, monoBits(mono));
    SetTextColor(dc2, RGB(255, 255, 255));
    SetBkColor(dc2, RGB(0, 0, 0));
    BitBlt(dc2, 0, 0, 8, 1, dc, 0, 0, SRCCOPY);
    EXPECT_EQ(0x20, monoBits(mono2));
    // A 1-bit DIB section converts through its colour table, both ways.
    table.row(0)[0] = 0x0F;
    BitBlt(colour.dc(), 0, 0, 8, 1, table.dc(), 0, 0, SRCCOPY);
    EXPECT_EQ((std::vector<std::uint32_t>{0xFF0000, 0xFF00}),
              (std::vector<std::uint32_t>{colour.at(0, 0), colour.at(7, 0)}));
    colour.at(0, 0) = 0x30E010; // nearer green than red
    BitBlt(table.dc(), 0, 0, 8, 1, colour.dc(), 0, 0, SRCCOPY);
    EXPECT_EQ(0x8F, table.row(0)[0]);
    // On monochrome, solid brushes take the nearer of black and white and a monochrome
    // pattern brush the text and background colours (white and black here).
    const RECT all{0, 0, 8, 1};
    for (COLORREF c : {RGB(128, 128, 128), RGB(127, 127, 127), RGB(0, 255, 0)}) {
        HBRUSH brush = CreateSolidBrush(c);
        FillRect(dc2, &all, brush);
        EXPECT_EQ(c == RGB(128, 128, 128) ? 0xFF : 0, monoBits(mono2)) << c;
        DeleteObject(brush);
    }
    SetBitmapBits(mono, 2, bits);
    HBRUSH pattern = CreatePatternBrush(mono);
    FillRect(dc2, &all, pattern);
    EXPECT_EQ(0xF0, monoBits(mono2));
    DeleteObject(pattern);
    SelectObject(dc, old);
    SelectObject(dc2, old2);
    DeleteDC(dc);
    DeleteDC(dc2);
    DeleteObject(mono);
    DeleteObject(mono2);
}

} // namespace
