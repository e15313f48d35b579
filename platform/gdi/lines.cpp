#include "gdi/dc.h"
#include "gdi/line_raster.h"

#include <korutil/platform/errors.h>

using namespace korutil::detail;

extern "C" BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt) {
    return withDc(hdc, FALSE, [&](DcObject& dc) -> BOOL {
        if (lppt) {
            *lppt = dc.state.position;
        }
        dc.state.position = POINT{x, y};
        return TRUE;
    });
}

// Windows does not check the pointer; a null one fails here instead of faulting.
extern "C" BOOL WINAPI GetCurrentPositionEx(HDC hdc, LPPOINT lppt) {
    return withDc(hdc, FALSE, [&](DcObject& dc) -> BOOL {
        if (!lppt) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *lppt = dc.state.position;
        return TRUE;
    });
}

// Draws from the current position to (x, y), which becomes the current position; the end
// pixel is left for the next line, so that a polyline paints each joint once.
extern "C" BOOL WINAPI LineTo(HDC hdc, int x, int y) {
    return withDc(hdc, FALSE, [&](DcObject& dc) -> BOOL {
        DrawTarget target;
        if (!dc.target(target)) {
            return FALSE;
        }
        const PenPaint pen = preparePen(dc, *dc.state.pen, *target.surface);
        const long long x0 = static_cast<long long>(dc.state.position.x) + target.origin.x;
        const long long y0 = static_cast<long long>(dc.state.position.y) + target.origin.y;
        const long long x1 = static_cast<long long>(x) + target.origin.x;
        const long long y1 = static_cast<long long>(y) + target.origin.y;
        if (pen.visible && pen.cosmetic) {
            drawCosmeticLine(*target.surface, target.clip, x0, y0, x1, y1, pen);
        } else if (pen.visible) {
            const Stroke stroke{x0, y0, x1, y1, pen.width};
            if (!strokeInRange(stroke)) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }
            drawStroke(*target.surface, target.clip, stroke, pen);
        }
        dc.state.position = POINT{x, y};
        return TRUE;
    });
}
