#include "support/canvas.h"
#include "support/pictures.h"

#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using korutil::test::Canvas;

// A picture of the canvas: '#' the pen (white), 'b' the brush (red), 'y' the background
// colour (yellow), '.' untouched.
std::string picture(const Canvas& canvas) {
    std::string out;
    const std::vector<COLORREF> pixels = canvas.pixels();
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const COLORREF c = pixels[i];
        out += c == RGB(255, 255, 255) ? '#'
               : c == RGB(255, 0, 0)   ? 'b'
               : c == RGB(255, 255, 0) ? 'y'
               : c == 0                ? '.'
                                       : '?';
        if ((i + 1) % static_cast<std::size_t>(canvas.width()) == 0) {
            out += '\n';
        }
    }
    return out;
}

// Pictures checked against Windows' documented rules (right and bottom edges excluded, a null
// pen leaves them unfilled, corners in any order) and, where the rules leave room, against
// what Wine draws: a dash pattern starts at the top right corner and runs down, left, up and
// right around the frame.
TEST(GdiRectangle, DrawsOutlineAndInterior) {
    const struct {
        int style, width;
        bool nullBrush;
        RECT box;
        const char* expected;
    } cases[] = {
        {PS_SOLID,
         0,
         false,
         {1, 1, 6, 5},
         ".......\n.#####.\n.#bbb#.\n.#bbb#.\n.#####.\n.......\n"},
        {PS_SOLID,
         1,
         false,
         {6, 5, 1, 1},
         ".......\n.#####.\n.#bbb#.\n.#bbb#.\n.#####.\n.......\n"},
        {PS_NULL, 0, false, {1, 1, 6, 5}, ".......\n.bbbb..\n.bbbb..\n.bbbb..\n.......\n.......\n"},
        {PS_SOLID, 0, true, {1, 1, 6, 5}, ".......\n.#####.\n.#...#.\n.#...#.\n.#####.\n.......\n"},
        {PS_SOLID,
         0,
         false,
         {1, 1, 2, 2},
         ".......\n.......\n.......\n.......\n.......\n.......\n"},
        {PS_SOLID,
         0,
         false,
         {1, 1, 2, 5},
         ".......\n.#.....\n.#.....\n.#.....\n.#.....\n.......\n"},
        {PS_SOLID,
         0,
         false,
         {1, 1, 1, 5},
         ".......\n.......\n.......\n.......\n.......\n.......\n"},
        {PS_INSIDEFRAME,
         1,
         false,
         {1, 1, 6, 5},
         ".......\n.#####.\n.#bbb#.\n.#bbb#.\n.#####.\n.......\n"},
        {PS_INSIDEFRAME,
         2,
         false,
         {0, 0, 7, 6},
         "#######\n#######\n##bbb##\n##bbb##\n#######\n#######\n"},
        {PS_SOLID,
         4,
         false,
         {2, 2, 6, 5},
         ".#####.\n#######\n#######\n#######\n#######\n.#####.\n"},
        {PS_DOT, 0, false, {0, 0, 7, 6}, "yy###y#\nybbbbb#\n#bbbbb#\n#bbbbby\n#bbbbby\nyyy###y\n"},
    };
    Canvas canvas(7, 6);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    SetBkColor(canvas.dc(), RGB(255, 255, 0));
    int index = 0;
    for (const auto& c : cases) {
        const std::string label = "case" + std::to_string(index++);
        HPEN pen = CreatePen(c.style, c.width, RGB(255, 255, 255));
        SelectObject(canvas.dc(), pen);
        SelectObject(canvas.dc(), c.nullBrush ? GetStockObject(NULL_BRUSH) : red);
        canvas.clear();
        EXPECT_TRUE(Rectangle(canvas.dc(), c.box.left, c.box.top, c.box.right, c.box.bottom));
        const std::string got = picture(canvas);
        korutil::test::checkDrawing(got == c.expected, canvas, label,
                                    label + " expected\n" + c.expected + "got\n" + got);
        korutil::test::pictureOnFailure(canvas.bitmap(), label);
        SelectObject(canvas.dc(), GetStockObject(BLACK_PEN));
        DeleteObject(pen);
    }
    DeleteObject(red);
}

// Through the mix mode every pixel of frame and interior is painted exactly once, whatever
// the pen: drawing twice with R2_XORPEN leaves nothing, once leaves only pen and brush. The
// inside frame never leaves the bounds and reaches all four of them.
TEST(GdiRectangle, PaintsEachPixelOnceAndInsideFramesStayInside) {
    Canvas canvas(40, 30);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    SelectObject(canvas.dc(), red);
    SetROP2(canvas.dc(), R2_XORPEN);
    for (int style : {PS_SOLID, PS_INSIDEFRAME, PS_DASH}) {
        for (int width = 0; width <= 9; ++width) {
            HPEN pen = CreatePen(style, width, RGB(255, 255, 255));
            SelectObject(canvas.dc(), pen);
            canvas.clear();
            const RECT box{5 + width % 3, 4, 34 - width % 2, 26 - width % 4};
            Rectangle(canvas.dc(), box.left, box.top, box.right, box.bottom);
            std::string once = picture(canvas);
            for (std::size_t i = 0, x = 0, y = 0; i < once.size(); ++i, ++x) {
                if (once[i] == '\n') {
                    x = static_cast<std::size_t>(-1), ++y;
                    continue;
                }
                ASSERT_TRUE(once[i] == '#' || once[i] == 'b' || once[i] == '.') << once;
                const bool inside =
                    static_cast<LONG>(x) >= box.left && static_cast<LONG>(x) < box.right &&
                    static_cast<LONG>(y) >= box.top && static_cast<LONG>(y) < box.bottom;
                if (style == PS_INSIDEFRAME) {
                    ASSERT_TRUE(inside || once[i] == '.') << once;
                }
            }
            if (style == PS_INSIDEFRAME) {
                EXPECT_EQ(RGB(255, 255, 255), GetPixel(canvas.dc(), box.left, 15)) << once;
                EXPECT_EQ(RGB(255, 255, 255), GetPixel(canvas.dc(), box.right - 1, 15)) << once;
                EXPECT_EQ(RGB(255, 255, 255), GetPixel(canvas.dc(), 20, box.top)) << once;
                EXPECT_EQ(RGB(255, 255, 255), GetPixel(canvas.dc(), 20, box.bottom - 1)) << once;
            }
            korutil::test::pictureOnFailure(canvas.bitmap(), "style" + std::to_string(style) +
                                                                 "width" + std::to_string(width));
            Rectangle(canvas.dc(), box.left, box.top, box.right, box.bottom);
            korutil::test::checkDrawing(
                picture(canvas).find_first_not_of(".\n") == std::string::npos, canvas, "twice",
                "style " + std::to_string(style) + " width " + std::to_string(width) + "\n" + once);
            SelectObject(canvas.dc(), GetStockObject(BLACK_PEN));
            DeleteObject(pen);
        }
    }
    DeleteObject(red);
}

} // namespace
