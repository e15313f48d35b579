#include "gdi/brush_paint.h"
#include "gdi/dc.h"

#include <korutil/platform/errors.h>

#include <cstring>

using namespace korutil::detail;

namespace {

// Copies the description into the caller's buffer, at most `capacity` bytes of it; a null
// buffer asks for the size. Pens and bitmaps are given whole or not at all (0), as on
// Windows; brushes and fonts may be cut short.
template <class Info> int give(const Info& info, int capacity, LPVOID buffer, bool whole = false) {
    if (!buffer) {
        return static_cast<int>(sizeof(Info));
    }
    if (capacity <= 0 || (whole && capacity < static_cast<int>(sizeof(Info)))) {
        return 0;
    }
    const int size =
        capacity < static_cast<int>(sizeof(Info)) ? capacity : static_cast<int>(sizeof(Info));
    std::memcpy(buffer, &info, static_cast<std::size_t>(size));
    return size;
}

BITMAP describe(const BitmapObject& bitmap) {
    const Surface& surface = *bitmap.surface;
    BITMAP info{};
    info.bmWidth = surface.width();
    info.bmHeight = surface.height();
    info.bmPlanes = 1;
    info.bmBitsPixel = static_cast<WORD>(surface.bitsPerPixel());
    if (bitmap.dibSection) {
        info.bmWidthBytes = surface.stride();
        info.bmBits = const_cast<std::uint8_t*>(surface.bits());
    } else {
        // Device-dependent bitmaps report rows aligned to two bytes, as GetBitmapBits gives.
        info.bmWidthBytes = static_cast<LONG>(
            (static_cast<long long>(surface.width()) * surface.bitsPerPixel() + 15) / 16 * 2);
    }
    return info;
}

int bitmapInfo(const BitmapObject& bitmap, int c, LPVOID pv) {
    const BITMAP bm = describe(bitmap);
    if (!bitmap.dibSection) {
        return give(bm, c, pv, true);
    }
    if (pv && c < static_cast<int>(sizeof(DIBSECTION))) {
        return c >= static_cast<int>(sizeof(BITMAP))
                   ? give(bm, static_cast<int>(sizeof(BITMAP)), pv)
                   : 0;
    }
    DIBSECTION ds{};
    ds.dsBm = bm;
    ds.dsBmih = bitmap.dib;
    const DWORD* masks = bitmap.surface->masks();
    if (bitmap.surface->bitsPerPixel() >= 16) {
        ds.dsBitfields[0] = masks[0];
        ds.dsBitfields[1] = masks[1];
        ds.dsBitfields[2] = masks[2];
    }
    return give(ds, c, pv);
}

} // namespace

extern "C" int WINAPI GetObjectA(HANDLE h, int c, LPVOID pv) {
    return failOnBadAlloc<int>(0, [&]() -> int {
        UiLock lock(uiMutex());
        GdiObject* object = findObject(h);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        switch (object->kind) {
        case GdiKind::Pen: {
            const auto* pen = static_cast<PenObject*>(object);
            return give(pen->pen, c, pv, true);
        }
        case GdiKind::Brush: {
            const auto* brush = static_cast<BrushObject*>(object);
            LOGBRUSH info = brush->brush;
            if (brush->sysColor >= 0) {
                info.lbColor = GetSysColor(brush->sysColor);
            }
            return give(info, c, pv);
        }
        case GdiKind::Font:
            return give(static_cast<FontObject*>(object)->font, c, pv);
        case GdiKind::Bitmap:
            return bitmapInfo(*static_cast<BitmapObject*>(object), c, pv);
        default:
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
    });
}
