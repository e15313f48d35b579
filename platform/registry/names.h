// Key paths, and the limits Windows documents for what the registry holds: key names of at
// most 255 characters, none of them a control character, paths at most 512 levels deep,
// value names of at most 16,383 characters and classes of at most 32,766. Lengths count
// the bytes of the UTF-8 text.
#pragma once

#include <korutil/platform/errors.h>
#include <korutil/platform/registry.h>

#include <string>
#include <vector>

namespace korutil::detail {

constexpr unsigned kMaxKeyDepth = 512;
constexpr std::size_t kMaxKeyName = 255;
constexpr std::size_t kMaxValueName = 16383;
constexpr std::size_t kMaxClass = 32766;

// A key path split at its backslashes. A trailing backslash is allowed; a leading one or an
// empty name in the middle is not (ERROR_BAD_PATHNAME).
DWORD splitPath(const char* path, std::vector<std::string>& parts);

// Whether keys of these names may be made below a key `depth` levels deep:
// ERROR_BAD_PATHNAME for a control character, ERROR_INVALID_PARAMETER for a name too long
// or a path too deep.
DWORD checkNewKeys(const std::vector<std::string>& parts, unsigned depth);

} // namespace korutil::detail
