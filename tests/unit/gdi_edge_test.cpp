#include "support/canvas.h"
#include "support/pictures.h"

#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using korutil::test::Canvas;

// The system colours DrawEdge uses, each set to a colour of its own for the test and put
// back afterwards.
class GdiEdge : public ::testing::Test {
protected:
    static constexpr int kIndices[7] = {COLOR_3DLIGHT,    COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW,
                                        COLOR_3DDKSHADOW, COLOR_BTNFACE,      COLOR_WINDOWFRAME,
                                        COLOR_WINDOW};
    void SetUp() override {
        COLORREF colors[7];
        for (int i = 0; i < 7; ++i) {
            m_saved[i] = GetSysColor(kIndices[i]);
            colors[i] = RGB(10 * (i + 1), 0, 0);
        }
        ASSERT_TRUE(SetSysColors(7, kIndices, colors));
    }
    void TearDown() override { SetSysColors(7, kIndices, m_saved); }
    COLORREF m_saved[7];
};

// The colour index of each border, written as the rule reads: raised borders light at the
// top left, sunken ones dark; the outer one in the stronger pair; BF_SOFT brightens the top
// left of raised borders and darkens that of sunken ones; flat and mono borders are one colour.
int borderColor(UINT border, bool topLeft, UINT flags) {
    const bool outer = border & BDR_OUTER;
    if (flags & BF_MONO) {
        return outer ? COLOR_WINDOWFRAME : COLOR_WINDOW;
    }
    if (flags & BF_FLAT) {
        return outer ? COLOR_BTNSHADOW : COLOR_BTNFACE;
    }
    const bool soft = flags & BF_SOFT;
    const bool raised = border & (BDR_RAISEDOUTER | BDR_RAISEDINNER);
    const int light[2][2] = {{COLOR_BTNHIGHLIGHT, COLOR_3DLIGHT},
                             {COLOR_3DLIGHT, COLOR_BTNHIGHLIGHT}};
    const int dark[2][2] = {{COLOR_3DDKSHADOW, COLOR_BTNSHADOW},
                            {COLOR_BTNSHADOW, COLOR_3DDKSHADOW}};
    if (!topLeft) {
        return raised ? dark[outer][1] : light[outer][1];
    }
    return raised ? light[outer][soft] : dark[outer][soft];
}

// Random rectangles (one pixel and up) and flag sets against a model that works pixel by
// pixel: a pixel at distance d from the nearest drawn side belongs to border d, the right and
// bottom sides winning ties; past the borders lies the middle.
TEST_F(GdiEdge, BordersFollowTheModel) {
    Canvas canvas(12, 12);
    std::mt19937 random(5);
    const UINT sideFlags[] = {BF_LEFT, BF_TOP, BF_RIGHT, BF_BOTTOM};
    for (int i = 0; i < 4000; ++i) {
        const UINT edge = random() % 16,
                   extra = random() & (BF_SOFT | BF_FLAT | BF_MONO | BF_MIDDLE);
        const UINT flags = (random() % 16) | extra | BF_ADJUST;
        const RECT box{1 + static_cast<LONG>(random() % 3), 1 + static_cast<LONG>(random() % 3), 0,
                       0};
        RECT r{box.left, box.top, box.left + 1 + static_cast<LONG>(random() % 8),
               box.top + 1 + static_cast<LONG>(random() % 8)};
        const RECT given = r;
        const UINT borders[2] = {edge & BDR_OUTER, edge & BDR_INNER};
        const bool valid =
            (flags & (BF_FLAT | BF_MONO)) || (borders[0] != BDR_OUTER && borders[1] != BDR_INNER);
        canvas.clear();
        ASSERT_EQ(valid, DrawEdge(canvas.dc(), &r, edge, flags) != 0) << edge << " " << flags;
        std::vector<int> drawn; // the borders present, outer first
        for (UINT b : borders) {
            if (b) {
                drawn.push_back(static_cast<int>(b));
            }
        }
        const int n = valid ? static_cast<int>(drawn.size()) : 0;
        const RECT adjusted{
            given.left + (flags & BF_LEFT ? n : 0), given.top + (flags & BF_TOP ? n : 0),
            given.right - (flags & BF_RIGHT ? n : 0), given.bottom - (flags & BF_BOTTOM ? n : 0)};
        ASSERT_TRUE(EqualRect(valid ? &adjusted : &given, &r)) << edge << " " << flags;
        const std::vector<COLORREF> got = canvas.pixels();
        std::string wrong;
        for (int y = 0; y < 12; ++y) {
            for (int x = 0; x < 12; ++x) {
                const LONG distance[4] = {x - given.left, y - given.top, given.right - 1 - x,
                                          given.bottom - 1 - y};
                int nearest = -1;
                for (int side = 0; side < 4; ++side) {
                    if ((flags & sideFlags[side]) &&
                        (nearest < 0 || distance[side] <= distance[nearest])) {
                        nearest = side;
                    }
                }
                COLORREF expected = 0;
                const bool inside =
                    x >= given.left && x < given.right && y >= given.top && y < given.bottom;
                const int d = nearest < 0 ? n : static_cast<int>(distance[nearest]);
                if (!valid || !inside) {
                    expected = 0;
                } else if (d < n) {
                    expected =
                        GetSysColor(borderColor(static_cast<UINT>(drawn[d]), nearest < 2, flags));
                } else if (flags & BF_MIDDLE) {
                    expected = GetSysColor((flags & BF_MONO) ? COLOR_WINDOW : COLOR_BTNFACE);
                }
                if (expected != got[static_cast<size_t>(y * 12 + x)]) {
                    wrong += " " + std::to_string(x) + "," + std::to_string(y);
                }
            }
        }
        if (!korutil::test::checkDrawing(wrong.empty(), canvas, "edge",
                                         "edge " + std::to_string(edge) + " flags " +
                                             std::to_string(flags) + ":" + wrong)) {
            break;
        }
    }
    RECT r{0, 0, 4, 4};
    SetLastError(0);
    EXPECT_FALSE(DrawEdge(canvas.dc(), &r, EDGE_RAISED, BF_DIAGONAL | BF_TOPLEFT));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError());
    EXPECT_FALSE(DrawEdge(canvas.dc(), nullptr, EDGE_RAISED, BF_RECT));
    EXPECT_FALSE(DrawEdge(nullptr, &r, EDGE_RAISED, BF_RECT));
}

// The look that hosts see: a raised soft button and a sunken field on the standard scheme,
// saved as pictures when asked for.
TEST(GdiEdgeStandard, RaisedSoftButtonAndSunkenField) {
    Canvas canvas(40, 20);
    RECT button{2, 2, 18, 18}, field{22, 2, 38, 18};
    EXPECT_TRUE(DrawEdge(canvas.dc(), &button, EDGE_RAISED, BF_RECT | BF_SOFT | BF_MIDDLE));
    EXPECT_TRUE(DrawEdge(canvas.dc(), &field, EDGE_SUNKEN, BF_RECT | BF_ADJUST));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(canvas.dc(), 2, 2));
    EXPECT_EQ(RGB(192, 192, 192), GetPixel(canvas.dc(), 3, 3));
    EXPECT_EQ(RGB(128, 128, 128), GetPixel(canvas.dc(), 16, 16));
    EXPECT_EQ(RGB(0, 0, 0), GetPixel(canvas.dc(), 17, 2));
    EXPECT_EQ(RGB(128, 128, 128), GetPixel(canvas.dc(), 22, 2));
    EXPECT_EQ(RGB(0, 0, 0), GetPixel(canvas.dc(), 23, 3));
    EXPECT_EQ(RGB(192, 192, 192), GetPixel(canvas.dc(), 36, 16));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(canvas.dc(), 37, 17));
    const RECT inside{24, 4, 36, 16};
    EXPECT_TRUE(EqualRect(&inside, &field));
    korutil::test::pictureOnFailure(canvas.bitmap(), "look");
}

// The standard Windows scheme by default, every index readable, and brushes that draw the
// colour as it is now.
TEST(GdiSysColors, StandardSchemeAndBrushesThatFollowChanges) {
    const struct {
        int index;
        COLORREF color;
    } standard[] = {{COLOR_BTNFACE, RGB(192, 192, 192)},      {COLOR_BTNSHADOW, RGB(128, 128, 128)},
                    {COLOR_BTNHIGHLIGHT, RGB(255, 255, 255)}, {COLOR_BTNTEXT, RGB(0, 0, 0)},
                    {COLOR_3DLIGHT, RGB(192, 192, 192)},      {COLOR_3DDKSHADOW, RGB(0, 0, 0)},
                    {COLOR_WINDOW, RGB(255, 255, 255)},       {COLOR_WINDOWFRAME, RGB(0, 0, 0)},
                    {COLOR_HIGHLIGHT, RGB(0, 0, 128)},        {COLOR_INFOBK, RGB(255, 255, 225)}};
    for (const auto& s : standard) {
        EXPECT_EQ(s.color, GetSysColor(s.index)) << s.index;
    }
    for (int i = 0; i <= COLOR_MENUBAR; ++i) {
        EXPECT_NE(nullptr, GetSysColorBrush(i)) << i;
    }
    EXPECT_EQ(0u, GetSysColor(-1));
    EXPECT_EQ(0u, GetSysColor(COLOR_MENUBAR + 1));
    EXPECT_EQ(nullptr, GetSysColorBrush(COLOR_MENUBAR + 1));

    Canvas canvas(4, 4);
    HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
    EXPECT_TRUE(DeleteObject(face)); // never deleted: it belongs to the system
    SelectObject(canvas.dc(), face);
    SelectObject(canvas.dc(), GetStockObject(NULL_PEN));
    const int index[2] = {COLOR_BTNFACE, 99};
    const COLORREF changed[2] = {RGB(1, 2, 3) | 0x7F000000, RGB(4, 5, 6)};
    EXPECT_TRUE(SetSysColors(2, index, changed));
    EXPECT_EQ(RGB(1, 2, 3), GetSysColor(COLOR_BTNFACE));
    Rectangle(canvas.dc(), 0, 0, 3, 3);
    EXPECT_EQ(RGB(1, 2, 3), GetPixel(canvas.dc(), 1, 1));
    LOGBRUSH info{};
    EXPECT_EQ(static_cast<int>(sizeof info), GetObjectA(face, sizeof info, &info));
    EXPECT_EQ(RGB(1, 2, 3), info.lbColor);
    const COLORREF original = RGB(192, 192, 192);
    EXPECT_TRUE(SetSysColors(1, index, &original));
    SetLastError(0);
    EXPECT_FALSE(SetSysColors(1, nullptr, &original));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

} // namespace
