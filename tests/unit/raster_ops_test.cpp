// Every ternary raster operation against a bitwise model of its truth table, over random
// pixels and a random pattern brush, for BitBlt and PatBlt on 32-bit and monochrome bitmaps.
#include <korutil/platform.h>

#include "support/dib_canvas.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using korutil::test::DibCanvas;

constexpr int kW = 19; // not a multiple of the four values computed at once
constexpr int kH = 5;

std::uint32_t model(unsigned table, std::uint32_t p, std::uint32_t s, std::uint32_t d) {
    std::uint32_t out = 0;
    for (int bit = 0; bit < 32; ++bit) {
        const unsigned index = ((p >> bit) & 1) << 2 | ((s >> bit) & 1) << 1 | ((d >> bit) & 1);
        out |= ((table >> index) & 1u) << bit;
    }
    return out;
}

DWORD ropCode(unsigned table) {
    return static_cast<DWORD>(table) << 16;
}

bool usesSource(unsigned table) {
    return ((table >> 2) ^ table) & 0x33;
}

TEST(RasterOps, EveryOperationOn32BitPixels) {
    std::mt19937 random(7);
    DibCanvas dest(kW, kH), source(kW, kH);
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            source.at(x, y) = random();
        }
    }
    // The pattern brush shows its pixels' colours: the reserved byte is 0.
    std::vector<std::uint32_t> tile(64);
    for (auto& v : tile) {
        v = random();
    }
    HBITMAP patternBits = CreateBitmap(8, 8, 1, 32, tile.data());
    HBRUSH brush = CreatePatternBrush(patternBits);
    SelectObject(dest.dc(), brush);
    std::vector<std::uint32_t> before(kW * kH);
    for (unsigned table = 0; table < 256; ++table) {
        for (bool patBlt : {false, true}) {
            for (int i = 0; i < kW * kH; ++i) {
                dest.at(i % kW, i / kW) = before[i] = random();
            }
            const BOOL done =
                patBlt ? PatBlt(dest.dc(), 0, 0, kW, kH, ropCode(table))
                       : BitBlt(dest.dc(), 0, 0, kW, kH, source.dc(), 0, 0, ropCode(table));
            ASSERT_EQ(!(patBlt && usesSource(table)), done != 0) << table;
            for (int i = 0; i < kW * kH; ++i) {
                const int x = i % kW, y = i / kW;
                const std::uint32_t p = tile[(y % 8) * 8 + x % 8] & 0x00FFFFFF;
                const std::uint32_t s = patBlt ? 0 : source.at(x, y);
                const std::uint32_t expected = done ? model(table, p, s, before[i]) : before[i];
                ASSERT_EQ(expected, dest.at(x, y))
                    << "operation " << table << (patBlt ? " PatBlt" : " BitBlt") << " at " << x
                    << "," << y << dest.picture("rop");
            }
        }
    }
    SelectObject(dest.dc(), GetStockObject(WHITE_BRUSH));
    DeleteObject(brush);
    DeleteObject(patternBits);
}

// Monochrome bitmaps hold one bit per pixel: rows of two-byte units in GetBitmapBits.
TEST(RasterOps, EveryOperationOnMonochromeBits) {
    std::mt19937 random(11);
    const int rowBytes = (kW + 15) / 16 * 2;
    auto randomBits = [&](int bytes) {
        std::vector<BYTE> bits(bytes);
        for (auto& b : bits) {
            b = static_cast<BYTE>(random());
        }
        return bits;
    };
    auto bit = [&](const std::vector<BYTE>& bits, int stride, int x, int y) -> std::uint32_t {
        return (bits[y * stride + x / 8] >> (7 - x % 8)) & 1;
    };
    HDC dc = CreateCompatibleDC(nullptr), sourceDc = CreateCompatibleDC(nullptr);
    HBITMAP dest = CreateBitmap(kW, kH, 1, 1, nullptr);
    const std::vector<BYTE> sourceBits = randomBits(rowBytes * kH);
    HBITMAP source = CreateBitmap(kW, kH, 1, 1, sourceBits.data());
    const std::vector<BYTE> tile = randomBits(16);
    HBITMAP patternBits = CreateBitmap(8, 8, 1, 1, tile.data());
    HBRUSH brush = CreatePatternBrush(patternBits);
    HGDIOBJ oldDest = SelectObject(dc, dest), oldSource = SelectObject(sourceDc, source);
    SelectObject(dc, brush);
    // Text and background colours decide how the mono pattern maps; these keep its bits.
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    for (unsigned table = 0; table < 256; ++table) {
        for (bool patBlt : {false, true}) {
            const std::vector<BYTE> before = randomBits(rowBytes * kH);
            SetBitmapBits(dest, static_cast<DWORD>(before.size()), before.data());
            const BOOL done = patBlt ? PatBlt(dc, 0, 0, kW, kH, ropCode(table))
                                     : BitBlt(dc, 0, 0, kW, kH, sourceDc, 0, 0, ropCode(table));
            std::vector<BYTE> after(before.size());
            GetBitmapBits(dest, static_cast<LONG>(after.size()), after.data());
            for (int y = 0; y < kH; ++y) {
                for (int x = 0; x < kW; ++x) {
                    const std::uint32_t p = bit(tile, 2, x % 8, y % 8);
                    const std::uint32_t s = patBlt ? 0 : bit(sourceBits, rowBytes, x, y);
                    const std::uint32_t d = bit(before, rowBytes, x, y);
                    ASSERT_EQ(done ? model(table, p, s, d) & 1 : d, bit(after, rowBytes, x, y))
                        << "operation " << table << (patBlt ? " PatBlt" : " BitBlt") << " at " << x
                        << "," << y;
                }
            }
        }
    }
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    SelectObject(dc, oldDest);
    SelectObject(sourceDc, oldSource);
    DeleteDC(dc);
    DeleteDC(sourceDc);
    for (HGDIOBJ object : {static_cast<HGDIOBJ>(dest), static_cast<HGDIOBJ>(source),
                           static_cast<HGDIOBJ>(patternBits), static_cast<HGDIOBJ>(brush)}) {
        EXPECT_TRUE(DeleteObject(object));
    }
}

} // namespace
