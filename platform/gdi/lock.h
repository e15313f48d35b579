// One lock guards all state of the graphics layer and the window manager: drawing objects,
// device contexts, surfaces, windows and menus. A window context's target depends on where its
// window is, and composing the screen reads every window's surface, so the two share it. The
// lock is never held while host code runs (window procedures, hooks) or while a thread waits.
#pragma once

#include <mutex>

namespace korutil::detail {

std::recursive_mutex& uiMutex();

using UiLock = std::lock_guard<std::recursive_mutex>;

} // namespace korutil::detail
