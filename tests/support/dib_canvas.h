// A DIB section selected into a memory context of its own, so that drawing tests write and
// read its pixels directly and save it as a picture when they fail; and the geometry model of
// blits that those tests check drawing against.
#pragma once

#include <korutil/platform.h>

#include "support/pictures.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace korutil::test {

class DibCanvas {
public:
    // Top-down unless `bottomUp`; `colors` is the colour table of 1 to 8-bit formats.
    DibCanvas(int width, int height, int bitCount = 32, const std::vector<RGBQUAD>& colors = {},
              bool bottomUp = false)
        : m_width(width), m_height(height), m_stride((width * bitCount + 31) / 32 * 4),
          m_bottomUp(bottomUp) {
        std::vector<std::uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
        const BITMAPINFOHEADER header{sizeof header,
                                      width,
                                      bottomUp ? height : -height,
                                      1,
                                      static_cast<WORD>(bitCount),
                                      BI_RGB,
                                      0,
                                      0,
                                      0,
                                      static_cast<DWORD>(colors.size()),
                                      0};
        std::memcpy(info.data(), &header, sizeof header);
        for (std::size_t i = 0; i < colors.size(); ++i) {
            std::memcpy(info.data() + sizeof header + 4 * i, &colors[i], 4);
        }
        void* bits = nullptr;
        m_bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(info.data()),
                                    DIB_RGB_COLORS, &bits, nullptr, 0);
        m_bits = static_cast<std::uint8_t*>(bits);
        m_old = SelectObject(m_dc, m_bitmap);
    }
    ~DibCanvas() {
        SelectObject(m_dc, m_old);
        DeleteDC(m_dc);
        DeleteObject(m_bitmap);
    }
    DibCanvas(const DibCanvas&) = delete;
    DibCanvas& operator=(const DibCanvas&) = delete;

    HDC dc() const { return m_dc; }
    HBITMAP bitmap() const { return m_bitmap; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    // Row y from the top, whatever the order in memory.
    std::uint8_t* row(int y) const {
        return m_bits + (m_bottomUp ? m_height - 1 - y : y) * m_stride;
    }
    // 32-bit canvases: the pixel value at (x, y).
    std::uint32_t& at(int x, int y) const { return reinterpret_cast<std::uint32_t*>(row(y))[x]; }
    void fill(std::uint32_t value) const {
        for (int i = 0; i < m_width * m_height; ++i) {
            at(i % m_width, i / m_width) = value;
        }
    }
    std::string picture(const std::string& label) const {
        return pictureOnFailure(m_bitmap, label);
    }

private:
    int m_width, m_height, m_stride;
    bool m_bottomUp;
    std::uint8_t* m_bits = nullptr;
    HDC m_dc = CreateCompatibleDC(nullptr);
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
};

// One side of a blit along one axis: a negative extent runs from its start pixel towards
// lower coordinates.
struct Extent {
    long long low, length;
    bool mirrored;
};
inline Extent extentOf(long long start, long long extent) {
    return extent < 0 ? Extent{start + extent + 1, -extent, true} : Extent{start, extent, false};
}

// The source coordinate (0 to srcSize - 1) that destination coordinate v samples at its
// centre, mirrored where the extents' signs differ; -1 when there is none.
inline long long sampled(long long v, Extent dest, Extent src, int srcSize) {
    if (v < dest.low || v >= dest.low + dest.length || src.length == 0) {
        return -1;
    }
    const long long j = (2 * (v - dest.low) + 1) * src.length / (2 * dest.length);
    const long long s = src.low + (dest.mirrored != src.mirrored ? src.length - 1 - j : j);
    return s >= 0 && s < srcSize ? s : -1;
}

} // namespace korutil::test
