#include "gdi/brush_paint.h"
#include "gdi/dc.h"
#include "gdi/line_raster.h"
#include "gdi/rop2.h"

#include <korutil/platform/errors.h>

#include <algorithm>
#include <utility>

using namespace korutil::detail;

namespace {

// The brush over a logical rectangle, clipped.
void fillLogical(const DrawTarget& target, const BrushPaint* brush, int mode, long long left,
                 long long top, long long right, long long bottom) {
    if (brush) {
        rop2FillRect(*target.surface, target.clipped(left, top, right, bottom), *brush, mode);
    }
}

// A cosmetic frame along the inside of [l, r) x [t, b) (surface coordinates), as one closed
// figure: from the top right corner down, left along the bottom, up and right along the top,
// so that a dash pattern runs on around the corners and every pixel is painted once.
void cosmeticFrame(const DrawTarget& target, const PenPaint& pen, long long l, long long t,
                   long long r, long long b) {
    Surface& surface = *target.surface;
    const long long w = r - l, h = b - t;
    if (w == 1 && h == 1) {
        return; // a figure of lines without length lights nothing
    }
    if (w == 1 || h == 1) {
        drawCosmeticLine(surface, target.clip, l, t, w == 1 ? l : r, w == 1 ? b : t, pen);
        return;
    }
    drawCosmeticLine(surface, target.clip, r - 1, t, r - 1, b - 1, pen, 0);
    drawCosmeticLine(surface, target.clip, r - 1, b - 1, l, b - 1, pen, h - 1);
    drawCosmeticLine(surface, target.clip, l, b - 1, l, t, pen, h - 1 + w - 1);
    drawCosmeticLine(surface, target.clip, l, t, r - 1, t, pen, 2 * (h - 1) + w - 1);
}

// A geometric frame: the four strokes of the path (L, T) - (R, B), merged row by row so that
// each pixel is painted once, and the brush inside the path where the frame leaves room.
bool wideFrame(const DrawTarget& target, const PenPaint& pen, const BrushPaint* brush, long long l,
               long long t, long long r, long long b) {
    long long left = l, top = t, right = r - 1, bottom = b - 1;
    if (pen.insideFrame) {
        // The frame's outer pixels meet the bounds; a pen wider than the bounds shrinks the
        // path to a line or a point.
        left += pen.width / 2, top += pen.width / 2;
        right -= (pen.width - 1) / 2, bottom -= (pen.width - 1) / 2;
        if (left > right) {
            left = right = l + (r - 1 - l) / 2;
        }
        if (top > bottom) {
            top = bottom = t + (b - 1 - t) / 2;
        }
    }
    const Stroke strokes[4] = {{left, top, right, top, pen.width},
                               {right, top, right, bottom, pen.width},
                               {right, bottom, left, bottom, pen.width},
                               {left, bottom, left, top, pen.width}};
    if (!strokeInRange(strokes[0]) || !strokeInRange(strokes[2])) {
        return false;
    }
    Surface& surface = *target.surface;
    const RECT& clip = target.clip;
    const long long reach = pen.width / 2 + 1;
    const long long firstRow = std::max<long long>(clip.top, top - reach);
    const long long lastRow = std::min<long long>(clip.bottom - 1, bottom + reach);
    RECT damage{0, 0, 0, 0};
    for (long long y = firstRow; y <= lastRow; ++y) {
        std::pair<long long, long long> spans[4];
        int count = 0;
        for (const Stroke& stroke : strokes) {
            if (strokeRow(stroke, y, clip.left, clip.right - 1, spans[count].first,
                          spans[count].second)) {
                ++count;
            }
        }
        for (int i = 1; i < count; ++i) { // at most four spans: insertion sort by left end
            for (int j = i; j > 0 && spans[j].first < spans[j - 1].first; --j) {
                std::swap(spans[j], spans[j - 1]);
            }
        }
        // Merge the spans, painting each run of frame and the brush in the gaps between them
        // that lie inside the path.
        long long inside = std::max<long long>(left + 1, clip.left);
        const long long insideEnd = std::min<long long>(right - 1, clip.right - 1);
        const bool interiorRow = y > top && y < bottom && brush;
        auto fillTo = [&](long long end) {
            if (interiorRow && inside <= std::min(end, insideEnd)) {
                rop2FillRect(surface,
                             RECT{static_cast<LONG>(inside), static_cast<LONG>(y),
                                  static_cast<LONG>(std::min(end, insideEnd) + 1),
                                  static_cast<LONG>(y + 1)},
                             *brush, pen.mode);
            }
        };
        for (int i = 0; i < count;) {
            long long runLeft = spans[i].first, runRight = spans[i].second;
            for (++i; i < count && spans[i].first <= runRight + 1; ++i) {
                runRight = std::max(runRight, spans[i].second);
            }
            fillTo(runLeft - 1);
            inside = std::max(inside, runRight + 1);
            rop2Span(surface, static_cast<int>(runLeft), static_cast<int>(y),
                     static_cast<int>(runRight - runLeft + 1), pen.value, pen.mode);
            damage = unite(damage, RECT{static_cast<LONG>(runLeft), static_cast<LONG>(y),
                                        static_cast<LONG>(runRight + 1), static_cast<LONG>(y + 1)});
        }
        fillTo(insideEnd);
    }
    surface.addDamage(damage);
    return true;
}

} // namespace

// Outline with the pen, inside with the brush, both through the context's mix mode. The
// bounds exclude the right and bottom edges; a null pen leaves that edge's pixels unpainted,
// so the filled area is one pixel narrower and lower, as on Windows.
extern "C" BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    return withDc(hdc, FALSE, [&](DcObject& dc) -> BOOL {
        DrawTarget target;
        if (!dc.target(target)) {
            return FALSE;
        }
        const long long l = std::min(left, right), r = std::max(left, right);
        const long long t = std::min(top, bottom), b = std::max(top, bottom);
        if (l == r || t == b) {
            return TRUE;
        }
        const PenPaint pen = preparePen(dc, *dc.state.pen, *target.surface);
        BrushPaint brushPaint;
        const BrushPaint* brush =
            brushPaint.prepare(dc, *dc.state.brush, target) ? &brushPaint : nullptr;
        const int mode = dc.state.rop2;
        if (!pen.visible) {
            fillLogical(target, brush, mode, l, t, r - 1, b - 1);
            return TRUE;
        }
        if (pen.cosmetic) {
            if (r - l > 2 && b - t > 2) {
                fillLogical(target, brush, mode, l + 1, t + 1, r - 1, b - 1);
            }
            cosmeticFrame(target, pen, l + target.origin.x, t + target.origin.y,
                          r + target.origin.x, b + target.origin.y);
            return TRUE;
        }
        if (!wideFrame(target, pen, brush, l + target.origin.x, t + target.origin.y,
                       r + target.origin.x, b + target.origin.y)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        return TRUE;
    });
}
