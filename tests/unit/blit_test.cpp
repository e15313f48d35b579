// BitBlt and StretchBlt: copies within one bitmap in every direction, clipping to the
// destination and the source, the stretch modes, mirroring, and the colour rules between
// monochrome and colour bitmaps.
#include <korutil/platform.h>

#include "support/dib_canvas.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using korutil::test::DibCanvas;

COLORREF colourAt(int x, int y) {
    return RGB(x * 16, y * 16, (x * 7 + y * 3) & 0xFF);
}

TEST(Blit, OverlappingCopiesInEveryDirection) {
    struct Variant {
        int bits;
        DWORD rop;
        bool mirror;
    } variants[] = {
        {32, SRCCOPY, false}, {32, SRCPAINT, false}, {24, SRCCOPY, false}, {32, SRCCOPY, true}};
    for (const Variant& v : variants) {
        for (int dy = -3; dy <= 3; ++dy) {
            for (int dx = -3; dx <= 3; ++dx) {
                DibCanvas canvas(16, 16, v.bits);
                for (int y = 0; y < 16; ++y) {
                    for (int x = 0; x < 16; ++x) {
                        SetPixel(canvas.dc(), x, y, colourAt(x, y));
                    }
                }
                const int left = 4 + dx, top = 4 + dy;
                if (v.mirror) {
                    StretchBlt(canvas.dc(), left + 7, top, -8, 8, canvas.dc(), 4, 4, 8, 8, v.rop);
                } else {
                    BitBlt(canvas.dc(), left, top, 8, 8, canvas.dc(), 4, 4, v.rop);
                }
                for (int y = 0; y < 16; ++y) {
                    for (int x = 0; x < 16; ++x) {
                        COLORREF expected = colourAt(x, y);
                        if (x >= left && x < left + 8 && y >= top && y < top + 8) {
                            const int sx = v.mirror ? 4 + (left + 7 - x) : 4 + x - left;
                            const COLORREF s = colourAt(sx, 4 + y - top);
                            expected = v.rop == SRCCOPY ? s : s | expected;
                        }
                        ASSERT_EQ(expected, GetPixel(canvas.dc(), x, y))
                            << v.bits << " bits, moved " << dx << "," << dy << " at " << x << ","
                            << y << canvas.picture("overlap");
                    }
                }
            }
        }
    }
}

TEST(Blit, ClipsToTheDestinationButReadsPastTheSourceContextsClip) {
    DibCanvas source(4, 4), dest(8, 8);
    for (int i = 0; i < 16; ++i) {
        source.at(i % 4, i / 4) = 0x100 + i;
    }
    IntersectClipRect(source.dc(), 0, 0, 1, 1);
    IntersectClipRect(dest.dc(), 1, 0, 8, 7);
    dest.fill(7);
    // Destination pixels whose source lies outside the source bitmap stay as they were.
    ASSERT_TRUE(BitBlt(dest.dc(), 0, 0, 8, 8, source.dc(), -2, 1, SRCCOPY));
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const int sx = x - 2, sy = y + 1;
            const bool copied = x >= 1 && y < 7 && sx >= 0 && sx < 4 && sy < 4;
            EXPECT_EQ(copied ? 0x100u + sy * 4 + sx : 7u, dest.at(x, y))
                << x << "," << y << dest.picture("clipped");
        }
    }
    EXPECT_FALSE(BitBlt(dest.dc(), 0, 0, 8, 8, nullptr, 0, 0, SRCCOPY));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_TRUE(BitBlt(dest.dc(), 0, 0, 8, 8, nullptr, 0, 0, DSTINVERT));
    EXPECT_EQ(~7u, dest.at(3, 3));
}

// One row of white and black pixels, as the letters W, B and G (grey).
std::string shrunk(int mode, int srcWidth, const char* source, int destWidth) {
    DibCanvas from(srcWidth, 1), to(destWidth, 1);
    for (int x = 0; x < srcWidth; ++x) {
        from.at(x, 0) = source[x] == 'W' ? 0xFFFFFF : 0;
    }
    SetStretchBltMode(to.dc(), mode);
    StretchBlt(to.dc(), 0, 0, destWidth, 1, from.dc(), 0, 0, srcWidth, 1, SRCCOPY);
    std::string out;
    for (int x = 0; x < destWidth; ++x) {
        out += to.at(x, 0) == 0xFFFFFF ? 'W' : to.at(x, 0) == 0 ? 'B' : 'G';
    }
    return out;
}

TEST(Stretch, ModesCombineWhenShrinkingAndRepeatWhenEnlarging) {
    EXPECT_EQ("BW", shrunk(BLACKONWHITE, 4, "WBWW", 2));
    EXPECT_EQ("WBW", shrunk(BLACKONWHITE, 4, "WBWW", 3));
    EXPECT_EQ("WW", shrunk(WHITEONBLACK, 4, "WBWW", 2));
    EXPECT_EQ("BW", shrunk(WHITEONBLACK, 4, "BBWB", 2));
    EXPECT_EQ("BW", shrunk(COLORONCOLOR, 4, "WBWW", 2));
    EXPECT_EQ("WWW", shrunk(COLORONCOLOR, 4, "WBWW", 3));
    EXPECT_EQ("GW", shrunk(HALFTONE, 4, "WBWW", 2));
    for (int mode : {BLACKONWHITE, WHITEONBLACK, COLORONCOLOR, HALFTONE}) {
        EXPECT_EQ("WWBBB", shrunk(mode, 2, "WB", 5)) << mode;
    }
    // Averaging covers both directions: a 2 by 2 checker gives mid grey.
    DibCanvas checker(2, 2), one(1, 1);
    checker.at(0, 0) = checker.at(1, 1) = 0xFFFFFF;
    SetStretchBltMode(one.dc(), HALFTONE);
    StretchBlt(one.dc(), 0, 0, 1, 1, checker.dc(), 0, 0, 2, 2, SRCCOPY);
    EXPECT_EQ(0x808080u, one.at(0, 0));
    EXPECT_EQ(0, SetStretchBltMode(one.dc(), 0));
}

TEST(Stretch, NegativeExtentsRunBackFromTheirStartAndMirror) {
    struct Case {
        int x, w, sx, sw;
        const char* expected;
    } cases[] = {
        {4, -4, 0, 4, "04321000"}, {0, 4, 3, -4, "43210000"}, {4, -4, 3, -4, "01234000"},
        {0, 4, 4, -4, "04320000"}, {7, -4, 0, 4, "00004321"}, {0, 8, 3, -4, "44332211"},
    };
    DibCanvas source(4, 1), dest(8, 1);
    for (int x = 0; x < 4; ++x) {
        source.at(x, 0) = x + 1;
    }
    for (const Case& c : cases) {
        dest.fill(0);
        EXPECT_TRUE(StretchBlt(dest.dc(), c.x, 0, c.w, 1, source.dc(), c.sx, 0, c.sw, 1, SRCCOPY));
        std::string got;
        for (int x = 0; x < 8; ++x) {
            got += static_cast<char>('0' + dest.at(x, 0));
        }
        EXPECT_EQ(c.expected, got) << c.x << " " << c.w << " from " << c.sx << " " << c.sw;
    }
    DibCanvas square(2, 2), turned(2, 2);
    square.at(0, 0) = 1, square.at(1, 0) = 2, square.at(0, 1) = 3, square.at(1, 1) = 4;
    StretchBlt(turned.dc(), 1, 1, -2, -2, square.dc(), 0, 0, 2, 2, SRCCOPY);
    EXPECT_EQ((std::vector<std::uint32_t>{4, 3, 2, 1}),
              (std::vector<std::uint32_t>{turned.at(0, 0), turned.at(1, 0), turned.at(0, 1),
                                          turned.at(1, 1)}));
}

TEST(Blit, MonochromeAndColourConversions) {
    HDC mono = CreateCompatibleDC(nullptr), mono2 = CreateCompatibleDC(nullptr);
    const BYTE bits[2] = {0x0F, 0};
    HBITMAP monoBitmap = CreateBitmap(8, 1, 1, 1, bits),
            monoBitmap2 = CreateBitmap(8, 1, 1, 1, nullptr);
    HGDIOBJ old = SelectObject(mono, monoBitmap), old2 = SelectObject(mono2, monoBitmap2);
    DibCanvas colour(8, 1);
    // Monochrome into colour: 0 bits take the text colour, 1 bits the background colour.
    SetTextColor(colour.dc(), RGB(0, 0, 255));
    SetBkColor(colour.dc(), RGB(255, 255, 0));
    BitBlt(colour.dc(), 0, 0, 8, 1, mono, 0, 0, SRCCOPY);
    EXPECT_EQ(0x0000FFu, colour.at(0, 0));
    EXPECT_EQ(0xFFFF00u, colour.at(7, 0));
    // Colour into monochrome: 1 where the pixel shows the source's background colour.
    colour.at(2, 0) = 0xFF00FF00; // the reserved byte is no part of the colour
    SetBkColor(colour.dc(), RGB(0, 255, 0));
    BitBlt(mono, 0, 0, 8, 1, colour.dc(), 0, 0, SRCCOPY);
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(mono, 2, 0));
    EXPECT_EQ(RGB(0, 0, 0), GetPixel(mono, 1, 0));
    // Monochrome to monochrome copies bits whatever the colours.
    SetBitmapBits(monoBitmap, 2, bits);
    SetTextColor(mono2, RGB(255, 255, 255));
    SetBkColor(mono2, RGB(0, 0, 0));
    BitBlt(mono2, 0, 0, 8, 1, mono, 0, 0, SRCCOPY);
    BYTE copied[2] = {};
    GetBitmapBits(monoBitmap2, 2, copied);
    EXPECT_EQ(0x0F, copied[0]);
    // A 1-bit DIB section converts through its colour table, both ways.
    DibCanvas table(8, 1, 1, {{0, 0, 255, 0}, {0, 255, 0, 0}});
    table.row(0)[0] = 0x0F;
    BitBlt(colour.dc(), 0, 0, 8, 1, table.dc(), 0, 0, SRCCOPY);
    EXPECT_EQ(0xFF0000u, colour.at(0, 0));
    EXPECT_EQ(0x00FF00u, colour.at(7, 0));
    colour.at(0, 0) = 0x30E010; // nearer green
    BitBlt(table.dc(), 0, 0, 8, 1, colour.dc(), 0, 0, SRCCOPY);
    EXPECT_EQ(0x8F, table.row(0)[0]);
    // On a monochrome bitmap solid brushes take the nearer of black and white, and a
    // monochrome pattern brush the text and background colours.
    for (COLORREF c : {RGB(128, 128, 128), RGB(127, 127, 127), RGB(0, 255, 0)}) {
        HBRUSH brush = CreateSolidBrush(c);
        RECT all{0, 0, 8, 1};
        FillRect(mono2, &all, brush);
        EXPECT_EQ(c == RGB(128, 128, 128) ? RGB(255, 255, 255) : 0, GetPixel(mono2, 3, 0)) << c;
        DeleteObject(brush);
    }
    HBRUSH pattern = CreatePatternBrush(monoBitmap);
    RECT all{0, 0, 8, 1};
    FillRect(mono2, &all, pattern);
    GetBitmapBits(monoBitmap2, 2, copied);
    EXPECT_EQ(0xF0, copied[0]);
    DeleteObject(pattern);
    SelectObject(mono, old);
    SelectObject(mono2, old2);
    DeleteDC(mono);
    DeleteDC(mono2);
    DeleteObject(monoBitmap);
    DeleteObject(monoBitmap2);
}

} // namespace
