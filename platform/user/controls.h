// The built-in controls: the window procedures of the system classes "BUTTON" (push buttons,
// with the 3-D look and their text, and BS_OWNERDRAW buttons that their parent draws on
// WM_DRAWITEM) and "STATIC" (text, SS_LEFT, SS_CENTER, SS_RIGHT), and what draws them.
#pragma once

#include <korutil/platform/user.h>

namespace korutil::detail {

LRESULT CALLBACK buttonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK staticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Draws a button that is not owner-drawn in its state (BST_ bits); lock not held.
void paintButton(HWND hwnd, HDC hdc, UINT state);
// Draws a static control's text over its background; lock not held.
void paintStatic(HWND hwnd, HDC hdc);
// WM_SETFONT and WM_GETFONT of both classes: the font that their text is drawn in.
LRESULT setControlFont(HWND hwnd, HFONT font, bool redraw);
HFONT controlFont(HWND hwnd);

} // namespace korutil::detail
