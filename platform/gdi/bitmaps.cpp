#include "gdi/dc.h"
#include "gdi/desktop.h"

#include <korutil/platform/errors.h>

#include <cstring>

using namespace korutil::detail;

namespace {

HBITMAP addBitmap(const std::shared_ptr<Surface>& surface) {
    if (!surface) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto bitmap = std::make_shared<BitmapObject>();
    bitmap->surface = surface;
    HGDIOBJ handle = addObject(bitmap);
    if (!handle) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return static_cast<HBITMAP>(handle);
}

// Device-dependent bits: rows from the top, each padded to a multiple of two bytes.
void copyInitialBits(Surface& surface, const void* bits) {
    const std::size_t rowBytes = static_cast<std::size_t>(
        (static_cast<long long>(surface.width()) * surface.bitsPerPixel() + 15) / 16 * 2);
    const auto* source = static_cast<const std::uint8_t*>(bits);
    for (int y = 0; y < surface.height(); ++y) {
        std::memcpy(surface.row(y), source + rowBytes * static_cast<std::size_t>(y), rowBytes);
    }
}

} // namespace

extern "C" HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount,
                                       const void* lpBits) {
    if (nWidth < 0 || nHeight < 0 || nPlanes != 1 || (nBitCount != 1 && nBitCount != 32)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return failOnBadAlloc<HBITMAP>(nullptr, [&]() -> HBITMAP {
        UiLock lock(uiMutex());
        if (nWidth == 0 || nHeight == 0) {
            BitmapObject* stock = defaultBitmap();
            return stock ? static_cast<HBITMAP>(stock->handle) : nullptr;
        }
        std::shared_ptr<Surface> surface =
            Surface::create(nWidth, nHeight, static_cast<int>(nBitCount));
        if (surface && lpBits) {
            copyInitialBits(*surface, lpBits);
        }
        return addBitmap(surface);
    });
}

// The format of what the context shows: a memory context's selected bitmap (monochrome for a
// fresh one), otherwise the screen's 32 bits.
extern "C" HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
    if (cx < 0 || cy < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return withDc(hdc, static_cast<HBITMAP>(nullptr), [&](DcObject& dc) -> HBITMAP {
        if (cx == 0 || cy == 0) {
            BitmapObject* stock = defaultBitmap();
            return stock ? static_cast<HBITMAP>(stock->handle) : nullptr;
        }
        int bits = 32;
        if (dc.dcKind == DcKind::Memory && dc.state.bitmap && dc.state.bitmap->surface->isMono()) {
            bits = 1;
        }
        return addBitmap(Surface::create(cx, cy, bits));
    });
}
