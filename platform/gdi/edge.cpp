#include "gdi/dc.h"
#include "gdi/rop2.h"

#include <korutil/platform/errors.h>

#include <cstdint>

using namespace korutil::detail;

namespace {

// The colours of one border: its top and left lines, and its right and bottom lines.
struct BorderColors {
    int topLeft;
    int bottomRight;
};

// The system colours of a border, as Windows draws them. Raised borders are lit from the top
// left, sunken ones from the bottom right; the outer border uses the stronger pair (light and
// dark shadow for raised, shadow and highlight for sunken). BF_SOFT changes only the top and
// left lines: raised borders get the brighter colour outside, sunken ones the darker.
// BF_FLAT draws the outer border in the shadow colour and the inner one in the face colour,
// BF_MONO the outer one in the window frame colour and the inner one in the window colour.
BorderColors borderColors(UINT border, UINT flags) {
    const bool soft = (flags & BF_SOFT) != 0;
    const bool outer = (border & BDR_OUTER) != 0;
    if (flags & BF_MONO) {
        const int c = outer ? COLOR_WINDOWFRAME : COLOR_WINDOW;
        return BorderColors{c, c};
    }
    if (flags & BF_FLAT) {
        const int c = outer ? COLOR_BTNSHADOW : COLOR_BTNFACE;
        return BorderColors{c, c};
    }
    switch (border) {
    case BDR_RAISEDOUTER:
        return BorderColors{soft ? COLOR_BTNHIGHLIGHT : COLOR_3DLIGHT, COLOR_3DDKSHADOW};
    case BDR_SUNKENOUTER:
        return BorderColors{soft ? COLOR_3DDKSHADOW : COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT};
    case BDR_RAISEDINNER:
        return BorderColors{soft ? COLOR_3DLIGHT : COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW};
    default: // BDR_SUNKENINNER
        return BorderColors{soft ? COLOR_BTNSHADOW : COLOR_3DDKSHADOW, COLOR_3DLIGHT};
    }
}

// Logical bounds in 64 bits, so that moving a side in never overflows.
struct Bounds {
    long long left, top, right, bottom;
    bool empty() const { return right <= left || bottom <= top; }
};

LONG clampLong(long long v) {
    return static_cast<LONG>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
}

void paint(const DrawTarget& target, const Bounds& area, int sysColor) {
    const RECT spot = target.clipped(area.left, area.top, area.right, area.bottom);
    if (isEmpty(spot)) {
        return;
    }
    Surface& surface = *target.surface;
    const std::uint32_t value = surface.valueOf(GetSysColor(sysColor));
    for (int y = spot.top; y < spot.bottom; ++y) {
        rop2Span(surface, spot.left, y, spot.right - spot.left, value, R2_COPYPEN);
    }
    surface.addDamage(spot);
}

} // namespace

// Each border is one pixel wide, drawn inside the rectangle: the outer border on its edge,
// the inner one a pixel further in (or on the edge when there is no outer border). The top
// and left lines are drawn first and the right and bottom lines over them, whole, so that the
// top right and bottom left corners take the bottom-right colour. Nothing is drawn outside the
// rectangle, however small it is; BF_ADJUST still moves each drawn side in by the border
// widths. The drawing ignores the context's mix mode, as on Windows.
extern "C" BOOL WINAPI DrawEdge(HDC hdc, LPRECT qrc, UINT edge, UINT grfFlags) {
    return withDc(hdc, FALSE, [&](DcObject& dc) -> BOOL {
        const UINT outer = edge & BDR_OUTER, inner = edge & BDR_INNER;
        // A border both raised and sunken has no colours, unless flat and mono borders,
        // which do not tell the two apart, draw it.
        const bool oneColor = (grfFlags & (BF_FLAT | BF_MONO)) != 0;
        if (!qrc || (!oneColor && (outer == BDR_OUTER || inner == BDR_INNER))) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        // Diagonal edges are not drawn; failing says so rather than drawing something else.
        if (grfFlags & BF_DIAGONAL) {
            SetLastError(ERROR_NOT_SUPPORTED);
            return FALSE;
        }
        DrawTarget target;
        if (!dc.target(target)) {
            return FALSE;
        }
        Bounds r{qrc->left, qrc->top, qrc->right, qrc->bottom};
        for (const UINT border : {outer, inner}) {
            if (border == 0) {
                continue;
            }
            if (!r.empty()) {
                const BorderColors colors = borderColors(border, grfFlags);
                if (grfFlags & BF_TOP) {
                    paint(target, Bounds{r.left, r.top, r.right, r.top + 1}, colors.topLeft);
                }
                if (grfFlags & BF_LEFT) {
                    paint(target, Bounds{r.left, r.top, r.left + 1, r.bottom}, colors.topLeft);
                }
                if (grfFlags & BF_RIGHT) {
                    paint(target, Bounds{r.right - 1, r.top, r.right, r.bottom},
                          colors.bottomRight);
                }
                if (grfFlags & BF_BOTTOM) {
                    paint(target, Bounds{r.left, r.bottom - 1, r.right, r.bottom},
                          colors.bottomRight);
                }
            }
            r.left += (grfFlags & BF_LEFT) ? 1 : 0;
            r.top += (grfFlags & BF_TOP) ? 1 : 0;
            r.right -= (grfFlags & BF_RIGHT) ? 1 : 0;
            r.bottom -= (grfFlags & BF_BOTTOM) ? 1 : 0;
        }
        if ((grfFlags & BF_MIDDLE) && !r.empty()) {
            paint(target, r, (grfFlags & BF_MONO) ? COLOR_WINDOW : COLOR_BTNFACE);
        }
        if (grfFlags & BF_ADJUST) {
            *qrc =
                RECT{clampLong(r.left), clampLong(r.top), clampLong(r.right), clampLong(r.bottom)};
        }
        return TRUE;
    });
}
