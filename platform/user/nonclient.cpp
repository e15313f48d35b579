#include "user/nonclient.h"

#include <korutil/platform/gdi.h>

namespace korutil::detail {
namespace {

bool inside(const RECT& r, POINT p) {
    return contains(r, p.x, p.y);
}

} // namespace

FrameParts frameParts(const Window* w) {
    FrameParts parts;
    const bool menuBar = w->menu && !(w->style & WS_CHILD) && isTopLevel(w);
    parts.frame = frameLayout(w->style, w->exStyle, menuBar);
    const FrameLayout& f = parts.frame;
    const int width = w->rect.right - w->rect.left;
    const int border = f.border();
    int y = border;
    if (f.caption) {
        parts.caption = RECT{border, y, width - border, y + f.caption - 1};
        const bool tool = (w->exStyle & WS_EX_TOOLWINDOW) != 0;
        // Caption buttons, classic style: a little narrower and lower than the caption.
        const int size = (tool ? systemMetric(SM_CXSMSIZE) : systemMetric(SM_CXSIZE));
        const int buttonWidth = size - 2;
        const int buttonHeight = f.caption - 1 - 4;
        const int top = parts.caption.top + 2;
        int right = parts.caption.right - 2;
        if (w->style & WS_SYSMENU) {
            parts.close = RECT{right - buttonWidth, top, right, top + buttonHeight};
            right = parts.close.left - 2;
            if (!tool && (w->style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX))) {
                parts.maximize = RECT{right - buttonWidth, top, right, top + buttonHeight};
                parts.minimize = RECT{parts.maximize.left - buttonWidth, top, parts.maximize.left,
                                      top + buttonHeight};
            }
            if (!tool) {
                parts.icon = RECT{parts.caption.left, parts.caption.top,
                                  parts.caption.left + f.caption - 1, parts.caption.bottom};
            }
        }
        y += f.caption;
    }
    if (f.menu) {
        parts.menuBar = RECT{border, y, width - border, y + f.menu};
    }
    const RECT client = w->client;
    if (w->style & WS_VSCROLL) {
        parts.vscroll = RECT{client.right, client.top, client.right + systemMetric(SM_CXVSCROLL),
                             client.bottom};
    }
    if (w->style & WS_HSCROLL) {
        parts.hscroll = RECT{client.left, client.bottom, client.right,
                             client.bottom + systemMetric(SM_CYHSCROLL)};
    }
    if ((w->style & WS_VSCROLL) && (w->style & WS_HSCROLL)) {
        parts.sizeBox =
            RECT{parts.vscroll.left, parts.hscroll.top, parts.vscroll.right, parts.hscroll.bottom};
    }
    return parts;
}

LRESULT hitTest(const Window* w, POINT screenPoint) {
    const RECT onScreen = screenRect(w);
    if (!contains(onScreen, screenPoint.x, screenPoint.y)) {
        return HTNOWHERE;
    }
    if (contains(screenClientRect(w), screenPoint.x, screenPoint.y)) {
        return HTCLIENT;
    }
    const POINT p{screenPoint.x - onScreen.left, screenPoint.y - onScreen.top};
    const int width = w->rect.right - w->rect.left;
    const int height = w->rect.bottom - w->rect.top;
    const FrameParts parts = frameParts(w);
    const int border = parts.frame.border();
    if (p.x < border || p.y < border || p.x >= width - border || p.y >= height - border) {
        if (!(w->style & WS_THICKFRAME) || (w->style & (WS_MINIMIZE | WS_MAXIMIZE))) {
            return HTBORDER;
        }
        // Corners take a caption button's length along each side.
        const int corner = systemMetric(SM_CXSIZE) + border;
        const bool left = p.x < corner;
        const bool right = p.x >= width - corner;
        const bool top = p.y < corner;
        const bool bottom = p.y >= height - corner;
        if (p.y < border) {
            return left ? HTTOPLEFT : right ? HTTOPRIGHT : HTTOP;
        }
        if (p.y >= height - border) {
            return left ? HTBOTTOMLEFT : right ? HTBOTTOMRIGHT : HTBOTTOM;
        }
        if (p.x < border) {
            return top ? HTTOPLEFT : bottom ? HTBOTTOMLEFT : HTLEFT;
        }
        return top ? HTTOPRIGHT : bottom ? HTBOTTOMRIGHT : HTRIGHT;
    }
    if (inside(parts.close, p)) {
        return HTCLOSE;
    }
    if (inside(parts.maximize, p)) {
        return HTMAXBUTTON;
    }
    if (inside(parts.minimize, p)) {
        return HTMINBUTTON;
    }
    if (inside(parts.icon, p)) {
        return HTSYSMENU;
    }
    if (parts.frame.caption && p.y < border + parts.frame.caption) {
        return HTCAPTION;
    }
    if (inside(parts.menuBar, p)) {
        return HTMENU;
    }
    if (inside(parts.sizeBox, p)) {
        return (w->style & WS_THICKFRAME) ? HTSIZE : HTBORDER;
    }
    if (inside(parts.vscroll, p)) {
        return HTVSCROLL;
    }
    if (inside(parts.hscroll, p)) {
        return HTHSCROLL;
    }
    return HTBORDER; // the client edge
}

LPCSTR cursorForHit(int hit) {
    switch (hit) {
    case HTLEFT:
    case HTRIGHT:
        return IDC_SIZEWE;
    case HTTOP:
    case HTBOTTOM:
        return IDC_SIZENS;
    case HTTOPLEFT:
    case HTBOTTOMRIGHT:
    case HTSIZE:
        return IDC_SIZENWSE;
    case HTTOPRIGHT:
    case HTBOTTOMLEFT:
        return IDC_SIZENESW;
    case HTCLIENT:
        return nullptr;
    default:
        return IDC_ARROW;
    }
}

} // namespace korutil::detail
