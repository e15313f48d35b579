// The desktop's measures: system metrics with the classic Windows values (at 96 dots per
// inch), the work area, and the frame that each combination of styles gives a window. The
// frame here is the one rule behind AdjustWindowRectEx, WM_NCCALCSIZE, hit testing and
// frame drawing. Callers hold the layer's lock for workArea.
#pragma once

#include <korutil/platform/user.h>

namespace korutil::detail {

// The layers of a window's frame, outside in: the outer edge (2 pixels raised for dialog and
// sizing frames, 1 pixel sunken for WS_EX_STATICEDGE), the sizing band of WS_THICKFRAME, the
// line of WS_BORDER or of a dialog frame, then caption, menu bar and the client edge.
struct FrameLayout {
    int outer = 0;
    int sizing = 0;
    int line = 0;
    int caption = 0; // height, its bottom line included
    int menu = 0;    // height of the menu bar
    int clientEdge = 0;
    // Distances from the window's sides to the client area's (scroll bars not included).
    int left = 0, top = 0, right = 0, bottom = 0;

    int border() const { return outer + sizing + line; }
};

FrameLayout frameLayout(DWORD style, DWORD exStyle, bool menu);

// GetSystemMetrics without the lock (the work area takes it).
int systemMetric(int index);

// The work area, in screen coordinates (the whole desktop unless SPI_SETWORKAREA changed it).
RECT workArea();

} // namespace korutil::detail
