#include "support/canvas.h"

#include <korutil/ui.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

using korutil::test::Canvas;
using korutil::test::checkDrawing;

constexpr COLORREF kFace = RGB(192, 192, 192);
constexpr COLORREF kUntouched = RGB(1, 2, 3);

DRAWITEMSTRUCT request(const Canvas& canvas, UINT action, UINT state) {
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.itemAction = action;
    item.itemState = state;
    item.hDC = canvas.dc();
    item.rcItem = RECT{0, 0, canvas.width(), canvas.height()};
    return item;
}

void paint(Canvas& canvas, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    const RECT all{0, 0, canvas.width(), canvas.height()};
    FillRect(canvas.dc(), &all, brush);
    DeleteObject(brush);
}

// The border alone, as the button's edges draw it over its face.
std::vector<COLORREF> border(int width, int height, bool pressed) {
    Canvas canvas(width, height);
    paint(canvas, kFace);
    RECT r{0, 0, width, height};
    if (pressed) {
        DrawEdge(canvas.dc(), &r, EDGE_SUNKEN, BF_SOFT | BF_TOPLEFT);
        DrawEdge(canvas.dc(), &r, BDR_RAISEDOUTER, BF_SOFT | BF_BOTTOMRIGHT);
    } else {
        DrawEdge(canvas.dc(), &r, EDGE_RAISED, BF_SOFT | BF_RECT);
    }
    return canvas.pixels();
}

// The 32 by 32 picture: a light grey frame around black and dark grey quadrants above white
// and red ones. On a 20 by 40 button it is squeezed to 20 wide and stays 32 high.
TEST(DrawBitmapButton, CentresThePictureSqueezesItAndShiftsItWhenPressed) {
    for (const bool pressed : {false, true}) {
        Canvas canvas(20, 40);
        const DRAWITEMSTRUCT item =
            request(canvas, ODA_DRAWENTIRE, pressed ? ODS_SELECTED | ODS_FOCUS : ODS_FOCUS);
        DrawBitmapButton(nullptr, "big", &item);
        const int shift = pressed ? 1 : 0;
        HDC dc = canvas.dc();
        bool ok = true;
        // The picture's rows are 4 + shift .. 35 + shift; its black half ends at row 20.
        ok &= GetPixel(dc, 5, 19 + shift) == RGB(0, 0, 0);
        ok &= GetPixel(dc, 5, 20 + shift) == RGB(255, 255, 255);
        ok &= GetPixel(dc, 14, 10 + shift) == RGB(128, 128, 128);
        ok &= GetPixel(dc, 14, 30 + shift) == RGB(255, 0, 0);
        // Above and below the picture only the face shows.
        ok &= GetPixel(dc, 8, 2 + shift) == kFace && GetPixel(dc, 8, 37) == kFace;
        // The border is the raised or pressed edge; the pressed one is a single line at the
        // bottom and right, where the shifted picture shows inside it.
        const std::vector<COLORREF> got = canvas.pixels(), edge = border(20, 40, pressed);
        const int rim = pressed ? 1 : 2;
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 20; ++x) {
                const bool ring = x < 2 || y < 2 || x >= 20 - rim || y >= 40 - rim;
                if (ring && got[static_cast<std::size_t>(y * 20 + x)] !=
                                edge[static_cast<std::size_t>(y * 20 + x)]) {
                    ok = false;
                }
            }
        }
        checkDrawing(ok, canvas, pressed ? "pressed" : "raised", "the button as drawn");
    }
}

TEST(DrawBitmapButton, FocusAloneDrawsNothingAndAMissingPictureOnlyTheFace) {
    Canvas canvas(16, 16);
    paint(canvas, kUntouched);
    const DRAWITEMSTRUCT focus = request(canvas, ODA_FOCUS, ODS_FOCUS);
    DrawBitmapButton(nullptr, "big", &focus);
    EXPECT_EQ(canvas.pixels(), std::vector<COLORREF>(256, kUntouched));

    const DRAWITEMSTRUCT draw = request(canvas, ODA_DRAWENTIRE, 0);
    DrawBitmapButton(nullptr, "no such picture", &draw);
    EXPECT_EQ(canvas.pixels(), std::vector<COLORREF>(256, kFace)) << "no border either";
}

TEST(DrawBitmapButton, FollowsAChangedScheme) {
    const INT face = COLOR_BTNFACE;
    const COLORREF saved = GetSysColor(face), green = RGB(0, 160, 0);
    SetSysColors(1, &face, &green);
    Canvas canvas(40, 40);
    const DRAWITEMSTRUCT item = request(canvas, ODA_DRAWENTIRE, 0);
    DrawBitmapButton(nullptr, "big", &item);
    const bool ok = GetPixel(canvas.dc(), 20, 3) == green && GetPixel(canvas.dc(), 4, 4) == green;
    SetSysColors(1, &face, &saved);
    checkDrawing(ok, canvas, "green", "the face and the picture's light grey show the new face");
}

} // namespace
