#include "gdi/blit.h"

#include <korutil/platform/errors.h>

using namespace korutil::detail;

namespace {

// StretchBlt and BitBlt: extents are signed; a negative one runs from the start pixel
// towards lower coordinates and, where the signs of source and destination differ, mirrors.
BOOL stretch(HDC hdcDest, long long x, long long y, long long w, long long h, HDC hdcSrc,
             long long sx, long long sy, long long sw, long long sh, DWORD rop) {
    return withDc(hdcDest, FALSE, [&](DcObject& dc) -> BOOL {
        const std::uint8_t table = ropTable(rop);
        DrawTarget target;
        BlitDest dest;
        if (!destOf(dc, target, dest)) {
            return FALSE;
        }
        BrushPaint paint;
        if (ropUsesPattern(table) && !paint.prepare(dc, *dc.state.brush, target)) {
            return TRUE; // a hollow brush leaves everything as it is
        }
        const BrushPaint* pattern = ropUsesPattern(table) ? &paint : nullptr;
        Span dx = spanOf(x, w), dy = spanOf(y, h);
        dx.low += target.origin.x;
        dy.low += target.origin.y;
        if (!ropUsesSource(table)) {
            blit(dest, dx, dy, nullptr, Span{}, Span{}, table, pattern);
            return TRUE;
        }
        DcObject* from = findDc(hdcSrc);
        DrawTarget sourceTarget;
        BlitSource source;
        if (!from || !sourceOf(*from, sourceTarget, source)) {
            return FALSE;
        }
        if ((sw == 0 || sh == 0) && w != 0 && h != 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        Span sxs = spanOf(sx, sw), sys = spanOf(sy, sh);
        sxs.low += sourceTarget.origin.x;
        sys.low += sourceTarget.origin.y;
        if (!blit(dest, dx, dy, &source, sxs, sys, table, pattern)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        return TRUE;
    });
}

} // namespace

// Only operations that read no source: the others fail, as there is none.
extern "C" BOOL WINAPI PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop) {
    return withDc(hdc, FALSE, [&](DcObject& dc) -> BOOL {
        const std::uint8_t table = ropTable(rop);
        if (ropUsesSource(table)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        return fillArea(dc, dc.state.brush, x, y, w, h, table);
    });
}

// hdcSrc is not looked at when the operation reads no source.
extern "C" BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1,
                              DWORD rop) {
    return stretch(hdc, x, y, cx, cy, hdcSrc, x1, y1, cx, cy, rop);
}

extern "C" BOOL WINAPI StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest,
                                  HDC hdcSrc, int xSrc, int ySrc, int wSrc, int hSrc, DWORD rop) {
    return stretch(hdcDest, xDest, yDest, wDest, hDest, hdcSrc, xSrc, ySrc, wSrc, hSrc, rop);
}
