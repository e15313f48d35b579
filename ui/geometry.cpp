#include <korutil/ui.h>

#include <atomic>

namespace {

// Computed once; a race between two first calls computes the same value.
std::atomic<unsigned long> g_colorCount{0};

} // namespace

unsigned long GetNumberOfColors() {
    const unsigned long cached = g_colorCount.load(std::memory_order_relaxed);
    if (cached != 0) {
        return cached;
    }
    HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    unsigned int bits = static_cast<unsigned int>(GetDeviceCaps(display, PLANES)) *
                        static_cast<unsigned int>(GetDeviceCaps(display, BITSPIXEL));
    if (bits > 31) {
        bits = 31;
    }
    const unsigned long count = 1ul << bits;
    g_colorCount.store(count, std::memory_order_relaxed);
    DeleteDC(display);
    return count;
}

// Rectangles that the platform does not fill (a dead window) come back empty rather than
// holding whatever the stack had.
RECT GetShellWorkspaceRect() {
    RECT area{0, 0, 0, 0};
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) {
        area = GetWindowRect(GetDesktopWindow());
    }
    return area;
}

// The offsets are taken from the screen origin, not from the work area's corner.
void CenterWindow(HWND window, int repaint) {
    const RECT box = GetWindowRect(window);
    const RECT work = GetShellWorkspaceRect();
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    const int x = (work.right - work.left - width) / 2;
    const int y = (work.bottom - work.top - height) / 2;
    MoveWindow(window, x, y, width, height, repaint);
}

RECT GetWindowRect(HWND window) {
    RECT box{0, 0, 0, 0};
    ::GetWindowRect(window, &box);
    return box;
}

RECT GetClientRect(HWND window) {
    RECT box{0, 0, 0, 0};
    ::GetClientRect(window, &box);
    return box;
}

int GetClientCX(HWND window) {
    return GetClientRect(window).right;
}

int GetClientCY(HWND window) {
    return GetClientRect(window).bottom;
}

int PtInRect(RECT* rect, int x, int y) {
    POINT point{x, y};
    return ::PtInRect(rect, point);
}

void ClientToScreen(HWND window, int* x, int* y) {
    POINT point{*x, *y};
    ::ClientToScreen(window, &point);
    *x = point.x;
    *y = point.y;
}

void ScreenToClient(HWND window, int* x, int* y) {
    POINT point{*x, *y};
    ::ScreenToClient(window, &point);
    *x = point.x;
    *y = point.y;
}
