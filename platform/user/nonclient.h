// The non-client area: where the frame's parts lie (caption, its buttons, menu bar, scroll
// bars, sizing borders), what a point hits (WM_NCHITTEST), and how DefWindowProc draws it
// (WM_NCPAINT) in the system colours. Lock held for the layout and hit test.
#pragma once

#include "user/metrics.h"
#include "user/window.h"

namespace korutil::detail {

// Rectangles in window coordinates; empty when the window has no such part.
struct FrameParts {
    FrameLayout frame;
    RECT caption{}; // the title bar, without its bottom line
    RECT icon{};    // the system menu's place at the caption's left
    RECT close{};
    RECT maximize{};
    RECT minimize{};
    RECT menuBar{};
    RECT vscroll{};
    RECT hscroll{};
    RECT sizeBox{}; // where the two scroll bars meet
};

FrameParts frameParts(const Window* window);

// WM_NCHITTEST's default answer for a point in screen coordinates.
LRESULT hitTest(const Window* window, POINT screenPoint);

// The cursor that DefWindowProc's WM_SETCURSOR shows over a hit-test area (null: the class
// cursor).
LPCSTR cursorForHit(int hit);

} // namespace korutil::detail
