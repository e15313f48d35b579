// UTF-8 and UTF-16 helpers shared by the formatter, the resource calls and text drawing: the
// layer's 8-bit code page is UTF-8, resource files hold UTF-16.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korutil::detail {

// Writes the UTF-8 form of a code point (U+FFFD for a surrogate or a value past U+10FFFF)
// and returns its length, 1 to 4.
int encodeUtf8(char32_t codePoint, char* out);

// What nextUtf8 gives for a byte that starts no well-formed sequence; no code point has it.
constexpr char32_t kInvalidUtf8 = 0xFFFFFFFF;

// The next code point of UTF-8 text. A byte that starts no well-formed sequence (a stray
// continuation byte, a truncated, overlong or surrogate sequence, a value past U+10FFFF) gives
// kInvalidUtf8 and is consumed alone, so that the bytes after it are read afresh. `p` must be
// below `end`.
char32_t nextUtf8(const char*& p, const char* end);

// The next code point of UTF-16 text; an unpaired surrogate gives U+FFFD. `p` must be
// below `end`.
char32_t nextUtf16(const std::uint16_t*& p, const std::uint16_t* end);

// The largest length up to `limit` that does not split a UTF-8 sequence of `text`, which
// holds `length` bytes.
std::size_t utf8CutPoint(const char* text, std::size_t length, std::size_t limit);

} // namespace korutil::detail
