// Text output and DrawTextA: where the alignment puts the cell, what the opaque fills cover,
// clipping, spacing arrays, lines, line layout as DT_CALCRECT reports it and as it is drawn,
// and bad input.
#include <korutil/platform.h>

#include "support/canvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

namespace {

using korutil::test::Canvas;
using korutil::test::SelectedFont;
using korutil::test::str;

constexpr COLORREF kRed = RGB(255, 0, 0);

struct TextOutput : ::testing::Test {
    TextOutput() { SetBkColor(canvas.dc(), kRed); }
    int width(const std::string& text) const { return canvas.textWidth(text); }
    RECT filled() const { return canvas.boxOf(kRed); }
    Canvas canvas{240, 120};
    SelectedFont font{canvas.dc(), -13, "Arial"};
    HDC dc = canvas.dc();
    TEXTMETRICA tm = canvas.metrics();
};

TEST_F(TextOutput, AlignmentPlacesTheCellAroundTheReferencePoint) {
    const int cx = width("Wavy");
    for (UINT horizontal : {TA_LEFT, TA_CENTER, TA_RIGHT}) {
        for (UINT vertical : {TA_TOP, TA_BASELINE, TA_BOTTOM}) {
            canvas.fill();
            SetTextAlign(dc, horizontal | vertical);
            ASSERT_TRUE(TextOutA(dc, 100, 40, "Wavy", 4));
            const int left = 100 - (horizontal == TA_CENTER ? cx / 2 : horizontal ? cx : 0);
            const int top = 40 - (vertical == TA_BASELINE ? tm.tmAscent
                                  : vertical              ? tm.tmHeight
                                                          : 0);
            EXPECT_EQ(str(RECT{left, top, left + cx, top + tm.tmHeight}), str(filled()))
                << horizontal << "|" << vertical << canvas.picture("align");
        }
    }
    canvas.picture("align");
    // With TA_UPDATECP the current position (from (0, 0)) is the reference point; left
    // alignment moves it past the text, right alignment back before it, centring leaves it.
    const struct {
        UINT align;
        int left;
    } steps[] = {{TA_LEFT, 0},  {TA_LEFT, cx},    {TA_RIGHT, cx}, {TA_CENTER, cx - cx / 2},
                 {TA_LEFT, cx}, {TA_LEFT, 2 * cx}};
    for (const auto& step : steps) {
        canvas.fill();
        SetTextAlign(dc, step.align | TA_UPDATECP);
        ASSERT_TRUE(TextOutA(dc, 150, 50, "Wavy", 4));
        EXPECT_EQ(str(RECT{step.left, 0, step.left + cx, tm.tmHeight}), str(filled()))
            << step.align << canvas.picture("updatecp");
    }
}

TEST_F(TextOutput, OpaqueFillsClippingAndSpacingCoverExactlyTheirRectangles) {
    SetBkMode(dc, TRANSPARENT);
    const RECT reversed{30, 20, 10, 5};
    EXPECT_TRUE(ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &reversed, "", 0, nullptr));
    EXPECT_EQ("10,5,30,20", str(filled()));
    EXPECT_EQ("10,5,30,20", str(canvas.drawn()));
    // The opaque mode fills the cell: the spacing entries (one per byte, a character taking
    // the sum of its bytes') plus the character extra.
    SetBkMode(dc, OPAQUE);
    SetTextCharacterExtra(dc, 2);
    const INT dx[] = {10, 20, 7};
    canvas.fill();
    EXPECT_TRUE(ExtTextOutA(dc, 20, 10, 0, nullptr, "\xC3\xA9x", 3, dx));
    EXPECT_EQ(str(RECT{20, 10, 20 + 37 + 4, 10 + tm.tmHeight}), str(filled()));
    SetTextCharacterExtra(dc, 0);
    // ETO_CLIPPED keeps text and cell inside the rectangle, as does the context's clip.
    canvas.fill();
    const RECT clip{12, 12, 30, 20};
    EXPECT_TRUE(ExtTextOutA(dc, 10, 10, ETO_CLIPPED, &clip, "Clipped", 7, nullptr));
    EXPECT_EQ(str(clip), str(canvas.drawn())) << canvas.picture("clipped");
    canvas.fill();
    IntersectClipRect(dc, 0, 0, 25, 80);
    TextOutA(dc, 10, 10, "Clipped", 7);
    SelectClipRgn(dc, nullptr); // GetPixel answers only inside the clip
    EXPECT_EQ(str(RECT{10, 10, 25, 10 + tm.tmHeight}), str(canvas.drawn()));
}

// The strike-out shows alone between the letters, above the baseline; the underline alone
// below the baseline of letters without descenders. Both span the text.
TEST_F(TextOutput, UnderlineAndStrikeOutSpanTheTextInsideTheCell) {
    SelectedFont lined(dc, -13, "Arial", FW_NORMAL, 0, 0, 0, 0, TRUE);
    tm = canvas.metrics();
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, 10, 10, "a  b", 4);
    const int baseline = 10 + tm.tmAscent;
    const RECT gap{10 + width("a") + 1, 10, 10 + width("a  ") - 1, baseline};
    const RECT strike = canvas.drawn(&gap);
    EXPECT_EQ(str(RECT{gap.left, strike.top, gap.right, strike.bottom}), str(strike));
    const RECT below{0, baseline, 240, 120};
    const RECT underline = canvas.drawn(&below);
    EXPECT_EQ(str(RECT{10, underline.top, 10 + width("a  b"), underline.bottom}), str(underline))
        << canvas.picture("lines");
    EXPECT_LE(underline.bottom, 10 + tm.tmHeight);
    canvas.picture("lines");
}

TEST_F(TextOutput, BadInputFailsCleanly) {
    SetLastError(0);
    EXPECT_FALSE(TextOutA(dc, 0, 0, "abc", -1));
    EXPECT_FALSE(TextOutA(dc, 0, 0, nullptr, 3));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(ExtTextOutA(dc, 0, 0, 0, nullptr, "abc", 0x80000000u, nullptr));
    EXPECT_FALSE(TextOutA(nullptr, 0, 0, "abc", 3));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SIZE size{-1, -1};
    EXPECT_FALSE(GetTextExtentPoint32A(dc, "abc", 3, nullptr));
    EXPECT_FALSE(GetTextExtentPoint32A(dc, nullptr, 2, &size));
    EXPECT_TRUE(GetTextExtentPoint32A(dc, nullptr, 0, &size));
    EXPECT_EQ(0, size.cx + size.cy);
    // Far-away positions and huge spacing overflow nothing. From the current position (0, 0)
    // the cell runs past the canvas; the position then stops at the largest coordinate.
    SetTextAlign(dc, TA_CENTER | TA_BOTTOM);
    const INT huge[] = {INT_MAX, INT_MAX, INT_MIN};
    EXPECT_TRUE(ExtTextOutA(dc, INT_MAX, INT_MIN, 0, nullptr, "abc", 3, huge));
    EXPECT_TRUE(TextOutA(dc, INT_MIN, INT_MAX, "abc", 3));
    EXPECT_EQ("0,0,0,0", str(canvas.drawn()));
    SetTextAlign(dc, TA_LEFT | TA_UPDATECP);
    EXPECT_TRUE(ExtTextOutA(dc, 0, 0, 0, nullptr, "abc", 3, huge));
    EXPECT_EQ(str(RECT{0, 0, 240, tm.tmHeight}), str(filled()));
    canvas.fill();
    EXPECT_TRUE(ExtTextOutA(dc, 0, 0, 0, nullptr, "abc", 3, huge));
    EXPECT_EQ("0,0,0,0", str(canvas.drawn()));
    const std::string many(200000, 'W');
    EXPECT_EQ(200000LL * width("W"), width(many));
    // DrawTextA.
    RECT r{0, 0, 100, 100};
    EXPECT_EQ(0, DrawTextA(dc, "abc", 3, nullptr, 0));
    EXPECT_EQ(0, DrawTextA(dc, nullptr, 3, &r, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(0, DrawTextA(nullptr, "abc", 3, &r, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(0, DrawTextA(dc, "abc", 0, &r, DT_CALCRECT));
    EXPECT_EQ("0,0,100,100", str(r));
    EXPECT_EQ(tm.tmHeight, DrawTextA(dc, "", -1, &r, 0));
    // Extreme rectangles do not overflow; a negative width puts each word on a line.
    RECT extreme{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
    EXPECT_EQ(tm.tmHeight, DrawTextA(dc, "a b c", -1, &extreme, DT_WORDBREAK | DT_CALCRECT));
    extreme = RECT{INT_MAX - 5, INT_MAX - 5, INT_MIN, INT_MIN};
    EXPECT_EQ(3 * tm.tmHeight, DrawTextA(dc, "a b c", -1, &extreme, DT_WORDBREAK));
    HDC gone = CreateCompatibleDC(nullptr);
    DeleteDC(gone);
    EXPECT_FALSE(TextOutA(gone, 0, 0, "abc", 3));
}

TEST_F(TextOutput, LinesAsCalculatedAndAsDrawn) {
    const struct {
        const char* text;
        UINT format;
        const char* room;
        const char* lines;
    } cases[] = {
        {"aa aa aa aa", DT_WORDBREAK, "aa aa", "aa aa|aa aa"},
        {"aa aa aa", DT_WORDBREAK, "aa a", "aa|aa|aa"},
        {"aa   aa", DT_WORDBREAK, "aa", "aa|aa"},
        {"longerthanroom aa", DT_WORDBREAK, "aa", "longerthanroom|aa"},
        {"  aa", DT_WORDBREAK, "aa aa aa", "  aa"},
        {"aa\r\nbb\n\rcc\rdd\n", 0, "aa", "aa|bb|cc|dd"},
        {"aa\n\nbb", DT_WORDBREAK, "aa", "aa||bb"},
        {"aa\nbb", DT_SINGLELINE, "aa", "aa\nbb"},
        {"a&bc &&d", 0, "a", "abc &d"},
        {"a&bc", DT_NOPREFIX, "a", "a&bc"},
        {"ab&", 0, "a", "ab&"},
        {"abcdefghij", DT_SINGLELINE | DT_END_ELLIPSIS, "abc...", "abc..."},
        {"abcdefghij", DT_SINGLELINE | DT_END_ELLIPSIS, "abc..", "ab..."},
        {"abcdefghij\nabcdefghij", DT_END_ELLIPSIS, "abc...", "abcdefghij|abc..."},
        {"ab", DT_SINGLELINE | DT_END_ELLIPSIS, "a", "..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string lines = c.lines;
        int widest = 0;
        int count = 1;
        for (std::size_t start = 0, bar;; start = bar + 1, ++count) {
            bar = std::min(lines.find('|', start), lines.size());
            widest = std::max(widest, width(lines.substr(start, bar - start)));
            if (bar == lines.size()) {
                break;
            }
        }
        const RECT room{10, 5, 10 + width(c.room), 115};
        RECT calc = room;
        EXPECT_EQ(count * tm.tmHeight, DrawTextA(dc, c.text, -1, &calc, c.format | DT_CALCRECT));
        EXPECT_EQ(str(RECT{10, 5, 10 + widest, 5 + count * tm.tmHeight}), str(calc));
        canvas.fill();
        RECT draw = room;
        DrawTextA(dc, c.text, -1, &draw, c.format | DT_NOCLIP);
        EXPECT_EQ(str(calc), str(filled())) << canvas.picture("lines");
        canvas.picture("lines" + std::to_string(&c - cases));
    }
    // Tab stops lie every eight average characters, or as DT_TABSTOP says.
    RECT calc{0, 0, 100, 100};
    DrawTextA(dc, "a\tb", -1, &calc, DT_CALCRECT | DT_EXPANDTABS);
    EXPECT_EQ(8 * tm.tmAveCharWidth + width("b"), calc.right);
    // DT_TABSTOP takes the byte of DT_CALCRECT, so look at the cells drawn.
    canvas.fill();
    DrawTextA(dc, "a\tb\tc", -1, &calc, DT_EXPANDTABS | DT_TABSTOP | (3 << 8));
    EXPECT_EQ(6 * tm.tmAveCharWidth + width("c"), filled().right);
}

TEST_F(TextOutput, AlignsInTheRectangleWhateverTheContextAlignment) {
    const RECT room{20, 10, 180, 70};
    const int cx = width("Label");
    SetTextAlign(dc, TA_RIGHT | TA_BOTTOM | TA_UPDATECP);
    for (UINT horizontal : {DT_LEFT, DT_CENTER, DT_RIGHT}) {
        for (UINT vertical : {DT_TOP, DT_VCENTER, DT_BOTTOM}) {
            for (UINT single : {0u, static_cast<UINT>(DT_SINGLELINE)}) {
                canvas.fill();
                RECT r = room;
                const int height = DrawTextA(dc, "Label", 5, &r, horizontal | vertical | single);
                const int left = horizontal == DT_CENTER  ? 20 + (160 - cx) / 2
                                 : horizontal == DT_RIGHT ? 180 - cx
                                                          : 20;
                // Vertical placement needs DT_SINGLELINE; it then returns the bottom's offset.
                const UINT placed = single ? vertical : DT_TOP;
                const int top = placed == DT_VCENTER  ? 10 + (60 - tm.tmHeight) / 2
                                : placed == DT_BOTTOM ? 70 - tm.tmHeight
                                                      : 10;
                EXPECT_EQ(top + tm.tmHeight - 10, height);
                EXPECT_EQ(str(RECT{left, top, left + cx, top + tm.tmHeight}), str(filled()))
                    << horizontal << "|" << vertical << "|" << single << canvas.picture("align");
            }
        }
    }
    canvas.picture("align");
}

TEST_F(TextOutput, PrefixUnderlinesItsCharacterAndClipping) {
    SetBkMode(dc, TRANSPARENT);
    const RECT below{0, 10 + tm.tmAscent, 240, 120};
    for (UINT format : {0u, static_cast<UINT>(DT_HIDEPREFIX), static_cast<UINT>(DT_NOPREFIX)}) {
        canvas.fill();
        RECT r{10, 10, 200, 60};
        DrawTextA(dc, "a&bc", 4, &r, format);
        const RECT under = canvas.drawn(&below);
        const RECT expected =
            format ? RECT{0, 0, 0, 0}
                   : RECT{10 + width("a"), under.top, 10 + width("ab"), under.top + 1};
        EXPECT_EQ(str(expected), str(under)) << format << canvas.picture("prefix");
        canvas.picture("prefix" + std::to_string(format));
    }
    // The text stays in the rectangle unless DT_NOCLIP.
    for (UINT format : {0u, static_cast<UINT>(DT_NOCLIP)}) {
        canvas.fill();
        RECT r{30, 20, 60, 30};
        DrawTextA(dc, "Wider than the rectangle", -1, &r, format);
        const RECT ink = canvas.drawn();
        EXPECT_EQ(format == 0,
                  ink.left >= 30 && ink.top >= 20 && ink.right <= 60 && ink.bottom <= 30)
            << str(ink) << canvas.picture("clip");
        canvas.picture("clip" + std::to_string(format));
    }
}

} // namespace
