// The raster rows of bench/gdi_bench.cpp in the cross harness, so that scripts/bench-wine.sh
// compares them with Wine's graphics in one run: BitBlt with four raster operations,
// StretchBlt both ways, StretchDIBits of a 4-bit picture, FillRect, on 1024 by 768 32-bit
// DIB sections; memcpy of the same bytes for scale.
#include "harness.h"

#include <korutil/platform.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int kW = 1024, kH = 768;

class Area {
public:
    Area(int w = kW, int h = kH) {
        BITMAPINFO info{};
        info.bmiHeader =
            BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        m_bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &m_bits, nullptr, 0);
        m_old = SelectObject(m_dc, m_bitmap);
        auto* pixels = static_cast<std::uint32_t*>(m_bits);
        for (int i = 0; i < w * h; ++i) {
            pixels[i] = static_cast<std::uint32_t>(i) * 2654435761u;
        }
    }
    ~Area() {
        SelectObject(m_dc, m_old);
        DeleteDC(m_dc);
        DeleteObject(m_bitmap);
    }
    HDC dc() const { return m_dc; }

private:
    HDC m_dc = CreateCompatibleDC(nullptr);
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
    void* m_bits = nullptr;
};

void blit(crossbench::Loop& loop, DWORD rop) {
    const Area source, dest;
    SelectObject(dest.dc(), GetStockObject(GRAY_BRUSH));
    while (loop.next()) {
        BitBlt(dest.dc(), 0, 0, kW, kH, source.dc(), 0, 0, rop);
    }
}

void stretch(crossbench::Loop& loop, bool up, int mode) {
    const int sw = up ? kW / 2 : kW, sh = up ? kH / 2 : kH, dw = up ? kW : kW / 2,
              dh = up ? kH : kH / 2;
    const Area source(sw, sh), dest(dw, dh);
    SetStretchBltMode(dest.dc(), mode);
    while (loop.next()) {
        StretchBlt(dest.dc(), 0, 0, dw, dh, source.dc(), 0, 0, sw, sh, SRCCOPY);
    }
}

} // namespace

CROSS_BENCH(RasterMemcpy) {
    std::vector<std::uint32_t> from(kW * kH, 1), to(kW * kH);
    volatile std::uint32_t sink = 0;
    while (loop.next()) {
        std::memcpy(to.data(), from.data(), from.size() * 4);
        sink = sink + to[0];
    }
}

CROSS_BENCH(RasterBitBltSrcCopy) {
    blit(loop, SRCCOPY);
}

CROSS_BENCH(RasterBitBltSrcAnd) {
    blit(loop, SRCAND);
}

CROSS_BENCH(RasterBitBltSrcInvert) {
    blit(loop, SRCINVERT);
}

CROSS_BENCH(RasterBitBltRare) {
    blit(loop, 0xB8074A);
}

CROSS_BENCH(RasterStretchBltUp) {
    stretch(loop, true, COLORONCOLOR);
}

CROSS_BENCH(RasterStretchBltDown) {
    stretch(loop, false, COLORONCOLOR);
}

CROSS_BENCH(RasterStretchBltDownHalftone) {
    stretch(loop, false, HALFTONE);
}

CROSS_BENCH(RasterStretchDIBits4Bit) {
    const Area dest;
    std::vector<std::uint8_t> info(sizeof(BITMAPINFOHEADER) + 16 * 4);
    const BITMAPINFOHEADER header{sizeof header, kW, kH, 1, 4, BI_RGB, 0, 0, 0, 16, 0};
    std::memcpy(info.data(), &header, sizeof header);
    for (int i = 0; i < 64; ++i) {
        info[sizeof header + i] = static_cast<std::uint8_t>(i * 37);
    }
    std::vector<std::uint8_t> bits(kW / 2 * kH);
    for (std::size_t i = 0; i < bits.size(); ++i) {
        bits[i] = static_cast<std::uint8_t>(i * 7 + i / 512);
    }
    while (loop.next()) {
        StretchDIBits(dest.dc(), 0, 0, kW, kH, 0, 0, kW, kH, bits.data(),
                      reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS, SRCCOPY);
    }
}

CROSS_BENCH(RasterFillRect) {
    const Area dest;
    HBRUSH brush = CreateSolidBrush(RGB(10, 200, 30));
    const RECT all{0, 0, kW, kH};
    while (loop.next()) {
        FillRect(dest.dc(), &all, brush);
    }
    DeleteObject(brush);
}
