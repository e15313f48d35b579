// Fonts: the metrics agree with each other and with the glyphs drawn, faces map as promised,
// styles and qualities show in the pixels, and bad input fails cleanly.
#include <korutil/platform.h>

#include "support/canvas.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

using korutil::test::Canvas;
using korutil::test::SelectedFont;

TEST(Fonts, HeightSignRuleAndMetricsAgree) {
    Canvas canvas(4, 4);
    for (const char* face : {"Arial", "Times New Roman", "Courier New", "Verdana", ""}) {
        for (int height : {-8, -11, -12, -13, -20, -37, 0, 9, 16, 25, 40}) {
            SCOPED_TRACE(std::string(face) + " " + std::to_string(height));
            SelectedFont font(canvas.dc(), height, face);
            const TEXTMETRICA tm = canvas.metrics();
            EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
            const int asked = height == 0 ? 16 : height; // 0 asks for the default cell
            EXPECT_EQ(asked < 0 ? -asked : asked,
                      asked < 0 ? tm.tmHeight - tm.tmInternalLeading : tm.tmHeight);
            EXPECT_TRUE(tm.tmInternalLeading >= 0 && tm.tmExternalLeading >= 0);
            EXPECT_TRUE(tm.tmAveCharWidth > 0 && tm.tmMaxCharWidth >= tm.tmAveCharWidth);
            // TMPF_FIXED_PITCH is set for variable pitch.
            const bool fixed = std::strcmp(face, "Courier New") == 0;
            EXPECT_EQ(fixed ? 0 : TMPF_FIXED_PITCH, tm.tmPitchAndFamily & TMPF_FIXED_PITCH);
            EXPECT_EQ(TMPF_TRUETYPE | TMPF_VECTOR, tm.tmPitchAndFamily & 0x0E);
            EXPECT_EQ(fixed, canvas.textWidth("iiii") == canvas.textWidth("WWWW"));
            SIZE size{};
            GetTextExtentPoint32A(canvas.dc(), "x", 1, &size);
            EXPECT_EQ(tm.tmHeight, size.cy);
        }
    }
    SelectedFont font(canvas.dc(), -12, "Arial", FW_BOLD, TRUE);
    const TEXTMETRICA tm = canvas.metrics();
    EXPECT_EQ("30 255 31 32 96 700 255",
              std::to_string(tm.tmFirstChar) + " " + std::to_string(tm.tmLastChar) + " " +
                  std::to_string(tm.tmDefaultChar) + " " + std::to_string(tm.tmBreakChar) + " " +
                  std::to_string(tm.tmDigitizedAspectX) + " " + std::to_string(tm.tmWeight) + " " +
                  std::to_string(tm.tmItalic));
}

TEST(Fonts, FaceNamesMapToMetricCompatibleFamilies) {
    const struct {
        const char* asked;
        DWORD pitch;
        const char* face;
        int family;
    } cases[] = {
        {"Arial", 0, "Liberation Sans", FF_SWISS},
        {"helvetica", 0, "Liberation Sans", FF_SWISS},
        {"MS Shell Dlg 2", 0, "Liberation Sans", FF_SWISS},
        {"Times New Roman", 0, "Liberation Serif", FF_ROMAN},
        {"Courier", 0, "Liberation Mono", FF_MODERN},
        {"Fixedsys", 0, "Liberation Mono", FF_MODERN},
        {"Verdana", 0, "DejaVu Sans", FF_SWISS},
        {"", FIXED_PITCH, "Liberation Mono", FF_MODERN},
        {"No Such Face", FF_ROMAN, "Liberation Serif", FF_ROMAN},
        {"", 0, "Liberation Sans", FF_SWISS},
    };
    Canvas canvas(4, 4);
    for (const auto& c : cases) {
        SelectedFont font(canvas.dc(), -12, c.asked, FW_NORMAL, 0, DEFAULT_QUALITY, c.pitch);
        char name[LF_FACESIZE] = {};
        EXPECT_EQ(static_cast<int>(std::strlen(c.face)), GetTextFaceA(canvas.dc(), 32, name));
        EXPECT_STREQ(c.face, name) << c.asked;
        EXPECT_EQ(c.family, canvas.metrics().tmPitchAndFamily & 0xF0) << c.asked;
    }
    // Without a buffer the size counts the terminator; a short buffer gets a cut name.
    EXPECT_EQ(16, GetTextFaceA(canvas.dc(), 0, nullptr));
    char cut[8] = "xxxxxxx";
    EXPECT_EQ(2, GetTextFaceA(canvas.dc(), 3, cut));
    EXPECT_STREQ("Li", cut);
}

// Random texts of whole and broken UTF-8: the extent is the sum of the pieces' extents plus
// the character extra once per character; each malformed byte is one default character.
TEST(Fonts, ExtentIsTheSumOfAdvancesAndCharacterExtra) {
    const char* const pieces[] = {"a",
                                  "W",
                                  " ",
                                  "\xC3\xA9",
                                  "\xD0\x96",
                                  "\xE2\x82\xAC",
                                  "\xFF",
                                  "\x81",
                                  "\xED\xA0\x80",
                                  "\xF0\x9F\x98\x80"};
    const int characters[] = {1, 1, 1, 1, 1, 1, 1, 1, 3, 1};
    Canvas canvas(4, 4);
    SelectedFont font(canvas.dc(), -13, "Arial");
    EXPECT_EQ(canvas.textWidth("\x1F"), canvas.textWidth("\xFF"));
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        const int extra = static_cast<int>(random() % 6) - 1;
        std::string text;
        long long expected = 0;
        SetTextCharacterExtra(canvas.dc(), 0);
        for (int n = static_cast<int>(random() % 12); n > 0; --n) {
            const std::size_t piece = random() % std::size(pieces);
            expected += canvas.textWidth(pieces[piece]) + extra * characters[piece];
            text += pieces[piece];
        }
        SetTextCharacterExtra(canvas.dc(), extra);
        EXPECT_EQ(expected, canvas.textWidth(text)) << text;
    }
}

TEST(Fonts, BoldIsBolderItalicIsSlantedAndQualityChoosesTheLevels) {
    Canvas canvas(220, 56);
    // The ink of a word, and how far right the ink of a stroke's top half lies of its bottom's.
    auto measure = [&](double& slant) {
        canvas.fill();
        TextOutA(canvas.dc(), 4, 2, "Hamburgefonstiv", 15);
        TextOutA(canvas.dc(), 4, 30, "l", 1);
        long long ink = 0;
        double sum[2] = {0, 0}, weight[2] = {0, 0};
        for (int y = 0; y < canvas.height(); ++y) {
            for (int x = 0; x < canvas.width(); ++x) {
                const int dark = 255 - GetGValue(canvas.at(x, y));
                ink += y < 30 ? dark : 0;
                sum[y < 38] += y >= 30 ? static_cast<double>(dark) * x : 0;
                weight[y < 38] += y >= 30 ? dark : 0;
            }
        }
        slant = sum[1] / weight[1] - sum[0] / weight[0];
        return ink;
    };
    for (const char* face : {"Arial", "Times New Roman", "Verdana"}) {
        auto in = [&](int weight, BYTE italic, double& slant) {
            SelectedFont font(canvas.dc(), -20, face, weight, italic);
            return measure(slant);
        };
        double upright = 0, slanted = 0, unused = 0;
        const long long plain = in(FW_NORMAL, 0, upright);
        EXPECT_GT(in(FW_BOLD, 0, unused), plain * 5 / 4) << face;
        in(FW_NORMAL, TRUE, slanted);
        EXPECT_NEAR(0.0, upright, 0.3) << face;
        EXPECT_GT(slanted, 0.8) << face << canvas.picture(face);
        canvas.picture(face);
    }
    // Bilevel glyphs have no grey; a monochrome surface gets the bilevel glyphs of a
    // grey-scale font at the same places.
    auto draw = [](Canvas& on, DWORD quality) {
        SelectedFont font(on.dc(), -15, "Arial", FW_NORMAL, 0, quality);
        SetTextAlign(on.dc(), TA_BASELINE);
        TextOutA(on.dc(), 2, 16, "Quality 0123", 12);
    };
    auto grey = [](COLORREF c) { return c != RGB(0, 0, 0) && c != korutil::test::kWhite; };
    Canvas bilevel(110, 22), smooth(110, 22), mono(110, 22, 1);
    draw(bilevel, NONANTIALIASED_QUALITY);
    draw(smooth, DEFAULT_QUALITY);
    draw(mono, ANTIALIASED_QUALITY);
    EXPECT_EQ("0,0,0,0", korutil::test::str(bilevel.box(grey))) << bilevel.picture("bilevel");
    EXPECT_NE("0,0,0,0", korutil::test::str(smooth.box(grey))) << smooth.picture("grey");
    EXPECT_EQ(0, mono.differences(bilevel)) << mono.picture("mono");
    // Grey-scale ink mixes the text colour into what lies below: each pixel of (200, 0, 0)
    // over (0, 0, 100) is a * (200, 0, 0) + (1 - a) * (0, 0, 100).
    smooth.fill(RGB(0, 0, 100));
    SetTextColor(smooth.dc(), RGB(200, 0, 0));
    SetBkMode(smooth.dc(), TRANSPARENT);
    draw(smooth, DEFAULT_QUALITY);
    EXPECT_EQ("0,0,0,0", korutil::test::str(smooth.box([](COLORREF c) {
                  return GetGValue(c) != 0 ||
                         std::abs(GetRValue(c) * 100 + GetBValue(c) * 200 - 20000) > 200;
              })))
        << smooth.picture("mix");
    smooth.picture("grey");
    mono.picture("mono");
}

TEST(Fonts, GlyphInkStaysInsideTheCell) {
    const std::string text = "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
                             "abcdefghijklmnopqrstuvwxyz{|}~\xC3\x80\xC3\x85\xC3\x87\xC3\x89\xC3"
                             "\x91\xC3\x96\xC3\x9C\xC3\x9F\xC3\xA5\xC3\xA7\xC3\xB1\xC3\xBF";
    Canvas canvas(1500, 50);
    for (const std::string face : {"Arial", "Times New Roman", "Courier New", "Verdana"}) {
        for (int height : {-11, -16, 33}) {
            SelectedFont font(canvas.dc(), height, face.c_str());
            const TEXTMETRICA tm = canvas.metrics();
            canvas.fill();
            SetBkMode(canvas.dc(), TRANSPARENT);
            TextOutA(canvas.dc(), 8, 8, text.data(), static_cast<int>(text.size()));
            const RECT ink = canvas.drawn();
            EXPECT_TRUE(ink.top >= 8 && ink.bottom <= 8 + tm.tmHeight && ink.left >= 8 &&
                        ink.right <= 9 + canvas.textWidth(text))
                << face << height << " " << korutil::test::str(ink) << canvas.picture(face);
            canvas.picture(face + std::to_string(height));
        }
    }
}

TEST(Fonts, StockFontsAndBadInput) {
    Canvas canvas(40, 40);
    SelectObject(canvas.dc(), GetStockObject(SYSTEM_FONT));
    TEXTMETRICA tm = canvas.metrics();
    EXPECT_EQ(16, tm.tmHeight);
    EXPECT_EQ(7, tm.tmAveCharWidth);
    SetLastError(0);
    EXPECT_EQ(nullptr, CreateFontIndirectA(nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(GetTextMetricsA(canvas.dc(), nullptr));
    EXPECT_FALSE(GetTextMetricsA(reinterpret_cast<HDC>(0x1234), &tm));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(0, GetTextFaceA(nullptr, 32, nullptr));
    // Absurd sizes are clamped: the font works and stays of a sane size.
    for (int height : {INT_MIN, INT_MAX, -100000, 1}) {
        for (int width : {INT_MIN, 0, 100000}) {
            SelectedFont font(canvas.dc(), height, "Arial", FW_NORMAL, 0, 0, 0, width);
            tm = canvas.metrics();
            EXPECT_TRUE(tm.tmHeight > 0 && tm.tmHeight <= 2048 && tm.tmMaxCharWidth <= 4096);
            EXPECT_TRUE(TextOutA(canvas.dc(), -5, -100, "W\xC3\xA9", 3));
        }
    }
    // Face names are cut to 31 bytes, never inside a character ("\xC3\xA9" is one).
    const std::string name = "xxxxxxxxxxxx\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
                             "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9";
    HFONT font = CreateFontA(-12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, name.c_str());
    LOGFONTA lf{};
    ASSERT_EQ(static_cast<int>(sizeof lf), GetObjectA(font, sizeof lf, &lf));
    EXPECT_EQ(name.substr(0, 30), lf.lfFaceName);
    DeleteObject(font);
}

} // namespace
