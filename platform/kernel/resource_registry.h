// Access to a registered resource under the registry's lock, for calls of the layer that
// read resource data (LoadStringA) and must not race with the module's unload.
#pragma once

#include <korutil/platform/types.h>

#include <functional>

namespace korutil::detail {

// Finds the resource as FindResourceA does and, if found, calls `read` with its data while
// the module's resources cannot go away. False (with FindResourceA's last error) if absent.
bool readResource(HMODULE module, LPCSTR name, LPCSTR type,
                  const std::function<void(const unsigned char* data, DWORD size)>& read);

} // namespace korutil::detail
