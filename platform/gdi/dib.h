// Device-independent bitmaps as callers hand them over: reading and checking a BITMAPINFO
// (BITMAPCOREHEADER, BITMAPINFOHEADER and its V4 and V5 extensions), the surfaces that read
// or write the caller's bits in place, and the colour tables that bitmaps without one of their
// own use. Nothing here reads past what a header declares. Callers hold the layer's lock when
// they touch layer objects; the functions themselves only touch their arguments.
#pragma once

#include "gdi/surface.h"

#include <korutil/platform/gdi.h>

#include <memory>
#include <vector>

namespace korutil::detail {

struct DibInfo {
    DWORD headerSize = 0; // 12 for a BITMAPCOREHEADER, else biSize
    int width = 0;
    int height = 0; // number of rows, positive
    bool topDown = false;
    int bitCount = 0;
    DWORD compression = BI_RGB;
    DWORD masks[3] = {0, 0, 0}; // 16 and 32 bits: the channel masks in use
    // 1 to 8 bits: the colour table, 2^bitCount entries; entries past the declared count are
    // black.
    std::vector<RGBQUAD> colors;
    long long stride = 0;      // bytes per row, rows aligned to four bytes
    BITMAPINFOHEADER header{}; // the header's fields (a core header's widened)
};

// 12 (BITMAPCOREHEADER), 40 (BITMAPINFOHEADER), 52 and 56 (its mask extensions), 108 (V4) or
// 124 (V5).
bool knownDibHeaderSize(DWORD size);

// Reads and checks a caller's BITMAPINFO for reading bits: planes 1, 1/4/8/16/24/32 bits,
// BI_RGB (or BI_BITFIELDS for 16 and 32 bits, with sound masks), a width and a height that are
// not zero and whose bits fit in 2^31 bytes, DIB_RGB_COLORS for a colour table. Reads the
// header, then the masks and colour table only as far as it declares them. False with
// ERROR_INVALID_PARAMETER otherwise.
bool readDibInfo(const BITMAPINFO* info, UINT usage, DibInfo& out);
// The same for a format that a call is to fill in (GetDIBits): the colour table and masks
// are not read, as the caller has not written them.
bool readDibFormat(const BITMAPINFO* info, DibInfo& out);

// Gives `surface` the format's colour table or masks.
void applyFormat(const DibInfo& format, Surface& surface);
// A surface over `rows` rows of the caller's bits in the format (rows from the top of the
// picture when `format.topDown`, else from the bottom). Null when memory is short.
std::shared_ptr<Surface> wrapDib(const DibInfo& format, const void* bits, int rows);

// The table of a bitmap of 1, 4 or 8 bits that has none of its own: black and white, the 16
// standard colours, or 256 colours (the 20 static ones of the default palette, a colour
// cube and a grey ramp).
const std::vector<RGBQUAD>& defaultColors(int bitCount);

} // namespace korutil::detail
