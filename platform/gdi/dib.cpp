#include "gdi/dib.h"

#include <korutil/platform/errors.h>

#include <cstdint>
#include <cstring>

namespace korutil::detail {
namespace {

bool refuse() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
}

// A channel mask is one run of bits inside the pixel.
bool soundMask(DWORD mask, int bitCount) {
    if (mask == 0 || (bitCount == 16 && mask > 0xFFFF)) {
        return false;
    }
    const DWORD run = mask / (mask & (~mask + 1));
    return (run & (run + 1)) == 0;
}

bool readHeader(const BITMAPINFO* info, DibInfo& out) {
    if (!info) {
        return refuse();
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(info);
    DWORD size = 0;
    std::memcpy(&size, bytes, sizeof size);
    BITMAPINFOHEADER h{};
    if (size == sizeof(BITMAPCOREHEADER)) {
        BITMAPCOREHEADER core;
        std::memcpy(&core, bytes, sizeof core);
        if (core.bcBitCount != 1 && core.bcBitCount != 4 && core.bcBitCount != 8 &&
            core.bcBitCount != 24) {
            return refuse();
        }
        h.biSize = size;
        h.biWidth = core.bcWidth;
        h.biHeight = core.bcHeight;
        h.biPlanes = core.bcPlanes;
        h.biBitCount = core.bcBitCount;
        h.biCompression = BI_RGB;
    } else if (knownDibHeaderSize(size)) {
        std::memcpy(&h, bytes, sizeof h);
    } else {
        return refuse();
    }
    switch (h.biBitCount) {
    case 1:
    case 4:
    case 8:
    case 24:
        if (h.biCompression != BI_RGB) {
            return refuse();
        }
        break;
    case 16:
    case 32:
        if (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS) {
            return refuse();
        }
        break;
    default:
        return refuse();
    }
    if (h.biPlanes != 1 || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) {
        return refuse();
    }
    const long long rows = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
    const long long stride = Surface::strideFor(h.biWidth, h.biBitCount);
    if (stride > INT32_MAX / rows) {
        return refuse();
    }
    out.headerSize = size;
    out.width = h.biWidth;
    out.height = static_cast<int>(rows);
    out.topDown = h.biHeight < 0;
    out.bitCount = h.biBitCount;
    out.compression = h.biCompression;
    out.stride = stride;
    out.header = h;
    const DWORD defaults[2][3] = {{0x7C00, 0x03E0, 0x001F}, {0xFF0000, 0x00FF00, 0x0000FF}};
    if (out.bitCount >= 16) {
        std::memcpy(out.masks, defaults[out.bitCount == 16 ? 0 : 1], sizeof out.masks);
    }
    return true;
}

RGBQUAD quad(BYTE red, BYTE green, BYTE blue) {
    return RGBQUAD{blue, green, red, 0};
}

std::vector<RGBQUAD> standardSixteen() {
    return {quad(0, 0, 0),       quad(128, 0, 0),   quad(0, 128, 0),   quad(128, 128, 0),
            quad(0, 0, 128),     quad(128, 0, 128), quad(0, 128, 128), quad(192, 192, 192),
            quad(128, 128, 128), quad(255, 0, 0),   quad(0, 255, 0),   quad(255, 255, 0),
            quad(0, 0, 255),     quad(255, 0, 255), quad(0, 255, 255), quad(255, 255, 255)};
}

std::vector<RGBQUAD> defaultTwoFiftySix() {
    const std::vector<RGBQUAD> sixteen = standardSixteen();
    std::vector<RGBQUAD> table(sixteen.begin(), sixteen.begin() + 8);
    table.push_back(quad(192, 220, 192));
    table.push_back(quad(166, 202, 240));
    for (int r = 0; r < 6; ++r) {
        for (int g = 0; g < 6; ++g) {
            for (int b = 0; b < 6; ++b) {
                table.push_back(quad(static_cast<BYTE>(r * 51), static_cast<BYTE>(g * 51),
                                     static_cast<BYTE>(b * 51)));
            }
        }
    }
    for (int i = 1; i <= 20; ++i) {
        const auto grey = static_cast<BYTE>(i * 255 / 21);
        table.push_back(quad(grey, grey, grey));
    }
    table.push_back(quad(255, 251, 240));
    table.push_back(quad(160, 160, 164));
    table.insert(table.end(), sixteen.begin() + 8, sixteen.end());
    return table;
}

} // namespace

bool knownDibHeaderSize(DWORD size) {
    return size == sizeof(BITMAPCOREHEADER) || size == 40 || size == 52 || size == 56 ||
           size == 108 || size == 124;
}

bool readDibFormat(const BITMAPINFO* info, DibInfo& out) {
    return readHeader(info, out);
}

bool readDibInfo(const BITMAPINFO* info, UINT usage, DibInfo& out) {
    if (!readHeader(info, out)) {
        return false;
    }
    if ((usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS) ||
        (out.bitCount <= 8 && usage != DIB_RGB_COLORS)) {
        return refuse();
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(info);
    if (out.compression == BI_BITFIELDS) {
        // After a BITMAPINFOHEADER, or inside the later headers: at offset 40 either way.
        std::memcpy(out.masks, bytes + sizeof(BITMAPINFOHEADER), sizeof out.masks);
        for (DWORD mask : out.masks) {
            if (!soundMask(mask, out.bitCount)) {
                return refuse();
            }
        }
        if ((out.masks[0] & out.masks[1]) || (out.masks[0] & out.masks[2]) ||
            (out.masks[1] & out.masks[2])) {
            return refuse();
        }
    }
    if (out.bitCount <= 8) {
        const DWORD full = 1u << out.bitCount;
        const bool core = out.headerSize == sizeof(BITMAPCOREHEADER);
        const DWORD used = out.header.biClrUsed;
        const DWORD count = !core && used != 0 && used < full ? used : full;
        const std::size_t entrySize = core ? 3 : sizeof(RGBQUAD);
        out.colors.assign(full, RGBQUAD{0, 0, 0, 0});
        const std::uint8_t* table = bytes + out.headerSize;
        for (DWORD i = 0; i < count; ++i) {
            const std::uint8_t* entry = table + i * entrySize;
            out.colors[i] = RGBQUAD{entry[0], entry[1], entry[2], 0};
        }
    }
    return true;
}

void applyFormat(const DibInfo& format, Surface& surface) {
    if (format.bitCount <= 8) {
        surface.colors() = format.colors;
    } else {
        surface.setMasks(format.masks[0], format.masks[1], format.masks[2]);
    }
}

std::shared_ptr<Surface> wrapDib(const DibInfo& format, const void* bits, int rows) {
    std::shared_ptr<Surface> surface =
        Surface::wrap(static_cast<std::uint8_t*>(const_cast<void*>(bits)), format.width, rows,
                      format.bitCount, !format.topDown, static_cast<int>(format.stride));
    if (surface) {
        applyFormat(format, *surface);
    }
    return surface;
}

const std::vector<RGBQUAD>& defaultColors(int bitCount) {
    static const std::vector<RGBQUAD> two = {quad(0, 0, 0), quad(255, 255, 255)};
    static const std::vector<RGBQUAD> sixteen = standardSixteen();
    static const std::vector<RGBQUAD> many = defaultTwoFiftySix();
    return bitCount == 1 ? two : bitCount == 4 ? sixteen : many;
}

} // namespace korutil::detail
