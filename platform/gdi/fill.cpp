#include "gdi/blit.h"

#include <korutil/platform/errors.h>

using namespace korutil::detail;

// A PATCOPY of the brush over the rectangle, as PatBlt would make it: left and top edges
// included, right and bottom excluded. The brush may be a system colour as
// (HBRUSH)(COLOR_x + 1).
extern "C" int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
    if (!lprc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return withDc(hDC, 0, [&](DcObject& dc) -> int {
        const BrushObject* brush = brushFromValue(hbr);
        if (!brush) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        const RECT r = *lprc;
        return fillArea(dc, brush, r.left, r.top, static_cast<long long>(r.right) - r.left,
                        static_cast<long long>(r.bottom) - r.top, ropTable(PATCOPY));
    });
}

// A border one pixel wide just inside the rectangle; an empty or inverted rectangle draws
// nothing and fails.
extern "C" int WINAPI FrameRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
    if (!lprc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return withDc(hDC, 0, [&](DcObject& dc) -> int {
        const BrushObject* brush = findObjectAs<BrushObject>(hbr, GdiKind::Brush);
        if (!brush) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        const RECT r = *lprc;
        if (r.right <= r.left || r.bottom <= r.top) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        const long long w = static_cast<long long>(r.right) - r.left;
        const long long h = static_cast<long long>(r.bottom) - r.top;
        const std::uint8_t copy = ropTable(PATCOPY);
        return fillArea(dc, brush, r.left, r.top, 1, h, copy) &&
               fillArea(dc, brush, r.right - 1LL, r.top, 1, h, copy) &&
               fillArea(dc, brush, r.left, r.top, w, 1, copy) &&
               fillArea(dc, brush, r.left, r.bottom - 1LL, w, 1, copy);
    });
}
