#include "user/frame_paint.h"

#include "gdi/lock.h"
#include "user/classes.h"
#include "user/nonclient.h"
#include "user/window.h"

#include <korutil/platform/gdi.h>

#include <string>

namespace korutil::detail {
namespace {

// What the frame shows, read under the lock and drawn without it.
struct FrameLook {
    FrameParts parts;
    DWORD style = 0;
    RECT window{}; // in window coordinates
    RECT client{}; // in window coordinates
    std::string title;
    bool active = false;
    int pressed = HTNOWHERE;
};

bool lookOf(HWND hwnd, FrameLook& look) {
    UiLock lock(uiMutex());
    Window* w = findWindow(hwnd);
    if (!w) {
        return false;
    }
    look.parts = frameParts(w);
    look.style = w->style;
    look.window = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    look.client = w->client;
    look.title = w->text;
    look.active = w->captionActive;
    look.pressed = w->pressedCaptionButton;
    return true;
}

void fill(HDC dc, const RECT& r, int color) {
    FillRect(dc, &r, GetSysColorBrush(color));
}

// A band `width` wide along the inside of r, then r shrunk by it.
void band(HDC dc, RECT& r, int width, int color) {
    if (width <= 0) {
        return;
    }
    fill(dc, RECT{r.left, r.top, r.right, r.top + width}, color);
    fill(dc, RECT{r.left, r.bottom - width, r.right, r.bottom}, color);
    fill(dc, RECT{r.left, r.top + width, r.left + width, r.bottom - width}, color);
    fill(dc, RECT{r.right - width, r.top + width, r.right, r.bottom - width}, color);
    InflateRect(&r, -width, -width);
}

// The caption font: bold, as the classic desktop draws titles. Made once, never deleted.
HFONT captionFont() {
    static HFONT font = CreateFontA(-11, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0,
                                    DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, "MS Sans Serif");
    return font;
}

void line(HDC dc, int x0, int y0, int x1, int y1) {
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
}

// A caption button: a raised face (sunken while held) with its glyph in the button text
// colour, or greyed when the style lacks the box.
void captionButton(HDC dc, RECT r, int hit, bool pressed, bool enabled, bool maximized) {
    if (r.right <= r.left || r.bottom <= r.top) {
        return;
    }
    fill(dc, r, COLOR_BTNFACE);
    DrawEdge(dc, &r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_ADJUST);
    const int shift = pressed ? 1 : 0;
    const int w = r.right - r.left, h = r.bottom - r.top;
    const int size = (w < h ? w : h) - 4;
    const int x = r.left + (w - size) / 2 + shift, y = r.top + (h - size) / 2 + shift;
    HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    HGDIOBJ old = SelectObject(dc, pen);
    switch (hit) {
    case HTCLOSE: // a cross two pixels thick
        for (int d = 0; d < 2; ++d) {
            line(dc, x + d, y, x + size, y + size - d);
            line(dc, x + d, y + size - 1, x + size, y - 1 + d);
        }
        break;
    case HTMAXBUTTON:
        if (maximized) { // two overlapping windows: restore
            const int s = size * 2 / 3;
            Rectangle(dc, x + size - s, y, x + size, y + s);
            line(dc, x + size - s, y + 1, x + size, y + 1);
            fill(dc, RECT{x + 1, y + size - s + 1, x + s - 1, y + size - 1}, COLOR_BTNFACE);
            Rectangle(dc, x, y + size - s, x + s, y + size);
            line(dc, x, y + size - s + 1, x + s, y + size - s + 1);
        } else {
            Rectangle(dc, x, y, x + size, y + size);
            line(dc, x, y + 1, x + size, y + 1);
        }
        break;
    case HTMINBUTTON:
        fill(dc, RECT{x + 1, y + size - 2, x + size * 2 / 3, y + size},
             enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
        break;
    default:
        break;
    }
    SelectObject(dc, old);
    DeleteObject(pen);
}

void caption(HDC dc, const FrameLook& look) {
    const FrameParts& p = look.parts;
    fill(dc, p.caption, look.active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION);
    fill(dc, RECT{p.caption.left, p.caption.bottom, p.caption.right, p.caption.bottom + 1},
         COLOR_3DFACE);
    RECT text = p.caption;
    text.left = (p.icon.right > p.icon.left ? p.icon.right : p.caption.left) + 2;
    for (const RECT* b : {&p.minimize, &p.maximize, &p.close}) {
        if (b->right > b->left && b->left - 2 < text.right) {
            text.right = b->left - 2;
        }
    }
    HGDIOBJ oldFont = SelectObject(dc, captionFont());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(look.active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
    DrawTextA(dc, look.title.c_str(), static_cast<int>(look.title.size()), &text,
              DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_END_ELLIPSIS | DT_NOPREFIX);
    SelectObject(dc, oldFont);
    const bool maximized = (look.style & WS_MAXIMIZE) != 0;
    captionButton(dc, p.close, HTCLOSE, look.pressed == HTCLOSE, true, maximized);
    captionButton(dc, p.maximize, HTMAXBUTTON, look.pressed == HTMAXBUTTON,
                  (look.style & WS_MAXIMIZEBOX) != 0, maximized);
    captionButton(dc, p.minimize, HTMINBUTTON, look.pressed == HTMINBUTTON,
                  (look.style & WS_MINIMIZEBOX) != 0, maximized);
}

} // namespace

void paintFrame(HWND hwnd) {
    FrameLook look;
    if (!lookOf(hwnd, look)) {
        return;
    }
    HDC dc = GetWindowDC(hwnd);
    if (!dc) {
        return;
    }
    const FrameLayout& f = look.parts.frame;
    RECT r = look.window;
    if (f.outer == 2) {
        DrawEdge(dc, &r, EDGE_RAISED, BF_RECT | BF_ADJUST);
    } else if (f.outer == 1) {
        DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    }
    const int border = look.active ? COLOR_ACTIVEBORDER : COLOR_INACTIVEBORDER;
    band(dc, r, f.sizing, border);
    // A plain border is a dark line; a dialog or sizing frame continues in its face colour.
    const bool plain = f.outer == 0 && (look.style & WS_DLGFRAME) == 0;
    band(dc, r, f.line, plain ? COLOR_WINDOWFRAME : (f.sizing ? border : COLOR_3DFACE));
    if (f.caption > 0) {
        caption(dc, look);
    }
    fill(dc, look.parts.menuBar, COLOR_MENU);
    fill(dc, look.parts.vscroll, COLOR_SCROLLBAR);
    fill(dc, look.parts.hscroll, COLOR_SCROLLBAR);
    fill(dc, look.parts.sizeBox, COLOR_3DFACE);
    if (f.clientEdge > 0) {
        RECT edge = look.client;
        InflateRect(&edge, f.clientEdge, f.clientEdge);
        DrawEdge(dc, &edge, EDGE_SUNKEN, BF_RECT);
    }
    ReleaseDC(hwnd, dc);
}

LRESULT eraseBackground(HWND hwnd, HDC hdc) {
    HBRUSH brush = nullptr;
    {
        UiLock lock(uiMutex());
        Window* w = findWindow(hwnd);
        brush = w ? w->windowClass->background : nullptr;
    }
    RECT clip{};
    if (!brush || GetClipBox(hdc, &clip) == ERROR) {
        return 0;
    }
    FillRect(hdc, &clip, brush);
    return 1;
}

void setPressedCaptionButton(HWND hwnd, int hit) {
    {
        UiLock lock(uiMutex());
        Window* w = findWindow(hwnd);
        if (!w || w->pressedCaptionButton == hit) {
            return;
        }
        w->pressedCaptionButton = hit;
    }
    paintFrame(hwnd);
}

} // namespace korutil::detail
