#include "gdi/line_raster.h"

#include "gdi/rop2.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace korutil::detail {
namespace {

using Wide = __int128; // products of two 34-bit coordinates, and squares of 57-bit ones

// The cosmetic dash patterns of Windows NT, in pixels: on, off, on, off...
const std::uint8_t kDash[] = {18, 6};
const std::uint8_t kDot[] = {3, 3};
const std::uint8_t kDashDot[] = {9, 6, 3, 6};
const std::uint8_t kDashDotDot[] = {9, 3, 3, 3, 3, 3};

constexpr long long kStrokeLimit = 1LL << 27;

long long ceilDiv(Wide num, Wide den) { // den > 0
    Wide q = num / den;
    if (num % den != 0 && num > 0) {
        ++q;
    }
    return static_cast<long long>(q);
}

// Walks a dash pattern one pixel at a time.
class DashWalk {
public:
    DashWalk(const PenPaint& pen, long long start) : m_pen(pen) {
        if (pen.runCount == 0) {
            return;
        }
        long long period = 0;
        for (int i = 0; i < pen.runCount; ++i) {
            period += pen.runs[i];
        }
        long long pos = start % period;
        while (pos >= pen.runs[m_run]) {
            pos -= pen.runs[m_run];
            ++m_run;
        }
        m_left = pen.runs[m_run] - static_cast<int>(pos);
    }
    bool on() const { return (m_run & 1) == 0; }
    void step() {
        if (m_pen.runCount == 0 || --m_left > 0) {
            return;
        }
        m_run = (m_run + 1) % m_pen.runCount;
        m_left = m_pen.runs[m_run];
    }

private:
    const PenPaint& m_pen;
    int m_run = 0;
    int m_left = 0;
};

// Whether pixel (px, py) counts as inside the stroke (see line_raster.h). The arithmetic is
// in half pixels, so that the centres of even-width strokes fall on whole numbers too.
bool insideStroke(const Stroke& s, long long px, long long py) {
    const long long offset = (s.width & 1) == 0 ? 1 : 0;
    const Wide vx = 2 * (s.bx - s.ax), vy = 2 * (s.by - s.ay);
    const Wide wx = 2 * (px - s.ax) + offset, wy = 2 * (py - s.ay) + offset;
    const Wide length2 = vx * vx + vy * vy;
    const Wide t = wx * vx + wy * vy;
    const Wide width2 = static_cast<Wide>(s.width) * s.width;
    Wide offsetX, offsetY, distance2, limit;
    if (length2 == 0 || t <= 0 || t >= length2) {
        // Nearest to an end point.
        const bool atB = length2 != 0 && t >= length2;
        offsetX = atB ? wx - vx : wx;
        offsetY = atB ? wy - vy : wy;
        distance2 = offsetX * offsetX + offsetY * offsetY;
        limit = width2;
    } else {
        // Nearest to the segment's inside: distance |cross| / length, offset along the normal.
        const Wide cross = wx * vy - wy * vx;
        distance2 = cross * cross;
        limit = width2 * length2;
        offsetX = cross * vy;
        offsetY = -cross * vx;
    }
    if (distance2 != limit) {
        return distance2 < limit;
    }
    return offsetY < 0 || (offsetY == 0 && offsetX < 0);
}

// A floating-point estimate of the stroke's extent in row y; false when clearly empty.
bool estimateRow(const Stroke& s, long long y, double& lo, double& hi) {
    const double r = static_cast<double>(s.width) / 2 + 1e-6;
    // Even widths centre on the corner between four pixels, up and left of the point.
    const double shift = (s.width & 1) == 0 ? 0.5 : 0.0;
    const double ay = static_cast<double>(s.ay) - shift, by = static_cast<double>(s.by) - shift;
    const double ax = static_cast<double>(s.ax) - shift, bx = static_cast<double>(s.bx) - shift;
    const double row = static_cast<double>(y);
    bool any = false;
    auto add = [&](double a, double b) {
        if (a > b) {
            std::swap(a, b);
        }
        lo = any ? std::min(lo, a) : a;
        hi = any ? std::max(hi, b) : b;
        any = true;
    };
    auto disc = [&](double cx, double cy) {
        const double d = row - cy;
        if (d * d <= r * r) {
            const double half = std::sqrt(r * r - d * d);
            add(cx - half, cx + half);
        }
    };
    disc(ax, ay);
    disc(bx, by);
    const double vx = bx - ax, vy = by - ay;
    const double length2 = vx * vx + vy * vy;
    const double ry = row - ay;
    if (length2 > 0 && vy != 0) {
        // Within the band around the line, and between the normals at the two ends.
        const double reach = r * std::sqrt(length2);
        double a = (ry * vx - reach) / vy, b = (ry * vx + reach) / vy;
        if (a > b) {
            std::swap(a, b);
        }
        double c = -1e300, d = 1e300;
        if (vx != 0) {
            c = (-ry * vy) / vx;
            d = (length2 - ry * vy) / vx;
            if (c > d) {
                std::swap(c, d);
            }
        } else if (ry * vy < 0 || ry * vy > length2) {
            c = 1, d = 0;
        }
        a = std::max(a, c);
        b = std::min(b, d);
        if (a <= b) {
            add(ax + a, ax + b);
        }
    } else if (length2 > 0 && std::fabs(ry) <= r) {
        add(std::min(ax, bx), std::max(ax, bx));
    }
    return any;
}

} // namespace

PenPaint preparePen(const DcObject& dc, const PenObject& pen, const Surface& surface) {
    PenPaint paint;
    const UINT style = pen.pen.lopnStyle;
    paint.visible = style != PS_NULL;
    paint.width = std::llabs(static_cast<long long>(pen.pen.lopnWidth.x));
    paint.cosmetic = paint.width <= 1;
    paint.insideFrame = style == PS_INSIDEFRAME;
    paint.mode = dc.state.rop2;
    paint.value = surface.valueOf(penColor(dc, pen) & 0x00FFFFFFu);
    // Wider pens draw every style solid, as Windows NT does.
    if (paint.cosmetic) {
        switch (style) {
        case PS_DASH:
            paint.runs = kDash, paint.runCount = 2;
            break;
        case PS_DOT:
            paint.runs = kDot, paint.runCount = 2;
            break;
        case PS_DASHDOT:
            paint.runs = kDashDot, paint.runCount = 4;
            break;
        case PS_DASHDOTDOT:
            paint.runs = kDashDotDot, paint.runCount = 6;
            break;
        default:
            break;
        }
    }
    paint.gapsDrawn = dc.state.bkMode == OPAQUE;
    paint.gapValue = surface.valueOf(dc.state.bkColor & 0x00FFFFFFu);
    return paint;
}

void drawCosmeticLine(Surface& surface, const RECT& clip, long long x0, long long y0, long long x1,
                      long long y1, const PenPaint& pen, long long stylePos) {
    const long long dx = x1 - x0, dy = y1 - y0;
    if (isEmpty(clip) || (dx == 0 && dy == 0)) {
        return;
    }
    // Work along the major axis (M) and the minor axis (m).
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const long long major0 = xMajor ? x0 : y0, minor0 = xMajor ? y0 : x0;
    const long long a = std::llabs(xMajor ? dx : dy), b = std::llabs(xMajor ? dy : dx);
    const int majorStep = (xMajor ? dx : dy) > 0 ? 1 : -1;
    const int minorStep = (xMajor ? dy : dx) < 0 ? -1 : 1;
    const long long clipMajor0 = xMajor ? clip.left : clip.top;
    const long long clipMajor1 = (xMajor ? clip.right : clip.bottom) - 1;
    const long long clipMinor0 = xMajor ? clip.top : clip.left;
    const long long clipMinor1 = (xMajor ? clip.bottom : clip.right) - 1;

    // Step i (0 <= i < a) lights major0 + majorStep * i, minor0 + minorStep * q(i) with
    // q(i) = floor((2ib + a - c) / 2a): the nearest minor position, where c = 1 sends exact
    // halves back toward the start and c = 0 on toward the end, so that ties always go to the
    // smaller coordinate.
    const long long c = minorStep < 0 ? 0 : 1;
    long long first = majorStep > 0 ? clipMajor0 - major0 : major0 - clipMajor1;
    long long last = majorStep > 0 ? clipMajor1 - major0 : major0 - clipMajor0;
    first = std::max(first, 0LL);
    last = std::min(last, a - 1);
    long long qLow = minorStep > 0 ? clipMinor0 - minor0 : minor0 - clipMinor1;
    long long qHigh = minorStep > 0 ? clipMinor1 - minor0 : minor0 - clipMinor0;
    qLow = std::max(qLow, 0LL);
    qHigh = std::min(qHigh, b);
    if (first > last || qLow > qHigh) {
        return;
    }
    if (b > 0) {
        // q(i) >= qLow from i = ceil((2a qLow - a + c) / 2b); q(i) <= qHigh up to the step
        // before q reaches qHigh + 1.
        const Wide low = static_cast<Wide>(2) * a * qLow - a + c;
        const Wide high = static_cast<Wide>(2) * a * (qHigh + 1) - a + c;
        first = std::max(first, low <= 0 ? 0 : ceilDiv(low, static_cast<Wide>(2) * b));
        last = std::min(last, ceilDiv(high, static_cast<Wide>(2) * b) - 1);
        if (first > last) {
            return;
        }
    }
    const Wide start = static_cast<Wide>(2) * first * b + a - c;
    long long q = static_cast<long long>(start / (static_cast<Wide>(2) * a));
    long long rest = static_cast<long long>(start % (static_cast<Wide>(2) * a));
    const int firstX =
        static_cast<int>(xMajor ? major0 + majorStep * first : minor0 + minorStep * q);
    const int firstY =
        static_cast<int>(xMajor ? minor0 + minorStep * q : major0 + majorStep * first);
    if (surface.bitsPerPixel() == 32 && pen.runCount == 0) {
        // The common case walks the pixels' memory: a step along the major axis always, one
        // along the minor axis when the error term overflows.
        const std::ptrdiff_t rowStep = surface.height() > 1 ? surface.row(1) - surface.row(0) : 0;
        const std::ptrdiff_t majorDelta = xMajor ? 4 * majorStep : rowStep * majorStep;
        const std::ptrdiff_t minorDelta = xMajor ? rowStep * minorStep : 4 * minorStep;
        std::uint8_t* const firstPixel =
            surface.row(firstY) + static_cast<std::ptrdiff_t>(firstX) * 4;
        const std::uint32_t value = pen.value;
        // The state lives in locals: pixel stores could alias anything reached by reference.
        withRop2(pen.mode, [&, firstPixel, value](auto m) {
            std::uint8_t* p = firstPixel;
            long long error = rest, minor = q;
            const long long step = 2 * b, wrap = 2 * a;
            for (long long i = first;; ++i) {
                rop2At<decltype(m)::value>(p, value);
                error += step;
                const bool minorStepped = error >= wrap;
                if (minorStepped) {
                    error -= wrap;
                    ++minor;
                }
                if (i == last) {
                    break; // the pointer never leaves the pixels
                }
                p += majorDelta + (minorStepped ? minorDelta : 0);
            }
            rest = error;
            q = minor;
        });
    } else {
        DashWalk dash(pen, stylePos + first);
        for (long long i = first; i <= last; ++i) {
            const long long major = major0 + majorStep * i, minor = minor0 + minorStep * q;
            const int x = static_cast<int>(xMajor ? major : minor);
            const int y = static_cast<int>(xMajor ? minor : major);
            if (pen.runCount == 0 || dash.on()) {
                rop2Pixel(surface, x, y, pen.value, pen.mode);
            } else if (pen.gapsDrawn) {
                rop2Pixel(surface, x, y, pen.gapValue, pen.mode);
            }
            dash.step();
            rest += 2 * b;
            if (rest >= 2 * a) {
                rest -= 2 * a;
                ++q;
            }
        }
    }
    // The line lies within the box of its first and last pixel; the error term tells whether
    // the last step moved along the minor axis after the last pixel.
    const long long lastMajor = major0 + majorStep * last;
    const long long lastMinor = minor0 + minorStep * (rest >= 2 * b ? q : q - 1);
    const int lastX = static_cast<int>(xMajor ? lastMajor : lastMinor);
    const int lastY = static_cast<int>(xMajor ? lastMinor : lastMajor);
    surface.addDamage(RECT{std::min(firstX, lastX), std::min(firstY, lastY),
                           std::max(firstX, lastX) + 1, std::max(firstY, lastY) + 1});
}

bool strokeInRange(const Stroke& s) {
    auto fits = [](long long v) { return v >= -kStrokeLimit && v <= kStrokeLimit; };
    return fits(s.ax) && fits(s.ay) && fits(s.bx) && fits(s.by) && s.width <= kStrokeLimit;
}

bool strokeRow(const Stroke& s, long long y, long long lo, long long hi, long long& left,
               long long& right) {
    double estLo = 0, estHi = 0;
    if (lo > hi || !estimateRow(s, y, estLo, estHi)) {
        return false;
    }
    if (estHi < static_cast<double>(lo) - 1 || estLo > static_cast<double>(hi) + 1) {
        return false;
    }
    const long long searchHi =
        std::min(hi, static_cast<long long>(std::ceil(std::min(estHi, 4e18))) + 1);
    long long x = std::clamp(static_cast<long long>(std::floor(std::max(estLo, -4e18))), lo, hi);
    if (insideStroke(s, x, y)) {
        while (x > lo && insideStroke(s, x - 1, y)) {
            --x;
        }
    } else {
        while (x <= searchHi && !insideStroke(s, x, y)) {
            ++x;
        }
        if (x > searchHi) {
            return false;
        }
    }
    left = x;
    x = std::clamp(static_cast<long long>(std::ceil(std::min(estHi, 4e18))), left, hi);
    if (insideStroke(s, x, y)) {
        while (x < hi && insideStroke(s, x + 1, y)) {
            ++x;
        }
    } else {
        while (x > left && !insideStroke(s, x, y)) {
            --x;
        }
    }
    right = x;
    return true;
}

void drawStroke(Surface& surface, const RECT& clip, const Stroke& s, const PenPaint& pen) {
    const long long reach = s.width / 2 + 1;
    const long long top = std::max<long long>(clip.top, std::min(s.ay, s.by) - reach);
    const long long bottom = std::min<long long>(clip.bottom - 1, std::max(s.ay, s.by) + reach);
    RECT damage{0, 0, 0, 0};
    for (long long y = top; y <= bottom; ++y) {
        long long left = 0, right = 0;
        if (strokeRow(s, y, clip.left, clip.right - 1, left, right)) {
            rop2Span(surface, static_cast<int>(left), static_cast<int>(y),
                     static_cast<int>(right - left + 1), pen.value, pen.mode);
            damage = unite(damage, RECT{static_cast<LONG>(left), static_cast<LONG>(y),
                                        static_cast<LONG>(right + 1), static_cast<LONG>(y + 1)});
        }
    }
    surface.addDamage(damage);
}

} // namespace korutil::detail
