#include "gdi/text_run.h"

#include <korutil/platform/errors.h>

#include <algorithm>
#include <climits>

using namespace korutil::detail;

namespace {

// cx is the sum of the advances and the character extra, cy the cell height; an empty text
// measures 0 by 0.
BOOL textExtent(HDC hdc, LPCSTR text, int count, LPSIZE size) {
    if (count < 0 || !size || (!text && count > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return withDc(hdc, FALSE, [&](DcObject& dc) -> BOOL {
        FontFace* font = contextFont(dc);
        if (!font) {
            return FALSE;
        }
        if (count == 0) {
            *size = SIZE{0, 0};
            return TRUE;
        }
        const long long width =
            runWidth(*font, text, static_cast<std::size_t>(count), nullptr, dc.state.charExtra);
        *size = SIZE{clampLong(width), font->metrics().tmHeight};
        return TRUE;
    });
}

} // namespace

extern "C" BOOL WINAPI GetTextExtentPointA(HDC hdc, LPCSTR lpString, int c, LPSIZE lpsz) {
    return textExtent(hdc, lpString, c, lpsz);
}

extern "C" BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl) {
    return textExtent(hdc, lpString, c, psizl);
}

extern "C" BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c) {
    if (c < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return ExtTextOutA(hdc, x, y, 0, nullptr, lpString, static_cast<UINT>(c), nullptr);
}

// The reference point (x, y, or the current position with TA_UPDATECP) is placed on the text
// as the alignment says: left, centre or right of the advances; top, baseline or bottom of the
// cell. The character extra is added after every character, also with `lpDx`.
extern "C" BOOL WINAPI ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT* lprect,
                                   LPCSTR lpString, UINT c, const INT* lpDx) {
    if (c > static_cast<UINT>(INT_MAX) || (!lpString && c > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return withDc(hdc, FALSE, [&](DcObject& dc) -> BOOL {
        FontFace* font = contextFont(dc);
        DrawTarget target;
        if (!font || !dc.target(target)) {
            return FALSE;
        }
        DcState& state = dc.state;
        const TEXTMETRICA& metrics = font->metrics();
        const std::size_t length = c;
        const long long width =
            length ? runWidth(*font, lpString, length, lpDx, state.charExtra) : 0;
        const UINT align = state.textAlign;
        const bool updateCp = (align & TA_UPDATECP) != 0;
        const long long refX = updateCp ? state.position.x : x;
        const long long refY = updateCp ? state.position.y : y;
        long long left = refX;
        if ((align & TA_CENTER) == TA_CENTER) {
            left -= width / 2;
        } else if (align & TA_RIGHT) {
            left -= width;
        }
        long long top = refY;
        if ((align & TA_BASELINE) == TA_BASELINE) {
            top -= metrics.tmAscent;
        } else if (align & TA_BOTTOM) {
            top -= metrics.tmHeight;
        }

        RECT clip = target.clip;
        if (lprect && (options & (ETO_OPAQUE | ETO_CLIPPED))) {
            // The rectangle counts whichever way round its corners are given.
            const long long l = std::min(lprect->left, lprect->right);
            const long long r = std::max(lprect->left, lprect->right);
            const long long t = std::min(lprect->top, lprect->bottom);
            const long long b = std::max(lprect->top, lprect->bottom);
            if (options & ETO_OPAQUE) {
                fillLogical(target, l, t, r, b, state.bkColor, clip);
            }
            if (options & ETO_CLIPPED) {
                clip = intersect(clip, target.toSurface(l, t, r, b));
            }
        }
        if (length) {
            drawRun(dc, target, *font, left, top, lpString, length, lpDx, width, clip);
        }
        if (updateCp && (align & TA_CENTER) != TA_CENTER) {
            state.position.x = clampLong(align & TA_RIGHT ? refX - width : refX + width);
        }
        return TRUE;
    });
}
