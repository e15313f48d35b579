#include "user/controls.h"

#include "gdi/lock.h"
#include "user/messages.h"
#include "user/window.h"

#include <korutil/platform/gdi.h>

#include <string>

namespace korutil::detail {
namespace {

// What a control shows, read under the lock and drawn without it.
struct ControlLook {
    std::string text;
    DWORD style = 0;
    RECT client{};
    HFONT font = nullptr;
    HWND parent = nullptr;
};

bool lookOf(HWND hwnd, ControlLook& look) {
    UiLock lock(uiMutex());
    Window* w = findWindow(hwnd);
    if (!w) {
        return false;
    }
    look.text = w->text;
    look.style = w->style;
    look.client = RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
    look.font = w->font;
    look.parent = w->parent && w->parent->parent ? w->parent->handle : nullptr;
    return true;
}

// Text in the control's font; disabled text is embossed, as the classic desktop shows it.
void drawLabel(HDC dc, const ControlLook& look, RECT r, UINT format, int color) {
    HGDIOBJ old =
        SelectObject(dc, look.font ? static_cast<HGDIOBJ>(look.font) : GetStockObject(SYSTEM_FONT));
    SetBkMode(dc, TRANSPARENT);
    const int length = static_cast<int>(look.text.size());
    if (look.style & WS_DISABLED) {
        RECT raised = r;
        OffsetRect(&raised, 1, 1);
        SetTextColor(dc, GetSysColor(COLOR_3DHILIGHT));
        DrawTextA(dc, look.text.c_str(), length, &raised, format);
        color = COLOR_GRAYTEXT;
    }
    SetTextColor(dc, GetSysColor(color));
    DrawTextA(dc, look.text.c_str(), length, &r, format);
    SelectObject(dc, old);
}

// The dotted focus frame, every other pixel.
void focusFrame(HDC dc, const RECT& r) {
    const COLORREF ink = GetSysColor(COLOR_BTNTEXT);
    for (int x = r.left; x < r.right; x += 2) {
        SetPixel(dc, x, r.top, ink);
        SetPixel(dc, x, r.bottom - 1, ink);
    }
    for (int y = r.top; y < r.bottom; y += 2) {
        SetPixel(dc, r.left, y, ink);
        SetPixel(dc, r.right - 1, y, ink);
    }
}

void pushButton(HDC dc, const ControlLook& look, UINT state) {
    RECT r = look.client;
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    if ((look.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON || (state & BST_FOCUS)) {
        FrameRect(dc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
        InflateRect(&r, -1, -1);
    }
    const bool pushed = (state & BST_PUSHED) != 0;
    if (pushed) {
        FrameRect(dc, &r, GetSysColorBrush(COLOR_BTNSHADOW));
        InflateRect(&r, -1, -1);
    } else {
        DrawEdge(dc, &r, EDGE_RAISED, BF_RECT | BF_SOFT | BF_ADJUST);
    }
    RECT text = r;
    if (pushed) {
        OffsetRect(&text, 1, 1);
    }
    drawLabel(dc, look, text, DT_CENTER | DT_VCENTER | DT_SINGLELINE, COLOR_BTNTEXT);
    if (state & BST_FOCUS) {
        InflateRect(&r, -2, -2);
        focusFrame(dc, r);
    }
}

// Check boxes and radio buttons: a 13-pixel box on the left, sunken, white inside, with a
// check or a dot when checked; the text beside it.
void checkButton(HDC dc, const ControlLook& look, UINT state, HBRUSH background) {
    FillRect(dc, &look.client, background);
    constexpr int kBox = 13;
    const int top = (look.client.bottom - kBox) / 2;
    RECT box{0, top, kBox, top + kBox};
    DrawEdge(dc, &box, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    const bool pushed = (state & BST_PUSHED) != 0;
    FillRect(dc, &box,
             GetSysColorBrush(pushed || (look.style & WS_DISABLED) ? COLOR_3DFACE : COLOR_WINDOW));
    if (state & BST_CHECKED) {
        const COLORREF ink = GetSysColor(COLOR_WINDOWTEXT);
        if ((look.style & BS_TYPEMASK) == BS_RADIOBUTTON) {
            for (int y = 3; y < 6; ++y) {
                for (int x = 3; x < 6; ++x) {
                    SetPixel(dc, box.left + x, box.top + y, ink);
                }
            }
        } else { // a check mark three pixels thick
            for (int i = 0; i < 7; ++i) {
                const int x = box.left + 1 + i;
                const int y = box.top + (i < 3 ? 3 + i : 7 - i);
                for (int d = 0; d < 3; ++d) {
                    SetPixel(dc, x, y + d, ink);
                }
            }
        }
    }
    RECT text = look.client;
    text.left = kBox + 4;
    drawLabel(dc, look, text, DT_LEFT | DT_VCENTER | DT_SINGLELINE, COLOR_BTNTEXT);
    if (state & BST_FOCUS) {
        RECT frame = text;
        InflateRect(&frame, 1, 0);
        focusFrame(dc, frame);
    }
}

void groupBox(HDC dc, const ControlLook& look, HBRUSH background) {
    FillRect(dc, &look.client, background);
    RECT frame = look.client;
    frame.top += 6;
    DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    SIZE size{};
    HGDIOBJ old =
        SelectObject(dc, look.font ? static_cast<HGDIOBJ>(look.font) : GetStockObject(SYSTEM_FONT));
    GetTextExtentPoint32A(dc, look.text.c_str(), static_cast<int>(look.text.size()), &size);
    SelectObject(dc, old);
    RECT text{8, 0, 8 + size.cx + 4, size.cy};
    FillRect(dc, &text, background);
    drawLabel(dc, look, text, DT_CENTER | DT_SINGLELINE, COLOR_BTNTEXT);
}

// The parent's background for the control (WM_CTLCOLOR...), which also sets the colours.
HBRUSH backgroundOf(HWND hwnd, HDC dc, const ControlLook& look, UINT message) {
    HBRUSH brush = nullptr;
    if (look.parent) {
        brush = reinterpret_cast<HBRUSH>(sendMessage(
            look.parent, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd)));
    }
    return brush ? brush : GetSysColorBrush(COLOR_3DFACE);
}

} // namespace

void paintButton(HWND hwnd, HDC hdc, UINT state) {
    ControlLook look;
    if (!lookOf(hwnd, look)) {
        return;
    }
    switch (look.style & BS_TYPEMASK) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
        checkButton(hdc, look, state, backgroundOf(hwnd, hdc, look, WM_CTLCOLORBTN));
        break;
    case BS_GROUPBOX:
        groupBox(hdc, look, backgroundOf(hwnd, hdc, look, WM_CTLCOLORBTN));
        break;
    default:
        pushButton(hdc, look, state);
        break;
    }
}

void paintStatic(HWND hwnd, HDC hdc) {
    ControlLook look;
    if (!lookOf(hwnd, look)) {
        return;
    }
    FillRect(hdc, &look.client, backgroundOf(hwnd, hdc, look, WM_CTLCOLORSTATIC));
    const DWORD align = look.style & 0x3;
    const UINT format = DT_WORDBREAK | DT_EXPANDTABS |
                        (align == SS_CENTER  ? DT_CENTER
                         : align == SS_RIGHT ? DT_RIGHT
                                             : DT_LEFT);
    drawLabel(hdc, look, look.client, format, COLOR_WINDOWTEXT);
}

LRESULT setControlFont(HWND hwnd, HFONT font, bool redraw) {
    {
        UiLock lock(uiMutex());
        Window* w = findWindow(hwnd);
        if (!w) {
            return 0;
        }
        w->font = font;
    }
    if (redraw) {
        InvalidateRect(hwnd, nullptr, TRUE);
    }
    return 0;
}

HFONT controlFont(HWND hwnd) {
    UiLock lock(uiMutex());
    Window* w = findWindow(hwnd);
    return w ? w->font : nullptr;
}

} // namespace korutil::detail
