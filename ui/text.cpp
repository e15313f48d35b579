#include <korutil/ui.h>

#include <cstring>

namespace {

// Paints r in the context's background colour, as an opaque text output of no characters.
void fill(HDC context, const RECT& r) {
    ExtTextOutA(context, r.left, r.top, ETO_OPAQUE, &r, "", 0, nullptr);
}

void fillIf(HDC context, bool condition, LONG left, LONG top, LONG right, LONG bottom) {
    if (condition) {
        RECT strip;
        SetRect(&strip, left, top, right, bottom);
        fill(context, strip);
    }
}

} // namespace

void DrawTextNF(HDC context, const RECT& rect, const char* text, int length,
                unsigned short format) {
    if (length < 0) {
        length = static_cast<int>(std::strlen(text));
    }
    SIZE size{0, 0};
    GetTextExtentPointA(context, text, length, &size);

    if ((format & DT_WORDBREAK) &&
        (rect.right - rect.left < size.cx || std::memchr(text, '\n', length) != nullptr)) {
        fill(context, rect);
        RECT layout = rect;
        DrawTextA(context, text, length, &layout, format | DT_NOCLIP | DT_NOPREFIX);
        return;
    }

    RECT cell = rect;
    cell.right = rect.left + size.cx < rect.right ? rect.left + size.cx : rect.right;
    cell.bottom = rect.top + size.cy < rect.bottom ? rect.top + size.cy : rect.bottom;
    if (format & DT_VCENTER) {
        const int d = (rect.bottom - rect.top - size.cy) / 2;
        if (d > 0) {
            cell.top += d;
            cell.bottom += d;
        }
    }
    if (format & DT_CENTER) {
        const int d = (rect.right - rect.left - size.cx) / 2;
        if (d > 0) {
            cell.left += d;
            cell.right += d;
        }
    } else if (format & DT_RIGHT) {
        const int d = rect.right - cell.right;
        if (d > 0) {
            cell.left += d;
            cell.right += d;
        }
    }
    TextOutA(context, cell.left, cell.top, text, length);

    // The strips around the cell, each inside the rectangle: painting one unit past its right
    // and bottom edges would overwrite what the caller drew beside the label.
    fillIf(context, rect.left < cell.left, rect.left, rect.top, cell.left, rect.bottom);
    fillIf(context, rect.right > cell.right, cell.right, rect.top, rect.right, rect.bottom);
    fillIf(context, rect.top < cell.top, cell.left, rect.top, cell.right, cell.top);
    fillIf(context, rect.bottom > cell.bottom, cell.left, cell.bottom, cell.right, rect.bottom);
}

HFONT CreateMatchingFont(HDC source, HDC) {
    TEXTMETRICA metrics{};
    GetTextMetricsA(source, &metrics);
    LOGFONTA font{};
    font.lfHeight = metrics.tmHeight;
    font.lfWeight = metrics.tmWeight;
    font.lfItalic = metrics.tmItalic;
    font.lfUnderline = metrics.tmUnderlined;
    font.lfStrikeOut = metrics.tmStruckOut;
    font.lfCharSet = metrics.tmCharSet;
    font.lfPitchAndFamily = metrics.tmPitchAndFamily;
    GetTextFaceA(source, LF_FACESIZE, font.lfFaceName);
    return CreateFontIndirectA(&font);
}
