#include "gdi/window_target.h"

namespace korutil::detail {

// No window exists yet: every window handle is dead, and the screen shows only what was drawn
// on it directly.
bool windowDrawTarget(HWND, bool, DrawTarget&) {
    return false;
}

void composeScreen() {}

} // namespace korutil::detail
