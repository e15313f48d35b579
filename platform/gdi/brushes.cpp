#include "gdi/dc.h"

#include <korutil/platform/errors.h>

using namespace korutil::detail;

namespace {

HBRUSH addBrush(const std::shared_ptr<BrushObject>& brush) {
    HGDIOBJ handle = addObject(brush);
    if (!handle) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return static_cast<HBRUSH>(handle);
}

} // namespace

extern "C" HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    return failOnBadAlloc<HBRUSH>(nullptr, [&]() -> HBRUSH {
        auto brush = std::make_shared<BrushObject>();
        brush->brush = LOGBRUSH{BS_SOLID, color, 0};
        UiLock lock(uiMutex());
        return addBrush(brush);
    });
}

extern "C" HBRUSH WINAPI CreateHatchBrush(int iHatch, COLORREF color) {
    if (iHatch < HS_HORIZONTAL || iHatch > HS_DIAGCROSS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return failOnBadAlloc<HBRUSH>(nullptr, [&]() -> HBRUSH {
        auto brush = std::make_shared<BrushObject>();
        brush->brush = LOGBRUSH{BS_HATCHED, color, static_cast<ULONG_PTR>(iHatch)};
        UiLock lock(uiMutex());
        return addBrush(brush);
    });
}

// The brush keeps a copy of the bitmap's pixels: later changes to the bitmap, or deleting it,
// do not change the brush.
extern "C" HBRUSH WINAPI CreatePatternBrush(HBITMAP hbm) {
    return failOnBadAlloc<HBRUSH>(nullptr, [&]() -> HBRUSH {
        UiLock lock(uiMutex());
        BitmapObject* bitmap = findObjectAs<BitmapObject>(hbm, GdiKind::Bitmap);
        if (!bitmap || !bitmap->surface) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        auto brush = std::make_shared<BrushObject>();
        brush->brush = LOGBRUSH{BS_PATTERN, 0, reinterpret_cast<ULONG_PTR>(hbm)};
        brush->pattern = bitmap->surface->clone();
        if (!brush->pattern) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        return addBrush(brush);
    });
}

extern "C" HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH* plbrush) {
    if (!plbrush) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    switch (plbrush->lbStyle) {
    case BS_SOLID:
        return CreateSolidBrush(plbrush->lbColor);
    case BS_HATCHED:
        return CreateHatchBrush(static_cast<int>(plbrush->lbHatch), plbrush->lbColor);
    case BS_PATTERN:
        return CreatePatternBrush(reinterpret_cast<HBITMAP>(plbrush->lbHatch));
    case BS_NULL:
        return failOnBadAlloc<HBRUSH>(nullptr, [&]() -> HBRUSH {
            UiLock lock(uiMutex());
            GdiObject* hollow = stockObject(NULL_BRUSH);
            return hollow ? static_cast<HBRUSH>(hollow->handle) : nullptr;
        });
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}
