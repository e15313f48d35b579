// Device-independent bitmaps in every format and row order: SetDIBits/GetDIBits round trips
// with scan ranges, the header query, StretchDIBits and SetDIBitsToDevice geometry, DIB
// section bits shared with drawing, and malformed headers. Buffers are exact-size copies, so
// that a read or write past them shows under AddressSanitizer.
#include <korutil/platform.h>

#include "support/dib_canvas.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <random>
#include <vector>

namespace {

using korutil::test::DibCanvas;

struct Format {
    int bits;
    DWORD compression;
    DWORD masks[3];
};

const Format kFormats[] = {
    {1, BI_RGB, {}},
    {4, BI_RGB, {}},
    {8, BI_RGB, {}},
    {16, BI_RGB, {}},
    {16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}},
    {24, BI_RGB, {}},
    {32, BI_RGB, {}},
    {32, BI_BITFIELDS, {0x0000FF, 0x00FF00, 0xFF0000}},
};

// A 13 by 7 picture: header, masks or a table of distinct colours, and random pixels with
// zero padding. Rows in memory from the bottom unless `topDown`.
struct Picture {
    static constexpr int kW = 13, kH = 7;
    Picture(const Format& f, bool topDown, unsigned seed)
        : format(f), bottomUp(!topDown), stride((kW * f.bits + 31) / 32 * 4),
          bits(static_cast<std::size_t>(stride) * kH) {
        BITMAPINFOHEADER h{
            sizeof h, kW, topDown ? -kH : kH, 1, static_cast<WORD>(f.bits), f.compression, 0, 0, 0,
            0,        0};
        info.resize(sizeof h + (f.bits <= 8 ? 4u << f.bits : f.compression ? 12 : 0));
        std::memcpy(info.data(), &h, sizeof h);
        if (f.compression == BI_BITFIELDS) {
            std::memcpy(info.data() + sizeof h, f.masks, 12);
        }
        for (int i = 0; f.bits <= 8 && i < (1 << f.bits); ++i) {
            const RGBQUAD q{static_cast<BYTE>(i * 37), static_cast<BYTE>(255 - i),
                            static_cast<BYTE>(i * 91 + 5), 0};
            std::memcpy(info.data() + sizeof h + 4 * i, &q, 4);
        }
        const std::uint32_t mask = f.bits == 32 && f.compression == BI_RGB ? 0xFFFFFFFF
                                   : f.bits == 32                          ? 0x00FFFFFF
                                   : f.bits == 16 && !f.compression        ? 0x7FFF
                                                                           : (1u << f.bits) - 1;
        std::mt19937 random(seed);
        for (int row = 0; row < kH; ++row) {
            for (int x = 0; x < kW; ++x) {
                put(row, x, random() & mask);
            }
        }
    }
    // Stores a value in memory row `row`, pixel x.
    void put(int row, int x, std::uint32_t v) {
        std::uint8_t* p = bits.data() + row * stride;
        if (format.bits >= 8) {
            for (int b = 0; b < format.bits / 8; ++b) {
                p[x * format.bits / 8 + b] = static_cast<std::uint8_t>(v >> (8 * b));
            }
            return;
        }
        const int shift = 8 - format.bits - (x * format.bits) % 8;
        std::uint8_t& byte = p[x * format.bits / 8];
        byte = static_cast<std::uint8_t>((byte & ~(((1u << format.bits) - 1) << shift)) |
                                         (v << shift));
    }
    const BITMAPINFO* bmi() const { return reinterpret_cast<const BITMAPINFO*>(info.data()); }
    // Memory row of scan line s (scan 0 is the bottom row).
    int rowOf(int scan) const { return bottomUp ? scan : kH - 1 - scan; }
    // Exact-size copy of scan lines [start, start + lines), in memory order.
    std::vector<std::uint8_t> scans(int start, int lines) const {
        const int first = bottomUp ? start : kH - start - lines;
        return std::vector<std::uint8_t>(bits.begin() + first * stride,
                                         bits.begin() + (first + lines) * stride);
    }

    Format format;
    bool bottomUp;
    int stride;
    std::vector<std::uint8_t> info;
    std::vector<std::uint8_t> bits;
};

std::string describe(const Format& f, bool topDown) {
    return std::to_string(f.bits) + (f.compression ? " bitfields" : "") +
           (topDown ? " top-down" : " bottom-up");
}

TEST(DibBits, RoundTripsWithScanRanges) {
    HDC screen = GetDC(nullptr);
    for (const Format& f : kFormats) {
        for (bool topDown : {false, true}) {
            SCOPED_TRACE(describe(f, topDown));
            const Picture first(f, topDown, 1), second(f, topDown, 2);
            // A bitmap of the picture's own format keeps the colour table or masks; the
            // other colours survive a 32-bit one.
            const bool own = f.bits <= 8 || f.masks[0] == 0xFF;
            HBITMAP bitmap = own ? CreateDIBSection(nullptr, first.bmi(), 0, nullptr, nullptr, 0)
                                 : CreateCompatibleBitmap(screen, Picture::kW, Picture::kH);
            ASSERT_EQ(Picture::kH, SetDIBits(screen, bitmap, 0, 99, first.bits.data(), first.bmi(),
                                             DIB_RGB_COLORS));
            // Scan lines 2 to 4 from a buffer that holds only them.
            const std::vector<std::uint8_t> part = second.scans(2, 3);
            ASSERT_EQ(3, SetDIBits(screen, bitmap, 2, 3, part.data(), second.bmi(), 0));
            std::vector<std::uint8_t> info = first.info, out(first.bits.size());
            auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
            ASSERT_EQ(Picture::kH,
                      GetDIBits(screen, bitmap, 0, Picture::kH, out.data(), bmi, DIB_RGB_COLORS));
            // The same table and masks come back, and the image size.
            std::vector<std::uint8_t> expectedInfo = first.info;
            const DWORD imageSize = first.stride * Picture::kH;
            std::memcpy(&expectedInfo[offsetof(BITMAPINFOHEADER, biSizeImage)], &imageSize, 4);
            EXPECT_EQ(expectedInfo, info);
            for (int scan = 0; scan < Picture::kH; ++scan) {
                const Picture& expected = scan >= 2 && scan < 5 ? second : first;
                const int row = first.rowOf(scan);
                EXPECT_EQ(0, std::memcmp(&expected.bits[row * first.stride],
                                         &out[row * first.stride], first.stride))
                    << "scan " << scan;
            }
            std::vector<std::uint8_t> some(static_cast<std::size_t>(first.stride) * 4);
            ASSERT_EQ(4, GetDIBits(screen, bitmap, 1, 4, some.data(), bmi, DIB_RGB_COLORS));
            std::vector<std::uint8_t> expected = second.scans(1, 4);
            const std::vector<std::uint8_t> scan1 = first.scans(1, 1);
            std::memcpy(&expected[topDown ? 3 * first.stride : 0], scan1.data(), first.stride);
            EXPECT_EQ(expected, some);
            DeleteObject(bitmap);
        }
    }
    ReleaseDC(nullptr, screen);
}

TEST(DibBits, HeaderQueryAndDefaultTables) {
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 5, 3);
    std::vector<std::uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * 4, 0xCC);
    auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
    bmi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi->bmiHeader.biBitCount = 0;
    EXPECT_NE(0, GetDIBits(screen, bitmap, 0, 0, nullptr, bmi, DIB_RGB_COLORS));
    const BITMAPINFOHEADER& h = bmi->bmiHeader;
    EXPECT_EQ(5, h.biWidth);
    EXPECT_EQ(3, h.biHeight);
    EXPECT_EQ(32, h.biBitCount);
    EXPECT_EQ(60u, h.biSizeImage);
    EXPECT_EQ(0xCCCCCCCCu, *reinterpret_cast<DWORD*>(bmi->bmiColors)); // no table written
    bmi->bmiHeader.biBitCount = 8;
    bmi->bmiHeader.biCompression = BI_RGB;
    EXPECT_NE(0, GetDIBits(screen, bitmap, 0, 0, nullptr, bmi, DIB_RGB_COLORS));
    EXPECT_EQ(0u, *reinterpret_cast<DWORD*>(&bmi->bmiColors[0]));
    EXPECT_EQ(0x00FFFFFFu, *reinterpret_cast<DWORD*>(&bmi->bmiColors[255]));
    EXPECT_EQ(24u, h.biSizeImage);
    // Red, white, grey and black into each format: the nearest entry of the default tables,
    // the colour cut to the masks.
    const std::uint32_t colours[4] = {0xFF0000, 0xFFFFFF, 0x808080, 0};
    SetBitmapBits(bitmap, sizeof colours, colours);
    struct Case {
        WORD bits;
        DWORD compression;
        std::vector<std::uint8_t> expected;
    } cases[] = {
        {1, BI_RGB, {0x60}},
        {4, BI_RGB, {0x9F, 0x80}},
        {8, BI_RGB, {190, 225, 248, 0}}, // the colour cube comes first
        {16, BI_RGB, {0x00, 0x7C, 0xFF, 0x7F, 0x10, 0x42, 0, 0}},
        {16, BI_BITFIELDS, {0x00, 0xF8, 0xFF, 0xFF, 0x10, 0x84, 0, 0}},
        {24, BI_RGB, {0, 0, 255, 255, 255, 255, 128, 128, 128, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        bmi->bmiHeader = BITMAPINFOHEADER{40, 5, -3, 1, c.bits, c.compression, 0, 0, 0, 0, 0};
        std::vector<std::uint8_t> out(64);
        EXPECT_EQ(1, GetDIBits(screen, bitmap, 2, 1, out.data(), bmi, DIB_RGB_COLORS));
        out.resize(c.expected.size());
        EXPECT_EQ(c.expected, out) << c.bits;
    }
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
}

TEST(DibDrawing, StretchDIBitsDrawsEveryFormatUprightAndScaled) {
    for (const Format& f : kFormats) {
        for (bool topDown : {false, true}) {
            SCOPED_TRACE(describe(f, topDown));
            const Picture picture(f, topDown, 3);
            // The reference: the same bits through SetDIBits, one to one.
            DibCanvas reference(Picture::kW, Picture::kH), canvas(2 * Picture::kW, 2 * Picture::kH);
            SetDIBits(nullptr, reference.bitmap(), 0, Picture::kH, picture.bits.data(),
                      picture.bmi(), DIB_RGB_COLORS);
            EXPECT_EQ(Picture::kH,
                      StretchDIBits(canvas.dc(), 0, 0, 2 * Picture::kW, 2 * Picture::kH, 0, 0,
                                    Picture::kW, Picture::kH, picture.bits.data(), picture.bmi(),
                                    DIB_RGB_COLORS, SRCCOPY));
            for (int y = 0; y < canvas.height(); ++y) {
                for (int x = 0; x < canvas.width(); ++x) {
                    ASSERT_EQ(reference.at(x / 2, y / 2), canvas.at(x, y))
                        << x << "," << y << canvas.picture("scaled");
                }
            }
            // A source rectangle counts its y from the bottom row; a negative width mirrors.
            canvas.fill(0);
            EXPECT_EQ(2, StretchDIBits(canvas.dc(), 0, 0, 3, 2, 4, 1, -3, 2, picture.bits.data(),
                                       picture.bmi(), DIB_RGB_COLORS, SRCCOPY));
            for (int y = 0; y < 2; ++y) {
                for (int x = 0; x < 3; ++x) {
                    EXPECT_EQ(reference.at(4 - x, Picture::kH - 3 + y), canvas.at(x, y))
                        << x << "," << y << canvas.picture("part");
                }
            }
            EXPECT_EQ(0u, canvas.at(3, 0));
            EXPECT_EQ(-Picture::kH, StretchDIBits(canvas.dc(), 0, 0, 4, 4, 0, Picture::kH - 1,
                                                  Picture::kW, -Picture::kH, picture.bits.data(),
                                                  picture.bmi(), DIB_RGB_COLORS, SRCCOPY));
        }
    }
}

TEST(DibDrawing, SetDIBitsToDeviceDrawsOnlyTheScansGiven) {
    struct Case {
        int xDest, yDest, w, h, xSrc, ySrc, start, lines;
    } cases[] = {
        {0, 0, 13, 7, 0, 0, 0, 7}, {2, 1, 4, 3, 1, 0, 0, 7},  {0, 0, 13, 7, 0, 0, 1, 2},
        {0, 0, 13, 7, 0, 1, 0, 7}, {1, 1, 5, 5, -2, 3, 2, 9}, {-3, 2, 9, 9, 0, -1, 0, 7},
    };
    for (bool topDown : {false, true}) {
        const Picture picture(kFormats[6], topDown, 4);
        DibCanvas reference(Picture::kW, Picture::kH), canvas(16, 12);
        SetDIBits(nullptr, reference.bitmap(), 0, Picture::kH, picture.bits.data(), picture.bmi(),
                  DIB_RGB_COLORS);
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << (topDown ? "top-down " : "bottom-up ") << c.start
                                            << " " << c.lines << " at " << c.xSrc << "," << c.ySrc);
            canvas.fill(0x123456);
            const int lines = std::min(c.lines, Picture::kH - c.start);
            const std::vector<std::uint8_t> scans = picture.scans(c.start, lines);
            int expectedRows = 0;
            for (int j = 0; j < c.h; ++j) {
                const int scan = c.ySrc + c.h - 1 - j;
                expectedRows += scan >= c.start && scan < c.start + lines;
            }
            EXPECT_EQ(expectedRows,
                      SetDIBitsToDevice(canvas.dc(), c.xDest, c.yDest, c.w, c.h, c.xSrc, c.ySrc,
                                        c.start, c.lines, scans.data(), picture.bmi(), 0));
            for (int y = 0; y < canvas.height(); ++y) {
                for (int x = 0; x < canvas.width(); ++x) {
                    const int i = x - c.xDest, j = y - c.yDest;
                    const int column = c.xSrc + i, scan = c.ySrc + c.h - 1 - j;
                    const bool drawn = i >= 0 && i < c.w && j >= 0 && j < c.h && column >= 0 &&
                                       column < Picture::kW && scan >= c.start &&
                                       scan < c.start + lines;
                    ASSERT_EQ(drawn ? reference.at(column, Picture::kH - 1 - scan) : 0x123456u,
                              canvas.at(x, y))
                        << x << "," << y << canvas.picture("scans");
                }
            }
        }
    }
}

TEST(DibSection, BitsAndDrawingAreTheSamePixels) {
    for (bool bottomUp : {false, true}) {
        DibCanvas canvas(3, 2, 32, {}, bottomUp);
        RECT top{0, 0, 3, 1};
        FillRect(canvas.dc(), &top, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        DIBSECTION ds{};
        ASSERT_EQ(static_cast<int>(sizeof ds), GetObjectA(canvas.bitmap(), sizeof ds, &ds));
        const auto* first = static_cast<const std::uint32_t*>(ds.dsBm.bmBits);
        EXPECT_EQ(bottomUp ? 0u : 0x00FFFFFFu, first[0]); // the first row in memory
        canvas.at(2, 1) = 0x00336699;
        EXPECT_EQ(RGB(0x33, 0x66, 0x99), GetPixel(canvas.dc(), 2, 1));
        EXPECT_EQ(2, ds.dsBmih.biHeight);
        EXPECT_EQ(24u, ds.dsBmih.biSizeImage);
    }
    DibCanvas four(2, 2, 4, {{0, 0, 255, 0}, {0, 255, 0, 0}});
    SetPixel(four.dc(), 1, 0, RGB(0, 250, 0));
    EXPECT_EQ(0x01, four.row(0)[0]); // nearest entry, and the unlisted entries are black
    SetPixel(four.dc(), 0, 1, RGB(9, 9, 9));
    EXPECT_EQ(0x20, four.row(1)[0]);
}

TEST(DibHeaders, MalformedOnesAreRefusedEverywhere) {
    struct Case {
        const char* what;
        void (*spoil)(BITMAPINFOHEADER&, DWORD* masks);
        UINT usage;
    } cases[] = {
        {"size 39", [](BITMAPINFOHEADER& h, DWORD*) { h.biSize = 39; }, 0},
        {"size 44", [](BITMAPINFOHEADER& h, DWORD*) { h.biSize = 44; }, 0},
        {"planes 2", [](BITMAPINFOHEADER& h, DWORD*) { h.biPlanes = 2; }, 0},
        {"bits 2", [](BITMAPINFOHEADER& h, DWORD*) { h.biBitCount = 2; }, 0},
        {"bits 0", [](BITMAPINFOHEADER& h, DWORD*) { h.biBitCount = 0; }, 0},
        {"RLE8", [](BITMAPINFOHEADER& h, DWORD*) { h.biCompression = BI_RLE8; }, 0},
        {"fields 24", [](BITMAPINFOHEADER& h, DWORD*) { h.biBitCount = 24, h.biCompression = 3; },
         0},
        {"zero mask", [](BITMAPINFOHEADER& h, DWORD* m) { h.biCompression = 3, m[1] = 0; }, 0},
        {"split mask", [](BITMAPINFOHEADER& h, DWORD* m) { h.biCompression = 3, m[0] = 0xF00F00; },
         0},
        {"overlap", [](BITMAPINFOHEADER& h, DWORD* m) { h.biCompression = 3, m[0] = 0xFFFF00; }, 0},
        {"width 0", [](BITMAPINFOHEADER& h, DWORD*) { h.biWidth = 0; }, 0},
        {"width -4", [](BITMAPINFOHEADER& h, DWORD*) { h.biWidth = -4; }, 0},
        {"height 0", [](BITMAPINFOHEADER& h, DWORD*) { h.biHeight = 0; }, 0},
        {"height min", [](BITMAPINFOHEADER& h, DWORD*) { h.biHeight = INT32_MIN; }, 0},
        {"overflow", [](BITMAPINFOHEADER& h, DWORD*) { h.biWidth = 0x20000000, h.biHeight = 8; },
         0},
        {"usage 2", [](BITMAPINFOHEADER&, DWORD*) {}, 2},
        {"palette", [](BITMAPINFOHEADER& h, DWORD*) { h.biBitCount = 8; }, DIB_PAL_COLORS},
    };
    DibCanvas canvas(4, 4);
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 4, 4);
    std::vector<std::uint8_t> bits(4096);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * 4);
        BITMAPINFOHEADER h{sizeof h, 4, 4, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        DWORD masks[3] = {0xFF0000, 0xFF00, 0xFF};
        c.spoil(h, masks);
        std::memcpy(info.data(), &h, sizeof h);
        std::memcpy(info.data() + sizeof h, masks, sizeof masks);
        const auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
        void* section = &bits;
        SetLastError(0);
        EXPECT_EQ(nullptr, CreateDIBSection(nullptr, bmi, c.usage, &section, nullptr, 0));
        EXPECT_EQ(nullptr, section);
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
        EXPECT_EQ(0, SetDIBits(screen, bitmap, 0, 4, bits.data(), bmi, c.usage));
        EXPECT_EQ(0, StretchDIBits(canvas.dc(), 0, 0, 4, 4, 0, 0, 4, 4, bits.data(), bmi, c.usage,
                                   SRCCOPY));
        EXPECT_EQ(
            0, SetDIBitsToDevice(canvas.dc(), 0, 0, 4, 4, 0, 0, 0, 4, bits.data(), bmi, c.usage));
    }
    // A colour table is read only as far as biClrUsed says, and bits only as far as needed.
    std::vector<std::uint8_t> small(sizeof(BITMAPINFOHEADER) + 4);
    BITMAPINFOHEADER h{sizeof h, 1, 1, 1, 8, BI_RGB, 0, 0, 0, 1, 0};
    std::memcpy(small.data(), &h, sizeof h);
    const std::vector<std::uint8_t> pixel(4);
    EXPECT_EQ(1, StretchDIBits(canvas.dc(), 0, 0, 4, 4, 0, 0, 1, 1, pixel.data(),
                               reinterpret_cast<BITMAPINFO*>(small.data()), 0, SRCCOPY));
    EXPECT_EQ(0, StretchDIBits(canvas.dc(), 0, 0, 4, 4, 0, 0, 1, 1, nullptr,
                               reinterpret_cast<BITMAPINFO*>(small.data()), 0, SRCCOPY));
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
}

} // namespace
