// Every ternary raster operation against a bitwise model of its truth table, over random
// pixels and a random pattern brush, for BitBlt and PatBlt on 32-bit and 1-bit bitmaps.
#include <korutil/platform.h>

#include "support/dib_canvas.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using korutil::test::DibCanvas;

constexpr int kW = 19, kH = 5; // 19: not a multiple of the four values computed at once

std::uint32_t model(unsigned table, std::uint32_t p, std::uint32_t s, std::uint32_t d) {
    std::uint32_t out = 0;
    for (int bit = 0; bit < 32; ++bit) {
        const unsigned index = ((p >> bit) & 1) << 2 | ((s >> bit) & 1) << 1 | ((d >> bit) & 1);
        out |= ((table >> index) & 1u) << bit;
    }
    return out;
}

// Whole pixel values of a 32-bit canvas, or the bits of a 1-bit one.
struct Cells {
    const DibCanvas& canvas;
    bool mono;
    std::uint32_t get(int x, int y) const {
        return mono ? (canvas.row(y)[x / 8] >> (7 - x % 8)) & 1 : canvas.at(x, y);
    }
    void set(int x, int y, std::uint32_t v) const {
        std::uint8_t& byte = canvas.row(y)[x / 8];
        const int bit = 7 - x % 8;
        mono ? void(byte = static_cast<std::uint8_t>((byte & ~(1 << bit)) | (v & 1) << bit))
             : void(canvas.at(x, y) = v);
    }
};

TEST(RasterOps, EveryOperationAgainstItsTruthTable) {
    const std::vector<RGBQUAD> blackWhite = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    for (int run = 0; run < 4; ++run) {
        // Pattern brushes and solid ones, which take another path.
        const bool mono = run & 1, solid = run & 2;
        std::mt19937 random(run);
        const int bits = mono ? 1 : 32;
        DibCanvas dest(kW, kH, bits, blackWhite), source(kW, kH, bits, blackWhite),
            tile(8, 8, bits, blackWhite);
        const Cells d{dest, mono}, s{source, mono}, p{tile, mono};
        for (int i = 0; i < kW * kH; ++i) {
            s.set(i % kW, i / kW, random());
        }
        for (int i = 0; i < 64; ++i) {
            p.set(i % 8, i / 8, random());
        }
        // A colour pattern shows its pixels' colours (no reserved byte); a 1-bit one draws 0
        // in the text colour and 1 in the background colour: black and white here.
        const COLORREF colour = mono ? (random() & 1) * 0xFFFFFF : random() & 0xFFFFFF;
        HBRUSH brush = solid ? CreateSolidBrush(colour) : CreatePatternBrush(tile.bitmap());
        SelectObject(dest.dc(), brush);
        std::vector<std::uint32_t> before(kW * kH);
        for (unsigned table = 0; table < 256; ++table) {
            for (bool patBlt : {false, true}) {
                for (int i = 0; i < kW * kH; ++i) {
                    before[i] = random() & (mono ? 1 : ~0u);
                    d.set(i % kW, i / kW, before[i]);
                }
                const BOOL done =
                    patBlt ? PatBlt(dest.dc(), 0, 0, kW, kH, table << 16)
                           : BitBlt(dest.dc(), 0, 0, kW, kH, source.dc(), 0, 0, table << 16);
                ASSERT_EQ(!(patBlt && (((table >> 2) ^ table) & 0x33)), done != 0) << table;
                for (int i = 0; i < kW * kH; ++i) {
                    const int x = i % kW, y = i / kW;
                    const std::uint32_t value =
                        GetRValue(colour) << 16 | GetGValue(colour) << 8 | GetBValue(colour);
                    const std::uint32_t pattern =
                        solid ? value & (mono ? 1 : ~0u) : p.get(x % 8, y % 8) & 0x00FFFFFF;
                    const std::uint32_t expected =
                        model(table, pattern, patBlt ? 0 : s.get(x, y), before[i]);
                    ASSERT_EQ(done ? expected & (mono ? 1 : ~0u) : before[i], d.get(x, y))
                        << "operation " << table << (patBlt ? " PatBlt " : " BitBlt ") << bits
                        << " bits at " << x << "," << y << dest.picture("rop");
                }
            }
        }
        SelectObject(dest.dc(), GetStockObject(WHITE_BRUSH));
        EXPECT_TRUE(DeleteObject(brush));
    }
}

} // namespace
