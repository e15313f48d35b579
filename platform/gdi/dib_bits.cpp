#include "gdi/convert.h"
#include "gdi/dc.h"
#include "gdi/dib.h"

#include <korutil/platform/errors.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

using namespace korutil::detail;

// Scan lines are counted from the bottom of the picture, whatever its row order, and the
// bitmap's bottom row is scan line 0; the buffer holds scan lines start to start + lines - 1
// in the picture's row order. hdc only matters for DIB_PAL_COLORS, which is refused.

namespace {

int refuse() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

BitmapObject* findBitmap(HBITMAP hbm) {
    BitmapObject* bitmap = findObjectAs<BitmapObject>(hbm, GdiKind::Bitmap);
    return bitmap && bitmap->surface ? bitmap : nullptr;
}

// How many scan lines from `start` both the picture and the bitmap have, at most `lines`.
int scanCount(UINT start, UINT lines, int pictureRows, int bitmapRows) {
    const long long rows = std::min(pictureRows, bitmapRows);
    if (start >= rows) {
        return 0;
    }
    return static_cast<int>(std::min<long long>(lines, rows - start));
}

// The header-only query: the bitmap's own format, without colour table.
void describeBitmap(const Surface& surface, LPBITMAPINFO info, DWORD size) {
    if (size == sizeof(BITMAPCOREHEADER)) {
        BITMAPCOREHEADER core{static_cast<DWORD>(size), static_cast<WORD>(surface.width()),
                              static_cast<WORD>(surface.height()), 1,
                              static_cast<WORD>(surface.bitsPerPixel())};
        std::memcpy(info, &core, sizeof core);
        return;
    }
    BITMAPINFOHEADER h{};
    h.biSize = size;
    h.biWidth = surface.width();
    h.biHeight = surface.height();
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(surface.bitsPerPixel());
    h.biCompression =
        surface.bitsPerPixel() >= 16 && surface.bitsPerPixel() != 24 ? BI_BITFIELDS : BI_RGB;
    h.biSizeImage = static_cast<DWORD>(surface.byteSize());
    std::memcpy(info, &h, sizeof h);
}

// Fills in the colour table or masks of the format the caller asked for: the bitmap's own
// where it has that depth, else the defaults (5-6-5 for 16-bit masks); and the image size.
void completeFormat(const Surface& surface, LPBITMAPINFO info, DibInfo& format) {
    auto* bytes = reinterpret_cast<std::uint8_t*>(info);
    if (format.bitCount <= 8) {
        format.colors = surface.bitsPerPixel() == format.bitCount ? surface.colors()
                                                                  : defaultColors(format.bitCount);
        format.colors.resize(std::size_t{1} << format.bitCount);
        const bool core = format.headerSize == sizeof(BITMAPCOREHEADER);
        const std::size_t entrySize = core ? 3 : sizeof(RGBQUAD);
        for (std::size_t i = 0; i < format.colors.size(); ++i) {
            std::memcpy(bytes + format.headerSize + i * entrySize, &format.colors[i], entrySize);
        }
    } else if (format.compression == BI_BITFIELDS) {
        const DWORD rgb565[3] = {0xF800, 0x07E0, 0x001F};
        if (surface.bitsPerPixel() == format.bitCount) {
            std::memcpy(format.masks, surface.masks(), sizeof format.masks);
        } else if (format.bitCount == 16) {
            std::memcpy(format.masks, rgb565, sizeof format.masks);
        }
        std::memcpy(bytes + sizeof(BITMAPINFOHEADER), format.masks, sizeof format.masks);
    }
    if (format.headerSize != sizeof(BITMAPCOREHEADER)) {
        format.header.biSizeImage = static_cast<DWORD>(format.stride * format.height);
        format.header.biClrUsed = 0;
        std::memcpy(bytes, &format.header, sizeof format.header);
    }
}

} // namespace

extern "C" int WINAPI SetDIBits(HDC, HBITMAP hbm, UINT start, UINT cLines, const void* lpBits,
                                const BITMAPINFO* lpbmi, UINT ColorUse) {
    return failOnBadAlloc<int>(0, [&]() -> int {
        DibInfo format;
        if (!readDibInfo(lpbmi, ColorUse, format)) {
            return 0;
        }
        UiLock lock(uiMutex());
        BitmapObject* bitmap = findBitmap(hbm);
        if (!bitmap || !lpBits) {
            return refuse();
        }
        Surface& surface = *bitmap->surface;
        const int lines = scanCount(start, cLines, format.height, format.height);
        if (lines == 0) {
            return 0;
        }
        std::shared_ptr<Surface> picture = wrapDib(format, lpBits, lines);
        if (!picture) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        ValueConverter convert;
        convert.prepare(*picture, surface);
        const int width = std::min(format.width, surface.width());
        std::vector<std::uint32_t> values(static_cast<std::size_t>(width));
        for (int k = 0; k < lines; ++k) {
            const long long scan = static_cast<long long>(start) + lines - 1 - k;
            const long long row = surface.height() - 1 - scan;
            if (row >= 0) {
                convert.read(0, k, width, values.data());
                surface.writeRow(0, static_cast<int>(row), width, values.data());
            }
        }
        surface.addDamageAll();
        return lines;
    });
}

// With lpvBits null: biBitCount 0 asks for the bitmap's format (header only); otherwise the
// colour table or masks of the asked format are filled in.
extern "C" int WINAPI GetDIBits(HDC, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits,
                                LPBITMAPINFO lpbmi, UINT usage) {
    if (!lpbmi || usage != DIB_RGB_COLORS) {
        return refuse();
    }
    return failOnBadAlloc<int>(0, [&]() -> int {
        UiLock lock(uiMutex());
        BitmapObject* bitmap = findBitmap(hbm);
        if (!bitmap) {
            return refuse();
        }
        const Surface& surface = *bitmap->surface;
        DWORD size = 0;
        std::memcpy(&size, lpbmi, sizeof size);
        WORD bitCount = 0;
        std::memcpy(&bitCount,
                    reinterpret_cast<const std::uint8_t*>(lpbmi) +
                        (size == sizeof(BITMAPCOREHEADER) ? offsetof(BITMAPCOREHEADER, bcBitCount)
                                                          : offsetof(BITMAPINFOHEADER, biBitCount)),
                    sizeof bitCount);
        if (!lpvBits && bitCount == 0) {
            if (!knownDibHeaderSize(size) ||
                (size == sizeof(BITMAPCOREHEADER) &&
                 (surface.width() > 0xFFFF || surface.height() > 0xFFFF))) {
                return refuse();
            }
            describeBitmap(surface, lpbmi, size);
            return 1;
        }
        DibInfo format;
        if (!readDibFormat(lpbmi, format)) {
            return 0;
        }
        completeFormat(surface, lpbmi, format);
        if (!lpvBits) {
            return 1;
        }
        const int lines = scanCount(start, cLines, format.height, surface.height());
        if (lines == 0) {
            return 0;
        }
        std::shared_ptr<Surface> picture = wrapDib(format, lpvBits, lines);
        if (!picture) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        ValueConverter convert;
        convert.prepare(surface, *picture);
        const int width = std::min(format.width, surface.width());
        std::vector<std::uint32_t> values(static_cast<std::size_t>(width));
        for (int k = 0; k < lines; ++k) {
            const long long scan = static_cast<long long>(start) + lines - 1 - k;
            std::memset(picture->row(k), 0, static_cast<std::size_t>(format.stride));
            convert.read(0, static_cast<int>(surface.height() - 1 - scan), width, values.data());
            picture->writeRow(0, k, width, values.data());
        }
        return lines;
    });
}
