// The raster engine behind PatBlt, BitBlt, StretchBlt, FillRect and the device-independent
// bitmap calls: it combines rows of pattern, source and destination values with a ternary
// raster operation, converting the source into the destination's format and stretching it.
// Callers hold the layer's lock (gdi/lock.h).
#pragma once

#include "gdi/brush_paint.h"
#include "gdi/convert.h"
#include "gdi/dc.h"
#include "gdi/rop3.h"

namespace korutil::detail {

// One side of a blit along one axis: `length` pixels from `low`, in surface coordinates.
// A negative extent runs from its start pixel towards lower coordinates, start included,
// and mirrors the picture.
struct Span {
    long long low = 0;
    long long length = 0;
    bool mirrored = false;
};
Span spanOf(long long start, long long extent);

// Where a blit draws: the surface, the part of it that may change, and the context's values
// that the colour rules and the stretching read.
struct BlitDest {
    Surface* surface = nullptr;
    RECT clip{0, 0, 0, 0};
    bool monoDdb = false; // a monochrome device-dependent bitmap
    COLORREF textColor = 0;
    COLORREF bkColor = 0;
    int stretchMode = BLACKONWHITE;
};

// What a blit reads: the surface, the part of it that may be read (destination pixels whose
// source lies outside are left alone) and the source context's background colour.
struct BlitSource {
    const Surface* surface = nullptr;
    RECT bounds{0, 0, 0, 0};
    bool monoDdb = false;
    COLORREF bkColor = RGB(255, 255, 255);
};

// The destination side of a context: false when it has nothing to draw on.
bool destOf(DcObject& dc, DrawTarget& target, BlitDest& out);
// The source side of a context, with the origin that maps its logical coordinates.
bool sourceOf(DcObject& dc, DrawTarget& target, BlitSource& out);

// Applies an operation that reads no source to `area` (surface coordinates, clipped). `paint`
// is the prepared brush when the operation uses the pattern; pixels a transparent hatch
// leaves out keep their value.
void patternBlt(Surface& dest, const RECT& area, std::uint8_t table, const BrushPaint* paint);

// The whole blit: destination and source spans in surface coordinates, before clipping.
// `source` may be null when the operation does not use it; `paint` as for patternBlt. False
// when memory is short for the copy that a stretch within one surface reads from.
bool blit(const BlitDest& dest, Span dx, Span dy, const BlitSource* source, Span sx, Span sy,
          std::uint8_t table, const BrushPaint* paint);

// Validates and clips a PatBlt-like fill of a context: PATCOPY of `brush` for FillRect, the
// selected brush for PatBlt.
BOOL fillArea(DcObject& dc, const BrushObject* brush, long long x, long long y, long long w,
              long long h, std::uint8_t table);

} // namespace korutil::detail
