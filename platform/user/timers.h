// Timers of the layer's own (mouse hover, and those of menus and tips): they run a function on
// the window's thread when due, instead of posting WM_TIMER, and never reach the host. Lock
// held for both calls.
#pragma once

#include <korutil/platform/user.h>

namespace korutil::detail {

struct Window;

// Starts or restarts the timer (hwnd, id) on the window's thread; false for a dead window.
bool setLayerTimer(HWND hwnd, UINT_PTR id, UINT elapse, void (*fire)(HWND, UINT_PTR));
void killLayerTimer(HWND hwnd, UINT_PTR id);
// Drops every timer of a dying window.
void killWindowTimers(const Window* window);

} // namespace korutil::detail
