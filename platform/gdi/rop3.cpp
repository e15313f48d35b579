#include "gdi/rop3.h"

#include <cstring>
#include <cwchar>

namespace korutil::detail {
namespace {

// Four pixel values at once; the compiler maps these onto the machine's vector registers.
typedef std::uint32_t Lanes __attribute__((vector_size(16)));
constexpr int kLanes = 4;

Lanes load(const std::uint32_t* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void store(std::uint32_t* p, Lanes v) {
    std::memcpy(p, &v, sizeof v);
}

// Applies `op` (written once for vectors and single values) over the row. Inputs the
// operation does not use are never read; 32-bit values need no mask.
template <bool UseP, bool UseS, bool Masked, class Op>
void runRow(Op op, const std::uint32_t* p, const std::uint32_t* s, std::uint32_t* d, int n,
            std::uint32_t mask) {
    int i = 0;
    // Two blocks at a time: their chains of operations overlap in the processor.
    for (; i + 2 * kLanes <= n; i += 2 * kLanes) {
        Lanes pv{}, sv{}, pw{}, sw{};
        if constexpr (UseP) {
            pv = load(p + i);
            pw = load(p + i + kLanes);
        }
        if constexpr (UseS) {
            sv = load(s + i);
            sw = load(s + i + kLanes);
        }
        const Lanes out = op(pv, sv, load(d + i));
        const Lanes next = op(pw, sw, load(d + i + kLanes));
        store(d + i, Masked ? out & mask : out);
        store(d + i + kLanes, Masked ? next & mask : next);
    }
    for (; i + kLanes <= n; i += kLanes) {
        Lanes pv{}, sv{};
        if constexpr (UseP) {
            pv = load(p + i);
        }
        if constexpr (UseS) {
            sv = load(s + i);
        }
        const Lanes out = op(pv, sv, load(d + i));
        store(d + i, Masked ? out & mask : out);
    }
    for (; i < n; ++i) {
        const std::uint32_t out = op(UseP ? p[i] : 0u, UseS ? s[i] : 0u, d[i]);
        d[i] = Masked ? out & mask : out;
    }
}

void fill(std::uint32_t* d, int n, std::uint32_t value) {
    fillValues(d, static_cast<std::size_t>(n), value);
}

template <bool UseP, bool UseS, class Op>
void run(Op op, const std::uint32_t* p, const std::uint32_t* s, std::uint32_t* d, int n,
         std::uint32_t mask) {
    if (mask == 0xFFFFFFFFu) {
        runRow<UseP, UseS, false>(op, p, s, d, n, mask);
    } else {
        runRow<UseP, UseS, true>(op, p, s, d, n, mask);
    }
}

// Any operation as its algebraic normal form: the exclusive or of those products of P, S and
// D whose coefficient is set. c[m] is all ones when the product of the inputs in m (bit 2 P,
// bit 1 S, bit 0 D, as in the truth table's index) takes part.
struct Polynomial {
    std::uint32_t c[8];
    template <class V> V operator()(V p, V s, V d) const {
        return c[0] ^ (d & c[1]) ^ (s & (c[2] ^ (d & c[3]))) ^
               (p & (c[4] ^ (d & c[5]) ^ (s & (c[6] ^ (d & c[7])))));
    }
};

// The polynomial with P fixed: each product with P becomes the one without it, taken where
// P's bits are set. c[m] as in Polynomial for the products of S and D. The products of D
// alone and of S and D are often absent or in every bit; those cases drop their operations.
enum class Term { None, Every, Some };

template <Term DTerm, Term SDTerm> struct FoldedPolynomial {
    std::uint32_t c[4];
    template <class V> V operator()(V, V s, V d) const {
        V out;
        if constexpr (SDTerm == Term::None) {
            out = c[0] ^ (s & c[2]);
        } else if constexpr (SDTerm == Term::Every) {
            out = c[0] ^ (s & (c[2] ^ d));
        } else {
            out = c[0] ^ (s & (c[2] ^ (d & c[3])));
        }
        if constexpr (DTerm == Term::Every) {
            out ^= d;
        } else if constexpr (DTerm == Term::Some) {
            out ^= d & c[1];
        }
        return out;
    }
};

Term termOf(std::uint32_t coefficient) {
    return coefficient == 0 ? Term::None : coefficient == 0xFFFFFFFFu ? Term::Every : Term::Some;
}

template <Term DTerm, Term SDTerm>
void runFolded(const std::uint32_t (&c)[4], bool usesSource, const std::uint32_t* s,
               std::uint32_t* d, int n, std::uint32_t mask) {
    const FoldedPolynomial<DTerm, SDTerm> folded{{c[0], c[1], c[2], c[3]}};
    if (usesSource) {
        run<false, true>(folded, nullptr, s, d, n, mask);
    } else {
        run<false, false>(folded, nullptr, s, d, n, mask);
    }
}

template <Term DTerm>
void runFolded(Term sdTerm, const std::uint32_t (&c)[4], bool usesSource, const std::uint32_t* s,
               std::uint32_t* d, int n, std::uint32_t mask) {
    switch (sdTerm) {
    case Term::None:
        return runFolded<DTerm, Term::None>(c, usesSource, s, d, n, mask);
    case Term::Every:
        return runFolded<DTerm, Term::Every>(c, usesSource, s, d, n, mask);
    case Term::Some:
        return runFolded<DTerm, Term::Some>(c, usesSource, s, d, n, mask);
    }
}

Polynomial polynomialOf(std::uint8_t table) {
    // Moebius transform: each coefficient is the exclusive or of the table entries of all
    // subsets of its product.
    unsigned a = table;
    for (unsigned bit = 1; bit < 8; bit <<= 1) {
        for (unsigned i = 0; i < 8; ++i) {
            if (i & bit) {
                a ^= ((a >> (i ^ bit)) & 1u) << i;
            }
        }
    }
    Polynomial poly{};
    for (unsigned m = 0; m < 8; ++m) {
        poly.c[m] = ((a >> m) & 1u) ? 0xFFFFFFFFu : 0u;
    }
    return poly;
}

} // namespace

// The C library's 32-bit fill writes far faster than a loop of stores.
static_assert(sizeof(wchar_t) == sizeof(std::uint32_t), "wmemset fills 32-bit values");
void fillValues(std::uint32_t* dest, std::size_t count, std::uint32_t value) {
    std::wmemset(reinterpret_cast<wchar_t*>(dest), static_cast<wchar_t>(value), count);
}

void applyRop(std::uint8_t table, const std::uint32_t* p, const std::uint32_t* s, std::uint32_t* d,
              int n, std::uint32_t mask) {
    // The common operations get loops of their own; everything else goes through the
    // polynomial, which costs a few more instructions per value.
    switch (table) {
    case 0xAA: // D
        return;
    case 0x00: // BLACKNESS
        return fill(d, n, 0);
    case 0xFF: // WHITENESS
        return fill(d, n, mask);
    case 0x55: // DSTINVERT
        return run<false, false>([](auto, auto, auto dv) { return ~dv; }, p, s, d, n, mask);
    case 0xF0: // PATCOPY
        return run<true, false>([](auto pv, auto, auto) { return pv; }, p, s, d, n, mask);
    case 0x5A: // PATINVERT
        return run<true, false>([](auto pv, auto, auto dv) { return pv ^ dv; }, p, s, d, n, mask);
    case 0xCC: // SRCCOPY
        return run<false, true>([](auto, auto sv, auto) { return sv; }, p, s, d, n, mask);
    case 0x33: // NOTSRCCOPY
        return run<false, true>([](auto, auto sv, auto) { return ~sv; }, p, s, d, n, mask);
    case 0x88: // SRCAND
        return run<false, true>([](auto, auto sv, auto dv) { return sv & dv; }, p, s, d, n, mask);
    case 0xEE: // SRCPAINT
        return run<false, true>([](auto, auto sv, auto dv) { return sv | dv; }, p, s, d, n, mask);
    case 0x66: // SRCINVERT
        return run<false, true>([](auto, auto sv, auto dv) { return sv ^ dv; }, p, s, d, n, mask);
    case 0x44: // SRCERASE
        return run<false, true>([](auto, auto sv, auto dv) { return sv & ~dv; }, p, s, d, n, mask);
    case 0x22: // DSna, the mask step of transparent drawing
        return run<false, true>([](auto, auto sv, auto dv) { return ~sv & dv; }, p, s, d, n, mask);
    case 0x11: // NOTSRCERASE
        return run<false, true>([](auto, auto sv, auto dv) { return ~(sv | dv); }, p, s, d, n,
                                mask);
    case 0xBB: // MERGEPAINT
        return run<false, true>([](auto, auto sv, auto dv) { return ~sv | dv; }, p, s, d, n, mask);
    case 0xC0: // MERGECOPY
        return run<true, true>([](auto pv, auto sv, auto) { return pv & sv; }, p, s, d, n, mask);
    case 0xFB: // PATPAINT
        return run<true, true>([](auto pv, auto sv, auto dv) { return pv | ~sv | dv; }, p, s, d, n,
                               mask);
    default:
        break;
    }
    const Polynomial poly = polynomialOf(table);
    if (ropUsesPattern(table) && ropUsesSource(table)) {
        run<true, true>(poly, p, s, d, n, mask);
    } else if (ropUsesPattern(table)) {
        run<true, false>(poly, p, s, d, n, mask);
    } else if (ropUsesSource(table)) {
        run<false, true>(poly, p, s, d, n, mask);
    } else {
        run<false, false>(poly, p, s, d, n, mask);
    }
}

void applyRopSolid(std::uint8_t table, std::uint32_t pattern, const std::uint32_t* s,
                   std::uint32_t* d, int n, std::uint32_t mask) {
    if (!ropUsesPattern(table)) {
        applyRop(table, nullptr, s, d, n, mask);
        return;
    }
    const Polynomial poly = polynomialOf(table);
    if (!ropUsesSource(table) && !ropUsesDest(table)) {
        return fill(d, n, (poly.c[0] ^ (pattern & poly.c[4])) & mask);
    }
    const std::uint32_t c[4] = {
        poly.c[0] ^ (pattern & poly.c[4]), poly.c[1] ^ (pattern & poly.c[5]),
        poly.c[2] ^ (pattern & poly.c[6]), poly.c[3] ^ (pattern & poly.c[7])};
    const bool usesSource = ropUsesSource(table);
    switch (termOf(c[1])) {
    case Term::None:
        return runFolded<Term::None>(termOf(c[3]), c, usesSource, s, d, n, mask);
    case Term::Every:
        return runFolded<Term::Every>(termOf(c[3]), c, usesSource, s, d, n, mask);
    case Term::Some:
        return runFolded<Term::Some>(termOf(c[3]), c, usesSource, s, d, n, mask);
    }
}

} // namespace korutil::detail
