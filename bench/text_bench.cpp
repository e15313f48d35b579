// Text through the layer beside FreeType used directly: TextOutA of a label in a font whose
// glyphs are cached, against loading, rendering and blending the same glyphs with FreeType
// on every call; DrawTextA of the label, and the library's flicker-free DrawTextNF of it (an
// opaque label redrawn in place, the fills around it included).
#include <korutil/platform.h>
#include <korutil/ui.h>

#include <benchmark/benchmark.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

const char kLabel[] = "Settings saved: 42 %"; // 20 characters
constexpr int kWidth = 240;
constexpr int kHeight = 32;
constexpr int kPixels = 13;

// A memory context on a 32-bit bitmap with the label's font selected.
struct Target {
    Target()
        : dc(CreateCompatibleDC(nullptr)), bitmap(CreateBitmap(kWidth, kHeight, 1, 32, nullptr)),
          font(CreateFontA(-kPixels, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0,
                           "Arial")) {
        SelectObject(dc, bitmap);
        SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        TextOutA(dc, 0, 0, kLabel, 20); // realises the font and caches its glyphs
    }
    ~Target() {
        DeleteDC(dc);
        DeleteObject(bitmap);
        DeleteObject(font);
    }
    HDC dc;
    HBITMAP bitmap;
    HFONT font;
};

void BM_TextOutCachedFont(benchmark::State& state) {
    Target target;
    for (auto _ : state) {
        benchmark::DoNotOptimize(TextOutA(target.dc, 4, 4, kLabel, 20));
    }
}

// The peer: the same face, size and grey-scale rendering, blended in black over a 32-bit
// buffer, with every glyph loaded and rendered afresh.
void BM_FreeTypeEachTime(benchmark::State& state) {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) != 0 ||
        FT_New_Face(library, "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf", 0,
                    &face) != 0 ||
        FT_Set_Pixel_Sizes(face, 0, kPixels) != 0) {
        state.SkipWithError("Liberation Sans cannot be loaded");
        return;
    }
    std::vector<std::uint32_t> pixels(kWidth * kHeight, 0xFFFFFF);
    const int baseline = 4 + 12;
    for (auto _ : state) {
        int pen = 4;
        for (const char* p = kLabel; *p; ++p) {
            if (FT_Load_Char(face, static_cast<unsigned char>(*p),
                             FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0) {
                continue;
            }
            const FT_GlyphSlot slot = face->glyph;
            const FT_Bitmap& bitmap = slot->bitmap;
            for (unsigned row = 0; row < bitmap.rows; ++row) {
                const int y = baseline - slot->bitmap_top + static_cast<int>(row);
                for (unsigned column = 0; column < bitmap.width; ++column) {
                    const int x = pen + slot->bitmap_left + static_cast<int>(column);
                    const unsigned alpha = bitmap.buffer[row * bitmap.pitch + column];
                    if (alpha == 0 || x < 0 || x >= kWidth || y < 0 || y >= kHeight) {
                        continue;
                    }
                    std::uint32_t& pixel = pixels[static_cast<std::size_t>(y) * kWidth + x];
                    std::uint32_t out = 0;
                    for (int shift = 0; shift < 24; shift += 8) {
                        const unsigned under = (pixel >> shift) & 0xFF;
                        out |= ((under * (255 - alpha) + 127) / 255) << shift;
                    }
                    pixel = out;
                }
            }
            pen += static_cast<int>((slot->advance.x + 32) >> 6);
        }
        benchmark::DoNotOptimize(pixels.data());
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}

void BM_DrawTextLabel(benchmark::State& state) {
    Target target;
    RECT rect{0, 0, kWidth, kHeight};
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            DrawTextA(target.dc, kLabel, -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE));
    }
}

void BM_DrawTextNFLabel(benchmark::State& state) {
    Target target;
    SetBkMode(target.dc, OPAQUE);
    const RECT rect{0, 0, kWidth, kHeight};
    for (auto _ : state) {
        DrawTextNF(target.dc, rect, kLabel, -1, DT_CENTER | DT_VCENTER);
    }
}

} // namespace

BENCHMARK(BM_TextOutCachedFont);
BENCHMARK(BM_FreeTypeEachTime);
BENCHMARK(BM_DrawTextLabel);
BENCHMARK(BM_DrawTextNFLabel);

BENCHMARK_MAIN();
