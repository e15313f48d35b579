// UTF-8 and UTF-16 helpers shared by the formatter and the resource calls: the layer's 8-bit
// code page is UTF-8, resource files hold UTF-16.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korutil::detail {

// Writes the UTF-8 form of a code point (U+FFFD for a surrogate or a value past U+10FFFF)
// and returns its length, 1 to 4.
int encodeUtf8(char32_t codePoint, char* out);

// The next code point of UTF-16 text; an unpaired surrogate gives U+FFFD. `p` must be
// below `end`.
char32_t nextUtf16(const std::uint16_t*& p, const std::uint16_t* end);

// The largest length up to `limit` that does not split a UTF-8 sequence of `text`, which
// holds `length` bytes.
std::size_t utf8CutPoint(const char* text, std::size_t length, std::size_t limit);

} // namespace korutil::detail
