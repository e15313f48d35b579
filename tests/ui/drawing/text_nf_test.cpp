#include "support/canvas.h"

#include <korutil/ui.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using korutil::test::Canvas;
using korutil::test::checkDrawing;

constexpr COLORREF kOutside = RGB(255, 0, 255), kBack = RGB(255, 255, 0), kInk = RGB(0, 0, 0);
const RECT kLabel{5, 3, 55, 23};

// A canvas in the outside colour with an opaque yellow background and a UI font selected.
struct Label : Canvas {
    Label() : Canvas(70, 30) {
        HBRUSH brush = CreateSolidBrush(kOutside);
        const RECT all{0, 0, 70, 30};
        FillRect(dc(), &all, brush);
        DeleteObject(brush);
        SelectObject(dc(), GetStockObject(DEFAULT_GUI_FONT));
        SetBkColor(dc(), kBack);
        SetBkMode(dc(), OPAQUE);
        SetTextColor(dc(), kInk);
    }
    void draw(const char* text, unsigned short format, const RECT& r = kLabel) {
        DrawTextNF(dc(), r, text, -1, format);
    }
    // The bounding box of the ink: every pixel the glyphs touched, smoothed edges included.
    RECT ink() const {
        RECT box{70, 30, 0, 0};
        const std::vector<COLORREF> all = pixels();
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 70; ++x) {
                const COLORREF c = all[static_cast<std::size_t>(y * 70 + x)];
                if (c != kBack && c != kOutside) {
                    box = RECT{x < box.left ? x : box.left, y < box.top ? y : box.top,
                               x + 1 > box.right ? x + 1 : box.right,
                               y + 1 > box.bottom ? y + 1 : box.bottom};
                }
            }
        }
        return box;
    }
    bool onlyInside(const RECT& r) const {
        const std::vector<COLORREF> all = pixels();
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 70; ++x) {
                const bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
                if ((all[static_cast<std::size_t>(y * 70 + x)] == kOutside) == inside) {
                    return false;
                }
            }
        }
        return true;
    }
};

TEST(DrawTextNF, RedrawingInPlaceLeavesNoTraceAndPaintsOnlyTheRectangle) {
    const unsigned short formats[] = {0,
                                      DT_CENTER,
                                      DT_RIGHT,
                                      DT_VCENTER,
                                      DT_CENTER | DT_VCENTER,
                                      DT_RIGHT | DT_VCENTER,
                                      DT_CENTER | DT_RIGHT};
    for (unsigned short format : formats) {
        Label redrawn, fresh;
        redrawn.draw("88", format);
        redrawn.draw("1", format);
        fresh.draw("1", format);
        const std::string what = "format " + std::to_string(format);
        checkDrawing(redrawn.pixels() == fresh.pixels(), redrawn, "redrawn", what + ": a trace");
        checkDrawing(fresh.onlyInside(kLabel), fresh, "strips", what + ": painted outside");
    }
}

TEST(DrawTextNF, PlacesTheTextCellByTheFormat) {
    SIZE size{};
    Label probe;
    GetTextExtentPointA(probe.dc(), "Label", 5, &size);
    const int width = kLabel.right - kLabel.left, height = kLabel.bottom - kLabel.top;
    struct Case {
        unsigned short format;
        int left, top; // where the cell starts
    } cases[] = {
        {0, kLabel.left, kLabel.top},
        {DT_CENTER, kLabel.left + (width - size.cx) / 2, kLabel.top},
        {DT_RIGHT, kLabel.right - size.cx, kLabel.top},
        {DT_CENTER | DT_RIGHT, kLabel.left + (width - size.cx) / 2, kLabel.top},
        {DT_VCENTER, kLabel.left, kLabel.top + (height - size.cy) / 2},
    };
    for (const Case& c : cases) {
        Label label;
        label.draw("Label", c.format);
        const RECT ink = label.ink();
        const bool ok = ink.left < ink.right && ink.left >= c.left &&
                        ink.right <= c.left + size.cx && ink.top >= c.top &&
                        ink.bottom <= c.top + size.cy;
        checkDrawing(ok, label, "cell", "format " + std::to_string(c.format));
    }
}

TEST(DrawTextNF, LongTextRunsPastTheRightEdgeAndBreaksOnlyWhenAsked) {
    const char* text = "A label much wider than its box";
    const RECT narrow{5, 3, 30, 23};
    Label oneLine;
    oneLine.draw(text, 0, narrow);
    EXPECT_GT(oneLine.ink().right, narrow.right) << "drawn in one line, unclipped";

    Label broken;
    broken.draw(text, DT_WORDBREAK, narrow);
    EXPECT_LE(broken.ink().right, narrow.right);
    EXPECT_GT(broken.ink().bottom - broken.ink().top, oneLine.ink().bottom - oneLine.ink().top);

    Label lines;
    lines.draw("a\nb", DT_WORDBREAK);
    EXPECT_GT(lines.ink().bottom - lines.ink().top, oneLine.ink().bottom - oneLine.ink().top)
        << "a line feed always goes to the multi-line drawing";

    Label low; // lower than the text: no shift, no strip above or below
    const RECT flat{5, 3, 55, 8};
    low.draw("Label", DT_VCENTER, flat);
    EXPECT_GE(low.ink().top, flat.top);
}

TEST(CreateMatchingFont, CopiesFaceHeightWeightAndSlant) {
    HFONT original = CreateFontA(-17, 0, 0, 0, FW_BOLD, TRUE, FALSE, FALSE, ANSI_CHARSET, 0, 0, 0,
                                 VARIABLE_PITCH | FF_SWISS, "Arial");
    Canvas a(4, 4), b(4, 4);
    SelectObject(a.dc(), original);
    HFONT copy = CreateMatchingFont(a.dc(), b.dc());
    ASSERT_TRUE(copy);
    SelectObject(b.dc(), copy);
    TEXTMETRICA ma{}, mb{};
    GetTextMetricsA(a.dc(), &ma);
    GetTextMetricsA(b.dc(), &mb);
    char fa[LF_FACESIZE] = {}, fb[LF_FACESIZE] = {};
    GetTextFaceA(a.dc(), LF_FACESIZE, fa);
    GetTextFaceA(b.dc(), LF_FACESIZE, fb);
    EXPECT_STREQ(fa, fb);
    EXPECT_EQ(ma.tmHeight, mb.tmHeight);
    EXPECT_EQ(ma.tmWeight, mb.tmWeight);
    EXPECT_TRUE(mb.tmItalic);
    SelectObject(a.dc(), GetStockObject(SYSTEM_FONT));
    SelectObject(b.dc(), GetStockObject(SYSTEM_FONT));
    DeleteObject(original);
    DeleteObject(copy);
}

} // namespace
