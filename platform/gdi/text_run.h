// A run of UTF-8 text in one realised font, measured and drawn into a context's target: the
// common part of ExtTextOutA and DrawTextA. Counts are in bytes; a byte that starts no valid
// UTF-8 sequence is a character of its own, drawn as the default character. Callers hold the
// layer's lock (gdi/lock.h).
#pragma once

#include "gdi/dc.h"
#include "gdi/font_face.h"

#include <cstddef>
#include <cstdint>

namespace korutil::detail {

// The realised font a context draws with; null with ERROR_FILE_NOT_FOUND when no font file
// can be read.
FontFace* contextFont(DcObject& dc);

// The width of a run: per character its advance, or with `dx` the sum of the entries of its
// bytes (one entry per byte, as the count is in bytes), plus `extra`.
long long runWidth(FontFace& font, const char* text, std::size_t length, const INT* dx, int extra);

// Draws a run of width `width` (from runWidth) whose cell has its top-left corner at logical
// (left, top), in the context's text colour, with the cell filled in the background colour
// when the background mode is OPAQUE, and with the font's underline and strike-out. Only
// pixels inside `clip` (surface coordinates) change; what changed is added to the damage.
void drawRun(const DcObject& dc, const DrawTarget& target, FontFace& font, long long left,
             long long top, const char* text, std::size_t length, const INT* dx, long long width,
             const RECT& clip);

// Fills a logical rectangle, cut to `clip` (surface coordinates), with a colour, and adds it
// to the damage.
void fillLogical(const DrawTarget& target, long long left, long long top, long long right,
                 long long bottom, COLORREF color, const RECT& clip);

} // namespace korutil::detail
