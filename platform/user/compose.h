// The screen and the windows' surfaces: each window owns a surface of its whole window; the
// screen composes the desktop and the visible windows in z-order, children clipped to their
// parent's client area, copying only what changed since the last composition. Everything a
// display mirror needs to follow top-level windows is reported to one observer. Lock held.
#pragma once

#include "user/window.h"

namespace korutil::detail {

// Part of the screen to compose again (screen coordinates): a window moved, appeared or went.
void damageScreen(const RECT& area);
// Gives the window a surface of its present size, keeping the pixels both sizes share.
void resizeSurface(Window* window);

// What a display mirror (or a test) learns about top-level windows. Called with the lock held:
// an observer must not call back into the window manager beyond reading window state.
class WindowObserver {
public:
    virtual ~WindowObserver() = default;
    enum class Change { Created, Destroyed, Geometry, Shown, Hidden, ZOrder, Title };
    virtual void windowChanged(HWND window, Change change) = 0;
    // Pixels of a top-level window (window coordinates, children composed in) changed; reported
    // when the screen is composed or collectDamage runs.
    virtual void windowDamaged(HWND window, const RECT& area) = 0;
};

// One observer at a time; null removes it.
void setWindowObserver(WindowObserver* observer);
// Tells the observer (if any) of a change to a top-level window.
void notifyObserver(const Window* window, WindowObserver::Change change);
// Gathers the damage of every window's surface into the screen's and reports it to the
// observer per top-level window.
void collectDamage();
// Draws a top-level window with its children into `out` (window coordinates, `area` only), as
// the screen shows it but whatever covers it.
void composeWindow(const Window* topLevel, const RECT& area, Surface& out);

} // namespace korutil::detail
