#include "gdi/blit.h"
#include "gdi/dib.h"

#include <korutil/platform/errors.h>

#include <algorithm>

using namespace korutil::detail;

// Source rectangles are in the picture's own coordinates: x from the left, y from the bottom
// row up, whatever the row order in memory; the picture draws upright. Its colours convert
// through their values into any bitmap, a monochrome one included (nearest of black and white).

namespace {

// Rows in common of [low, low + length) and [from, to).
long long overlap(long long low, long long length, long long from, long long to) {
    return std::max(0LL, std::min(low + length, to) - std::max(low, from));
}

// The picture's rows [first, first + rows) (counted from the top) as a blit source.
struct Picture {
    std::shared_ptr<Surface> surface;
    BlitSource source;
};

bool pictureOf(const DibInfo& format, const void* bits, int rows, Picture& out) {
    out.surface = wrapDib(format, bits, rows);
    if (!out.surface) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    out.source.surface = out.surface.get();
    out.source.bounds = RECT{0, 0, format.width, rows};
    return true;
}

} // namespace

// Returns the number of source rows copied, negative when the picture is mirrored
// vertically; 0 on failure.
extern "C" int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight,
                                    int xSrc, int ySrc, int SrcWidth, int SrcHeight,
                                    const void* lpBits, const BITMAPINFO* lpbmi, UINT iUsage,
                                    DWORD rop) {
    return withDc(hdc, 0, [&](DcObject& dc) -> int {
        DibInfo format;
        if (!readDibInfo(lpbmi, iUsage, format)) {
            return 0;
        }
        if (!lpBits) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        if (DestWidth == 0 || DestHeight == 0 || SrcWidth == 0 || SrcHeight == 0) {
            return 0;
        }
        DrawTarget target;
        BlitDest dest;
        Picture picture;
        if (!destOf(dc, target, dest) || !pictureOf(format, lpBits, format.height, picture)) {
            return 0;
        }
        dest.monoDdb = false;
        Span dx = spanOf(xDest, DestWidth), dy = spanOf(yDest, DestHeight);
        dx.low += target.origin.x;
        dy.low += target.origin.y;
        const Span sx = spanOf(xSrc, SrcWidth);
        Span sy = spanOf(ySrc, SrcHeight);
        const long long rows = overlap(sy.low, sy.length, 0, format.height);
        sy.low = format.height - sy.low - sy.length;
        const std::uint8_t table = ropTable(rop);
        BrushPaint paint;
        const bool hollow = ropUsesPattern(table) && !paint.prepare(dc, *dc.state.brush, target);
        if (!hollow && !blit(dest, dx, dy, &picture.source, sx, sy, table,
                             ropUsesPattern(table) ? &paint : nullptr)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        return static_cast<int>(dy.mirrored != sy.mirrored ? -rows : rows);
    });
}

// Only scan lines StartScan to StartScan + cLines - 1 are in lpvBits. Returns the number of
// rows of the source rectangle among them.
extern "C" int WINAPI SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc,
                                        int ySrc, UINT StartScan, UINT cLines, const void* lpvBits,
                                        const BITMAPINFO* lpbmi, UINT ColorUse) {
    return withDc(hdc, 0, [&](DcObject& dc) -> int {
        DibInfo format;
        if (!readDibInfo(lpbmi, ColorUse, format)) {
            return 0;
        }
        if (!lpvBits) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        const long long height = format.height;
        const long long lines =
            StartScan < height ? std::min<long long>(cLines, height - StartScan) : 0;
        if (lines == 0 || w == 0 || h == 0) {
            return 0;
        }
        DrawTarget target;
        BlitDest dest;
        Picture picture;
        if (!destOf(dc, target, dest) ||
            !pictureOf(format, lpvBits, static_cast<int>(lines), picture)) {
            return 0;
        }
        dest.monoDdb = false;
        const Span dx{static_cast<long long>(xDest) + target.origin.x, w, false};
        const Span dy{static_cast<long long>(yDest) + target.origin.y, h, false};
        const Span sx{xSrc, w, false};
        // The buffer's top row is the picture's row height - StartScan - lines from the top.
        const Span sy{static_cast<long long>(StartScan) + lines - ySrc - h, h, false};
        blit(dest, dx, dy, &picture.source, sx, sy, ropTable(SRCCOPY), nullptr);
        return static_cast<int>(overlap(ySrc, h, StartScan, StartScan + lines));
    });
}
