#include "gdi/convert.h"

#include <cstring>

namespace korutil::detail {
namespace {

bool sameFormat(const Surface& a, const Surface& b) {
    if (a.bitsPerPixel() != b.bitsPerPixel()) {
        return false;
    }
    if (a.bitsPerPixel() <= 8) {
        return a.colors().size() == b.colors().size() &&
               std::memcmp(a.colors().data(), b.colors().data(),
                           a.colors().size() * sizeof(RGBQUAD)) == 0;
    }
    return std::memcmp(a.masks(), b.masks(), 3 * sizeof(DWORD)) == 0;
}

} // namespace

void ValueConverter::prepare(const Surface& from, bool fromMonoDdb, COLORREF fromBk,
                             const Surface& to, bool toMonoDdb, COLORREF toText, COLORREF toBk) {
    m_from = &from;
    m_to = &to;
    m_table.clear();
    m_haveLast = false;
    const std::uint32_t sourceValues = from.bitsPerPixel() <= 8 ? 1u << from.bitsPerPixel() : 0;
    if (fromMonoDdb && toMonoDdb) {
        m_kind = Kind::Identity;
    } else if (fromMonoDdb) {
        m_kind = Kind::Table;
        m_table = {to.valueOf(toText & 0x00FFFFFFu), to.valueOf(toBk & 0x00FFFFFFu)};
    } else if (toMonoDdb) {
        // The background colour as the source's format shows it, so that a pixel drawn in
        // that colour always matches.
        m_match = from.colorOf(from.valueOf(fromBk & 0x00FFFFFFu));
        m_kind = Kind::ToMono;
        if (sourceValues) {
            m_kind = Kind::Table;
            for (std::uint32_t v = 0; v < sourceValues; ++v) {
                m_table.push_back(from.colorOf(v) == m_match ? 1u : 0u);
            }
        }
    } else if (sameFormat(from, to)) {
        m_kind = Kind::Identity;
    } else if (sourceValues) {
        m_kind = Kind::Table;
        for (std::uint32_t v = 0; v < sourceValues; ++v) {
            m_table.push_back(to.valueOf(from.colorOf(v)));
        }
    } else if (from.plainRgb() && to.plainRgb()) {
        m_kind = Kind::LowBytes;
    } else {
        m_kind = Kind::Colour;
    }
}

std::uint32_t ValueConverter::convertOne(std::uint32_t value) const {
    if (m_kind == Kind::ToMono) {
        return m_from->colorOf(value) == m_match ? 1u : 0u;
    }
    if (!m_haveLast || value != m_lastIn) {
        m_lastIn = value;
        m_lastOut = m_to->valueOf(m_from->colorOf(value));
        m_haveLast = true;
    }
    return m_lastOut;
}

void ValueConverter::read(int x, int y, int count, std::uint32_t* out) const {
    switch (m_kind) {
    case Kind::Identity:
        m_from->readRow(x, y, count, out);
        return;
    case Kind::Table: {
        // Tables only come from sources of 8 bits or fewer: the row decodes directly.
        const std::uint8_t* p = m_from->row(y);
        const std::uint32_t* table = m_table.data();
        switch (m_from->bitsPerPixel()) {
        case 8:
            for (int i = 0; i < count; ++i) {
                out[i] = table[p[x + i]];
            }
            return;
        case 4:
            for (int i = 0, px = x; i < count; ++i, ++px) {
                out[i] = table[(px & 1) ? p[px >> 1] & 0x0F : p[px >> 1] >> 4];
            }
            return;
        default:
            for (int i = 0, px = x; i < count; ++i, ++px) {
                out[i] = table[(p[px >> 3] >> (7 - (px & 7))) & 1];
            }
            return;
        }
    }
    case Kind::LowBytes:
        m_from->readRow(x, y, count, out);
        for (int i = 0; i < count; ++i) {
            out[i] &= 0x00FFFFFFu;
        }
        return;
    case Kind::ToMono:
    case Kind::Colour:
        m_from->readRow(x, y, count, out);
        for (int i = 0; i < count; ++i) {
            out[i] = convertOne(out[i]);
        }
        return;
    }
}

} // namespace korutil::detail
