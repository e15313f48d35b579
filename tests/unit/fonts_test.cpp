// Fonts: the metrics agree with each other and with the glyphs drawn, faces map as promised,
// styles and qualities show in the pixels, and bad input fails cleanly.
#include <korutil/platform.h>

#include "support/canvas.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>

namespace {

using korutil::test::Canvas;

// A font selected into a context for the life of the object.
struct Selected {
    Selected(HDC dc, int height, const char* face, int weight = FW_NORMAL, BYTE italic = 0,
             DWORD quality = DEFAULT_QUALITY, DWORD pitch = DEFAULT_PITCH, int width = 0)
        : dc(dc), font(CreateFontA(height, width, 0, 0, weight, italic, 0, 0, ANSI_CHARSET, 0, 0,
                                   quality, pitch, face)),
          old(SelectObject(dc, font)) {}
    ~Selected() {
        SelectObject(dc, old);
        DeleteObject(font);
    }
    TEXTMETRICA metrics() const {
        TEXTMETRICA tm{};
        EXPECT_TRUE(GetTextMetricsA(dc, &tm));
        return tm;
    }
    HDC dc;
    HFONT font;
    HGDIOBJ old;
};

int extent(HDC dc, const std::string& text) {
    SIZE size{-1, -1};
    EXPECT_TRUE(GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &size));
    return size.cx;
}

int darkness(COLORREF c) {
    return 255 - GetGValue(c);
}

TEST(Fonts, HeightSignRuleAndMetricsAgree) {
    Canvas canvas(4, 4);
    for (const char* face : {"Arial", "Times New Roman", "Courier New", "Verdana", ""}) {
        for (int height : {-8, -11, -12, -13, -20, -37, 0, 9, 16, 25, 40}) {
            SCOPED_TRACE(std::string(face) + " " + std::to_string(height));
            Selected font(canvas.dc(), height, face);
            const TEXTMETRICA tm = font.metrics();
            EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
            if (height < 0) {
                EXPECT_EQ(-height, tm.tmHeight - tm.tmInternalLeading);
            } else {
                EXPECT_EQ(height == 0 ? 16 : height, tm.tmHeight);
            }
            EXPECT_GE(tm.tmInternalLeading, 0);
            EXPECT_GE(tm.tmExternalLeading, 0);
            EXPECT_GE(tm.tmMaxCharWidth, tm.tmAveCharWidth);
            EXPECT_GT(tm.tmAveCharWidth, 0);
            const bool fixed = std::strcmp(face, "Courier New") == 0;
            EXPECT_EQ(fixed ? 0 : TMPF_FIXED_PITCH, tm.tmPitchAndFamily & TMPF_FIXED_PITCH);
            EXPECT_EQ(TMPF_TRUETYPE | TMPF_VECTOR, tm.tmPitchAndFamily & 0x0E);
            if (fixed) {
                EXPECT_EQ(extent(canvas.dc(), "iiii"), extent(canvas.dc(), "WWWW"));
            }
            SIZE size{};
            GetTextExtentPoint32A(canvas.dc(), "x", 1, &size);
            EXPECT_EQ(tm.tmHeight, size.cy);
        }
    }
    Selected font(canvas.dc(), -12, "Arial", FW_BOLD, TRUE);
    const TEXTMETRICA tm = font.metrics();
    EXPECT_EQ("30 255 31 32 96 96 700 255",
              std::to_string(tm.tmFirstChar) + " " + std::to_string(tm.tmLastChar) + " " +
                  std::to_string(tm.tmDefaultChar) + " " + std::to_string(tm.tmBreakChar) + " " +
                  std::to_string(tm.tmDigitizedAspectX) + " " +
                  std::to_string(tm.tmDigitizedAspectY) + " " + std::to_string(tm.tmWeight) + " " +
                  std::to_string(tm.tmItalic));
}

TEST(Fonts, FaceNamesMapToMetricCompatibleFamilies) {
    struct Case {
        const char* asked;
        DWORD pitch;
        const char* face;
        int family;
    };
    const Case cases[] = {
        {"Arial", 0, "Liberation Sans", FF_SWISS},
        {"helvetica", 0, "Liberation Sans", FF_SWISS},
        {"MS Shell Dlg 2", 0, "Liberation Sans", FF_SWISS},
        {"System", 0, "Liberation Sans", FF_SWISS},
        {"Times New Roman", 0, "Liberation Serif", FF_ROMAN},
        {"Courier", 0, "Liberation Mono", FF_MODERN},
        {"Fixedsys", 0, "Liberation Mono", FF_MODERN},
        {"Verdana", 0, "DejaVu Sans", FF_SWISS},
        {"", FIXED_PITCH, "Liberation Mono", FF_MODERN},
        {"No Such Face", FF_ROMAN, "Liberation Serif", FF_ROMAN},
        {"", 0, "Liberation Sans", FF_SWISS},
    };
    Canvas canvas(4, 4);
    for (const Case& c : cases) {
        Selected font(canvas.dc(), -12, c.asked, FW_NORMAL, 0, DEFAULT_QUALITY, c.pitch);
        char name[LF_FACESIZE] = {};
        EXPECT_EQ(static_cast<int>(std::strlen(c.face)), GetTextFaceA(canvas.dc(), 32, name));
        EXPECT_STREQ(c.face, name) << c.asked;
        EXPECT_EQ(c.family, font.metrics().tmPitchAndFamily & 0xF0) << c.asked;
    }
    // The size asked without a buffer counts the terminator; a short buffer gets a cut name.
    EXPECT_EQ(16, GetTextFaceA(canvas.dc(), 0, nullptr));
    char cut[8] = "xxxxxxx";
    EXPECT_EQ(2, GetTextFaceA(canvas.dc(), 3, cut));
    EXPECT_STREQ("Li", cut);
    EXPECT_EQ(0, GetTextFaceA(canvas.dc(), 0, cut));
}

// Random texts of whole and broken UTF-8: the extent is the sum of the pieces' extents and the
// character extra once per character; each malformed byte is one default character.
TEST(Fonts, ExtentIsTheSumOfAdvancesAndCharacterExtra) {
    struct Piece {
        const char* text;
        int characters;
    };
    const Piece pieces[] = {
        {"a", 1},        {"W", 1},    {" ", 1},    {"\xC3\xA9", 1},     {"\xE2\x82\xAC", 1},
        {"\xD0\x96", 1}, {"\xFF", 1}, {"\x81", 1}, {"\xED\xA0\x80", 3}, {"\xF0\x9F\x98\x80", 1}};
    Canvas canvas(4, 4);
    Selected font(canvas.dc(), -13, "Arial");
    EXPECT_EQ(extent(canvas.dc(), "\x1F"), extent(canvas.dc(), "\xFF"));
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        const int extra = static_cast<int>(random() % 6) - 1;
        std::string text;
        long long expected = 0;
        for (int n = static_cast<int>(random() % 12); n > 0; --n) {
            const Piece& piece = pieces[random() % std::size(pieces)];
            SetTextCharacterExtra(canvas.dc(), 0);
            expected += extent(canvas.dc(), piece.text) + extra * piece.characters;
            text += piece.text;
        }
        SetTextCharacterExtra(canvas.dc(), extra);
        EXPECT_EQ(expected, extent(canvas.dc(), text)) << text;
    }
}

TEST(Fonts, BoldIsBolderAndItalicIsSlanted) {
    // How much ink a word has, and how far right the ink of a stroke's top half lies of that of
    // its bottom half.
    auto measure = [](Canvas& canvas, double& slant) {
        canvas.fill();
        TextOutA(canvas.dc(), 4, 2, "Hamburgefonstiv", 15);
        TextOutA(canvas.dc(), 4, 30, "l", 1);
        long long ink = 0;
        double sum[2] = {0, 0}, weight[2] = {0, 0};
        for (int y = 0; y < canvas.height(); ++y) {
            for (int x = 0; x < canvas.width(); ++x) {
                const int d = darkness(canvas.at(x, y));
                ink += y < 30 ? d : 0;
                if (y >= 30) {
                    sum[y < 38] += static_cast<double>(d) * x;
                    weight[y < 38] += d;
                }
            }
        }
        slant = sum[1] / weight[1] - sum[0] / weight[0];
        return ink;
    };
    Canvas canvas(220, 56);
    for (const char* face : {"Arial", "Times New Roman", "Verdana"}) {
        double plainSlant = 0, boldSlant = 0, italicSlant = 0;
        long long plain = 0, bold = 0;
        {
            Selected font(canvas.dc(), -20, face);
            plain = measure(canvas, plainSlant);
        }
        {
            Selected font(canvas.dc(), -20, face, FW_BOLD);
            bold = measure(canvas, boldSlant);
        }
        Selected font(canvas.dc(), -20, face, FW_NORMAL, TRUE);
        measure(canvas, italicSlant);
        EXPECT_GT(bold, plain * 5 / 4) << face << canvas.picture(face);
        EXPECT_NEAR(0.0, plainSlant, 0.3) << face;
        EXPECT_GT(italicSlant, 0.8) << face << canvas.picture(face);
        canvas.picture(face);
    }
}

TEST(Fonts, QualityChoosesBilevelOrGreyGlyphs) {
    auto draw = [](Canvas& canvas, DWORD quality) {
        Selected font(canvas.dc(), -15, "Arial", FW_NORMAL, 0, quality);
        SetTextAlign(canvas.dc(), TA_BASELINE);
        TextOutA(canvas.dc(), 2, 16, "Quality 0123", 12);
    };
    auto grey = [](COLORREF c) { return c != RGB(0, 0, 0) && c != korutil::test::kWhite; };
    Canvas bilevel(110, 22), smooth(110, 22), mono(110, 22, 1);
    draw(bilevel, NONANTIALIASED_QUALITY);
    draw(smooth, DEFAULT_QUALITY);
    draw(mono, ANTIALIASED_QUALITY);
    EXPECT_EQ(0, bilevel.count(grey)) << bilevel.picture("bilevel");
    EXPECT_GT(smooth.count(grey), 50) << smooth.picture("grey");
    // A monochrome surface gets the bilevel rendering of a grey-scale font, at the same places.
    for (int y = 0; y < 22; ++y) {
        for (int x = 0; x < 110; ++x) {
            ASSERT_EQ(bilevel.at(x, y), mono.at(x, y)) << x << "," << y << mono.picture("mono");
        }
    }
    bilevel.picture("bilevel");
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
            Selected font(canvas.dc(), height, face.c_str());
            const TEXTMETRICA tm = font.metrics();
            canvas.fill();
            SetBkMode(canvas.dc(), TRANSPARENT);
            TextOutA(canvas.dc(), 8, 8, text.data(), static_cast<int>(text.size()));
            const RECT ink = canvas.drawn();
            EXPECT_GE(ink.top, 8) << face << height;
            EXPECT_LE(ink.bottom, 8 + tm.tmHeight) << face << height;
            EXPECT_GE(ink.left, 8);
            EXPECT_LE(ink.right, 8 + extent(canvas.dc(), text) + 1) << face << height;
            canvas.picture(face + std::to_string(height));
        }
    }
}

TEST(Fonts, StockFontsAndBadInput) {
    Canvas canvas(40, 40);
    SelectObject(canvas.dc(), GetStockObject(SYSTEM_FONT));
    TEXTMETRICA tm{};
    ASSERT_TRUE(GetTextMetricsA(canvas.dc(), &tm));
    EXPECT_EQ("16 7 700", std::to_string(tm.tmHeight) + " " + std::to_string(tm.tmAveCharWidth) +
                              " " + std::to_string(tm.tmWeight));
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
            Selected font(canvas.dc(), height, "Arial", FW_NORMAL, 0, 0, 0, width);
            tm = font.metrics();
            EXPECT_GT(tm.tmHeight, 0);
            EXPECT_LE(tm.tmHeight, 2048);
            EXPECT_LE(tm.tmMaxCharWidth, 4096);
            EXPECT_TRUE(TextOutA(canvas.dc(), -5, -100, "W\xC3\xA9", 3));
        }
    }
    // Face names are cut to 31 bytes, never inside a character.
    LOGFONTA lf{};
    HFONT longName = CreateFontA(-12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                 std::string(20, 'A').append(std::string(20, 'B')).c_str());
    HFONT wideName = CreateFontA(-12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                 std::string(10, 'x')
                                     .append("\xC3\xA9\xC3\xA9\xC3\xA9\xC3"
                                             "\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
                                             "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9")
                                     .c_str());
    ASSERT_EQ(static_cast<int>(sizeof lf), GetObjectA(longName, sizeof lf, &lf));
    EXPECT_EQ(31u, std::strlen(lf.lfFaceName));
    GetObjectA(wideName, sizeof lf, &lf);
    EXPECT_EQ(30u, std::strlen(lf.lfFaceName));
    // A font deleted while selected stays usable there; its handle selects nowhere else.
    HGDIOBJ old = SelectObject(canvas.dc(), longName);
    EXPECT_TRUE(DeleteObject(longName));
    EXPECT_TRUE(GetTextMetricsA(canvas.dc(), &tm));
    Canvas other(4, 4);
    EXPECT_EQ(nullptr, SelectObject(other.dc(), longName));
    SelectObject(canvas.dc(), old);
    DeleteObject(wideName);
}

} // namespace
