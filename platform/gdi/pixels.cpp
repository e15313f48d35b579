#include "gdi/dc.h"

using namespace korutil::detail;

// Both answer CLR_INVALID outside the context's drawable area.
extern "C" COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color) {
    return withDc(hdc, CLR_INVALID, [&](DcObject& dc) -> COLORREF {
        DrawTarget target;
        if (!dc.target(target)) {
            return CLR_INVALID;
        }
        const RECT spot =
            target.clipped(x, y, static_cast<long long>(x) + 1, static_cast<long long>(y) + 1);
        if (isEmpty(spot)) {
            return CLR_INVALID;
        }
        Surface& surface = *target.surface;
        const std::uint32_t value = surface.valueOf(color & 0x00FFFFFFu);
        surface.setPixel(spot.left, spot.top, value);
        surface.addDamage(spot);
        return surface.colorOf(value);
    });
}

extern "C" COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
    return withDc(hdc, CLR_INVALID, [&](DcObject& dc) -> COLORREF {
        DrawTarget target;
        if (!dc.target(target)) {
            return CLR_INVALID;
        }
        const RECT spot =
            target.clipped(x, y, static_cast<long long>(x) + 1, static_cast<long long>(y) + 1);
        if (isEmpty(spot)) {
            return CLR_INVALID;
        }
        return target.surface->colorOf(target.surface->pixel(spot.left, spot.top));
    });
}
