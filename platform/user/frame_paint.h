// What DefWindowProc paints: the frame of a window (borders, caption with its title and
// buttons, menu bar and scroll bar places, client edge) in the system colours, and the
// background in the class brush. Lock not held.
#pragma once

#include <korutil/platform/user.h>

namespace korutil::detail {

// WM_NCPAINT's default: draws the frame on the window's own surface.
void paintFrame(HWND hwnd);
// WM_ERASEBKGND's default: fills the context's clip with the class brush; 0 without one.
LRESULT eraseBackground(HWND hwnd, HDC hdc);
// The caption button drawn pushed in while the mouse presses it (HTNOWHERE: none).
void setPressedCaptionButton(HWND hwnd, int hit);

} // namespace korutil::detail
