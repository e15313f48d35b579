#include "frame/heap.h"
#include "support/res_image.h"

#include <korutil/ui.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using korutil::test::ResImage;

constexpr COLORREF kBlack = RGB(0, 0, 0), kDark = RGB(128, 128, 128), kLight = RGB(192, 192, 192),
                   kWhite = RGB(255, 255, 255), kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255),
                   kDarkRed = RGB(128, 0, 0), kGreen = RGB(0, 255, 0);

// What a bitmap shows, row by row.
std::vector<COLORREF> colorsOf(HBITMAP bitmap) {
    BITMAP size{};
    GetObjectA(bitmap, sizeof(size), &size);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    std::vector<COLORREF> out;
    for (int y = 0; y < size.bmHeight; ++y) {
        for (int x = 0; x < size.bmWidth; ++x) {
            out.push_back(GetPixel(dc, x, y));
        }
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    return out;
}

std::vector<COLORREF> load(const char* name, int silhouette, int black = COLOR_BTNTEXT,
                           int dark = COLOR_BTNSHADOW, int light = COLOR_BTNFACE,
                           int white = COLOR_BTNHIGHLIGHT, HINSTANCE module = nullptr) {
    HBITMAP bitmap = LoadSysColorBitmap(module, name, silhouette, black, dark, light, white);
    if (!bitmap) {
        return {};
    }
    std::vector<COLORREF> colors = colorsOf(bitmap);
    DeleteObject(bitmap);
    return colors;
}

std::vector<COLORREF> twice(std::vector<COLORREF> row) {
    std::vector<COLORREF> both = row;
    both.insert(both.end(), row.begin(), row.end());
    return both;
}

// Sets the four button colours for one test and puts the standard ones back.
class Scheme {
public:
    Scheme(COLORREF text, COLORREF shadow, COLORREF face, COLORREF highlight) {
        const COLORREF values[4] = {text, shadow, face, highlight};
        for (int i = 0; i < 4; ++i) {
            m_saved[i] = GetSysColor(kIndices[i]);
        }
        SetSysColors(4, kIndices, values);
    }
    ~Scheme() { SetSysColors(4, kIndices, m_saved); }

private:
    static constexpr INT kIndices[4] = {COLOR_BTNTEXT, COLOR_BTNSHADOW, COLOR_BTNFACE,
                                        COLOR_BTNHIGHLIGHT};
    COLORREF m_saved[4];
};

TEST(LoadSysColorBitmap, TheGreysShowTheChosenColoursAndTheRestStays) {
    const std::vector<COLORREF> keys{kBlack, kDark, kLight, kWhite, kRed, kBlue, kDarkRed, kGreen};
    EXPECT_EQ(load("keys", 0), twice(keys)) << "the standard scheme keeps the look";

    const COLORREF text = RGB(10, 20, 30), shadow = RGB(40, 50, 60), face = RGB(70, 80, 90),
                   highlight = RGB(100, 110, 120);
    Scheme scheme(text, shadow, face, highlight);
    EXPECT_EQ(load("keys", 0),
              twice({text, shadow, face, highlight, kRed, kBlue, kDarkRed, kGreen}));
    EXPECT_EQ(load("keys", 1),
              twice({shadow, shadow, face, shadow, shadow, shadow, shadow, shadow}))
        << "a silhouette: the face colour where light grey was, the shadow elsewhere";
    // Any four system colours; each call sets all four again.
    EXPECT_EQ(load("keys", 0, COLOR_WINDOW, COLOR_BTNFACE, COLOR_HIGHLIGHT, COLOR_BTNTEXT),
              twice({GetSysColor(COLOR_WINDOW), face, GetSysColor(COLOR_HIGHLIGHT), text, kRed,
                     kBlue, kDarkRed, kGreen}));
    EXPECT_EQ(load("keys", 0)[0], text);
}

TEST(LoadSysColorBitmap, ReadsOtherDepthsAndTopDownRows) {
    const Scheme scheme(RGB(1, 2, 3), RGB(4, 5, 6), RGB(7, 8, 9), RGB(10, 11, 12));
    const COLORREF text = RGB(1, 2, 3), shadow = RGB(4, 5, 6), face = RGB(7, 8, 9),
                   highlight = RGB(10, 11, 12);
    EXPECT_EQ(load("mono", 0),
              (std::vector<COLORREF>{text, highlight, text, highlight, text, highlight, text,
                                     highlight, highlight, highlight, highlight, highlight, text,
                                     text, text, text}));
    const std::vector<COLORREF> eight{text, shadow, face, highlight, kRed, text, text, text};
    EXPECT_EQ(load("eight", 0), twice(eight));
    std::vector<COLORREF> topdown{text, shadow, face, highlight, kRed, kBlue, kDarkRed, kGreen};
    for (COLORREF c : {kRed, kRed, kRed, kRed, text, text, text, text}) {
        topdown.push_back(c);
    }
    EXPECT_EQ(load("topdown", 0), topdown);
}

#if !defined(_WIN32)
// Damaged pictures come in as resources registered at run time, a call of the Linux layer.

// A 4-bit picture of 3 by 2 pixels: header, 16 colours, two rows of 4 bytes.
std::vector<unsigned char> picture(DWORD headerSize = 40, WORD bits = 4, DWORD compression = 0,
                                   DWORD colorsUsed = 0, LONG width = 3, LONG height = 2) {
    std::vector<unsigned char> data(headerSize + 64 + 8, 0);
    BITMAPINFOHEADER h{};
    h.biSize = headerSize;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = bits;
    h.biCompression = compression;
    h.biClrUsed = colorsUsed;
    std::memcpy(data.data(), &h, headerSize < sizeof(h) ? headerSize : sizeof(h));
    return data;
}

TEST(LoadSysColorBitmap, RefusesPicturesItCannotReadWhole) {
    const HMODULE module = reinterpret_cast<HMODULE>(0x3000);
    auto loads = [&](const std::vector<unsigned char>& data) {
        ResImage image;
        image.record("#2", "#1", data);
        PlatRegisterResources(module, image.bytes().data(),
                              static_cast<DWORD>(image.bytes().size()));
        HBITMAP bitmap = LoadSysColorBitmap(module, MAKEINTRESOURCEA(1), 0, COLOR_BTNTEXT,
                                            COLOR_BTNSHADOW, COLOR_BTNFACE, COLOR_BTNHIGHLIGHT);
        PlatUnregisterResources(module);
        DeleteObject(bitmap);
        return bitmap != nullptr;
    };
    const std::vector<unsigned char> sound = picture();
    ASSERT_TRUE(loads(sound));
    for (std::size_t cut = 0; cut < sound.size(); ++cut) {
        EXPECT_FALSE(loads(std::vector<unsigned char>(sound.begin(), sound.begin() + cut)))
            << "cut to " << cut << " bytes";
    }
    EXPECT_TRUE(loads(picture(124))) << "a later header form";
    EXPECT_FALSE(loads(picture(12))) << "the old core header";
    EXPECT_FALSE(loads(picture(64)));
    EXPECT_FALSE(loads(picture(40, 24)));
    EXPECT_FALSE(loads(picture(40, 4, BI_RLE4)));
    EXPECT_FALSE(loads(picture(40, 4, 0, 17))) << "more colours than the depth holds";
    EXPECT_FALSE(loads(picture(40, 4, 0, 0, 0, 2)));
    EXPECT_FALSE(loads(picture(40, 4, 0, 0, 3, 0)));
    EXPECT_FALSE(loads(picture(40, 4, 0, 0, 0x7FFFFFFF, 0x7FFFFFFF)));

    EXPECT_TRUE(load("nothing by this name", 0).empty());
    korutil::detail::HeapFailureScope refuse(1);
    EXPECT_TRUE(load("keys", 0).empty()) << "no memory for the private colour table";
}
#endif

} // namespace
