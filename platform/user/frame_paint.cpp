#include "user/frame_paint.h"

#include "gdi/lock.h"
#include "user/classes.h"
#include "user/window.h"

namespace korutil::detail {

void paintFrame(HWND) {}

LRESULT eraseBackground(HWND hwnd, HDC) {
    UiLock lock(uiMutex());
    Window* w = findWindow(hwnd);
    return w && w->windowClass->background ? 1 : 0;
}

void setPressedCaptionButton(HWND, int) {}

} // namespace korutil::detail
