// FillRect, FrameRect and PatBlt on a small memory bitmap: which pixels change, with which
// brush, and what the bad inputs answer.
#include <korutil/platform.h>

#include "support/pictures.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using korutil::test::pictureOnFailure;

constexpr COLORREF kBack = RGB(10, 20, 30);
constexpr COLORREF kInk = RGB(200, 100, 50);

// An 8 by 8 32-bit bitmap in a memory context, filled with kBack.
class Canvas {
public:
    Canvas() {
        HDC screen = GetDC(nullptr);
        m_dc = CreateCompatibleDC(screen);
        m_bitmap = CreateCompatibleBitmap(screen, 8, 8);
        ReleaseDC(nullptr, screen);
        m_old = SelectObject(m_dc, m_bitmap);
        clear();
    }
    ~Canvas() {
        SelectObject(m_dc, m_old);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
    void clear() {
        HBRUSH back = CreateSolidBrush(kBack);
        RECT all{0, 0, 8, 8};
        FillRect(m_dc, &all, back);
        DeleteObject(back);
    }
    HDC dc() const { return m_dc; }
    // The rows as text, '#' for `ink` and '.' for anything else.
    std::string picture(COLORREF ink) const {
        std::string out;
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                out += GetPixel(m_dc, x, y) == ink ? '#' : '.';
            }
            out += '\n';
        }
        return out + pictureOnFailure(m_bitmap, "canvas");
    }

private:
    HDC m_dc;
    HBITMAP m_bitmap;
    HGDIOBJ m_old;
};

std::string rows(std::initializer_list<const char*> lines) {
    std::string out;
    for (const char* line : lines) {
        out += line;
        out += '\n';
    }
    return out;
}

TEST(FillRect, CoversLeftAndTopButNotRightAndBottom) {
    Canvas canvas;
    HBRUSH ink = CreateSolidBrush(kInk);
    struct Case {
        RECT rect;
        std::string expected;
    } cases[] = {
        {{1, 2, 4, 4},
         rows({"........", "........", ".###....", ".###....", "........", "........", "........",
               "........"})},
        // An inverted rectangle is a negative PatBlt extent: it runs back from its start.
        {{4, 1, 1, 3},
         rows({"........", "..###...", "..###...", "........", "........", "........", "........",
               "........"})},
        {{6, 6, 100, 100},
         rows({"........", "........", "........", "........", "........", "........", "......##",
               "......##"})},
        {{3, 3, 3, 7},
         rows({"........", "........", "........", "........", "........", "........", "........",
               "........"})},
    };
    for (const Case& c : cases) {
        canvas.clear();
        EXPECT_NE(0, FillRect(canvas.dc(), &c.rect, ink));
        EXPECT_EQ(c.expected, canvas.picture(kInk));
    }
    DeleteObject(ink);
}

TEST(FillRect, TakesSystemColourValuesAndRefusesBadBrushes) {
    Canvas canvas;
    RECT all{0, 0, 8, 8};
    EXPECT_NE(0, FillRect(canvas.dc(), &all, reinterpret_cast<HBRUSH>(COLOR_BTNSHADOW + 1)));
    EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), GetPixel(canvas.dc(), 7, 7));
    for (HBRUSH bad : {static_cast<HBRUSH>(nullptr), reinterpret_cast<HBRUSH>(200),
                       reinterpret_cast<HBRUSH>(GetStockObject(BLACK_PEN))}) {
        SetLastError(0);
        EXPECT_EQ(0, FillRect(canvas.dc(), &all, bad));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    }
    EXPECT_EQ(0, FillRect(canvas.dc(), nullptr, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)));
    EXPECT_EQ(0, FillRect(nullptr, &all, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)));
    EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), GetPixel(canvas.dc(), 0, 0));
    // The context's clip and mix mode do not widen or change the fill.
    SetROP2(canvas.dc(), R2_NOT);
    IntersectClipRect(canvas.dc(), 0, 0, 2, 8);
    HBRUSH ink = CreateSolidBrush(kInk);
    FillRect(canvas.dc(), &all, ink);
    SelectClipRgn(canvas.dc(), nullptr);
    EXPECT_EQ(kInk, GetPixel(canvas.dc(), 1, 5));
    EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), GetPixel(canvas.dc(), 2, 5));
    DeleteObject(ink);
}

TEST(FrameRect, DrawsOnePixelInsideAndFailsWhenEmpty) {
    Canvas canvas;
    HBRUSH ink = CreateSolidBrush(kInk);
    RECT frame{1, 1, 6, 5};
    EXPECT_NE(0, FrameRect(canvas.dc(), &frame, ink));
    EXPECT_EQ(rows({"........", ".#####..", ".#...#..", ".#...#..", ".#####..", "........",
                    "........", "........"}),
              canvas.picture(kInk));
    canvas.clear();
    RECT column{2, 0, 3, 3};
    EXPECT_NE(0, FrameRect(canvas.dc(), &column, ink));
    EXPECT_EQ(rows({"..#.....", "..#.....", "..#.....", "........", "........", "........",
                    "........", "........"}),
              canvas.picture(kInk));
    for (RECT empty : {RECT{3, 1, 3, 5}, RECT{5, 1, 1, 5}}) {
        EXPECT_EQ(0, FrameRect(canvas.dc(), &empty, ink));
    }
    EXPECT_EQ(0, FrameRect(canvas.dc(), &frame, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)));
    DeleteObject(ink);
}

TEST(PatBlt, ExtentsPatternsAndRefusals) {
    Canvas canvas;
    HBRUSH ink = CreateSolidBrush(kInk);
    HGDIOBJ old = SelectObject(canvas.dc(), ink);
    EXPECT_TRUE(PatBlt(canvas.dc(), 3, 1, -2, 2, PATCOPY));
    EXPECT_EQ(rows({"........", "..##....", "..##....", "........", "........", "........",
                    "........", "........"}),
              canvas.picture(kInk));
    // Operations that read a source have none here.
    EXPECT_FALSE(PatBlt(canvas.dc(), 0, 0, 8, 8, SRCCOPY));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    // A hollow brush draws nothing; an operation without the pattern still works.
    SelectObject(canvas.dc(), GetStockObject(NULL_BRUSH));
    EXPECT_TRUE(PatBlt(canvas.dc(), 0, 0, 8, 8, PATCOPY));
    EXPECT_EQ(kBack, GetPixel(canvas.dc(), 0, 0));
    EXPECT_TRUE(PatBlt(canvas.dc(), 0, 0, 8, 8, DSTINVERT));
    EXPECT_EQ(RGB(245, 235, 225), GetPixel(canvas.dc(), 0, 0));
    SelectObject(canvas.dc(), old);
    DeleteObject(ink);
}

TEST(PatBlt, HatchGapsStayUnderTransparentBackgroundAndPatternsFollowTheOrigin) {
    Canvas canvas;
    HBRUSH hatch = CreateHatchBrush(HS_HORIZONTAL, kInk);
    HGDIOBJ old = SelectObject(canvas.dc(), hatch);
    SetBkMode(canvas.dc(), TRANSPARENT);
    PatBlt(canvas.dc(), 0, 0, 8, 8, PATCOPY);
    EXPECT_EQ(rows({"........", "........", "........", "........", "........", "........",
                    "........", "########"}),
              canvas.picture(kInk));
    EXPECT_EQ(kBack, GetPixel(canvas.dc(), 0, 0));
    SetBkMode(canvas.dc(), OPAQUE);
    SetBkColor(canvas.dc(), kInk);
    SetBrushOrgEx(canvas.dc(), 0, 3, nullptr);
    PatBlt(canvas.dc(), 0, 0, 8, 8, PATCOPY);
    EXPECT_EQ(rows({"########", "########", "########", "########", "########", "########",
                    "########", "########"}),
              canvas.picture(kInk));
    SetBkColor(canvas.dc(), kBack);
    PatBlt(canvas.dc(), 0, 0, 8, 8, PATCOPY);
    EXPECT_EQ(rows({"........", "........", "########", "........", "........", "........",
                    "........", "........"}),
              canvas.picture(kInk));
    SelectObject(canvas.dc(), old);
    DeleteObject(hatch);
}

} // namespace
