// Module frame: the export macro every public header uses, and the block-memory and
// arithmetic primitives that hosts call directly.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#if defined(KORUTIL_BUILDING)
#define KORUTIL_API __declspec(dllexport)
#else
#define KORUTIL_API __declspec(dllimport)
#endif
#elif defined(KORUTIL_BUILDING)
#define KORUTIL_API __attribute__((visibility("default")))
#else
#define KORUTIL_API
#endif

extern "C" {

// Copies count bytes; correct for overlapping areas. Works in four-byte words and never
// calls the runtime.
KORUTIL_API void GMemMove(void* dest, const void* src, std::uint32_t count);

// Fills count bytes with the pattern repeated in little-endian order: byte k receives byte
// k % 4 of the pattern.
KORUTIL_API void GMemSet(void* dest, std::uint32_t pattern, std::uint32_t count);

// number * numerator / denominator through an exact 64-bit product, truncated toward zero.
// The denominator must be non-zero and the quotient must fit in 32 bits.
KORUTIL_API std::int32_t MulDiv32(std::int32_t number, std::int32_t numerator,
                                  std::int32_t denominator);
}
