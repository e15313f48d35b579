// Activation and focus, per thread as Windows keeps them: each thread has its active
// top-level window and its focus window; the foreground window is the active window of the
// thread that gets the user's keys. Lock not held; the window procedures of the windows
// involved run on the calling thread, which must be theirs.
#pragma once

#include <korutil/platform/user.h>

namespace korutil::detail {

// Makes a top-level window of the calling thread the active (and foreground) one, with
// WM_NCACTIVATE, WM_ACTIVATE and WM_ACTIVATEAPP; null deactivates. Returns the window that
// was active.
HWND activateWindow(HWND hwnd, int how);
// When the active window hides or goes: its owner, else the next visible top-level window of
// the thread below it, becomes active; without one the thread has no active window.
void activateNextAfter(HWND leaving);
// SetFocus's work (activating the window's top-level first); returns the previous focus.
HWND setFocusWindow(HWND hwnd);

} // namespace korutil::detail
