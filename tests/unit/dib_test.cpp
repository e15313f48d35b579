// Device-independent bitmaps in every format and row order: SetDIBits/GetDIBits round trips
// with scan ranges, the header query and colour conversions, StretchDIBits and
// SetDIBitsToDevice against the blit geometry model, DIB section bits, malformed headers.
// Buffers are exact-size copies, so that a read or write past them shows under
// AddressSanitizer.
#include <korutil/platform.h>

#include "support/dib_canvas.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <random>

namespace {

using korutil::test::DibCanvas;
using korutil::test::extentOf;
using korutil::test::sampled;

constexpr int kW = 13, kH = 7;
using Bytes = std::vector<std::uint8_t>;

struct Format {
    WORD bits;
    DWORD compression;
    DWORD masks[3];
};
const Format kFormats[] = {{1, BI_RGB, {}},
                           {4, BI_RGB, {}},
                           {8, BI_RGB, {}},
                           {16, BI_RGB, {}},
                           {16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}},
                           {24, BI_RGB, {}},
                           {32, BI_RGB, {}},
                           {32, BI_BITFIELDS, {0x0000FF, 0x00FF00, 0xFF0000}}};

// A kW by kH picture: header, masks or a table of distinct colours, random pixels; bits that
// no pixel uses are 0.
struct Picture {
    Picture(const Format& f, bool topDown, unsigned seed)
        : bottomUp(!topDown), stride((kW * f.bits + 31) / 32 * 4), info(40 + 1024),
          bits(stride * kH) {
        const BITMAPINFOHEADER h{40, kW, topDown ? -kH : kH, 1, f.bits, f.compression, 0, 0, 0,
                                 0,  0};
        std::memcpy(info.data(), &h, 40);
        std::memcpy(info.data() + 40, f.masks, 12);
        for (int i = 0; f.bits <= 8 && i < (1 << f.bits); ++i) {
            const RGBQUAD q{static_cast<BYTE>(i * 37), static_cast<BYTE>(255 - i),
                            static_cast<BYTE>(i * 91 + 5), 0};
            std::memcpy(info.data() + 40 + 4 * i, &q, 4);
        }
        info.resize(40 + (f.bits <= 8 ? 4u << f.bits : f.compression ? 12 : 0));
        std::mt19937 random(seed);
        for (int i = 0; i < stride * kH; ++i) {
            const int left = kW * f.bits - i % stride * 8; // pixel bits from this byte on
            auto v = static_cast<std::uint8_t>(left <= 0 ? 0 : random());
            v &= static_cast<std::uint8_t>(left < 8 ? 0xFF << (8 - left) : 0xFF);
            v &= f.bits == 16 && !f.compression && i % 2 ? 0x7F : 0xFF;
            bits[i] = f.bits == 32 && f.compression && i % 4 == 3 ? 0 : v;
        }
    }
    const BITMAPINFO* bmi() const { return reinterpret_cast<const BITMAPINFO*>(info.data()); }
    // Exact-size copy of scan lines [start, start + lines) (scan 0 is the bottom row).
    Bytes scans(int start, int lines) const { return cut(bits, start, lines, kH); }
    // The same of a buffer holding `rows` scan lines from scan line `first`.
    Bytes cut(const Bytes& buffer, int start, int lines, int rows, int first = 0) const {
        const int row = bottomUp ? start - first : rows - (start - first) - lines;
        return Bytes(buffer.begin() + row * stride, buffer.begin() + (row + lines) * stride);
    }
    bool bottomUp;
    int stride;
    Bytes info, bits;
};

TEST(DibBits, RoundTripsWithScanRanges) {
    HDC screen = GetDC(nullptr);
    for (const Format& f : kFormats) {
        for (bool topDown : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << f.bits << " bits " << f.compression << " top-down " << topDown);
            const Picture first(f, topDown, 1), second(f, topDown, 2);
            // A bitmap of the picture's own format keeps the colour table or masks; the other
            // formats' colours survive a 32-bit one.
            HBITMAP bitmap = f.bits <= 8 || f.masks[0] == 0xFF
                                 ? CreateDIBSection(nullptr, first.bmi(), 0, nullptr, nullptr, 0)
                                 : CreateCompatibleBitmap(screen, kW, kH);
            ASSERT_EQ(kH, SetDIBits(screen, bitmap, 0, 99, first.bits.data(), first.bmi(), 0));
            const Bytes part = second.scans(2, 3);
            ASSERT_EQ(3, SetDIBits(screen, bitmap, 2, 3, part.data(), second.bmi(), 0));
            Bytes info = first.info, expectedInfo = first.info;
            const DWORD imageSize = first.stride * kH;
            std::memcpy(&expectedInfo[offsetof(BITMAPINFOHEADER, biSizeImage)], &imageSize, 4);
            auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
            Bytes all(first.bits.size()), some(first.stride * 4);
            ASSERT_EQ(kH, GetDIBits(screen, bitmap, 0, kH, all.data(), bmi, DIB_RGB_COLORS));
            EXPECT_EQ(expectedInfo, info);
            ASSERT_EQ(4, GetDIBits(screen, bitmap, 1, 4, some.data(), bmi, DIB_RGB_COLORS));
            for (int scan = 0; scan < kH; ++scan) {
                const Bytes expected = (scan >= 2 && scan < 5 ? second : first).scans(scan, 1);
                EXPECT_EQ(expected, first.cut(all, scan, 1, kH)) << "scan " << scan;
                if (scan >= 1 && scan < 5) {
                    EXPECT_EQ(expected, first.cut(some, scan, 1, 4, 1)) << "scan " << scan;
                }
            }
            DeleteObject(bitmap);
        }
    }
    ReleaseDC(nullptr, screen);
}

TEST(DibBits, HeaderQueryAndColourConversions) {
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 5, 3);
    Bytes info(40 + 1024, 0xCC);
    auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
    bmi->bmiHeader.biSize = 40;
    bmi->bmiHeader.biBitCount = 0;
    EXPECT_NE(0, GetDIBits(screen, bitmap, 0, 0, nullptr, bmi, DIB_RGB_COLORS));
    const BITMAPINFOHEADER& h = bmi->bmiHeader;
    EXPECT_EQ((std::vector<LONG>{5, 3, 32, 60}),
              (std::vector<LONG>{h.biWidth, h.biHeight, h.biBitCount, LONG(h.biSizeImage)}));
    EXPECT_EQ(0xCC, info[40]); // no colour table
    // Red, white, grey and black into each format: the nearest entry of the default tables
    // (the colour cube before the static colours), the colour cut to the masks.
    const std::uint32_t colours[4] = {0xFF0000, 0xFFFFFF, 0x808080, 0};
    SetBitmapBits(bitmap, sizeof colours, colours);
    const struct {
        WORD bits;
        DWORD compression;
        Bytes expected;
    } cases[] = {{1, BI_RGB, {0x60}},
                 {4, BI_RGB, {0x9F, 0x80}},
                 {8, BI_RGB, {190, 225, 248, 0}},
                 {16, BI_RGB, {0x00, 0x7C, 0xFF, 0x7F, 0x10, 0x42, 0, 0}},
                 {16, BI_BITFIELDS, {0x00, 0xF8, 0xFF, 0xFF, 0x10, 0x84, 0, 0}},
                 {24, BI_RGB, {0, 0, 255, 255, 255, 255, 128, 128, 128, 0, 0, 0}}};
    for (const auto& c : cases) {
        bmi->bmiHeader = BITMAPINFOHEADER{40, 5, -3, 1, c.bits, c.compression, 0, 0, 0, 0, 0};
        Bytes out(64);
        EXPECT_EQ(1, GetDIBits(screen, bitmap, 2, 1, out.data(), bmi, DIB_RGB_COLORS));
        out.resize(c.expected.size());
        EXPECT_EQ(c.expected, out) << c.bits;
    }
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
}

// Random calls of both against a 32-bit copy of the picture and the geometry model: source
// y runs up from the bottom row, pictures draw upright, SetDIBitsToDevice has only the scan
// lines it is given.
TEST(DibDrawing, StretchDIBitsAndSetDIBitsToDeviceAgainstTheModel) {
    std::mt19937 random(9);
    auto pick = [&](int lo, int hi) { return lo + static_cast<int>(random() % (hi - lo + 1)); };
    DibCanvas reference(kW, kH), canvas(20, 16);
    SetStretchBltMode(canvas.dc(), COLORONCOLOR);
    for (const Format& f : kFormats) {
        for (bool topDown : {false, true}) {
            const Picture picture(f, topDown, 3);
            SetDIBits(nullptr, reference.bitmap(), 0, kH, picture.bits.data(), picture.bmi(), 0);
            for (int round = 0; round < 60; ++round) {
                const bool stretch = round % 2 == 0;
                const int x = pick(-4, 18), y = pick(-4, 14), sx = pick(-3, 14), sy = pick(-3, 8);
                const int w = pick(stretch ? -12 : 0, 12), h = pick(stretch ? -12 : 0, 12);
                const int sw = stretch ? pick(-12, 12) : w, sh = stretch ? pick(-12, 12) : h;
                const int start = pick(0, kH), lines = pick(0, kH + 2);
                const int given = std::max(0, std::min(lines, kH - start));
                const Bytes scans = picture.scans(std::min(start, kH - given), given);
                canvas.fill(0x123456);
                const int done = stretch ? StretchDIBits(canvas.dc(), x, y, w, h, sx, sy, sw, sh,
                                                         picture.bits.data(), picture.bmi(),
                                                         DIB_RGB_COLORS, SRCCOPY)
                                         : SetDIBitsToDevice(canvas.dc(), x, y, w, h, sx, sy, start,
                                                             lines, scans.data(), picture.bmi(), 0);
                // The count of source rows among the scan lines there are, negative mirrored.
                korutil::test::Extent rows = extentOf(sy, sh);
                const long long first = stretch ? 0 : start, last = stretch ? kH : start + given;
                long long count =
                    std::min(rows.low + rows.length, last) - std::max(rows.low, first);
                count = w == 0 || h == 0 || sw == 0 || sh == 0 ? 0 : std::max(0LL, count);
                EXPECT_EQ(extentOf(y, h).mirrored != rows.mirrored ? -count : count, done);
                rows.low = kH - rows.low - rows.length; // rows from the top
                for (int py = 0; py < canvas.height(); ++py) {
                    for (int px = 0; px < canvas.width(); ++px) {
                        const long long fx = sampled(px, extentOf(x, w), extentOf(sx, sw), kW);
                        const long long fy = sampled(py, extentOf(y, h), rows, kH);
                        const bool drawn =
                            fx >= 0 && fy >= 0 && kH - 1 - fy >= first && kH - 1 - fy < last;
                        ASSERT_EQ(drawn ? reference.at(fx, fy) : 0x123456u, canvas.at(px, py))
                            << f.bits << " bits, top-down " << topDown << ", round " << round
                            << " at " << px << "," << py << canvas.picture("dib");
                    }
                }
            }
        }
    }
}

// A picture to look at: a 16-colour arrow drawn upright, mirrored and shrunk by averaging,
// on a pattern-brush background, with a checker of black dots ANDed over its lower half.
TEST(DibDrawing, SceneOfArrows) {
    Bytes info(40 + 64), bits(8 * 16);
    const BITMAPINFOHEADER h{40, 16, 16, 1, 4, BI_RGB, 0, 0, 0, 16, 0};
    std::memcpy(info.data(), &h, 40);
    for (int i = 0; i < 16; ++i) {
        const RGBQUAD q{static_cast<BYTE>(i * 16), static_cast<BYTE>(255 - i * 12),
                        static_cast<BYTE>(i < 8 ? 255 : 40), 0};
        std::memcpy(&info[40 + 4 * i], &q, 4);
    }
    for (int y = 0; y < 16; ++y) { // scan 0 is the bottom row: the arrow points up
        for (int x = 0; x < 16; ++x) {
            const bool arrow = std::abs(x - 8) <= (y >= 8 ? 15 - y : 2);
            bits[y * 8 + x / 2] |= (arrow ? x % 8 + 8 : 1) << (x % 2 ? 0 : 4);
        }
    }
    DibCanvas canvas(128, 96);
    const BYTE checker[16] = {0xAA, 0, 0x55, 0, 0xAA, 0, 0x55, 0,
                              0xAA, 0, 0x55, 0, 0xAA, 0, 0x55, 0};
    HBITMAP dots = CreateBitmap(8, 8, 1, 1, checker);
    HBRUSH background = CreatePatternBrush(dots);
    SetTextColor(canvas.dc(), RGB(200, 200, 200));
    const RECT all{0, 0, 128, 96};
    FillRect(canvas.dc(), &all, background);
    const auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
    StretchDIBits(canvas.dc(), 4, 4, 48, 48, 0, 0, 16, 16, bits.data(), bmi, 0, SRCCOPY);
    StretchDIBits(canvas.dc(), 103, 4, -48, 48, 0, 0, 16, 16, bits.data(), bmi, 0, SRCCOPY);
    SetStretchBltMode(canvas.dc(), HALFTONE);
    StretchBlt(canvas.dc(), 10, 60, 24, 24, canvas.dc(), 4, 4, 48, 48, SRCCOPY);
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 48; ++x) {
            ASSERT_EQ(canvas.at(4 + x, 4 + y), canvas.at(103 - x, 4 + y))
                << canvas.picture("scene");
        }
    }
    EXPECT_EQ(0x289F80u, canvas.at(4 + 8 * 3, 4 + 2 * 3)); // entry 8, in the arrow
    // Dimming: the dot pattern ANDed (P & D), black dots in the text colour.
    SetTextColor(canvas.dc(), 0);
    HGDIOBJ old = SelectObject(canvas.dc(), background);
    PatBlt(canvas.dc(), 0, 56, 128, 40, 0x00A000C9);
    for (int i = 0; i < 128 * 40; ++i) {
        const int x = i % 128, y = 56 + i / 128;
        ASSERT_TRUE((x + y) % 2 == 0 || canvas.at(x, y) == 0) << x << "," << y;
    }
    canvas.picture("scene");
    SelectObject(canvas.dc(), old);
    DeleteObject(background);
    DeleteObject(dots);
}

TEST(DibHeaders, MalformedOnesAreRefusedEverywhere) {
    using Spoil = void (*)(BITMAPINFOHEADER&, DWORD*, UINT&);
    const Spoil spoils[] = {
        [](BITMAPINFOHEADER& h, DWORD*, UINT&) { h.biSize = 39; },
        [](BITMAPINFOHEADER& h, DWORD*, UINT&) { h.biSize = 44; },
        [](BITMAPINFOHEADER& h, DWORD*, UINT&) { h.biPlanes = 2; },
        [](BITMAPINFOHEADER& h, DWORD*, UINT&) { h.biBitCount = 2; },
        [](BITMAPINFOHEADER& h, DWORD*, UINT&) { h.biCompression = BI_RLE8; },
        [](BITMAPINFOHEADER& h, DWORD*, UINT&) { h.biBitCount = 24, h.biCompression = 3; },
        [](BITMAPINFOHEADER& h, DWORD* m, UINT&) { h.biCompression = 3, m[1] = 0; },
        [](BITMAPINFOHEADER& h, DWORD* m, UINT&) { h.biCompression = 3, m[0] = 0xF00F00; },
        [](BITMAPINFOHEADER& h, DWORD* m, UINT&) { h.biCompression = 3, m[0] = 0xFFFF00; },
        [](BITMAPINFOHEADER& h, DWORD*, UINT&) { h.biWidth = -4; },
        [](BITMAPINFOHEADER& h, DWORD*, UINT&) { h.biHeight = 0; },
        [](BITMAPINFOHEADER& h, DWORD*, UINT&) { h.biHeight = INT32_MIN; },
        [](BITMAPINFOHEADER& h, DWORD*, UINT&) { h.biWidth = 0x7FFFFFFF, h.biHeight = 0x7FFFFFFF; },
        [](BITMAPINFOHEADER&, DWORD*, UINT& usage) { usage = 2; },
        [](BITMAPINFOHEADER& h, DWORD*, UINT& usage) { h.biBitCount = 8, usage = DIB_PAL_COLORS; },
    };
    DibCanvas canvas(4, 4);
    const Bytes bits(4096);
    for (Spoil spoil : spoils) {
        BITMAPINFOHEADER h{40, 4, 4, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        DWORD masks[3] = {0xFF0000, 0xFF00, 0xFF};
        UINT usage = DIB_RGB_COLORS;
        spoil(h, masks, usage);
        Bytes info(40 + 1024);
        std::memcpy(info.data(), &h, 40);
        std::memcpy(info.data() + 40, masks, 12);
        const auto* bmi = reinterpret_cast<BITMAPINFO*>(info.data());
        void* section = canvas.row(0);
        SetLastError(0);
        EXPECT_EQ(nullptr, CreateDIBSection(nullptr, bmi, usage, &section, nullptr, 0));
        EXPECT_EQ(nullptr, section);
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
        EXPECT_EQ(0, SetDIBits(nullptr, canvas.bitmap(), 0, 4, bits.data(), bmi, usage));
        EXPECT_EQ(0, StretchDIBits(canvas.dc(), 0, 0, 4, 4, 0, 0, 4, 4, bits.data(), bmi, usage,
                                   SRCCOPY));
        EXPECT_EQ(0,
                  SetDIBitsToDevice(canvas.dc(), 0, 0, 4, 4, 0, 0, 0, 4, bits.data(), bmi, usage));
    }
    // A colour table is read only as far as biClrUsed says.
    Bytes small(44);
    const BITMAPINFOHEADER h{40, 1, 1, 1, 8, BI_RGB, 0, 0, 0, 1, 0};
    std::memcpy(small.data(), &h, 40);
    const Bytes pixel(4);
    EXPECT_EQ(1, StretchDIBits(canvas.dc(), 0, 0, 4, 4, 0, 0, 1, 1, pixel.data(),
                               reinterpret_cast<BITMAPINFO*>(small.data()), 0, SRCCOPY));
}

} // namespace
