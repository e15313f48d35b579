// Bitmap objects: creation with its depths, sizes and failures, the device-dependent bits,
// compatible formats, deleting a selected bitmap and what GetObject says of DIB sections.
#include <korutil/platform.h>

#include "support/dib_canvas.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using korutil::test::DibCanvas;

BITMAP info(HBITMAP bitmap) {
    BITMAP bm{};
    EXPECT_EQ(static_cast<int>(sizeof bm), GetObjectA(bitmap, sizeof bm, &bm));
    return bm;
}

TEST(Bitmaps, CreateBitmapRoundsDepthsUpAndRefusesBadSizes) {
    const struct {
        UINT asked;
        int got;
    } depths[] = {{1, 1},   {2, 4},   {4, 4},   {5, 8},  {12, 16},
                  {24, 24}, {31, 32}, {32, 32}, {33, 0}, {0, 0}};
    for (const auto& d : depths) {
        SetLastError(0);
        HBITMAP bitmap = CreateBitmap(3, 2, 1, d.asked, nullptr);
        EXPECT_EQ(d.got != 0, bitmap != nullptr) << d.asked;
        if (bitmap) {
            EXPECT_EQ(d.got, info(bitmap).bmBitsPixel);
            EXPECT_EQ((3 * d.got + 15) / 16 * 2, info(bitmap).bmWidthBytes);
            EXPECT_TRUE(DeleteObject(bitmap));
        } else {
            EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
        }
    }
    const struct {
        int w, h;
        UINT planes;
        DWORD error;
    } bad[] = {
        {-1, 2, 1, ERROR_INVALID_PARAMETER},      {2, -1, 1, ERROR_INVALID_PARAMETER},
        {2, 2, 2, ERROR_INVALID_PARAMETER},       {0x7FFFFFFF, 0x7FFFFFFF, 1, ERROR_INVALID_BITMAP},
        {0x7FFFFFFF, 1, 1, ERROR_INVALID_BITMAP}, {20000, 20000, 1, ERROR_NOT_ENOUGH_MEMORY}};
    for (const auto& b : bad) {
        SetLastError(0);
        EXPECT_EQ(nullptr, CreateBitmap(b.w, b.h, b.planes, 32, nullptr)) << b.w << "x" << b.h;
        EXPECT_EQ(b.error, GetLastError()) << b.w << "x" << b.h;
    }
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ stock = GetCurrentObject(dc, OBJ_BITMAP);
    EXPECT_EQ(stock, CreateBitmap(0, 5, 1, 32, nullptr));
    EXPECT_EQ(stock, CreateCompatibleBitmap(dc, 5, 0));
    EXPECT_TRUE(DeleteObject(stock)); // stock objects stay
    EXPECT_EQ(1, info(static_cast<HBITMAP>(stock)).bmWidth);
    EXPECT_EQ(nullptr, CreateCompatibleBitmap(dc, -1, 5));
    EXPECT_EQ(nullptr, CreateCompatibleBitmap(nullptr, 5, 5));
    EXPECT_EQ(nullptr, CreateBitmapIndirect(nullptr));
    DeleteDC(dc);
}

TEST(Bitmaps, DeviceDependentBitsHaveTwoByteRows) {
    const BYTE bits[4] = {0xA0, 0x11, 0x40, 0x22}; // the second byte of each row is padding
    HBITMAP bitmap = CreateBitmap(3, 2, 1, 1, bits);
    BYTE out[8] = {};
    EXPECT_EQ(4, GetBitmapBits(bitmap, 0, nullptr));
    EXPECT_EQ(4, GetBitmapBits(bitmap, sizeof out, out));
    EXPECT_EQ(0xA0, out[0]);
    EXPECT_EQ(0x40, out[2]);
    EXPECT_EQ(3, SetBitmapBits(bitmap, 3, "\xFF\xFF\xFF"));
    EXPECT_EQ(4, SetBitmapBits(bitmap, 100, out));
    EXPECT_EQ(0, GetBitmapBits(bitmap, -1, out));
    EXPECT_EQ(0, SetBitmapBits(bitmap, 4, nullptr));
    EXPECT_EQ(0, GetBitmapBits(nullptr, 4, out));
    DeleteObject(bitmap);
    // CreateBitmapIndirect takes its rows bmWidthBytes apart, which must be even and enough.
    const BYTE wide[8] = {0x80, 0, 0, 0, 0x20, 0, 0, 0};
    BITMAP bm{0, 3, 2, 4, 1, 1, const_cast<BYTE*>(wide)};
    bitmap = CreateBitmapIndirect(&bm);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, 0, 0));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, 2, 1));
    EXPECT_EQ(RGB(0, 0, 0), GetPixel(dc, 2, 0));
    for (LONG rowBytes : {3L, 0L}) {
        bm.bmWidthBytes = rowBytes;
        EXPECT_EQ(nullptr, CreateBitmapIndirect(&bm));
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

TEST(Bitmaps, CompatibleBitmapsTakeTheSelectedFormat) {
    HDC screen = GetDC(nullptr);
    HDC fresh = CreateCompatibleDC(screen);
    HBITMAP mono = CreateCompatibleBitmap(fresh, 4, 4),
            colour = CreateCompatibleBitmap(screen, 4, 4);
    EXPECT_EQ(1, info(mono).bmBitsPixel);
    EXPECT_EQ(32, info(colour).bmBitsPixel);
    DibCanvas eight(2, 2, 8, {{1, 2, 3, 0}, {4, 5, 6, 0}});
    HBITMAP section = CreateCompatibleBitmap(eight.dc(), 5, 3);
    DIBSECTION ds{};
    ASSERT_EQ(static_cast<int>(sizeof ds), GetObjectA(section, sizeof ds, &ds));
    EXPECT_NE(nullptr, ds.dsBm.bmBits);
    EXPECT_EQ(8, ds.dsBmih.biBitCount);
    EXPECT_EQ(256u, ds.dsBmih.biClrUsed);
    std::vector<std::uint8_t> buffer(sizeof(BITMAPINFOHEADER) + 1024);
    auto* bmi = reinterpret_cast<BITMAPINFO*>(buffer.data());
    bmi->bmiHeader = BITMAPINFOHEADER{40, 5, 3, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
    GetDIBits(screen, section, 0, 0, nullptr, bmi, DIB_RGB_COLORS);
    EXPECT_EQ(4, bmi->bmiColors[1].rgbBlue);
    for (HBITMAP b : {mono, colour, section}) {
        DeleteObject(b);
    }
    DeleteDC(fresh);
    ReleaseDC(nullptr, screen);
}

TEST(Bitmaps, ASelectedBitmapIsNotDeleted) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateBitmap(4, 4, 1, 32, nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(static_cast<DWORD>(OBJ_BITMAP), GetObjectType(bitmap));
    EXPECT_NE(CLR_INVALID, SetPixel(dc, 1, 1, RGB(1, 2, 3)));
    EXPECT_EQ(bitmap, SelectObject(dc, old));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_EQ(0u, GetObjectType(bitmap));
    DeleteDC(dc);
}

TEST(Bitmaps, GetObjectDescribesDibSections) {
    const struct {
        int bits;
        DWORD compression;
        DWORD reported;
        DWORD firstMask;
    } cases[] = {
        {16, BI_RGB, BI_BITFIELDS, 0x7C00}, {32, BI_RGB, BI_RGB, 0}, {24, BI_RGB, BI_RGB, 0}};
    for (const auto& c : cases) {
        std::vector<std::uint8_t> buffer(sizeof(BITMAPINFOHEADER) + 12);
        auto* bmi = reinterpret_cast<BITMAPINFO*>(buffer.data());
        bmi->bmiHeader = BITMAPINFOHEADER{
            40, 5, -3, 1, static_cast<WORD>(c.bits), c.compression, 7, 1234, 0, 0, 0};
        HBITMAP section = CreateDIBSection(nullptr, bmi, DIB_RGB_COLORS, nullptr, nullptr, 0);
        DIBSECTION ds{};
        ASSERT_EQ(static_cast<int>(sizeof ds), GetObjectA(section, sizeof ds, &ds));
        const int stride = (5 * c.bits + 31) / 32 * 4;
        EXPECT_EQ(stride, ds.dsBm.bmWidthBytes);
        EXPECT_EQ(3, ds.dsBmih.biHeight);
        EXPECT_EQ(static_cast<DWORD>(stride * 3), ds.dsBmih.biSizeImage);
        EXPECT_EQ(1234, ds.dsBmih.biXPelsPerMeter);
        EXPECT_EQ(c.reported, ds.dsBmih.biCompression);
        EXPECT_EQ(c.firstMask, ds.dsBitfields[0]);
        EXPECT_EQ(static_cast<int>(sizeof(BITMAP)), GetObjectA(section, sizeof(BITMAP), &ds));
        DeleteObject(section);
    }
}

} // namespace
