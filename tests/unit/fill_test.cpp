// FillRect, FrameRect and PatBlt: which pixels change, with which brush, and the refusals.
#include <korutil/platform.h>

#include "support/dib_canvas.h"

#include <gtest/gtest.h>

namespace {

using korutil::test::DibCanvas;

constexpr std::uint32_t kBack = 0x0A141E, kInk = 0xC86432;
constexpr COLORREF kInkColour = RGB(0xC8, 0x64, 0x32);

// The pixels showing kInk are exactly those inside one of `areas`.
void expectInk(const DibCanvas& canvas, std::initializer_list<RECT> areas) {
    for (int y = 0; y < canvas.height(); ++y) {
        for (int x = 0; x < canvas.width(); ++x) {
            bool inked = false;
            for (const RECT& r : areas) {
                inked |= x >= r.left && x < r.right && y >= r.top && y < r.bottom;
            }
            ASSERT_EQ(inked, canvas.at(x, y) == kInk) << x << "," << y << canvas.picture("ink");
        }
    }
}

TEST(FillRect, FillsAsPatBltDoesAndRefusesBadBrushes) {
    DibCanvas canvas(8, 8);
    HBRUSH ink = CreateSolidBrush(kInkColour);
    const RECT cases[][2] = {{{1, 2, 4, 4}, {1, 2, 4, 4}},
                             {{4, 1, 1, 3}, {2, 1, 5, 3}}, // negative extents run back
                             {{6, 6, 100, 100}, {6, 6, 8, 8}},
                             {{3, 3, 3, 7}, {}}};
    for (const auto& c : cases) {
        canvas.fill(kBack);
        EXPECT_NE(0, FillRect(canvas.dc(), &c[0], ink));
        expectInk(canvas, {c[1]});
    }
    // Neither the mix mode nor anything but the clip changes a fill.
    SetROP2(canvas.dc(), R2_NOT);
    IntersectClipRect(canvas.dc(), 0, 0, 2, 8);
    const RECT all{0, 0, 8, 8};
    FillRect(canvas.dc(), &all, ink);
    expectInk(canvas, {{0, 0, 2, 8}});
    EXPECT_NE(0, FillRect(canvas.dc(), &all, reinterpret_cast<HBRUSH>(COLOR_BTNSHADOW + 1)));
    EXPECT_EQ(0x808080u, canvas.at(0, 0));
    for (HBRUSH bad : {HBRUSH(nullptr), HBRUSH(200), HBRUSH(GetStockObject(BLACK_PEN))}) {
        SetLastError(0);
        EXPECT_EQ(0, FillRect(canvas.dc(), &all, bad));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    }
    EXPECT_EQ(0, FillRect(canvas.dc(), nullptr, ink));
    EXPECT_EQ(0, FillRect(nullptr, &all, ink));
    // FrameRect: one pixel inside; empty rectangles and system colour values fail.
    SelectClipRgn(canvas.dc(), nullptr);
    canvas.fill(kBack);
    const RECT frame{1, 1, 6, 5}, empty{5, 1, 1, 5};
    EXPECT_NE(0, FrameRect(canvas.dc(), &frame, ink));
    expectInk(canvas, {{1, 1, 6, 2}, {1, 4, 6, 5}, {1, 1, 2, 5}, {5, 1, 6, 5}});
    EXPECT_EQ(0, FrameRect(canvas.dc(), &empty, ink));
    EXPECT_EQ(0, FrameRect(canvas.dc(), &frame, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)));
    DeleteObject(ink);
}

TEST(PatBlt, BrushesModesAndRefusals) {
    DibCanvas canvas(8, 8);
    canvas.fill(kBack);
    HBRUSH hatch = CreateHatchBrush(HS_HORIZONTAL, kInkColour);
    HGDIOBJ old = SelectObject(canvas.dc(), hatch);
    // A hatch under the TRANSPARENT mode draws only its lines, aligned to the brush origin.
    SetBkMode(canvas.dc(), TRANSPARENT);
    SetBrushOrgEx(canvas.dc(), 0, 3, nullptr);
    EXPECT_TRUE(PatBlt(canvas.dc(), 0, 0, 8, 8, PATCOPY));
    expectInk(canvas, {{0, 2, 8, 3}});
    SetBkMode(canvas.dc(), OPAQUE);
    SetBkColor(canvas.dc(), kInkColour);
    EXPECT_TRUE(PatBlt(canvas.dc(), 7, 7, -8, -8, PATCOPY));
    expectInk(canvas, {{0, 0, 8, 8}});
    // Operations that read a source have none here; a hollow brush draws nothing.
    EXPECT_FALSE(PatBlt(canvas.dc(), 0, 0, 8, 8, SRCCOPY));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SelectObject(canvas.dc(), GetStockObject(NULL_BRUSH));
    EXPECT_TRUE(PatBlt(canvas.dc(), 0, 0, 8, 8, PATINVERT));
    EXPECT_TRUE(PatBlt(canvas.dc(), 0, 0, 4, 8, DSTINVERT));
    expectInk(canvas, {{4, 0, 8, 8}});
    SelectObject(canvas.dc(), old);
    DeleteObject(hatch);
}

} // namespace
