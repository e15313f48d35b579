// Fuzz entry point for device-independent bitmap headers: the input is a BITMAPINFO with its
// pixel bits after it. Every call gets exactly the bytes that a caller of the header's layout
// would hand over (header, masks or colour table, the rows it declares), each in a buffer of
// its own, so that any read past them shows; a refused header must be refused everywhere.
// Built for libFuzzer when clang is there, and run over a fixed corpus in the test suite.
#include <korutil/platform.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

template <class T> T field(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    T value;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Short inputs read as if zeros followed.
    std::vector<std::uint8_t> input(data, data + size);
    input.resize(std::max<std::size_t>(size, 124));
    const auto headerSize = field<DWORD>(input, 0);
    const bool core = headerSize == sizeof(BITMAPCOREHEADER);
    if (headerSize > 124 || (!core && headerSize < sizeof(BITMAPINFOHEADER))) {
        return 0;
    }
    // The layout the header declares, read the way a caller builds it.
    const long long width = core ? field<WORD>(input, 4) : field<LONG>(input, 4);
    const long long height = core ? field<WORD>(input, 6) : field<LONG>(input, 8);
    const int bits = core ? field<WORD>(input, 10) : field<WORD>(input, 14);
    const DWORD compression = core ? BI_RGB : field<DWORD>(input, 16);
    const DWORD used = core ? 0 : field<DWORD>(input, 32);
    const long long colours = bits > 8 ? 0 : used ? used : 1LL << bits;
    const long long infoSize = headerSize +
                               (headerSize == 40 && compression == BI_BITFIELDS ? 12 : 0) +
                               colours * (core ? 3 : 4);
    const long long rows = height < 0 ? -height : height;
    const long long stride = width > 0 && bits > 0 ? (width * bits + 31) / 32 * 4 : 0;
    if (infoSize > 1 << 16 || rows > 1 << 16 || stride > 1 << 20 || stride * rows > 1 << 20) {
        return 0; // beyond what the fuzzer can hand over
    }
    std::vector<std::uint8_t> info(static_cast<std::size_t>(infoSize));
    std::copy_n(input.begin(), std::min(info.size(), input.size()), info.begin());
    const std::size_t after = std::min(info.size(), input.size());
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride * rows));
    std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(after),
                std::min(pixels.size(), input.size() - after), pixels.begin());
    const auto* bmi = reinterpret_cast<const BITMAPINFO*>(info.data());
    const auto lines = static_cast<UINT>(rows);

    void* sectionBits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, bmi, DIB_RGB_COLORS, &sectionBits, nullptr, 0);
    if (section) {
        DIBSECTION ds{};
        GetObjectA(section, sizeof ds, &ds);
        std::memset(sectionBits, 0x5A, ds.dsBmih.biSizeImage); // every byte is the caller's
        DeleteObject(section);
    }
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP target = CreateBitmap(16, 16, 1, 32, nullptr);
    HGDIOBJ old = SelectObject(dc, target);
    const int w = static_cast<int>(std::clamp(width, 0LL, 64LL)),
              h = static_cast<int>(std::min(rows, 64LL));
    const int results[] = {
        SetDIBits(dc, target, 0, lines, pixels.data(), bmi, DIB_RGB_COLORS),
        StretchDIBits(dc, 0, 0, 16, 16, 0, 0, w, h, pixels.data(), bmi, DIB_RGB_COLORS, SRCCOPY),
        StretchDIBits(dc, 15, 15, -7, -5, w - 1, 0, -w, h, pixels.data(), bmi, DIB_RGB_COLORS,
                      SRCINVERT),
        SetDIBitsToDevice(dc, 0, 0, w, h, 0, 0, 0, lines, pixels.data(), bmi, DIB_RGB_COLORS),
    };
    // A header refused by one call is refused by all of them.
    const bool accepted = section != nullptr;
    for (int result : results) {
        if (accepted != (result != 0) && w > 0 && h > 0) {
            __builtin_trap();
        }
    }
    // GetDIBits fills in the colour table, for which a caller leaves room for 256 entries.
    std::vector<std::uint8_t> request(info);
    request.resize(std::max<std::size_t>(request.size(), headerSize + 1024));
    GetDIBits(dc, target, 0, lines, pixels.data(), reinterpret_cast<BITMAPINFO*>(request.data()),
              DIB_RGB_COLORS);
    SelectObject(dc, old);
    DeleteObject(target);
    DeleteDC(dc);
    return 0;
}
