// The raster calls of the graphics layer on a 1024 by 768 32-bit area: BitBlt SRCCOPY beside
// memcpy of the same bytes, other raster operations beside SRCCOPY, stretching both ways,
// StretchDIBits of a 4-bit picture, FillRect.
#include <korutil/platform.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int kW = 1024, kH = 768;

// A top-down 32-bit DIB section in a memory context of its own.
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

void bytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kW * kH * 4);
}

void BM_Memcpy(benchmark::State& state) {
    std::vector<std::uint32_t> from(kW * kH, 1), to(kW * kH);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size() * 4);
        benchmark::ClobberMemory();
    }
    bytes(state);
}
BENCHMARK(BM_Memcpy);

void BM_BitBlt(benchmark::State& state) {
    const Area source, dest;
    SelectObject(dest.dc(), GetStockObject(GRAY_BRUSH));
    const auto rop = static_cast<DWORD>(state.range(0));
    for (auto _ : state) {
        BitBlt(dest.dc(), 0, 0, kW, kH, source.dc(), 0, 0, rop);
    }
    bytes(state);
}
BENCHMARK(BM_BitBlt)->ArgName("rop")->Arg(SRCCOPY)->Arg(SRCAND)->Arg(SRCINVERT)->Arg(0xB8074A);

void BM_StretchBlt(benchmark::State& state) {
    const bool up = state.range(0) != 0;
    const Area source(up ? kW / 2 : kW, up ? kH / 2 : kH), dest(up ? kW : kW / 2, up ? kH : kH / 2);
    SetStretchBltMode(dest.dc(), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        StretchBlt(dest.dc(), 0, 0, up ? kW : kW / 2, up ? kH : kH / 2, source.dc(), 0, 0,
                   up ? kW / 2 : kW, up ? kH / 2 : kH, SRCCOPY);
    }
    bytes(state);
}
BENCHMARK(BM_StretchBlt)
    ->ArgNames({"up", "mode"})
    ->Args({1, COLORONCOLOR})
    ->Args({0, COLORONCOLOR})
    ->Args({0, HALFTONE});

void BM_StretchDIBits4Bit(benchmark::State& state) {
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
    for (auto _ : state) {
        StretchDIBits(dest.dc(), 0, 0, kW, kH, 0, 0, kW, kH, bits.data(),
                      reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS, SRCCOPY);
    }
    bytes(state);
}
BENCHMARK(BM_StretchDIBits4Bit);

void BM_FillRect(benchmark::State& state) {
    const Area dest;
    HBRUSH brush = CreateSolidBrush(RGB(10, 200, 30));
    const RECT all{0, 0, kW, kH};
    for (auto _ : state) {
        FillRect(dest.dc(), &all, brush);
    }
    DeleteObject(brush);
    bytes(state);
}
BENCHMARK(BM_FillRect);

} // namespace

BENCHMARK_MAIN();
