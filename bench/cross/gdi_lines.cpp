// Lines, rectangles and edges on a 32-bit memory bitmap: this layer beside Wine's GDI.
#include "harness.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <korutil/platform.h>
#endif

namespace {

// A memory context on a 32-bit bitmap, released when the case ends.
struct Target {
    explicit Target(int size) : dc(CreateCompatibleDC(nullptr)) {
        bitmap = CreateBitmap(size, size, 1, 32, nullptr);
        old = SelectObject(dc, bitmap);
    }
    ~Target() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
};

// Lines of every direction from the middle of the bitmap, `length` pixels long.
void lines(crossbench::Loop& loop, int size, int length, int width) {
    Target target(size);
    HPEN pen = CreatePen(PS_SOLID, width, RGB(200, 40, 10));
    HGDIOBJ old = SelectObject(target.dc, pen);
    const int c = size / 2;
    int i = 0;
    while (loop.next()) {
        const int dx = (i * 7) % (2 * length + 1) - length,
                  dy = (i * 13) % (2 * length + 1) - length;
        MoveToEx(target.dc, c, c, nullptr);
        LineTo(target.dc, c + dx, c + dy);
        ++i;
    }
    SelectObject(target.dc, old);
    DeleteObject(pen);
}

} // namespace

CROSS_BENCH(LineToShort) {
    lines(loop, 256, 8, 0);
}

CROSS_BENCH(LineToLong) {
    lines(loop, 1024, 500, 0);
}

CROSS_BENCH(LineToWide5) {
    lines(loop, 256, 8, 5);
}

// Lines from far outside the bitmap, so that only the clipping decides the work.
CROSS_BENCH(LineToFarClipped) {
    Target target(256);
    int i = 0;
    while (loop.next()) {
        MoveToEx(target.dc, -100000 + i % 7, -3000, nullptr);
        LineTo(target.dc, 100000, 3000 + i % 5);
        ++i;
    }
}

CROSS_BENCH(LineXorRectangle) {
    Target target(256);
    SetROP2(target.dc, R2_XORPEN);
    while (loop.next()) {
        Rectangle(target.dc, 10, 10, 74, 42);
    }
}

CROSS_BENCH(LineDrawEdgeButton) {
    Target target(256);
    while (loop.next()) {
        RECT r{10, 10, 74, 34};
        DrawEdge(target.dc, &r, EDGE_RAISED, BF_RECT | BF_SOFT | BF_MIDDLE);
    }
}

CROSS_BENCH(LineDrawEdgeSunkenAdjust) {
    Target target(256);
    while (loop.next()) {
        RECT r{10, 10, 210, 110};
        DrawEdge(target.dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    }
}
