// How pixel values of one surface become pixel values of another, by the Windows colour rules:
// a monochrome device-dependent bitmap read into colour shows its 0 bits in the destination
// context's text colour and its 1 bits in its background colour; colour read into such a
// bitmap gives 1 where the pixel shows the source context's background colour and 0
// elsewhere; two of them copy bits; everything else converts through the colour, keeping
// values as they are between identical formats. Callers hold the layer's lock.
#pragma once

#include "gdi/surface.h"

#include <cstdint>
#include <vector>

namespace korutil::detail {

class ValueConverter {
public:
    // A blit between contexts. fromBk is the source context's background colour; toText and
    // toBk are the destination context's text and background colours.
    void prepare(const Surface& from, bool fromMonoDdb, COLORREF fromBk, const Surface& to,
                 bool toMonoDdb, COLORREF toText, COLORREF toBk);
    // A plain conversion through the colour, as the device-independent bitmap calls make.
    void prepare(const Surface& from, const Surface& to) {
        prepare(from, false, 0, to, false, 0, 0);
    }

    // Whether values pass unchanged.
    bool identity() const { return m_kind == Kind::Identity; }
    // count values of row y of the source surface from x, converted.
    void read(int x, int y, int count, std::uint32_t* out) const;

private:
    enum class Kind { Identity, Table, LowBytes, ToMono, Colour };
    std::uint32_t convertOne(std::uint32_t value) const;

    Kind m_kind = Kind::Identity;
    const Surface* m_from = nullptr;
    const Surface* m_to = nullptr;
    std::vector<std::uint32_t> m_table; // Table: the result for each source value
    COLORREF m_match = 0;               // ToMono: the colour that gives 1
    // Colour: the last value converted, since runs of one colour are common.
    mutable std::uint32_t m_lastIn = 0;
    mutable std::uint32_t m_lastOut = 0;
    mutable bool m_haveLast = false;
};

} // namespace korutil::detail
