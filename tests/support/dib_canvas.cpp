#include "support/dib_canvas.h"

#include "support/pictures.h"

#include <gtest/gtest.h>

#include <cstring>

namespace korutil::test {

DibCanvas::DibCanvas(int width, int height, int bitCount, const std::vector<RGBQUAD>& colors,
                     bool bottomUp)
    : m_width(width), m_height(height), m_stride((width * bitCount + 31) / 32 * 4),
      m_bottomUp(bottomUp) {
    std::vector<std::uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = bottomUp ? height : -height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bitCount);
    header.biClrUsed = static_cast<DWORD>(colors.size());
    std::memcpy(info.data(), &header, sizeof header);
    if (!colors.empty()) {
        std::memcpy(info.data() + sizeof header, colors.data(), colors.size() * sizeof(RGBQUAD));
    }
    void* bits = nullptr;
    m_bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS,
                                &bits, nullptr, 0);
    EXPECT_NE(nullptr, m_bitmap);
    m_bits = static_cast<std::uint8_t*>(bits);
    m_dc = CreateCompatibleDC(nullptr);
    m_old = SelectObject(m_dc, m_bitmap);
}

DibCanvas::~DibCanvas() {
    SelectObject(m_dc, m_old);
    DeleteDC(m_dc);
    DeleteObject(m_bitmap);
}

std::uint8_t* DibCanvas::row(int y) const {
    return m_bits + static_cast<std::ptrdiff_t>(m_bottomUp ? m_height - 1 - y : y) * m_stride;
}

std::uint32_t& DibCanvas::at(int x, int y) const {
    return reinterpret_cast<std::uint32_t*>(row(y))[x];
}

void DibCanvas::fill(std::uint32_t value) const {
    for (int y = 0; y < m_height; ++y) {
        for (int x = 0; x < m_width; ++x) {
            at(x, y) = value;
        }
    }
}

std::string DibCanvas::picture(const std::string& label) const {
    return pictureOnFailure(m_bitmap, label);
}

} // namespace korutil::test
