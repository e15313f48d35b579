// Update regions and the painting messages. Lock held unless said.
#pragma once

#include "user/window.h"

namespace korutil::detail {

// Adds to the window's update region (client coordinates; null: the whole client area) and
// asks for erasing and frame painting; wakes the thread for WM_PAINT. Windows that cannot be
// seen have nothing to paint.
void invalidateWindow(Window* window, const RECT* area, bool erase, bool frame);
// The same for a window and every window below it, all of them whole.
void invalidateTree(Window* window, bool erase, bool frame);

// Sends WM_NCPAINT and WM_ERASEBKGND now for what the window has pending (lock not held).
void paintFrameAndBackgroundNow(HWND hwnd);

} // namespace korutil::detail
