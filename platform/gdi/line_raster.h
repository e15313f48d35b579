// The pixels of lines, shared by LineTo and Rectangle. Coordinates here are surface
// coordinates in 64 bits, so that a logical point plus the target's origin never overflows.
// Callers hold the layer's lock (gdi/lock.h).
#pragma once

#include "gdi/dc.h"

#include <cstdint>

namespace korutil::detail {

// How the selected pen draws on one target.
struct PenPaint {
    bool visible = false; // false for PS_NULL
    // Pens of width 0 or 1 are cosmetic: one pixel wide, with the grid-intersect rule below.
    // Wider ones are geometric: solid, with round ends and joins.
    bool cosmetic = true;
    long long width = 1;
    bool insideFrame = false; // PS_INSIDEFRAME: closed shapes keep the frame inside the bounds
    int mode = R2_COPYPEN;
    std::uint32_t value = 0;
    // Dashed and dotted cosmetic pens: run lengths in pixels, on and off alternately (none for
    // a solid pen). Gaps take the background colour when the background mode is OPAQUE.
    const std::uint8_t* runs = nullptr;
    int runCount = 0;
    bool gapsDrawn = false;
    std::uint32_t gapValue = 0;
};

PenPaint preparePen(const DcObject& dc, const PenObject& pen, const Surface& surface);

// A cosmetic line from (x0, y0) to (x1, y1): the first pixel is drawn and the last is not.
// The pixels follow grid-intersect quantisation: at each step along the major axis the pixel
// is the one nearest to the true line, and when the line passes exactly between two pixels
// the upper one (of x-major lines) or the left one (of y-major lines) is taken, whichever way
// the line runs. Only pixels inside `clip` (within the surface) change, and they are exactly
// the unclipped line's pixels there. `stylePos` is the position in the dash pattern of the
// first pixel. Adds the damage.
void drawCosmeticLine(Surface& surface, const RECT& clip, long long x0, long long y0, long long x1,
                      long long y1, const PenPaint& pen, long long stylePos = 0);

// A geometric pen's stroke between two points: every pixel whose centre lies within half the
// pen width of the segment, which makes round ends (and round joins where strokes meet). An
// odd width centres on the points' pixels; an even width has one pixel more above and left of
// them than below and right, so its centre is the corner up and left of each point. A centre
// exactly at the limit counts when it lies above, or level with and left of, the nearest
// point of the segment.
struct Stroke {
    long long ax, ay, bx, by;
    long long width;
};

// Geometric strokes need the points and the width within 2^27, the device-coordinate range
// of Windows NT; beyond it the exact arithmetic would overflow.
bool strokeInRange(const Stroke& stroke);
// The pixels of the stroke in row y, as [left, right] within [lo, hi]; false if none.
bool strokeRow(const Stroke& stroke, long long y, long long lo, long long hi, long long& left,
               long long& right);
// Paints one stroke, clipped; adds the damage.
void drawStroke(Surface& surface, const RECT& clip, const Stroke& stroke, const PenPaint& pen);

} // namespace korutil::detail
