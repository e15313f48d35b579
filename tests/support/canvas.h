// A memory context drawing on a bitmap of its own, for drawing tests: white to start with,
// pixels read back as colours, boxes of what was drawn, and a picture on failure.
#pragma once

#include <korutil/platform.h>

#include <string>

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
    COLORREF at(int x, int y) const { return GetPixel(m_dc, x, y); }

    // The bounding box of the pixels whose colour passes `keep` (all zero when none), and
    // how many they are.
    template <class Keep> RECT box(Keep keep) const {
        RECT r{m_width, m_height, 0, 0};
        for (int y = 0; y < m_height; ++y) {
            for (int x = 0; x < m_width; ++x) {
                if (keep(at(x, y))) {
                    r = RECT{x < r.left ? x : r.left, y < r.top ? y : r.top,
                             x >= r.right ? x + 1 : r.right, y >= r.bottom ? y + 1 : r.bottom};
                }
            }
        }
        return r.right > r.left ? r : RECT{0, 0, 0, 0};
    }
    template <class Keep> int count(Keep keep) const {
        int n = 0;
        for (int y = 0; y < m_height; ++y) {
            for (int x = 0; x < m_width; ++x) {
                n += keep(at(x, y)) ? 1 : 0;
            }
        }
        return n;
    }
    // Everything that is not white.
    RECT drawn() const {
        return box([](COLORREF c) { return c != kWhite; });
    }

    // pictureOnFailure of the bitmap.
    std::string picture(const std::string& label) const;

private:
    HDC m_dc;
    HBITMAP m_bitmap;
    HGDIOBJ m_old;
    int m_width;
    int m_height;
};

// "left,top,right,bottom", for comparing rectangles in expectations.
std::string str(const RECT& r);

} // namespace korutil::test
