#include <korutil/ui.h>

void DrawBitmapButton(HINSTANCE instance, const char* name, const DRAWITEMSTRUCT* item) {
    if (item->itemAction & ODA_FOCUS) {
        return;
    }
    HDC context = item->hDC;
    FillRect(context, &item->rcItem, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    HBITMAP picture = LoadSysColorBitmap(instance, name, 0, COLOR_BTNTEXT, COLOR_BTNSHADOW,
                                         COLOR_BTNFACE, COLOR_BTNHIGHLIGHT);
    if (!picture) {
        return;
    }
    BITMAP size{};
    GetObjectA(picture, sizeof(size), &size);
    HDC memory = CreateCompatibleDC(context);
    HGDIOBJ old = SelectObject(memory, picture);

    const int pressed = (item->itemState & ODS_SELECTED) ? 1 : 0;
    const int itemWidth = item->rcItem.right - item->rcItem.left;
    const int itemHeight = item->rcItem.bottom - item->rcItem.top;
    const int drawWidth = size.bmWidth < itemWidth ? size.bmWidth : itemWidth;
    const int drawHeight = size.bmHeight < itemHeight ? size.bmHeight : itemHeight;
    // Measured from the context's origin, where an owner-drawn button's rectangle starts.
    StretchBlt(context, pressed + (itemWidth - drawWidth) / 2,
               pressed + (itemHeight - drawHeight) / 2, drawWidth, drawHeight, memory, 0, 0,
               size.bmWidth, size.bmHeight, SRCCOPY);

    SelectObject(memory, old);
    DeleteObject(picture);
    DeleteDC(memory);

    RECT border = item->rcItem;
    if (pressed) {
        DrawEdge(context, &border, EDGE_SUNKEN, BF_SOFT | BF_TOPLEFT);
        DrawEdge(context, &border, BDR_RAISEDOUTER, BF_SOFT | BF_BOTTOMRIGHT);
    } else {
        DrawEdge(context, &border, EDGE_RAISED, BF_SOFT | BF_RECT);
    }
}
