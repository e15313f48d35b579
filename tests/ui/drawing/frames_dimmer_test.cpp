#include "support/canvas.h"

#include <korutil/ui.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using korutil::test::Canvas;
using korutil::test::checkDrawing;

constexpr COLORREF kWhite = RGB(255, 255, 255), kBlack = RGB(0, 0, 0), kShadow = RGB(128, 128, 128);

void whiten(Canvas& canvas) {
    const RECT all{0, 0, canvas.width(), canvas.height()};
    FillRect(canvas.dc(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

// Whether every pixel is the colour `expected(x, y)` gives.
bool matches(const Canvas& canvas, const std::function<COLORREF(int, int)>& expected) {
    const std::vector<COLORREF> got = canvas.pixels();
    for (int y = 0; y < canvas.height(); ++y) {
        for (int x = 0; x < canvas.width(); ++x) {
            if (got[static_cast<std::size_t>(y * canvas.width() + x)] != expected(x, y)) {
                return false;
            }
        }
    }
    return true;
}

TEST(Draw3dRect, InsetAndOutsetPaintTheInsideEdgesAndLeaveTwoCorners) {
    for (const bool inset : {true, false}) {
        Canvas canvas(12, 12);
        whiten(canvas);
        HPEN callers = CreatePen(PS_SOLID, 0, RGB(0, 255, 0));
        SelectObject(canvas.dc(), callers);
        const RECT r{1, 1, 11, 11};
        (inset ? Draw3dRectInset : Draw3dRectOutset)(canvas.dc(), r);
        const COLORREF first = inset ? kShadow : kWhite, second = inset ? kWhite : kShadow;
        const bool ok = matches(canvas, [&](int x, int y) {
            if ((y == 1 && x >= 1 && x <= 9) || (x == 1 && y >= 1 && y <= 9)) {
                return first; // top x 0..8 and left y 0..8 of the rectangle
            }
            if ((y == 10 && x >= 2 && x <= 10) || (x == 10 && y >= 2 && y <= 9)) {
                return second; // bottom x 1..9 and right y 1..8
            }
            return kWhite;
        });
        checkDrawing(ok, canvas, inset ? "inset" : "outset", "the frame's pixels");
        EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_PEN), GetStockObject(BLACK_PEN));
        EXPECT_EQ(GetObjectType(callers), static_cast<DWORD>(OBJ_PEN)) << "not deleted";
        DeleteObject(callers);
    }
}

TEST(CCheckerDimmer, DarkensThePatternByDestinationPhaseHoweverTheAreaIsSplit) {
    struct Case {
        int cx, cy, xPhase, yPhase;
    } cases[] = {{8, 8, 0, 0}, {8, 8, 1, 0}, {2, 2, 3, 5}, {5, 3, -3, -8}, {16, 16, -1, 2}};
    for (const Case& c : cases) {
        const std::string label = std::to_string(c.cx) + "x" + std::to_string(c.cy) + "+" +
                                  std::to_string(c.xPhase) + "," + std::to_string(c.yPhase);
        Canvas whole(20, 20), split(20, 20);
        whiten(whole);
        whiten(split);
        CCheckerDimmer dimmer(whole.dc(), c.cx, c.cy, c.xPhase, c.yPhase,
                              CCheckerDimmer::styleChecker);
        dimmer.Draw(whole.dc(), RECT{0, 0, 20, 20});
        for (const RECT& quarter :
             {RECT{0, 0, 10, 10}, RECT{10, 0, 20, 10}, RECT{0, 10, 7, 20}, RECT{7, 10, 20, 20}}) {
            dimmer.Draw(split.dc(), quarter);
        }
        auto model = [&](int x, int y) {
            const int mx = ((x + c.xPhase) % 2 + 2) % 2, my = ((y + c.yPhase) % 2 + 2) % 2;
            return (mx + my) % 2 == 0 ? kBlack : kWhite;
        };
        checkDrawing(matches(whole, model), whole, label, "one call");
        checkDrawing(whole.pixels() == split.pixels(), split, label + ".split", "split calls");
    }
}

TEST(CCheckerDimmer, SparseDarkensOnePixelInSix) {
    Canvas canvas(18, 12);
    whiten(canvas);
    CCheckerDimmer dimmer(canvas.dc(), 6, 6, 0, 0, CCheckerDimmer::styleSparse);
    dimmer.Draw(canvas.dc(), RECT{0, 0, 18, 12});
    int dark = 0;
    for (COLORREF c : canvas.pixels()) {
        dark += c == kBlack ? 1 : 0;
    }
    checkDrawing(dark == 18 * 12 / 6, canvas, "sparse", std::to_string(dark) + " dark pixels");
}

TEST(CCheckerDimmer, EmptyAreasAndPatternsWithoutAPeriodDrawNothing) {
    Canvas canvas(10, 10);
    whiten(canvas);
    SetTextColor(canvas.dc(), RGB(255, 0, 0));
    CCheckerDimmer dimmer(canvas.dc(), 8, 8, 0, 0, CCheckerDimmer::styleChecker);
    dimmer.Draw(canvas.dc(), RECT{5, 5, 5, 9});
    EXPECT_EQ(GetTextColor(canvas.dc()), RGB(255, 0, 0)) << "the text colour comes back";

    // An unknown style, or a pattern narrower or lower than its period, has no pattern.
    CCheckerDimmer unknown(canvas.dc(), 8, 8, 0, 0, static_cast<CCheckerDimmer::EStyle>(7));
    CCheckerDimmer narrow(canvas.dc(), 1, 8, 0, 0, CCheckerDimmer::styleChecker);
    CCheckerDimmer low(canvas.dc(), 8, 1, 0, 1, CCheckerDimmer::styleSparse);
    for (CCheckerDimmer* none : {&unknown, &narrow, &low}) {
        EXPECT_EQ(none->m_hBitmap, nullptr);
        none->Draw(canvas.dc(), RECT{0, 0, 10, 10});
    }
    EXPECT_EQ(canvas.pixels(), std::vector<COLORREF>(100, kWhite));
}

} // namespace
