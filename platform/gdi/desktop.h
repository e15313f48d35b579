// The desktop that the layer shows: its size and colour depth from KORUTIL_DESKTOP
// (WIDTHxHEIGHT[xBITS], default 1024x768x32; 4, 8, 16, 24 and 32 bits), and the screen surface
// that the window manager composes the visible windows on. Callers hold the layer's lock.
#pragma once

#include "gdi/surface.h"

namespace korutil::detail {

struct DesktopConfig {
    int width = 1024;
    int height = 768;
    // What the display reports (GetDeviceCaps BITSPIXEL); the screen surface itself always
    // keeps 32 bits, so that nothing drawn is lost to the reported depth.
    int bitsPerPixel = 32;
};

// Read once, at first use. A malformed value falls back to the default.
const DesktopConfig& desktopConfig();
// Parses a KORUTIL_DESKTOP value; false when it is malformed or out of range.
bool parseDesktop(const char* text, DesktopConfig& out);

// The screen surface, made at first use (null only when memory is short).
Surface* screenSurface();

} // namespace korutil::detail
