#include "gdi/blit.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace korutil::detail {
namespace {

bool isMonoDdb(const DcObject& dc) {
    const BitmapObject* bitmap = dc.state.bitmap;
    return dc.dcKind == DcKind::Memory && bitmap && !bitmap->dibSection && bitmap->surface &&
           bitmap->surface->isMono();
}

std::uint32_t* row32(Surface& surface, int x, int y) {
    return reinterpret_cast<std::uint32_t*>(surface.row(y)) + x;
}

const std::uint32_t* row32(const Surface& surface, int x, int y) {
    return reinterpret_cast<const std::uint32_t*>(surface.row(y)) + x;
}

// The pattern and destination side of one row of a blit: the destination values (in place
// for 32-bit surfaces), the pattern values, and what a transparent hatch leaves alone.
class RowTarget {
public:
    RowTarget(Surface& dest, int left, int count, std::uint8_t table, const BrushPaint* paint)
        : m_dest(dest), m_left(left), m_count(count), m_table(table), m_paint(paint),
          m_direct(dest.bitsPerPixel() == 32), m_gaps(paint && paint->hasGaps()) {
        const auto n = static_cast<std::size_t>(count);
        if (!m_direct) {
            m_values.resize(n);
        }
        if (m_paint && !m_paint->isSolid()) {
            m_pattern.resize(n);
        }
        if (m_gaps) {
            m_kept.resize(n);
        }
    }

    // Combines the source values (null when the operation reads none) into row y.
    void apply(int y, const std::uint32_t* source) {
        std::uint32_t* d = m_direct ? row32(m_dest, m_left, y) : m_values.data();
        if (!m_direct && (ropUsesDest(m_table) || m_gaps)) {
            m_dest.readRow(m_left, y, m_count, d);
        }
        if (m_paint && !m_paint->isSolid()) {
            m_paint->row(m_left, y, m_count, m_pattern.data());
        }
        if (m_gaps) {
            std::copy(d, d + m_count, m_kept.begin());
        }
        if (m_paint && m_paint->isSolid()) {
            applyRopSolid(m_table, m_paint->solidValue(), source, d, m_count, m_dest.valueMask());
        } else {
            applyRop(m_table, m_paint ? m_pattern.data() : nullptr, source, d, m_count,
                     m_dest.valueMask());
        }
        if (m_gaps) {
            for (int i = 0; i < m_count; ++i) {
                if (!m_paint->drawsAt(m_left + i, y)) {
                    d[i] = m_kept[static_cast<std::size_t>(i)];
                }
            }
        }
        if (!m_direct) {
            m_dest.writeRow(m_left, y, m_count, d);
        }
    }

private:
    Surface& m_dest;
    const int m_left;
    const int m_count;
    const std::uint8_t m_table;
    const BrushPaint* m_paint;
    const bool m_direct;
    const bool m_gaps;
    std::vector<std::uint32_t> m_values;
    std::vector<std::uint32_t> m_pattern;
    std::vector<std::uint32_t> m_kept;
};

// Source index (0 .. srcLength - 1) of destination index i, sampled at the centre of the
// destination pixel. 128-bit products, since both lengths may approach 2^32.
long long centreSample(long long i, long long srcLength, long long destLength) {
    const __int128 scaled = static_cast<__int128>(2 * i + 1) * srcLength;
    return static_cast<long long>(scaled / (2 * static_cast<__int128>(destLength)));
}

long long edgeSample(long long i, long long srcLength, long long destLength) {
    return static_cast<long long>(static_cast<__int128>(i) * srcLength / destLength);
}

// How one axis maps destination pixels to source pixels: for each destination coordinate
// of the clipped range, the source coordinate sampled and the source run it covers when
// shrinking combines pixels.
struct AxisMap {
    long long first = 0; // first destination coordinate
    std::vector<int> sample;
    std::vector<int> runStart;
    std::vector<int> runEnd;

    std::size_t size() const { return sample.size(); }
};

// Maps the destination coordinates [lo, hi) of `dest` onto `src`, keeping only those whose
// sample lies inside [boundLo, boundHi) (a contiguous range, since the map is monotonic).
AxisMap mapAxis(const Span& dest, const Span& src, long long lo, long long hi, int boundLo,
                int boundHi, bool runs) {
    const bool mirrored = dest.mirrored != src.mirrored;
    AxisMap map;
    auto sourceAt = [&](long long i) {
        const long long j = centreSample(i, src.length, dest.length);
        return src.low + (mirrored ? src.length - 1 - j : j);
    };
    while (lo < hi && (sourceAt(lo - dest.low) < boundLo || sourceAt(lo - dest.low) >= boundHi)) {
        ++lo;
    }
    while (hi > lo &&
           (sourceAt(hi - 1 - dest.low) < boundLo || sourceAt(hi - 1 - dest.low) >= boundHi)) {
        --hi;
    }
    map.first = lo;
    const auto n = static_cast<std::size_t>(hi - lo);
    map.sample.resize(n);
    if (runs) {
        map.runStart.resize(n);
        map.runEnd.resize(n);
    }
    for (std::size_t k = 0; k < n; ++k) {
        const long long i = lo + static_cast<long long>(k) - dest.low;
        map.sample[k] = static_cast<int>(sourceAt(i));
        if (runs) {
            // The pixels between this destination pixel's edges, and at least its sample,
            // which lies inside the bounds: the clipped run is never empty.
            const long long j = centreSample(i, src.length, dest.length);
            long long a = std::min(edgeSample(i, src.length, dest.length), j);
            long long b = std::max(edgeSample(i + 1, src.length, dest.length), j + 1);
            if (mirrored) {
                const long long flipped = src.length - b;
                b = src.length - a;
                a = flipped;
            }
            a = std::max<long long>(src.low + a, boundLo);
            b = std::min<long long>(src.low + b, boundHi);
            map.runStart[k] = static_cast<int>(a);
            map.runEnd[k] = static_cast<int>(b);
        }
    }
    return map;
}

// The same-size, unmirrored blit: rows and columns map one to one.
void copyBlit(const BlitDest& dest, const BlitSource& source, const RECT& area, long long offX,
              long long offY, std::uint8_t table, const BrushPaint* paint) {
    Surface& out = *dest.surface;
    const Surface& in = *source.surface;
    const int n = area.right - area.left;
    const int srcLeft = static_cast<int>(area.left + offX);
    ValueConverter convert;
    convert.prepare(in, source.monoDdb, source.bkColor, out, dest.monoDdb, dest.textColor,
                    dest.bkColor);
    const bool same = &in == &out;
    const bool sourceInPlace =
        convert.identity() && in.bitsPerPixel() == 32 && !(same && offY == 0);
    const bool plainCopy = table == ropTable(SRCCOPY) && convert.identity() &&
                           in.bitsPerPixel() == 32 && out.bitsPerPixel() == 32;
    const int rows = area.bottom - area.top;
    if (plainCopy && n * 4 == out.stride() && n * 4 == in.stride() &&
        out.bottomUp() == in.bottomUp()) {
        // Whole rows laid out alike: one move of the block, which also handles any overlap.
        const int last = area.bottom - 1;
        std::memmove(out.row(out.bottomUp() ? last : area.top),
                     in.row(static_cast<int>((in.bottomUp() ? last : area.top) + offY)),
                     static_cast<std::size_t>(n) * 4 * static_cast<std::size_t>(rows));
        return;
    }
    RowTarget target(out, area.left, n, table, paint);
    std::vector<std::uint32_t> values(sourceInPlace || plainCopy ? 0 : static_cast<std::size_t>(n));
    // On one surface, rows moving down are copied from the bottom up, so that each source
    // row is read before it is overwritten; within a row the source is read first.
    const bool upwards = same && offY < 0;
    for (int k = 0; k < rows; ++k) {
        const int y = upwards ? area.bottom - 1 - k : area.top + k;
        const int sy = static_cast<int>(y + offY);
        if (plainCopy) {
            std::memmove(row32(out, area.left, y), row32(in, srcLeft, sy),
                         static_cast<std::size_t>(n) * 4);
            continue;
        }
        const std::uint32_t* s = nullptr;
        if (sourceInPlace) {
            s = row32(in, srcLeft, sy);
        } else {
            convert.read(srcLeft, sy, n, values.data());
            s = values.data();
        }
        target.apply(y, s);
    }
}

enum class Combine { Sample, And, Or, Average };

// Stretched or mirrored blits. The source has been copied away if it shares the surface.
void stretchBlit(const BlitDest& dest, const BlitSource& source, const AxisMap& cols,
                 const AxisMap& rows, Combine combineX, Combine combineY, std::uint8_t table,
                 const BrushPaint* paint) {
    Surface& out = *dest.surface;
    const Surface& in = *source.surface;
    ValueConverter convert;
    convert.prepare(in, source.monoDdb, source.bkColor, out, dest.monoDdb, dest.textColor,
                    dest.bkColor);
    const Combine combine = combineX != Combine::Sample ? combineX : combineY;
    const bool runsX = combineX != Combine::Sample;
    const bool runsY = combineY != Combine::Sample;
    const std::size_t n = cols.size();
    const bool plain = out.plainRgb();
    int segLow = cols.sample.front(), segHigh = cols.sample.front() + 1;
    for (std::size_t k = 0; k < n; ++k) {
        segLow = std::min(segLow, runsX ? cols.runStart[k] : cols.sample[k]);
        segHigh = std::max(segHigh, runsX ? cols.runEnd[k] : cols.sample[k] + 1);
    }
    std::vector<std::uint32_t> segment(static_cast<std::size_t>(segHigh - segLow));
    std::vector<std::uint32_t> values(n);
    std::vector<std::uint32_t> bits;
    std::vector<std::uint64_t> sums;
    if (combine == Combine::And || combine == Combine::Or) {
        bits.resize(n);
    } else if (combine == Combine::Average) {
        sums.resize(n * 3);
    }
    // The source columns that destination column k combines.
    auto start = [&](std::size_t k) { return runsX ? cols.runStart[k] : cols.sample[k]; };
    auto end = [&](std::size_t k) { return runsX ? cols.runEnd[k] : cols.sample[k] + 1; };
    RowTarget target(out, static_cast<int>(cols.first), static_cast<int>(n), table, paint);
    long long lastLow = -1, lastHigh = -1;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const int y = static_cast<int>(rows.first + static_cast<long long>(r));
        const int low = runsY ? rows.runStart[r] : rows.sample[r];
        const int high = runsY ? rows.runEnd[r] : rows.sample[r] + 1;
        // Enlarging repeats source rows; their values are still in `values`.
        if (low != lastLow || high != lastHigh) {
            lastLow = low;
            lastHigh = high;
            if (combine == Combine::Sample) {
                convert.read(segLow, low, segHigh - segLow, segment.data());
                for (std::size_t k = 0; k < n; ++k) {
                    values[k] = segment[static_cast<std::size_t>(cols.sample[k] - segLow)];
                }
                target.apply(y, values.data());
                continue;
            }
            std::fill(bits.begin(), bits.end(), combine == Combine::And ? 0xFFFFFFFFu : 0u);
            std::fill(sums.begin(), sums.end(), 0);
            for (int sy = low; sy < high; ++sy) {
                convert.read(segLow, sy, segHigh - segLow, segment.data());
                if (combine == Combine::Average && !plain) {
                    for (std::uint32_t& v : segment) {
                        const COLORREF color = out.colorOf(v);
                        v = GetRValue(color) << 16 | GetGValue(color) << 8 | GetBValue(color);
                    }
                }
                for (std::size_t k = 0; k < n; ++k) {
                    const std::uint32_t* run = segment.data() + (start(k) - segLow);
                    const int length = end(k) - start(k);
                    if (combine == Combine::Average) {
                        std::uint64_t red = 0, green = 0, blue = 0;
                        for (int c = 0; c < length; ++c) {
                            red += (run[c] >> 16) & 0xFF;
                            green += (run[c] >> 8) & 0xFF;
                            blue += run[c] & 0xFF;
                        }
                        sums[k * 3] += red;
                        sums[k * 3 + 1] += green;
                        sums[k * 3 + 2] += blue;
                    } else {
                        std::uint32_t v = bits[k];
                        for (int c = 0; c < length; ++c) {
                            v = combine == Combine::And ? v & run[c] : v | run[c];
                        }
                        bits[k] = v;
                    }
                }
            }
            for (std::size_t k = 0; k < n; ++k) {
                if (combine != Combine::Average) {
                    values[k] = bits[k];
                    continue;
                }
                const std::uint64_t count = static_cast<std::uint64_t>(end(k) - start(k)) *
                                            static_cast<unsigned>(high - low);
                auto mean = [&](int c) {
                    return static_cast<BYTE>((sums[k * 3 + c] + count / 2) / count);
                };
                values[k] = out.valueOf(RGB(mean(0), mean(1), mean(2)));
            }
        }
        target.apply(y, values.data());
    }
}

Combine combineFor(int mode, const Span& dest, const Span& src) {
    if (src.length <= dest.length) {
        return Combine::Sample; // enlarging or same size repeats pixels in every mode
    }
    switch (mode) {
    case BLACKONWHITE:
        return Combine::And;
    case WHITEONBLACK:
        return Combine::Or;
    case HALFTONE:
        return Combine::Average;
    default:
        return Combine::Sample;
    }
}

} // namespace

Span spanOf(long long start, long long extent) {
    if (extent < 0) {
        return Span{start + extent + 1, -extent, true};
    }
    return Span{start, extent, false};
}

bool destOf(DcObject& dc, DrawTarget& target, BlitDest& out) {
    if (!dc.target(target)) {
        return false;
    }
    out.surface = target.surface;
    out.clip = target.clip;
    out.monoDdb = isMonoDdb(dc);
    out.textColor = dc.state.textColor;
    out.bkColor = dc.state.bkColor;
    out.stretchMode = dc.state.stretchMode;
    return true;
}

bool sourceOf(DcObject& dc, DrawTarget& target, BlitSource& out) {
    if (!dc.target(target, false)) {
        return false;
    }
    out.surface = target.surface;
    out.bounds = target.clip;
    out.monoDdb = isMonoDdb(dc);
    out.bkColor = dc.state.bkColor;
    return true;
}

void patternBlt(Surface& dest, const RECT& area, std::uint8_t table, const BrushPaint* paint) {
    const int n = area.right - area.left, rows = area.bottom - area.top;
    if (dest.bitsPerPixel() == 32 && n * 4 == dest.stride() && !ropUsesDest(table) &&
        (!paint || paint->isSolid())) {
        // One value over whole rows: a single fill of the block.
        std::uint32_t value = 0;
        applyRopSolid(table, paint ? paint->solidValue() : 0, nullptr, &value, 1, 0xFFFFFFFFu);
        fillValues(row32(dest, 0, dest.bottomUp() ? area.bottom - 1 : area.top),
                   static_cast<std::size_t>(n) * static_cast<std::size_t>(rows), value);
        dest.addDamage(area);
        return;
    }
    RowTarget target(dest, area.left, n, table, paint);
    for (int y = area.top; y < area.bottom; ++y) {
        target.apply(y, nullptr);
    }
    dest.addDamage(area);
}

bool blit(const BlitDest& dest, Span dx, Span dy, const BlitSource* source, Span sx, Span sy,
          std::uint8_t table, const BrushPaint* paint) {
    const long long left = std::max<long long>(dx.low, dest.clip.left);
    const long long right = std::min<long long>(dx.low + dx.length, dest.clip.right);
    const long long top = std::max<long long>(dy.low, dest.clip.top);
    const long long bottom = std::min<long long>(dy.low + dy.length, dest.clip.bottom);
    if (left >= right || top >= bottom) {
        return true;
    }
    if (!ropUsesSource(table)) {
        patternBlt(*dest.surface,
                   RECT{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(right),
                        static_cast<LONG>(bottom)},
                   table, paint);
        return true;
    }
    if (sx.length == 0 || sy.length == 0) {
        return true;
    }
    const RECT& bounds = source->bounds;
    if (dx.length == sx.length && dy.length == sy.length && dx.mirrored == sx.mirrored &&
        dy.mirrored == sy.mirrored) {
        const long long offX = sx.low - dx.low;
        const long long offY = sy.low - dy.low;
        // Compared before narrowing: the offsets may exceed the range of a LONG.
        const long long l = std::max<long long>(left, bounds.left - offX);
        const long long t = std::max<long long>(top, bounds.top - offY);
        const long long r = std::min<long long>(right, bounds.right - offX);
        const long long b = std::min<long long>(bottom, bounds.bottom - offY);
        if (l < r && t < b) {
            const RECT area{static_cast<LONG>(l), static_cast<LONG>(t), static_cast<LONG>(r),
                            static_cast<LONG>(b)};
            copyBlit(dest, *source, area, offX, offY, table, paint);
            dest.surface->addDamage(area);
        }
        return true;
    }
    const Combine combineX = combineFor(dest.stretchMode, dx, sx);
    const Combine combineY = combineFor(dest.stretchMode, dy, sy);
    const AxisMap cols =
        mapAxis(dx, sx, left, right, bounds.left, bounds.right, combineX != Combine::Sample);
    const AxisMap rows =
        mapAxis(dy, sy, top, bottom, bounds.top, bounds.bottom, combineY != Combine::Sample);
    if (cols.size() == 0 || rows.size() == 0) {
        return true;
    }
    BlitSource read = *source;
    std::shared_ptr<Surface> copy;
    if (source->surface == dest.surface) {
        copy = source->surface->clone();
        if (!copy) {
            return false;
        }
        read.surface = copy.get();
    }
    stretchBlit(dest, read, cols, rows, combineX, combineY, table, paint);
    dest.surface->addDamage(
        RECT{static_cast<LONG>(cols.first), static_cast<LONG>(rows.first),
             static_cast<LONG>(cols.first + static_cast<long long>(cols.size())),
             static_cast<LONG>(rows.first + static_cast<long long>(rows.size()))});
    return true;
}

BOOL fillArea(DcObject& dc, const BrushObject* brush, long long x, long long y, long long w,
              long long h, std::uint8_t table) {
    DrawTarget target;
    BlitDest dest;
    if (!destOf(dc, target, dest)) {
        return FALSE;
    }
    const Span sx = spanOf(x, w);
    const Span sy = spanOf(y, h);
    const RECT area = target.clipped(sx.low, sy.low, sx.low + sx.length, sy.low + sy.length);
    if (isEmpty(area)) {
        return TRUE;
    }
    BrushPaint paint;
    if (ropUsesPattern(table)) {
        // A hollow brush leaves everything as it is.
        if (!brush || !paint.prepare(dc, *brush, target)) {
            return TRUE;
        }
    }
    patternBlt(*target.surface, area, table, ropUsesPattern(table) ? &paint : nullptr);
    return TRUE;
}

} // namespace korutil::detail
