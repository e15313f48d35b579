#include "gdi/surface.h"
#include "kernel/no_throw.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace korutil::detail {
namespace {

int lowestBit(DWORD mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1u) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

int bitCount(DWORD mask) {
    int count = 0;
    for (; mask != 0; mask &= mask - 1) {
        ++count;
    }
    return count;
}

// Widens a channel of `bits` bits to 8 by repeating its high bits, so that full scale stays full.
BYTE widen(std::uint32_t channel, int bits) {
    if (bits <= 0) {
        return 0;
    }
    if (bits >= 8) {
        return static_cast<BYTE>(channel >> (bits - 8));
    }
    std::uint32_t out = 0;
    int filled = 0;
    while (filled < 8) {
        out = (out << bits) | channel;
        filled += bits;
    }
    return static_cast<BYTE>(out >> (filled - 8));
}

} // namespace

long long Surface::strideFor(int width, int bitsPerPixel) {
    if (width <= 0 || bitsPerPixel <= 0) {
        return -1;
    }
    const long long bitsPerRow = static_cast<long long>(width) * bitsPerPixel;
    return ((bitsPerRow + 31) / 32) * 4;
}

namespace {

constexpr std::size_t kStaggerFrom = 64 * 1024;

bool validDepth(int bitsPerPixel) {
    switch (bitsPerPixel) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        return true;
    default:
        return false;
    }
}

} // namespace

std::shared_ptr<Surface> Surface::create(int width, int height, int bitsPerPixel, bool bottomUp) {
    if (!validDepth(bitsPerPixel)) {
        return nullptr;
    }
    const long long stride = strideFor(width, bitsPerPixel);
    if (stride <= 0 || height <= 0 || stride > kMaxBytes / height) {
        return nullptr;
    }
    // Large blocks start at one of 64 cache-line offsets in turn: when the rows of two
    // surfaces lie at one offset within the page, a blit of one onto the other stalls the
    // processor on its loads after stores (4K aliasing), at half speed or worse.
    const auto size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    static std::atomic<unsigned> nextOffset{0};
    const std::size_t offset = size >= kStaggerFrom ? (nextOffset++ % 64) * 64 : 0;
    auto* block = static_cast<std::uint8_t*>(std::calloc(size + offset, 1));
    if (!block) {
        return nullptr;
    }
    std::shared_ptr<Surface> surface =
        wrap(block + offset, width, height, bitsPerPixel, bottomUp, static_cast<int>(stride));
    if (!surface) {
        std::free(block);
        return nullptr;
    }
    surface->m_block = block;
    return surface;
}

std::shared_ptr<Surface> Surface::wrap(std::uint8_t* bits, int width, int height, int bitsPerPixel,
                                       bool bottomUp, int stride) {
    // Null also when the object, its control block or its colour table cannot be had.
    return failOnBadAlloc(std::shared_ptr<Surface>(), [&] {
        std::shared_ptr<Surface> surface(new Surface);
        surface->m_bits = bits;
        surface->m_width = width;
        surface->m_height = height;
        surface->m_bpp = bitsPerPixel;
        surface->m_stride = stride;
        surface->m_bottomUp = bottomUp;
        if (bitsPerPixel == 1) {
            surface->m_colors = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
        } else if (bitsPerPixel <= 8) {
            surface->m_colors.assign(std::size_t{1} << bitsPerPixel, RGBQUAD{0, 0, 0, 0});
        } else if (bitsPerPixel == 16) {
            surface->setMasks(0x7C00, 0x03E0, 0x001F);
        } else {
            surface->setMasks(0xFF0000, 0x00FF00, 0x0000FF);
        }
        return surface;
    });
}

std::shared_ptr<Surface> Surface::clone() const {
    std::shared_ptr<Surface> copy = create(m_width, m_height, m_bpp, m_bottomUp);
    if (copy) {
        std::memcpy(copy->m_bits, m_bits, byteSize());
        copy->m_colors = m_colors;
        copy->setMasks(m_masks[0], m_masks[1], m_masks[2]);
    }
    return copy;
}

Surface::~Surface() {
    std::free(m_block);
}

void Surface::setMasks(DWORD red, DWORD green, DWORD blue) {
    const DWORD masks[3] = {red, green, blue};
    for (int i = 0; i < 3; ++i) {
        m_masks[i] = masks[i];
        m_shift[i] = lowestBit(masks[i]);
        m_width3[i] = bitCount(masks[i]);
    }
    m_plainRgb =
        m_bpp == 24 || (m_bpp == 32 && red == 0xFF0000 && green == 0x00FF00 && blue == 0x0000FF);
}

std::uint32_t Surface::pixel(int x, int y) const {
    const std::uint8_t* p = row(y);
    switch (m_bpp) {
    case 32: {
        std::uint32_t v;
        std::memcpy(&v, p + static_cast<std::ptrdiff_t>(x) * 4, 4);
        return v;
    }
    case 24: {
        const std::uint8_t* q = p + static_cast<std::ptrdiff_t>(x) * 3;
        return q[0] | (q[1] << 8) | (static_cast<std::uint32_t>(q[2]) << 16);
    }
    case 16: {
        const std::uint8_t* q = p + static_cast<std::ptrdiff_t>(x) * 2;
        return q[0] | (q[1] << 8);
    }
    case 8:
        return p[x];
    case 4:
        return (x & 1) ? (p[x >> 1] & 0x0F) : (p[x >> 1] >> 4);
    default:
        return (p[x >> 3] >> (7 - (x & 7))) & 1u;
    }
}

void Surface::setPixel(int x, int y, std::uint32_t value) {
    std::uint8_t* p = row(y);
    switch (m_bpp) {
    case 32:
        std::memcpy(p + static_cast<std::ptrdiff_t>(x) * 4, &value, 4);
        break;
    case 24: {
        std::uint8_t* q = p + static_cast<std::ptrdiff_t>(x) * 3;
        q[0] = static_cast<std::uint8_t>(value);
        q[1] = static_cast<std::uint8_t>(value >> 8);
        q[2] = static_cast<std::uint8_t>(value >> 16);
        break;
    }
    case 16: {
        std::uint8_t* q = p + static_cast<std::ptrdiff_t>(x) * 2;
        q[0] = static_cast<std::uint8_t>(value);
        q[1] = static_cast<std::uint8_t>(value >> 8);
        break;
    }
    case 8:
        p[x] = static_cast<std::uint8_t>(value);
        break;
    case 4: {
        std::uint8_t& b = p[x >> 1];
        b = (x & 1) ? static_cast<std::uint8_t>((b & 0xF0) | (value & 0x0F))
                    : static_cast<std::uint8_t>((b & 0x0F) | ((value & 0x0F) << 4));
        break;
    }
    default: {
        std::uint8_t& b = p[x >> 3];
        const std::uint8_t bit = static_cast<std::uint8_t>(0x80u >> (x & 7));
        b = (value & 1u) ? static_cast<std::uint8_t>(b | bit) : static_cast<std::uint8_t>(b & ~bit);
        break;
    }
    }
}

void Surface::readRow(int x, int y, int count, std::uint32_t* out) const {
    if (m_bpp == 32) {
        std::memcpy(out, row(y) + static_cast<std::ptrdiff_t>(x) * 4,
                    static_cast<std::size_t>(count) * 4);
        return;
    }
    for (int i = 0; i < count; ++i) {
        out[i] = pixel(x + i, y);
    }
}

void Surface::writeRow(int x, int y, int count, const std::uint32_t* in) {
    if (m_bpp == 32) {
        std::memcpy(row(y) + static_cast<std::ptrdiff_t>(x) * 4, in,
                    static_cast<std::size_t>(count) * 4);
        return;
    }
    for (int i = 0; i < count; ++i) {
        setPixel(x + i, y, in[i]);
    }
}

std::uint32_t Surface::valueOf(COLORREF color) const {
    const std::uint32_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    if (m_plainRgb) {
        return (r << 16) | (g << 8) | b;
    }
    if (m_bpp >= 16) {
        const std::uint32_t channels[3] = {r, g, b};
        std::uint32_t value = 0;
        for (int i = 0; i < 3; ++i) {
            const int bits = m_width3[i];
            const std::uint32_t cut =
                bits >= 8 ? channels[i] << (bits - 8) : channels[i] >> (8 - bits);
            value |= (cut << m_shift[i]) & m_masks[i];
        }
        return value;
    }
    std::uint32_t best = 0;
    long bestDistance = -1;
    for (std::size_t i = 0; i < m_colors.size(); ++i) {
        const long dr = static_cast<long>(m_colors[i].rgbRed) - static_cast<long>(r);
        const long dg = static_cast<long>(m_colors[i].rgbGreen) - static_cast<long>(g);
        const long db = static_cast<long>(m_colors[i].rgbBlue) - static_cast<long>(b);
        const long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<std::uint32_t>(i);
            if (distance == 0) {
                break;
            }
        }
    }
    return best;
}

COLORREF Surface::colorOf(std::uint32_t value) const {
    if (m_plainRgb) {
        return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
    }
    if (m_bpp >= 16) {
        BYTE channels[3];
        for (int i = 0; i < 3; ++i) {
            channels[i] = widen((value & m_masks[i]) >> m_shift[i], m_width3[i]);
        }
        return RGB(channels[0], channels[1], channels[2]);
    }
    if (value >= m_colors.size()) {
        return RGB(0, 0, 0);
    }
    const RGBQUAD& entry = m_colors[value];
    return RGB(entry.rgbRed, entry.rgbGreen, entry.rgbBlue);
}

void Surface::addDamage(const RECT& area) {
    const RECT clipped = intersect(area, RECT{0, 0, m_width, m_height});
    m_damage = unite(m_damage, clipped);
}

RECT Surface::takeDamage() {
    const RECT damage = m_damage;
    m_damage = RECT{0, 0, 0, 0};
    return damage;
}

} // namespace korutil::detail
