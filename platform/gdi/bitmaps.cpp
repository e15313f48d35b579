#include "gdi/dc.h"
#include "gdi/dib.h"

#include <korutil/platform/errors.h>

#include <cstring>

using namespace korutil::detail;

namespace {

// Device-dependent bits: rows from the top, each padded to a multiple of two bytes.
long long ddbRowBytes(long long width, int bitsPerPixel) {
    return (width * bitsPerPixel + 15) / 16 * 2;
}

HBITMAP stockBitmap() {
    BitmapObject* stock = defaultBitmap();
    if (!stock) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return static_cast<HBITMAP>(stock->handle);
}

HBITMAP addBitmap(const std::shared_ptr<Surface>& surface, const BITMAPINFOHEADER* dib) {
    if (!surface) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto bitmap = std::make_shared<BitmapObject>();
    bitmap->surface = surface;
    if (dib) {
        bitmap->dibSection = true;
        bitmap->dib = *dib;
    }
    HGDIOBJ handle = addObject(bitmap);
    if (!handle) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return static_cast<HBITMAP>(handle);
}

// A device-dependent bitmap of 1, 4, 8, 16, 24 or 32 bits; colour tables for 4 and 8 bits
// are the default ones. `bits` holds rows `rowBytes` apart.
HBITMAP newDdb(int width, int height, int bitsPerPixel, const void* bits, long long rowBytes) {
    if (ddbRowBytes(width, bitsPerPixel) > INT32_MAX / height) {
        SetLastError(ERROR_INVALID_BITMAP); // the size does not fit a bitmap's 32-bit size
        return nullptr;
    }
    std::shared_ptr<Surface> surface = Surface::create(width, height, bitsPerPixel);
    if (surface && bitsPerPixel > 1 && bitsPerPixel <= 8) {
        surface->colors() = defaultColors(bitsPerPixel);
    }
    if (surface && bits) {
        const auto* source = static_cast<const std::uint8_t*>(bits);
        const auto used = static_cast<std::size_t>(ddbRowBytes(width, bitsPerPixel));
        for (int y = 0; y < height; ++y) {
            std::memcpy(surface->row(y), source + static_cast<std::size_t>(rowBytes) * y, used);
        }
    }
    return addBitmap(surface, nullptr);
}

// Bit counts between the supported ones round up, as Windows does; more than 32 is refused.
int ddbDepth(UINT bitCount) {
    for (int depth : {1, 4, 8, 16, 24, 32}) {
        if (bitCount != 0 && bitCount <= static_cast<UINT>(depth)) {
            return depth;
        }
    }
    return 0;
}

// A DIB section's header as GetObject reports it: the height positive, the image size
// computed, the full colour table counted, 16-bit pixels always with masks.
BITMAPINFOHEADER sectionHeader(const Surface& surface, const BITMAPINFOHEADER& given,
                               DWORD compression) {
    BITMAPINFOHEADER h{};
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = surface.width();
    h.biHeight = surface.height();
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(surface.bitsPerPixel());
    h.biCompression = surface.bitsPerPixel() == 16 ? BI_BITFIELDS : compression;
    h.biSizeImage = static_cast<DWORD>(surface.byteSize());
    h.biXPelsPerMeter = given.biXPelsPerMeter;
    h.biYPelsPerMeter = given.biYPelsPerMeter;
    h.biClrUsed = surface.bitsPerPixel() <= 8 ? 1u << surface.bitsPerPixel() : 0;
    h.biClrImportant = given.biClrImportant;
    return h;
}

// One DIB section in the format of `model` (a DIB section) at another size.
HBITMAP sectionLike(const BitmapObject& model, int width, int height) {
    const Surface& like = *model.surface;
    std::shared_ptr<Surface> surface =
        Surface::create(width, height, like.bitsPerPixel(), like.bottomUp());
    if (!surface) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    surface->colors() = like.colors();
    surface->setMasks(like.masks()[0], like.masks()[1], like.masks()[2]);
    const BITMAPINFOHEADER header = sectionHeader(*surface, model.dib, model.dib.biCompression);
    return addBitmap(surface, &header);
}

BitmapObject* findBitmap(HBITMAP hbm) {
    BitmapObject* bitmap = findObjectAs<BitmapObject>(hbm, GdiKind::Bitmap);
    if (!bitmap || !bitmap->surface) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return bitmap;
}

} // namespace

// A width or height of 0 gives the stock 1 by 1 monochrome bitmap.
extern "C" HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount,
                                       const void* lpBits) {
    const int depth = ddbDepth(nBitCount);
    if (nWidth < 0 || nHeight < 0 || nPlanes != 1 || depth == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return failOnBadAlloc<HBITMAP>(nullptr, [&]() -> HBITMAP {
        UiLock lock(uiMutex());
        if (nWidth == 0 || nHeight == 0) {
            return stockBitmap();
        }
        return newDdb(nWidth, nHeight, depth, lpBits, ddbRowBytes(nWidth, depth));
    });
}

// With bits, bmWidthBytes is their row length: even, and long enough for a row.
extern "C" HBITMAP WINAPI CreateBitmapIndirect(const BITMAP* pbm) {
    if (!pbm || pbm->bmType != 0 || pbm->bmPlanes != 1 || pbm->bmWidth < 0 || pbm->bmHeight < 0 ||
        ddbDepth(pbm->bmBitsPixel) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const int depth = ddbDepth(pbm->bmBitsPixel);
    if (pbm->bmBits &&
        (pbm->bmWidthBytes % 2 != 0 || pbm->bmWidthBytes < ddbRowBytes(pbm->bmWidth, depth))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return failOnBadAlloc<HBITMAP>(nullptr, [&]() -> HBITMAP {
        UiLock lock(uiMutex());
        if (pbm->bmWidth == 0 || pbm->bmHeight == 0) {
            return stockBitmap();
        }
        return newDdb(pbm->bmWidth, pbm->bmHeight, depth, pbm->bmBits, pbm->bmWidthBytes);
    });
}

// The format of the bitmap selected into a memory context (a DIB section gives a DIB
// section; a fresh context's 1 by 1 monochrome bitmap gives monochrome), otherwise the
// screen's 32 bits.
extern "C" HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
    if (cx < 0 || cy < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return withDc(hdc, static_cast<HBITMAP>(nullptr), [&](DcObject& dc) -> HBITMAP {
        if (cx == 0 || cy == 0) {
            return stockBitmap();
        }
        const BitmapObject* selected = dc.dcKind == DcKind::Memory ? dc.state.bitmap : nullptr;
        if (selected && selected->dibSection) {
            return sectionLike(*selected, cx, cy);
        }
        const int depth = selected ? selected->surface->bitsPerPixel() : 32;
        return newDdb(cx, cy, depth, nullptr, 0);
    });
}

// The bits live in the layer's memory for as long as the bitmap does. hdc only matters for
// DIB_PAL_COLORS, which is refused; sections over file mappings are not supported.
extern "C" HBITMAP WINAPI CreateDIBSection(HDC, const BITMAPINFO* pbmi, UINT usage, void** ppvBits,
                                           HANDLE hSection, DWORD) {
    if (ppvBits) {
        *ppvBits = nullptr;
    }
    return failOnBadAlloc<HBITMAP>(nullptr, [&]() -> HBITMAP {
        DibInfo info;
        if (!readDibInfo(pbmi, usage, info)) {
            return nullptr;
        }
        if (hSection) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        UiLock lock(uiMutex());
        std::shared_ptr<Surface> surface =
            Surface::create(info.width, info.height, info.bitCount, !info.topDown);
        if (!surface) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        applyFormat(info, *surface);
        const BITMAPINFOHEADER header = sectionHeader(*surface, info.header, info.compression);
        HBITMAP bitmap = addBitmap(surface, &header);
        if (bitmap && ppvBits) {
            *ppvBits = surface->bits();
        }
        return bitmap;
    });
}

// The bits in the device-dependent layout: rows from the top, two-byte aligned. A null
// buffer asks for the size.
extern "C" LONG WINAPI GetBitmapBits(HBITMAP hbit, LONG cb, LPVOID lpvBits) {
    return failOnBadAlloc<LONG>(0, [&]() -> LONG {
        UiLock lock(uiMutex());
        BitmapObject* bitmap = findBitmap(hbit);
        if (!bitmap) {
            return 0;
        }
        const Surface& surface = *bitmap->surface;
        const long long rowBytes = ddbRowBytes(surface.width(), surface.bitsPerPixel());
        const long long total = rowBytes * surface.height();
        if (!lpvBits) {
            return static_cast<LONG>(total);
        }
        const long long count = cb < total ? cb : total;
        auto* out = static_cast<std::uint8_t*>(lpvBits);
        for (long long done = 0, y = 0; done < count; done += rowBytes, ++y) {
            const long long part = count - done < rowBytes ? count - done : rowBytes;
            std::memcpy(out + done, surface.row(static_cast<int>(y)),
                        static_cast<std::size_t>(part));
        }
        return count > 0 ? static_cast<LONG>(count) : 0;
    });
}

extern "C" LONG WINAPI SetBitmapBits(HBITMAP hbm, DWORD cb, const void* pvBits) {
    if (!pvBits) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return failOnBadAlloc<LONG>(0, [&]() -> LONG {
        UiLock lock(uiMutex());
        BitmapObject* bitmap = findBitmap(hbm);
        if (!bitmap) {
            return 0;
        }
        Surface& surface = *bitmap->surface;
        const long long rowBytes = ddbRowBytes(surface.width(), surface.bitsPerPixel());
        const long long total = rowBytes * surface.height();
        const long long count = static_cast<long long>(cb) < total ? cb : total;
        const auto* in = static_cast<const std::uint8_t*>(pvBits);
        for (long long done = 0, y = 0; done < count; done += rowBytes, ++y) {
            const long long part = count - done < rowBytes ? count - done : rowBytes;
            std::memcpy(surface.row(static_cast<int>(y)), in + done,
                        static_cast<std::size_t>(part));
        }
        surface.addDamageAll();
        return static_cast<LONG>(count);
    });
}
