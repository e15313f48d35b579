// Names compared without case, as Windows compares file, module and profile names. The
// layer's 8-bit text is UTF-8: ASCII letters, and the letters of Latin-1, Latin Extended-A,
// Greek and Cyrillic, fold to their capitals (one-to-one mappings only, no ligatures or
// context rules); every other character, and every byte that is not well-formed UTF-8,
// compares as it is.
#pragma once

#include <string>
#include <string_view>

namespace korutil::detail {

bool sameWithoutCase(std::string_view a, std::string_view b);

// `name` matched against a pattern of `*` (any run of characters) and `?` (one character),
// without case.
bool wildcardMatchWithoutCase(std::string_view pattern, std::string_view name);

// A key that is equal for exactly the names that sameWithoutCase takes as equal.
std::string caseFoldKey(std::string_view name);

} // namespace korutil::detail
