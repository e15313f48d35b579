// The keyboard the layer models: a US layout (scan codes of set 1, the extended-key flag, the
// characters of each key with and without shift, caps lock and control).
#pragma once

#include <korutil/platform/types.h>

namespace korutil::detail {

// The scan code of a virtual key (0 when the layout has none).
UINT scanCodeOf(int vk);
// Keys that sit on the extended part of the keyboard (arrows, the right control and alt, ...).
bool isExtendedKey(int vk);
// The character that a key gives, or -1 for none.
int characterOf(int vk, bool shift, bool capsLock, bool control);

} // namespace korutil::detail
