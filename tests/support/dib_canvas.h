// A DIB section selected into a memory context of its own, so that drawing tests can write
// and read its pixels directly and save it as a picture when they fail.
#pragma once

#include <korutil/platform.h>

#include <cstdint>
#include <string>
#include <vector>

namespace korutil::test {

class DibCanvas {
public:
    // Top-down unless `bottomUp`; `colors` is the colour table of 1 to 8-bit formats.
    DibCanvas(int width, int height, int bitCount = 32, const std::vector<RGBQUAD>& colors = {},
              bool bottomUp = false);
    ~DibCanvas();
    DibCanvas(const DibCanvas&) = delete;
    DibCanvas& operator=(const DibCanvas&) = delete;

    HDC dc() const { return m_dc; }
    HBITMAP bitmap() const { return m_bitmap; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    // Row y from the top, whatever the order in memory.
    std::uint8_t* row(int y) const;
    // 32-bit canvases: the pixel value at (x, y).
    std::uint32_t& at(int x, int y) const;
    void fill(std::uint32_t value) const;
    // The failure note of pictureOnFailure.
    std::string picture(const std::string& label) const;

private:
    int m_width;
    int m_height;
    int m_stride;
    bool m_bottomUp;
    std::uint8_t* m_bits = nullptr;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
};

} // namespace korutil::test
