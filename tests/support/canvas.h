// Drawing tests: a memory context on a bitmap of its own (white to start with, pixels read
// back as colours, boxes of what was drawn, a picture on failure), and a font selected for a
// scope.
#pragma once

#include <korutil/platform.h>

#include <functional>
#include <string>
#include <vector>

namespace korutil::test {

constexpr COLORREF kWhite = RGB(255, 255, 255);

class Canvas {
public:
    // A bitmap of 1 or 32 bits per pixel.
    Canvas(int width, int height, UINT bitsPerPixel = 32);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return m_dc; }
    HBITMAP bitmap() const { return m_bitmap; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    void fill(COLORREF color = kWhite);
    // Starts again on a new, zero-filled (black) bitmap; the context keeps its state.
    void clear();
    // Every pixel row by row, whatever the context's clip.
    std::vector<COLORREF> pixels() const;
    COLORREF at(int x, int y) const { return GetPixel(m_dc, x, y); }
    // The bounding box of the pixels (in `within`, or anywhere) whose colour passes `keep`
    // (all zero when none); `drawn` keeps all but white, `boxOf` one colour.
    RECT box(const std::function<bool(COLORREF)>& keep, const RECT* within = nullptr) const;
    RECT drawn(const RECT* within = nullptr) const;
    RECT boxOf(COLORREF color) const;
    // Pixels whose colour differs from the same pixel of a canvas as large.
    int differences(const Canvas& other) const;
    // The extent of a text in the context's font.
    int textWidth(const std::string& text) const;
    TEXTMETRICA metrics() const;
    // pictureOnFailure of the bitmap.
    std::string picture(const std::string& label) const;

private:
    HDC m_dc;
    HBITMAP m_bitmap;
    HGDIOBJ m_old;
    int m_width;
    int m_height;
    UINT m_bits;
};

// Fails with `what` and the picture of what was drawn when `ok` is false.
bool checkDrawing(bool ok, const Canvas& canvas, const std::string& label, const std::string& what);

// CreateFontA's font, selected into a context until the end of the scope.
struct SelectedFont {
    SelectedFont(HDC dc, int height, const char* face, int weight = FW_NORMAL, BYTE italic = 0,
                 DWORD quality = DEFAULT_QUALITY, DWORD pitch = DEFAULT_PITCH, int width = 0,
                 BYTE lines = 0);
    ~SelectedFont();
    SelectedFont(const SelectedFont&) = delete;
    SelectedFont& operator=(const SelectedFont&) = delete;
    HDC dc;
    HFONT font;
    HGDIOBJ old;
};

// "left,top,right,bottom", for comparing rectangles in expectations.
std::string str(const RECT& r);

} // namespace korutil::test
