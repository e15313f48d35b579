#include <korutil/ui.h>

namespace {

enum Side { top, left, bottom, right };

// One side of a one-pixel frame along the inside of r; the end point is not painted, and the
// corners (left, bottom - 1) and (right - 1, top) are left as they were.
void drawSide(HDC context, const RECT& r, Side side) {
    switch (side) {
    case top:
        MoveToEx(context, r.left, r.top, nullptr);
        LineTo(context, r.right - 1, r.top);
        break;
    case left:
        MoveToEx(context, r.left, r.top, nullptr);
        LineTo(context, r.left, r.bottom - 1);
        break;
    case bottom:
        MoveToEx(context, r.left + 1, r.bottom - 1, nullptr);
        LineTo(context, r.right, r.bottom - 1);
        break;
    case right:
        MoveToEx(context, r.right - 1, r.top + 1, nullptr);
        LineTo(context, r.right - 1, r.bottom - 1);
        break;
    }
}

// Draws two sides in the first colour and two in the second. The pen that was selected before
// is not reselected: the context is left with the stock black pen.
void drawFrame(HDC context, const RECT& r, int firstColor, Side a, Side b, int secondColor, Side c,
               Side d) {
    SelectObject(context, CreatePen(PS_SOLID, 0, GetSysColor(firstColor)));
    drawSide(context, r, a);
    drawSide(context, r, b);
    HPEN second = CreatePen(PS_SOLID, 0, GetSysColor(secondColor));
    DeleteObject(SelectObject(context, second));
    drawSide(context, r, c);
    drawSide(context, r, d);
    SelectObject(context, GetStockObject(BLACK_PEN));
    DeleteObject(second);
}

} // namespace

void Draw3dRectInset(HDC context, const RECT& rect) {
    drawFrame(context, rect, COLOR_BTNSHADOW, top, left, COLOR_BTNHIGHLIGHT, bottom, right);
}

void Draw3dRectOutset(HDC context, const RECT& rect) {
    drawFrame(context, rect, COLOR_BTNSHADOW, bottom, right, COLOR_BTNHIGHLIGHT, top, left);
}
