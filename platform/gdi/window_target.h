// What the graphics layer asks of the window manager (user/), which implements these. The
// layer's lock is held for every call.
#pragma once

#include "gdi/dc.h"

namespace korutil::detail {

// The target of a window's context: its surface, the position of the client area (or of the
// whole window) in it, and the part of it the window may draw on. False for a dead handle.
bool windowDrawTarget(HWND window, bool wholeWindow, DrawTarget& target);

// Brings the screen surface up to date with the windows: recomposes what changed since the
// last call.
void composeScreen();

} // namespace korutil::detail
