// Text on a 32-bit memory bitmap: TextOutA and DrawTextA of a 20-character label in a font
// that is already realised, on this layer and (built for Windows) under Wine.
#include "harness.h"

#include <korutil/platform.h>

namespace {

const char kLabel[] = "Settings saved: 42 %";

struct Label {
    Label()
        : dc(CreateCompatibleDC(nullptr)), bitmap(CreateBitmap(240, 32, 1, 32, nullptr)),
          font(CreateFontA(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial")) {
        old[0] = SelectObject(dc, bitmap);
        old[1] = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        TextOutA(dc, 0, 0, kLabel, 20);
    }
    ~Label() {
        SelectObject(dc, old[1]);
        SelectObject(dc, old[0]);
        DeleteDC(dc);
        DeleteObject(bitmap);
        DeleteObject(font);
    }
    HDC dc;
    HBITMAP bitmap;
    HFONT font;
    HGDIOBJ old[2];
};

} // namespace

CROSS_BENCH(TextOutLabel) {
    Label label;
    while (loop.next()) {
        TextOutA(label.dc, 4, 4, kLabel, 20);
    }
}

CROSS_BENCH(DrawTextLabel) {
    Label label;
    RECT rect{0, 0, 240, 32};
    while (loop.next()) {
        DrawTextA(label.dc, kLabel, -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
}
