// The end of windows. Lock held for freeWindowTree only.
#pragma once

#include "user/window.h"

namespace korutil::detail {

// Frees a window and everything below it at once, without messages: for windows whose thread
// has ended. Lock held.
void freeWindowTree(Window* window);

// DestroyWindow's work for a window of the calling thread: hides it, destroys its owned
// windows, hands activation and focus on, then WM_DESTROY from the window down and
// WM_NCDESTROY from the bottom up, freeing each window after its WM_NCDESTROY. Lock not held.
void destroyWindow(HWND hwnd);

} // namespace korutil::detail
