// Cursors and icons: handles for the standard identifiers and for the cursor and icon
// resources of modules. Nothing is drawn on this platform; a display mirror may ask which
// cursor is set (lock held).
#pragma once

#include <korutil/platform/user.h>

namespace korutil::detail {

HCURSOR currentCursor();

} // namespace korutil::detail
