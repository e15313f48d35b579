// Where windows are: moving, sizing, z-order, showing and hiding, minimising and maximising,
// with the messages Windows sends for each. Lock not held unless said.
#pragma once

#include "user/window.h"

namespace korutil::detail {

// SetWindowPos's work: WM_WINDOWPOSCHANGING, WM_NCCALCSIZE, the change, activation, the
// immediate frame and background painting of a top-level window, WM_WINDOWPOSCHANGED.
bool setWindowPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags);
// ShowWindow's work; the result is whether the window was visible before.
bool showWindow(HWND hwnd, int command);

// WM_SIZE and WM_MOVE as the window stands now.
void sendSizeAndMove(HWND hwnd);

// Windows that get WM_GETMINMAXINFO when created or sized: overlapped windows and those with
// a sizing frame.
bool wantsMinMaxInfo(DWORD style);
// The defaults Windows puts in MINMAXINFO for the window, then the window's answer.
MINMAXINFO queryMinMaxInfo(HWND hwnd);

// The client rectangle that the frame rule gives a window rectangle (both in the parent's
// client coordinates): what DefWindowProc answers to WM_NCCALCSIZE. Lock held.
RECT clientForWindowRect(const Window* window, const RECT& windowRect);

} // namespace korutil::detail
