// Ternary raster operations: the truth table in bits 16-23 of a raster-operation code, applied
// bitwise to rows of pixel values of pattern (P), source (S) and destination (D). Bit
// (p << 2 | s << 1 | d) of the table is the result for those three input bits. Pure functions
// on caller buffers; any thread.
#pragma once

#include <korutil/platform/types.h>

#include <cstddef>
#include <cstdint>

namespace korutil::detail {

inline std::uint8_t ropTable(DWORD rop) {
    return static_cast<std::uint8_t>(rop >> 16);
}

// Whether the result depends on the input: some pair of table entries that differ only in
// that input's bit differs.
inline bool ropUsesPattern(std::uint8_t table) {
    return ((table >> 4) ^ table) & 0x0F;
}
inline bool ropUsesSource(std::uint8_t table) {
    return ((table >> 2) ^ table) & 0x33;
}
inline bool ropUsesDest(std::uint8_t table) {
    return ((table >> 1) ^ table) & 0x55;
}

// count copies of one value.
void fillValues(std::uint32_t* dest, std::size_t count, std::uint32_t value);

// dest[i] = table(pattern[i], source[i], dest[i]) & mask for i < count, computed on whole
// values. pattern and source may be null when the operation does not use them; `mask` keeps
// the bits a pixel value of the destination may have.
void applyRop(std::uint8_t table, const std::uint32_t* pattern, const std::uint32_t* source,
              std::uint32_t* dest, int count, std::uint32_t mask);
// The same with one pattern value for the whole row (a solid brush), which folds into the
// operation: any operation then costs about what one of source and destination costs.
void applyRopSolid(std::uint8_t table, std::uint32_t pattern, const std::uint32_t* source,
                   std::uint32_t* dest, int count, std::uint32_t mask);

} // namespace korutil::detail
