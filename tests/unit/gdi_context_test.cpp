#include "support/canvas.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

namespace {

using korutil::test::Canvas;

RECT clipBox(HDC dc, int* type = nullptr) {
    RECT box{-1, -1, -1, -1};
    const int result = GetClipBox(dc, &box);
    if (type) {
        *type = result;
    }
    return box;
}

bool same(const RECT& a, const RECT& b) {
    return EqualRect(&a, &b) != 0;
}

// Runs in a child process that the next test starts with a desktop of its choice, since the
// desktop is read once per process.
TEST(GdiContext, DeviceCapsInChild) {
    const char* expect = std::getenv("KORUTIL_TEST_EXPECT_CAPS");
    if (!expect) {
        GTEST_SKIP() << "runs as a child of DeviceCapsFollowTheDesktop";
    }
    int width = 0, height = 0, bits = 0, colors = 0, palette = 0;
    ASSERT_EQ(5, std::sscanf(expect, "%d %d %d %d %d", &width, &height, &bits, &colors, &palette));
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(width, GetDeviceCaps(screen, HORZRES));
    EXPECT_EQ(height, GetDeviceCaps(screen, VERTRES));
    EXPECT_EQ(bits, GetDeviceCaps(screen, BITSPIXEL));
    EXPECT_EQ(colors, GetDeviceCaps(screen, NUMCOLORS));
    EXPECT_EQ(palette, GetDeviceCaps(screen, SIZEPALETTE));
    EXPECT_EQ(palette ? 0x100 : 0, GetDeviceCaps(screen, RASTERCAPS) & 0x100);
    EXPECT_EQ(width * 254 / 960, GetDeviceCaps(screen, HORZSIZE));
    EXPECT_EQ(96, GetDeviceCaps(screen, LOGPIXELSY));
    EXPECT_TRUE(same(RECT{0, 0, width, height}, clipBox(screen)));
    ReleaseDC(nullptr, screen);
}

TEST(GdiContext, DeviceCapsFollowTheDesktop) {
    const struct {
        const char* desktop;
        const char* expect;
    } cases[] = {{"800x600x16", "800 600 16 -1 0"}, {"640X480x8", "640 480 8 20 256"},
                 {"320x200x4", "320 200 4 16 0"},   {"2000x100", "2000 100 32 -1 0"},
                 {"12x", "1024 768 32 -1 0"},       {"0x100", "1024 768 32 -1 0"},
                 {"100x100x7", "1024 768 32 -1 0"}, {"100x100x32 ", "1024 768 32 -1 0"},
                 {"16385x10", "1024 768 32 -1 0"}};
    for (const auto& c : cases) {
        const int status = korutil::test::runInChild([&] {
            setenv("KORUTIL_DESKTOP", c.desktop, 1);
            setenv("KORUTIL_TEST_EXPECT_CAPS", c.expect, 1);
            std::freopen("/dev/null", "w", stdout);
            execl("/proc/self/exe", "gdi_context_test",
                  "--gtest_filter=GdiContext.DeviceCapsInChild", static_cast<char*>(nullptr));
            return 127;
        });
        EXPECT_EQ(0, status) << "desktop " << c.desktop;
    }
}

TEST(GdiContext, SaveAndRestoreByAbsoluteAndRelativeLevel) {
    Canvas canvas(10, 10);
    HDC dc = canvas.dc();
    for (int level = 1; level <= 3; ++level) {
        SetTextColor(dc, RGB(level, 0, 0));
        IntersectClipRect(dc, level, 0, 10, 10);
        MoveToEx(dc, level, level, nullptr);
        EXPECT_EQ(level, SaveDC(dc));
    }
    SetTextColor(dc, RGB(9, 0, 0));
    for (int bad : {0, 4, -4}) {
        SetLastError(0);
        EXPECT_FALSE(RestoreDC(dc, bad)) << bad;
    }
    EXPECT_TRUE(RestoreDC(dc, -1));
    EXPECT_EQ(RGB(3, 0, 0), GetTextColor(dc));
    EXPECT_TRUE(same(RECT{3, 0, 10, 10}, clipBox(dc)));
    POINT at{};
    GetCurrentPositionEx(dc, &at);
    EXPECT_EQ(3, at.x);
    EXPECT_TRUE(RestoreDC(dc, 1)); // absolute: drops level 2 as well
    EXPECT_EQ(RGB(1, 0, 0), GetTextColor(dc));
    EXPECT_TRUE(same(RECT{1, 0, 10, 10}, clipBox(dc)));
    EXPECT_FALSE(RestoreDC(dc, -1));
    EXPECT_EQ(1, SaveDC(dc));
}

// A deleted object that a context (or a saved state of one) still holds stays drawable there
// until it is let go, but nobody can select it any more.
TEST(GdiContext, ObjectsHeldWhileSelectedOrSaved) {
    Canvas canvas(4, 1), other(1, 1);
    HPEN red = CreatePen(PS_SOLID, 0, RGB(255, 0, 0));
    EXPECT_EQ(GetStockObject(BLACK_PEN), SelectObject(canvas.dc(), red));
    EXPECT_EQ(1, SaveDC(canvas.dc()));
    EXPECT_EQ(red, SelectObject(canvas.dc(), GetStockObject(WHITE_PEN)));
    EXPECT_TRUE(DeleteObject(red));
    EXPECT_EQ(0u, GetObjectType(red));
    SetLastError(0);
    EXPECT_EQ(nullptr, SelectObject(other.dc(), red));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_TRUE(RestoreDC(canvas.dc(), -1));
    EXPECT_EQ(red, GetCurrentObject(canvas.dc(), OBJ_PEN));
    MoveToEx(canvas.dc(), 0, 0, nullptr);
    LineTo(canvas.dc(), 4, 0);
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(canvas.dc(), 3, 0));
    EXPECT_EQ(red, SelectObject(canvas.dc(), GetStockObject(BLACK_PEN)));
    EXPECT_FALSE(DeleteObject(red)); // freed now

    HGDIOBJ stock = GetStockObject(GRAY_BRUSH);
    EXPECT_TRUE(DeleteObject(stock));
    EXPECT_EQ(static_cast<DWORD>(OBJ_BRUSH), GetObjectType(stock));
    SetLastError(0);
    EXPECT_FALSE(DeleteObject(canvas.dc()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST(GdiContext, ClippingByRectangleAndRegion) {
    Canvas canvas(20, 10);
    HDC dc = canvas.dc();
    int type = 0;
    EXPECT_TRUE(same(RECT{0, 0, 20, 10}, clipBox(dc, &type)));
    EXPECT_EQ(SIMPLEREGION, type);
    EXPECT_EQ(SIMPLEREGION, IntersectClipRect(dc, 5, 2, 30, 8));
    EXPECT_EQ(SIMPLEREGION, IntersectClipRect(dc, 8, 1, 6, 9)); // corners in any order
    EXPECT_TRUE(same(RECT{6, 2, 8, 8}, clipBox(dc)));
    EXPECT_EQ(CLR_INVALID, SetPixel(dc, 5, 5, RGB(255, 255, 255)));
    EXPECT_EQ(RGB(255, 255, 255), SetPixel(dc, 6, 5, RGB(255, 255, 255)));
    EXPECT_EQ(NULLREGION, IntersectClipRect(dc, 50, 50, 60, 60));
    EXPECT_TRUE(same(RECT{0, 0, 0, 0}, clipBox(dc, &type)));
    EXPECT_EQ(NULLREGION, type);
    EXPECT_EQ(SIMPLEREGION, SelectClipRgn(dc, nullptr));
    EXPECT_TRUE(same(RECT{0, 0, 20, 10}, clipBox(dc)));

    HRGN region = CreateRectRgn(9, 7, 3, 3);
    EXPECT_EQ(SIMPLEREGION, SelectClipRgn(dc, region));
    EXPECT_TRUE(DeleteObject(region)); // the context keeps a copy
    EXPECT_TRUE(same(RECT{3, 3, 9, 7}, clipBox(dc)));
    HRGN wide = CreateRectRgn(-5, -5, 100, 100);
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SIMPLEREGION), SelectObject(dc, wide));
    EXPECT_TRUE(same(RECT{0, 0, 20, 10}, clipBox(dc)));
    DeleteObject(wide);
    HPEN pen = CreatePen(PS_SOLID, 0, 0);
    SetLastError(0);
    EXPECT_EQ(ERROR, SelectClipRgn(dc, reinterpret_cast<HRGN>(pen)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    DeleteObject(pen);
    SetLastError(0);
    EXPECT_EQ(ERROR, GetClipBox(dc, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(GdiContext, SelectionsAndTheirDescriptions) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ initial = GetCurrentObject(dc, OBJ_BITMAP);
    BITMAP bm{};
    ASSERT_EQ(static_cast<int>(sizeof bm), GetObjectA(initial, sizeof bm, &bm));
    EXPECT_EQ(1, bm.bmWidth);
    EXPECT_EQ(1, bm.bmHeight);
    EXPECT_EQ(1, bm.bmBitsPixel);
    EXPECT_EQ(2, bm.bmWidthBytes);
    EXPECT_EQ(RGB(255, 255, 255), SetPixel(dc, 0, 0, RGB(200, 190, 180))); // nearer white
    EXPECT_EQ(CLR_INVALID, GetPixel(dc, 1, 0));
    EXPECT_EQ(GetStockObject(WHITE_BRUSH), GetCurrentObject(dc, OBJ_BRUSH));
    EXPECT_EQ(GetStockObject(SYSTEM_FONT), GetCurrentObject(dc, OBJ_FONT));
    SetLastError(0);
    EXPECT_EQ(nullptr, GetCurrentObject(dc, OBJ_REGION));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

    HBITMAP mono = CreateCompatibleBitmap(dc, 13, 5);
    HDC screen = GetDC(nullptr);
    HBITMAP color = CreateCompatibleBitmap(screen, 13, 5);
    EXPECT_EQ(initial, SelectObject(dc, mono));
    ASSERT_EQ(static_cast<int>(sizeof bm), GetObjectA(mono, sizeof bm, &bm));
    EXPECT_EQ(13, bm.bmWidth);
    EXPECT_EQ(1, bm.bmBitsPixel);
    EXPECT_EQ(2, bm.bmWidthBytes);
    EXPECT_EQ(nullptr, bm.bmBits);
    EXPECT_EQ(0, GetObjectA(mono, sizeof bm - 1, &bm));
    ASSERT_EQ(static_cast<int>(sizeof bm), GetObjectA(color, sizeof bm, &bm));
    EXPECT_EQ(32, bm.bmBitsPixel);
    EXPECT_EQ(52, bm.bmWidthBytes);
    HDC second = CreateCompatibleDC(dc);
    SetLastError(0);
    EXPECT_EQ(nullptr, SelectObject(second, mono));  // already in dc
    EXPECT_EQ(nullptr, SelectObject(screen, color)); // only memory contexts take bitmaps
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(mono, SelectObject(dc, initial));
    EXPECT_NE(nullptr, SelectObject(second, mono));

    HPEN pen = CreatePen(PS_DASH, -1, RGB(1, 2, 3));
    LOGPEN lp{};
    EXPECT_EQ(static_cast<int>(sizeof lp), GetObjectA(pen, 0, nullptr));
    EXPECT_EQ(static_cast<int>(sizeof lp), GetObjectA(pen, 100, &lp));
    EXPECT_EQ(static_cast<UINT>(PS_DASH), lp.lopnStyle);
    EXPECT_EQ(1, lp.lopnWidth.x);
    EXPECT_EQ(RGB(1, 2, 3), lp.lopnColor);
    EXPECT_EQ(0, GetObjectA(pen, 4, &lp));
    HBRUSH hatch = CreateHatchBrush(HS_CROSS, RGB(4, 5, 6));
    EXPECT_EQ(GetStockObject(WHITE_BRUSH), SelectObject(dc, hatch));
    LOGBRUSH lb{};
    EXPECT_EQ(static_cast<int>(sizeof lb), GetObjectA(hatch, sizeof lb, &lb));
    EXPECT_EQ(static_cast<UINT>(BS_HATCHED), lb.lbStyle);
    EXPECT_EQ(static_cast<ULONG_PTR>(HS_CROSS), lb.lbHatch);
    LOGFONTA lf{};
    EXPECT_EQ(static_cast<int>(sizeof lf), GetObjectA(GetStockObject(SYSTEM_FONT), sizeof lf, &lf));
    EXPECT_STREQ("System", lf.lfFaceName);
    HRGN region = CreateRectRgn(0, 0, 1, 1);
    char buffer[64];
    for (HGDIOBJ h : {static_cast<HGDIOBJ>(region), static_cast<HGDIOBJ>(dc)}) {
        SetLastError(0);
        EXPECT_EQ(0, GetObjectA(h, sizeof buffer, buffer));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    }
    EXPECT_EQ(static_cast<DWORD>(OBJ_MEMDC), GetObjectType(dc));
    EXPECT_EQ(static_cast<DWORD>(OBJ_DC), GetObjectType(screen));
    EXPECT_TRUE(DeleteObject(initial)); // stock: stays
    EXPECT_EQ(static_cast<DWORD>(OBJ_BITMAP), GetObjectType(initial));
    DeleteDC(second);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    for (HGDIOBJ h :
         {static_cast<HGDIOBJ>(mono), static_cast<HGDIOBJ>(color), static_cast<HGDIOBJ>(pen),
          static_cast<HGDIOBJ>(hatch), static_cast<HGDIOBJ>(region)}) {
        EXPECT_TRUE(DeleteObject(h));
    }
}

// Any bitmap, or the screen, as an 8-bit RGB PNG file.
TEST(GdiContext, PicturesOfBitmapsAndTheScreen) {
    korutil::test::TempDir dir;
    Canvas canvas(3, 2, 1);
    EXPECT_TRUE(PlatSaveBitmapPng(canvas.bitmap(), dir.file("mono.png").c_str()));
    EXPECT_TRUE(PlatSaveScreenPng(dir.file("screen.png").c_str()));
    std::ifstream file(dir.file("mono.png"), std::ios::binary);
    char header[24] = {};
    file.read(header, sizeof header);
    EXPECT_EQ(0, std::memcmp(header, "\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(3, header[19]); // width, big-endian
    EXPECT_EQ(2, header[23]); // height
    const struct {
        HBITMAP bitmap;
        const char* path;
        DWORD error;
    } failures[] = {{nullptr, "x.png", ERROR_INVALID_HANDLE},
                    {canvas.bitmap(), nullptr, ERROR_INVALID_PARAMETER},
                    {canvas.bitmap(), "/nonexistent/dir/x.png", ERROR_PATH_NOT_FOUND}};
    for (const auto& f : failures) {
        SetLastError(0);
        EXPECT_FALSE(PlatSaveBitmapPng(f.bitmap, f.path));
        EXPECT_EQ(f.error, GetLastError());
    }
}

// Every context call with no context behind the handle: null, deleted, or another kind of
// object. Each gives its documented failure value and ERROR_INVALID_HANDLE.
TEST(GdiContext, BadHandlesFailWithTheirFailureValues) {
    RECT r{0, 0, 4, 4};
    POINT p{};
    const struct {
        const char* name;
        std::function<long long(HDC)> call;
        long long failure;
    } calls[] = {
        {"SaveDC", [](HDC dc) { return SaveDC(dc); }, 0},
        {"RestoreDC", [](HDC dc) { return RestoreDC(dc, -1); }, FALSE},
        {"SetTextColor", [](HDC dc) { return SetTextColor(dc, 0); }, CLR_INVALID},
        {"GetBkColor", [](HDC dc) { return GetBkColor(dc); }, CLR_INVALID},
        {"SetBkMode", [](HDC dc) { return SetBkMode(dc, OPAQUE); }, 0},
        {"SetROP2", [](HDC dc) { return SetROP2(dc, R2_XORPEN); }, 0},
        {"GetROP2", [](HDC dc) { return GetROP2(dc); }, 0},
        {"SetTextAlign", [](HDC dc) { return SetTextAlign(dc, 0); }, GDI_ERROR},
        {"SetBrushOrgEx", [](HDC dc) { return SetBrushOrgEx(dc, 0, 0, nullptr); }, FALSE},
        {"SelectObject",
         [](HDC dc) {
             return reinterpret_cast<long long>(SelectObject(dc, GetStockObject(BLACK_PEN)));
         },
         0},
        {"GetCurrentObject",
         [](HDC dc) { return reinterpret_cast<long long>(GetCurrentObject(dc, OBJ_PEN)); }, 0},
        {"GetClipBox", [&](HDC dc) { return GetClipBox(dc, &r); }, ERROR},
        {"IntersectClipRect", [](HDC dc) { return IntersectClipRect(dc, 0, 0, 1, 1); }, ERROR},
        {"SelectClipRgn", [](HDC dc) { return SelectClipRgn(dc, nullptr); }, ERROR},
        {"GetDeviceCaps", [](HDC dc) { return GetDeviceCaps(dc, HORZRES); }, 0},
        {"SetPixel", [](HDC dc) { return SetPixel(dc, 0, 0, 0); }, CLR_INVALID},
        {"GetPixel", [](HDC dc) { return GetPixel(dc, 0, 0); }, CLR_INVALID},
        {"GetNearestColor", [](HDC dc) { return GetNearestColor(dc, 0); }, CLR_INVALID},
        {"MoveToEx", [](HDC dc) { return MoveToEx(dc, 0, 0, nullptr); }, FALSE},
        {"LineTo", [](HDC dc) { return LineTo(dc, 1, 1); }, FALSE},
        {"GetCurrentPositionEx", [&](HDC dc) { return GetCurrentPositionEx(dc, &p); }, FALSE},
        {"Rectangle", [](HDC dc) { return Rectangle(dc, 0, 0, 3, 3); }, FALSE},
        {"DrawEdge", [&](HDC dc) { return DrawEdge(dc, &r, EDGE_RAISED, BF_RECT); }, FALSE},
        {"CreateCompatibleBitmap",
         [](HDC dc) { return reinterpret_cast<long long>(CreateCompatibleBitmap(dc, 2, 2)); }, 0},
        {"ReleaseDC", [](HDC dc) { return ReleaseDC(nullptr, dc); }, 0},
        {"DeleteDC", [](HDC dc) { return DeleteDC(dc); }, FALSE},
    };
    HDC deleted = CreateCompatibleDC(nullptr);
    DeleteDC(deleted);
    HPEN pen = CreatePen(PS_SOLID, 0, 0);
    for (HDC bad : {static_cast<HDC>(nullptr), deleted, reinterpret_cast<HDC>(pen)}) {
        for (const auto& c : calls) {
            SetLastError(0);
            EXPECT_EQ(c.failure, c.call(bad)) << c.name << " on " << bad;
            EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError())
                << c.name << " on " << bad;
        }
    }
    EXPECT_EQ(nullptr, CreateCompatibleDC(deleted));
    EXPECT_TRUE(DeleteObject(pen));
    SetLastError(0);
    EXPECT_FALSE(DeleteObject(pen));
    EXPECT_EQ(0, GetObjectA(pen, 0, nullptr));
    EXPECT_EQ(0u, GetObjectType(pen));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

} // namespace
