// Bitmap objects: depths, sizes and failures of creation, device-dependent bits, compatible
// formats, deleting a selected bitmap and what GetObject says of DIB sections.
#include <korutil/platform.h>

#include "support/dib_canvas.h"

#include <gtest/gtest.h>

namespace {

BITMAP info(HBITMAP bitmap) {
    BITMAP bm{};
    EXPECT_EQ(static_cast<int>(sizeof bm), GetObjectA(bitmap, sizeof bm, &bm));
    return bm;
}

TEST(Bitmaps, CreationRoundsDepthsUpAndRefusesBadSizes) {
    const int depths[][2] = {{1, 1},   {2, 4},   {5, 8},  {12, 16}, {24, 24},
                             {31, 32}, {32, 32}, {33, 0}, {0, 0}};
    for (const auto& d : depths) {
        SetLastError(0);
        HBITMAP bitmap = CreateBitmap(3, 2, 1, d[0], nullptr);
        EXPECT_EQ(d[1] ? 0u : ERROR_INVALID_PARAMETER, GetLastError()) << d[0];
        EXPECT_EQ(d[1], bitmap ? info(bitmap).bmBitsPixel : 0);
        EXPECT_EQ((3 * d[1] + 15) / 16 * 2, bitmap ? info(bitmap).bmWidthBytes : 0);
        DeleteObject(bitmap);
    }
    const struct {
        int w, h, planes;
        DWORD error;
    } bad[] = {{-1, 2, 1, ERROR_INVALID_PARAMETER},
               {2, 2, 2, ERROR_INVALID_PARAMETER},
               {0x7FFFFFFF, 0x7FFFFFFF, 1, ERROR_INVALID_BITMAP}, // more than 2^31 bytes
               {20000, 20000, 1, ERROR_NOT_ENOUGH_MEMORY}};
    for (const auto& b : bad) {
        EXPECT_EQ(nullptr, CreateBitmap(b.w, b.h, b.planes, 32, nullptr));
        EXPECT_EQ(b.error, GetLastError()) << b.w;
    }
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ stock = GetCurrentObject(dc, OBJ_BITMAP);
    EXPECT_EQ(stock, CreateBitmap(0, 5, 1, 32, nullptr));
    EXPECT_EQ(stock, CreateCompatibleBitmap(dc, 5, 0));
    EXPECT_TRUE(DeleteObject(stock)); // and it stays
    EXPECT_EQ(1, info(static_cast<HBITMAP>(stock)).bmWidth);
    EXPECT_EQ(nullptr, CreateCompatibleBitmap(dc, -1, 5));
    EXPECT_EQ(nullptr, CreateCompatibleBitmap(nullptr, 5, 5));
    EXPECT_EQ(nullptr, CreateBitmapIndirect(nullptr));
    // A selected bitmap is not deleted: its context still draws on it.
    HBITMAP selected = CreateBitmap(4, 4, 1, 32, nullptr);
    SelectObject(dc, selected);
    EXPECT_FALSE(DeleteObject(selected));
    EXPECT_NE(CLR_INVALID, SetPixel(dc, 1, 1, RGB(1, 2, 3)));
    EXPECT_EQ(selected, SelectObject(dc, stock));
    EXPECT_TRUE(DeleteObject(selected));
    EXPECT_EQ(0u, GetObjectType(selected));
    DeleteDC(dc);
}

TEST(Bitmaps, DeviceDependentBitsHaveTwoByteRows) {
    const BYTE bits[4] = {0xA0, 0x11, 0x40, 0x22}; // the second byte of each row is padding
    HBITMAP bitmap = CreateBitmap(3, 2, 1, 1, bits);
    BYTE out[8] = {};
    EXPECT_EQ(
        (std::vector<LONG>{4, 4, 3, 4, 0, 0, 0}),
        (std::vector<LONG>{GetBitmapBits(bitmap, 0, nullptr), GetBitmapBits(bitmap, 8, out),
                           SetBitmapBits(bitmap, 3, "\xFF\xFF\xFF"), SetBitmapBits(bitmap, 99, out),
                           GetBitmapBits(bitmap, -1, out), SetBitmapBits(bitmap, 4, nullptr),
                           GetBitmapBits(nullptr, 4, out)}));
    EXPECT_EQ(0, std::memcmp(bits, out, 4));
    DeleteObject(bitmap);
    // CreateBitmapIndirect takes rows bmWidthBytes apart, which must be even and enough.
    const BYTE wide[8] = {0x80, 0, 0, 0, 0x20, 0, 0, 0};
    BITMAP bm{0, 3, 2, 4, 1, 1, const_cast<BYTE*>(wide)};
    bitmap = CreateBitmapIndirect(&bm);
    GetBitmapBits(bitmap, sizeof out, out);
    EXPECT_EQ((std::vector<BYTE>{0x80, 0, 0x20, 0}), std::vector<BYTE>(out, out + 4));
    DeleteObject(bitmap);
    bm.bmWidthBytes = 3;
    EXPECT_EQ(nullptr, CreateBitmapIndirect(&bm));
}

TEST(Bitmaps, CompatibleFormatsAndDibSections) {
    HDC screen = GetDC(nullptr), fresh = CreateCompatibleDC(screen);
    HBITMAP mono = CreateCompatibleBitmap(fresh, 4, 4),
            colour = CreateCompatibleBitmap(screen, 4, 4);
    EXPECT_EQ(1, info(mono).bmBitsPixel);
    EXPECT_EQ(32, info(colour).bmBitsPixel);
    // A DIB section gives one of its format; GetObject tells its layout.
    korutil::test::DibCanvas eight(2, 2, 8, {{1, 2, 3, 0}, {4, 5, 6, 0}}, true);
    HBITMAP section = CreateCompatibleBitmap(eight.dc(), 5, 3);
    DIBSECTION ds{};
    ASSERT_EQ(static_cast<int>(sizeof ds), GetObjectA(section, sizeof ds, &ds));
    EXPECT_EQ(
        (std::vector<LONG>{8, 256, 8, 3, 24}),
        (std::vector<LONG>{ds.dsBmih.biBitCount, LONG(ds.dsBmih.biClrUsed), ds.dsBm.bmWidthBytes,
                           ds.dsBmih.biHeight, LONG(ds.dsBmih.biSizeImage)}));
    HDC sectionDc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(sectionDc, section);
    SetPixel(sectionDc, 0, 2, RGB(4, 5, 6)); // bottom-up: the first row in memory
    EXPECT_EQ(1, static_cast<const BYTE*>(ds.dsBm.bmBits)[0]);
    SelectObject(sectionDc, old);
    DeleteDC(sectionDc);
    // 16-bit sections always report masks, 32-bit ones only when they were given.
    std::vector<std::uint8_t> buffer(52);
    auto* bmi = reinterpret_cast<BITMAPINFO*>(buffer.data());
    for (WORD bits : {16, 32}) {
        bmi->bmiHeader = BITMAPINFOHEADER{40, 5, -3, 1, bits, BI_RGB, 7, 1234, 0, 0, 0};
        HBITMAP plain = CreateDIBSection(nullptr, bmi, DIB_RGB_COLORS, nullptr, nullptr, 0);
        ASSERT_EQ(static_cast<int>(sizeof ds), GetObjectA(plain, sizeof ds, &ds));
        EXPECT_EQ(bits == 16 ? BI_BITFIELDS : BI_RGB, ds.dsBmih.biCompression);
        EXPECT_EQ(bits == 16 ? 0x7C00u : 0u, ds.dsBitfields[0]);
        EXPECT_EQ(1234, ds.dsBmih.biXPelsPerMeter);
        EXPECT_EQ(static_cast<int>(sizeof(BITMAP)), GetObjectA(plain, sizeof(BITMAP), &ds));
        DeleteObject(plain);
    }
    for (HBITMAP b : {mono, colour, section}) {
        DeleteObject(b);
    }
    DeleteDC(fresh);
    ReleaseDC(nullptr, screen);
}

} // namespace
