// A surface is a block of pixels that drawing lands in: a bitmap's bits, a window's contents,
// the screen. It stores pixel values in its own format and converts colours to and from them.
// Callers hold the layer's lock (gdi/lock.h).
#pragma once

#include <korutil/platform/gdi.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace korutil::detail {

// Pixel values, as the drawing code computes with them:
// - 32 and 24 bits: 0xXXRRGGBB, the little-endian reading of the bytes blue, green, red (and
//   the reserved byte, which raster operations carry like any other bits);
// - 16 bits: the 16-bit value under the surface's masks (5-5-5 unless given otherwise);
// - 1 to 8 bits: the colour-table index.
class Surface {
public:
    // A zero-filled surface of 1, 4, 8, 16, 24 or 32 bits per pixel with rows aligned to four
    // bytes, as device-independent bitmaps lay them out. Null when a side is not positive, the
    // rows would take more than kMaxBytes, or memory is short. Surfaces of 1 bit get the
    // colour table black, white; of 4 and 8 bits an all-black table of 16 or 256 entries.
    static std::shared_ptr<Surface> create(int width, int height, int bitsPerPixel,
                                           bool bottomUp = false);

    // A surface over pixels that the caller owns and keeps alive for as long as the surface
    // lives (the bits of a device-independent bitmap handed to a call); rows lie `stride`
    // bytes apart. The format starts as create() sets it. Null when memory is short.
    static std::shared_ptr<Surface> wrap(std::uint8_t* bits, int width, int height,
                                         int bitsPerPixel, bool bottomUp, int stride);

    // A copy with its own pixels, colour table and masks; null when memory is short.
    std::shared_ptr<Surface> clone() const;

    // Bytes in one row for the width and depth (four-byte aligned); -1 when it overflows.
    static long long strideFor(int width, int bitsPerPixel);
    static constexpr long long kMaxBytes = 0x40000000; // 1 GiB

    int width() const { return m_width; }
    int height() const { return m_height; }
    int bitsPerPixel() const { return m_bpp; }
    int stride() const { return m_stride; }
    bool bottomUp() const { return m_bottomUp; }
    bool isMono() const { return m_bpp == 1; }
    std::size_t byteSize() const { return static_cast<std::size_t>(m_stride) * m_height; }

    // The first row in memory (the bottom row of a bottom-up surface).
    std::uint8_t* bits() { return m_bits; }
    const std::uint8_t* bits() const { return m_bits; }
    // Row y counted from the top, whatever the order in memory.
    std::uint8_t* row(int y) {
        return m_bits + static_cast<std::ptrdiff_t>(rowIndex(y)) * m_stride;
    }
    const std::uint8_t* row(int y) const {
        return m_bits + static_cast<std::ptrdiff_t>(rowIndex(y)) * m_stride;
    }

    // The colour table of a surface of 8 bits or fewer, at most 2^bits entries.
    std::vector<RGBQUAD>& colors() { return m_colors; }
    const std::vector<RGBQUAD>& colors() const { return m_colors; }
    // The red, green and blue masks of a 16, 24 or 32-bit surface.
    const DWORD* masks() const { return m_masks; }
    void setMasks(DWORD red, DWORD green, DWORD blue);
    // 24 bits, or 32 bits with the masks 0xFF0000, 0xFF00, 0xFF: a value's low three bytes
    // are the colour's blue, green and red.
    bool plainRgb() const { return m_plainRgb; }

    // x and y must lie inside the surface.
    std::uint32_t pixel(int x, int y) const;
    void setPixel(int x, int y, std::uint32_t value);
    // count pixels of row y from x, converted to and from pixel values; the span must lie inside.
    void readRow(int x, int y, int count, std::uint32_t* out) const;
    void writeRow(int x, int y, int count, const std::uint32_t* in);

    // The value that shows a colour: exact where the format holds it, otherwise the nearest
    // table entry (ties to the lower index) or the colour cut to the masks.
    std::uint32_t valueOf(COLORREF color) const;
    // The colour a pixel value shows. A table index past the table's end shows black.
    COLORREF colorOf(std::uint32_t value) const;
    // Mask of the bits a pixel value may have: 1 for 1 bit, 0xFFFFFFFF for 32 bits.
    std::uint32_t valueMask() const { return m_bpp >= 32 ? 0xFFFFFFFFu : (1u << m_bpp) - 1u; }

    // The area changed since the last takeDamage, in surface coordinates (empty if none). The
    // screen composition and a display mirror use it to copy only what changed.
    void addDamage(const RECT& area);
    void addDamageAll() { addDamage(RECT{0, 0, m_width, m_height}); }
    RECT takeDamage();
    bool damaged() const { return m_damage.right > m_damage.left; }

    ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

private:
    Surface() = default;
    int rowIndex(int y) const { return m_bottomUp ? m_height - 1 - y : y; }

    int m_width = 0;
    int m_height = 0;
    int m_bpp = 32;
    int m_stride = 0;
    bool m_bottomUp = false;
    std::uint8_t* m_bits = nullptr;
    std::uint8_t* m_block = nullptr; // the allocation holding m_bits; null for wrapped memory
    bool m_plainRgb = false;
    std::vector<RGBQUAD> m_colors;
    DWORD m_masks[3] = {0, 0, 0};
    int m_shift[3] = {0, 0, 0};  // position of each mask's lowest bit
    int m_width3[3] = {0, 0, 0}; // bits in each mask
    RECT m_damage{0, 0, 0, 0};
};

// Rectangle helpers for drawing code; rectangles are left/top inclusive, right/bottom exclusive.
inline bool isEmpty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}
inline RECT intersect(const RECT& a, const RECT& b) {
    RECT r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
           a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
    if (isEmpty(r)) {
        return RECT{0, 0, 0, 0};
    }
    return r;
}
inline RECT offset(const RECT& r, int dx, int dy) {
    return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}
inline RECT unite(const RECT& a, const RECT& b) {
    if (isEmpty(a)) {
        return b;
    }
    if (isEmpty(b)) {
        return a;
    }
    return RECT{a.left < b.left ? a.left : b.left, a.top < b.top ? a.top : b.top,
                a.right > b.right ? a.right : b.right, a.bottom > b.bottom ? a.bottom : b.bottom};
}
inline bool contains(const RECT& r, int x, int y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

} // namespace korutil::detail
