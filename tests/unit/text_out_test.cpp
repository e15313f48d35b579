// Text output: where the alignment puts the cell, what the opaque fills cover, clipping,
// spacing arrays, underline and strike-out, and bad input.
#include <korutil/platform.h>

#include "support/canvas.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

using korutil::test::Canvas;
using korutil::test::str;

constexpr COLORREF kRed = RGB(255, 0, 0);

class TextOutput : public ::testing::Test {
protected:
    TextOutput()
        : font(CreateFontA(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "Arial")),
          old(SelectObject(dc(), font)) {
        SetBkColor(dc(), kRed);
        GetTextMetricsA(dc(), &tm);
    }
    ~TextOutput() override {
        SelectObject(dc(), old);
        DeleteObject(font);
    }
    HDC dc() const { return canvas.dc(); }
    int width(const std::string& text) const {
        SIZE size{};
        GetTextExtentPoint32A(dc(), text.data(), static_cast<int>(text.size()), &size);
        return size.cx;
    }
    // Where the background colour landed.
    RECT filled() const {
        return canvas.box([](COLORREF c) { return c == kRed; });
    }

    Canvas canvas{200, 80};
    HFONT font;
    HGDIOBJ old;
    TEXTMETRICA tm{};
};

TEST_F(TextOutput, AlignmentPlacesTheCellAroundTheReferencePoint) {
    const int cx = width("Wavy");
    for (UINT horizontal : {TA_LEFT, TA_CENTER, TA_RIGHT}) {
        for (UINT vertical : {TA_TOP, TA_BASELINE, TA_BOTTOM}) {
            canvas.fill();
            SetTextAlign(dc(), horizontal | vertical);
            ASSERT_TRUE(TextOutA(dc(), 100, 40, "Wavy", 4));
            const int left = 100 - (horizontal == TA_CENTER  ? cx / 2
                                    : horizontal == TA_RIGHT ? cx
                                                             : 0);
            const int top = 40 - (vertical == TA_BASELINE ? tm.tmAscent
                                  : vertical == TA_BOTTOM ? tm.tmHeight
                                                          : 0);
            EXPECT_EQ(str(RECT{left, top, left + cx, top + tm.tmHeight}), str(filled()))
                << horizontal << "|" << vertical << canvas.picture("align");
        }
    }
    canvas.picture("align");
}

// With TA_UPDATECP the current position (here from (0, 0)) is the reference point; left
// alignment moves it past the text, right alignment back before it, centring leaves it.
TEST_F(TextOutput, UpdateCpDrawsAtAndMovesTheCurrentPosition) {
    const int cx = width("ab");
    const struct {
        UINT align;
        int left;
    } steps[] = {{TA_LEFT, 0},  {TA_LEFT, cx},    {TA_RIGHT, cx}, {TA_CENTER, cx - cx / 2},
                 {TA_LEFT, cx}, {TA_LEFT, 2 * cx}};
    for (const auto& step : steps) {
        canvas.fill();
        SetTextAlign(dc(), step.align | TA_UPDATECP);
        ASSERT_TRUE(TextOutA(dc(), 150, 50, "ab", 2));
        EXPECT_EQ(str(RECT{step.left, 0, step.left + cx, tm.tmHeight}), str(filled()))
            << step.align << canvas.picture("updatecp");
    }
}

TEST_F(TextOutput, OpaqueFillsAndClippingCoverExactlyTheirRectangles) {
    SetBkMode(dc(), TRANSPARENT);
    const RECT reversed{30, 20, 10, 5};
    EXPECT_TRUE(ExtTextOutA(dc(), 0, 0, ETO_OPAQUE, &reversed, "", 0, nullptr));
    EXPECT_EQ("10,5,30,20", str(filled()));
    EXPECT_EQ(300, canvas.count([](COLORREF c) { return c == kRed; }));

    // The opaque background mode fills the cell: the sum of the spacing entries (one per byte,
    // a character taking the sum of its bytes') and the character extra.
    SetBkMode(dc(), OPAQUE);
    SetTextCharacterExtra(dc(), 2);
    const INT dx[] = {10, 20, 7};
    canvas.fill();
    EXPECT_TRUE(ExtTextOutA(dc(), 20, 10, 0, nullptr,
                            "\xC3\xA9"
                            "a",
                            3, dx));
    EXPECT_EQ(str(RECT{20, 10, 20 + 37 + 4, 10 + tm.tmHeight}), str(filled()));
    SetTextCharacterExtra(dc(), 0);

    // ETO_CLIPPED keeps text and cell inside the rectangle, as does the context's clip.
    canvas.fill();
    const RECT clip{12, 12, 30, 20};
    EXPECT_TRUE(ExtTextOutA(dc(), 10, 10, ETO_CLIPPED, &clip, "Clipped", 7, nullptr));
    EXPECT_EQ(str(clip), str(canvas.drawn())) << canvas.picture("clipped");
    canvas.fill();
    IntersectClipRect(dc(), 0, 0, 25, 80);
    TextOutA(dc(), 10, 10, "Clipped", 7);
    SelectClipRgn(dc(), nullptr); // GetPixel answers only inside the clip
    EXPECT_EQ(str(RECT{10, 10, 25, 10 + tm.tmHeight}), str(canvas.drawn()));
}

TEST_F(TextOutput, UnderlineAndStrikeOutSpanTheTextInsideTheCell) {
    HFONT lined = CreateFontA(-13, 0, 0, 0, FW_NORMAL, 0, TRUE, TRUE, 0, 0, 0, 0, 0, "Arial");
    SelectObject(dc(), lined);
    GetTextMetricsA(dc(), &tm);
    SetBkMode(dc(), TRANSPARENT);
    TextOutA(dc(), 10, 10, "a  b", 4);
    const int cx = width("a  b");
    std::vector<int> fullRows;
    for (int y = 0; y < canvas.height(); ++y) {
        int ink = 0;
        for (int x = 0; x < canvas.width(); ++x) {
            ink += canvas.at(x, y) != korutil::test::kWhite;
        }
        if (ink == cx) {
            fullRows.push_back(y);
        }
    }
    ASSERT_EQ(2u, fullRows.size()) << canvas.picture("lines");
    const int baseline = 10 + tm.tmAscent;
    EXPECT_LT(fullRows[0], baseline) << "strike-out above the baseline";
    EXPECT_GE(fullRows[1], baseline) << "underline below it";
    EXPECT_LT(fullRows[1], 10 + tm.tmHeight);
    canvas.picture("lines");
    SelectObject(dc(), font);
    DeleteObject(lined);
}

TEST_F(TextOutput, BadInputFailsCleanly) {
    SetLastError(0);
    EXPECT_FALSE(TextOutA(dc(), 0, 0, "abc", -1));
    EXPECT_FALSE(TextOutA(dc(), 0, 0, nullptr, 3));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(ExtTextOutA(dc(), 0, 0, 0, nullptr, "abc", 0x80000000u, nullptr));
    EXPECT_TRUE(TextOutA(dc(), 0, 0, nullptr, 0));
    EXPECT_FALSE(TextOutA(nullptr, 0, 0, "abc", 3));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SIZE size{-1, -1};
    EXPECT_FALSE(GetTextExtentPoint32A(dc(), "abc", 3, nullptr));
    EXPECT_FALSE(GetTextExtentPointA(dc(), "abc", -1, &size));
    EXPECT_FALSE(GetTextExtentPoint32A(dc(), nullptr, 2, &size));
    EXPECT_TRUE(GetTextExtentPoint32A(dc(), nullptr, 0, &size));
    EXPECT_EQ("0 0", std::to_string(size.cx) + " " + std::to_string(size.cy));

    // Far-away positions and huge spacing draw nothing here and overflow nothing.
    canvas.fill();
    SetTextAlign(dc(), TA_CENTER | TA_BOTTOM);
    const INT huge[] = {INT_MAX, INT_MAX, INT_MIN};
    EXPECT_TRUE(ExtTextOutA(dc(), INT_MAX, INT_MIN, 0, nullptr, "abc", 3, huge));
    EXPECT_TRUE(TextOutA(dc(), INT_MIN, INT_MAX, "abc", 3));
    EXPECT_EQ("0,0,0,0", str(canvas.drawn()));
    // From the current position (0, 0) the cell runs far past the canvas; the position then
    // stops at the largest coordinate, from where nothing shows.
    SetTextAlign(dc(), TA_LEFT | TA_UPDATECP);
    EXPECT_TRUE(ExtTextOutA(dc(), 0, 0, 0, nullptr, "abc", 3, huge));
    EXPECT_EQ(str(RECT{0, 0, 200, tm.tmHeight}), str(filled()));
    canvas.fill();
    EXPECT_TRUE(ExtTextOutA(dc(), 0, 0, 0, nullptr, "abc", 3, huge));
    EXPECT_EQ("0,0,0,0", str(canvas.drawn()));
    // A long text measures without overflow.
    const std::string many(200000, 'W');
    EXPECT_TRUE(GetTextExtentPoint32A(dc(), many.data(), static_cast<int>(many.size()), &size));
    EXPECT_EQ(200000LL * width("W"), size.cx);
    HDC gone = CreateCompatibleDC(nullptr);
    DeleteDC(gone);
    EXPECT_FALSE(TextOutA(gone, 0, 0, "abc", 3));
}

} // namespace
