// The tip itself: the control follows the mouse over its tools (from the messages relayed to
// it, or seen on the tool windows it subclasses), shows the tool's text after the initial
// delay (the reshow delay when moving on from a shown tip) below and right of the cursor,
// and hides it when the mouse leaves the tool, clicks, or the auto-pop delay ends.
#include "user/tooltip.h"

#include "gdi/lock.h"
#include "user/messages.h"
#include "user/procedure.h"
#include "user/timers.h"

#include <algorithm>

namespace korutil::detail {
namespace {

constexpr UINT_PTR kShowTimer = 1;
constexpr UINT_PTR kPopTimer = 2;
constexpr int kMarginX = 3; // text to border, each side
constexpr int kMarginY = 1;
constexpr int kBelowCursor = 20; // the tip's top below the cursor's hot spot
constexpr int kDisplayInfoChars = 80;

void setTimer(HWND hwnd, UINT_PTR id, UINT elapse, void (*fire)(HWND, UINT_PTR)) {
    UiLock lock(uiMutex());
    setLayerTimer(hwnd, id, elapse, fire);
}

void killTimer(HWND hwnd, UINT_PTR id) {
    UiLock lock(uiMutex());
    killLayerTimer(hwnd, id);
}

// Where a mouse message lies, in the client coordinates of the message's window.
POINT pointOf(const MSG& msg) {
    return POINT{static_cast<SHORT>(LOWORD(msg.lParam)), static_cast<SHORT>(HIWORD(msg.lParam))};
}

int toolAt(const TipControl& tip, HWND hwnd, POINT pt) {
    for (std::size_t i = 0; i < tip.tools.size(); ++i) {
        const TipTool& tool = tip.tools[i];
        const bool over = (tool.flags & TTF_IDISHWND)
                              ? tool.window() == hwnd
                              : tool.hwnd == hwnd && PtInRect(&tool.rect, pt);
        if (over) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Tips show while the control is active and, without TTS_ALWAYSTIP, only while the owner's
// top-level window is the active one.
bool mayShow(const TipControl& tip) {
    if (!tip.active) {
        return false;
    }
    if (GetWindowLongA(tip.self, GWL_STYLE) & TTS_ALWAYSTIP) {
        return true;
    }
    const HWND owner = GetWindow(tip.self, GW_OWNER);
    return owner && GetAncestor(owner, GA_ROOT) == GetActiveWindow();
}

void notify(const TipControl& tip, const TipTool& tool, UINT code) {
    NMHDR hdr{tip.self, tool.id, code};
    sendMessage(tool.hwnd, WM_NOTIFY, tool.id, reinterpret_cast<LPARAM>(&hdr));
}

std::string loaded(HINSTANCE instance, LPCSTR id) {
    char text[1024];
    const int n = LoadStringA(instance, static_cast<UINT>(reinterpret_cast<ULONG_PTR>(id)), text,
                              sizeof text);
    return std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

SIZE textSize(HDC hdc, const std::string& text, UINT format) {
    RECT r{0, 0, 0, 0};
    DrawTextA(hdc, text.c_str(), static_cast<int>(text.size()), &r, format | DT_CALCRECT);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

UINT textFormat(const TipControl& tip) {
    const bool noPrefix = (GetWindowLongA(tip.self, GWL_STYLE) & TTS_NOPREFIX) != 0;
    return DT_SINGLELINE | (noPrefix ? DT_NOPREFIX : DT_HIDEPREFIX);
}

void popFire(HWND hwnd, UINT_PTR) {
    killTimer(hwnd, kPopTimer);
    if (const std::shared_ptr<TipControl> tip = tipControl(hwnd)) {
        hideTip(*tip);
    }
}

void show(TipControl& tip, int index) {
    const TipTool tool = tip.tools[static_cast<std::size_t>(index)];
    std::string text = tipText(tip, tool);
    // The answer to TTN_GETDISPINFOA may have changed the tools, or ended the control.
    if (!tip.alive || tip.hovered != index || text.empty()) {
        return;
    }
    HDC hdc = GetDC(tip.self);
    SelectObject(hdc, GetStockObject(DEFAULT_GUI_FONT));
    const SIZE size = textSize(hdc, text, textFormat(tip));
    ReleaseDC(tip.self, hdc);
    const int cx = size.cx + 2 * kMarginX + 2;
    const int cy = size.cy + 2 * kMarginY + 2;
    POINT at{0, 0};
    GetCursorPos(&at);
    const int x = std::clamp<int>(at.x, 0, std::max(0, GetSystemMetrics(SM_CXSCREEN) - cx));
    int y = at.y + kBelowCursor;
    if (y + cy > GetSystemMetrics(SM_CYSCREEN)) {
        y = std::max(0, static_cast<int>(at.y) - cy);
    }
    tip.shown = index;
    tip.showing = std::move(text);
    SetWindowPos(tip.self, HWND_TOPMOST, x, y, cx, cy, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(tip.self, nullptr, TRUE);
    UpdateWindow(tip.self);
    notify(tip, tool, TTN_SHOW);
    if (tip.alive && tip.autopop) {
        setTimer(tip.self, kPopTimer, tip.autopop, popFire);
    }
}

void showFire(HWND hwnd, UINT_PTR) {
    killTimer(hwnd, kShowTimer);
    const std::shared_ptr<TipControl> tip = tipControl(hwnd);
    if (tip && tip->hovered >= 0 && tip->hovered != tip->clicked && tip->shown < 0 &&
        mayShow(*tip)) {
        show(*tip, tip->hovered);
    }
}

LRESULT CALLBACK watchProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                           DWORD_PTR) {
    const HWND control = reinterpret_cast<HWND>(id);
    if ((message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) || message == WM_MOUSELEAVE) {
        if (message == WM_MOUSEMOVE) {
            // To hear when the mouse leaves the tool window for one the control does not see,
            // keeping what the window's own code asked to track.
            TRACKMOUSEEVENT tme{sizeof tme, TME_QUERY, nullptr, 0};
            TrackMouseEvent(&tme);
            const bool tracked = tme.hwndTrack == hwnd;
            if (!tracked || !(tme.dwFlags & TME_LEAVE)) {
                tme = TRACKMOUSEEVENT{sizeof tme, (tracked ? tme.dwFlags : 0) | TME_LEAVE, hwnd,
                                      tracked ? tme.dwHoverTime : HOVER_DEFAULT};
                TrackMouseEvent(&tme);
            }
        }
        MSG msg{hwnd, message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), POINT{0, 0}};
        GetCursorPos(&msg.pt);
        sendMessage(control, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
    } else if (message == WM_NCDESTROY) {
        MSG msg{hwnd, WM_NCDESTROY, 0, 0, 0, POINT{0, 0}};
        sendMessage(control, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
        removeWindowSubclass(hwnd, watchProc, id);
    }
    return defSubclassProc(hwnd, message, wParam, lParam);
}

} // namespace

std::string tipText(TipControl& tip, const TipTool& tool) {
    if (tool.given == LPSTR_TEXTCALLBACKA) {
        NMTTDISPINFOA info{};
        info.hdr = NMHDR{tip.self, tool.id, TTN_GETDISPINFOA};
        info.lpszText = info.szText;
        info.hinst = tool.instance;
        info.uFlags = tool.flags;
        info.lParam = tool.lParam;
        sendMessage(tool.hwnd, WM_NOTIFY, tool.id, reinterpret_cast<LPARAM>(&info));
        if (info.lpszText == info.szText) {
            info.szText[kDisplayInfoChars - 1] = '\0'; // the host may have filled it whole
            return info.szText;
        }
        if (isResourceText(info.hinst, info.lpszText)) {
            return loaded(info.hinst, info.lpszText);
        }
        return info.lpszText && info.lpszText != LPSTR_TEXTCALLBACKA ? info.lpszText : "";
    }
    if (tool.given) {
        return loaded(tool.instance, tool.given);
    }
    return tool.text;
}

void hideTip(TipControl& tip) {
    killTimer(tip.self, kShowTimer);
    killTimer(tip.self, kPopTimer);
    if (tip.shown < 0) {
        return;
    }
    const TipTool tool = tip.tools[static_cast<std::size_t>(tip.shown)];
    tip.shown = -1;
    tip.showing.clear();
    SetWindowPos(tip.self, nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    notify(tip, tool, TTN_POP);
}

void relayToTip(TipControl& tip, const MSG& msg) {
    if (msg.message == WM_NCDESTROY) {
        toolWindowGone(tip, msg.hwnd);
        return;
    }
    if (msg.message == WM_MOUSELEAVE) {
        if (tip.hovered >= 0 &&
            tip.tools[static_cast<std::size_t>(tip.hovered)].window() == msg.hwnd) {
            hideTip(tip);
            tip.hovered = -1;
            tip.clicked = -1;
        }
        return;
    }
    const int over = toolAt(tip, msg.hwnd, pointOf(msg));
    if (msg.message != WM_MOUSEMOVE) {
        // A click hides the tip, which stays away until the mouse leaves the tool.
        hideTip(tip);
        tip.hovered = over;
        tip.clicked = over;
        return;
    }
    if (over == tip.hovered) {
        if (over >= 0 && tip.shown < 0 && over != tip.clicked) {
            setTimer(tip.self, kShowTimer, tip.initial, showFire); // not resting yet
        }
        return;
    }
    const bool wasShown = tip.shown >= 0;
    hideTip(tip);
    tip.hovered = over;
    tip.clicked = -1;
    if (over >= 0) {
        setTimer(tip.self, kShowTimer, wasShown ? tip.reshow : tip.initial, showFire);
    }
}

void toolWindowGone(TipControl& tip, HWND window) {
    if (tip.shown >= 0 && tip.tools[static_cast<std::size_t>(tip.shown)].window() == window) {
        hideTip(tip);
    }
    if (tip.hovered >= 0 && tip.tools[static_cast<std::size_t>(tip.hovered)].window() == window) {
        killTimer(tip.self, kShowTimer);
        tip.hovered = -1;
    }
}

void paintTip(TipControl& tip, HDC hdc) {
    RECT r{};
    GetClientRect(tip.self, &r);
    HBRUSH background = CreateSolidBrush(tip.background);
    FillRect(hdc, &r, background);
    DeleteObject(background);
    FrameRect(hdc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
    SelectObject(hdc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, tip.foreground);
    RECT text{r.left + 1 + kMarginX, r.top + 1 + kMarginY, r.right - 1 - kMarginX,
              r.bottom - 1 - kMarginY};
    DrawTextA(hdc, tip.showing.c_str(), static_cast<int>(tip.showing.size()), &text,
              textFormat(tip));
}

void watchToolWindow(HWND control, HWND window) {
    setWindowSubclass(window, watchProc, reinterpret_cast<UINT_PTR>(control), 0);
}

void unwatchToolWindow(HWND control, HWND window) {
    removeWindowSubclass(window, watchProc, reinterpret_cast<UINT_PTR>(control));
}

} // namespace korutil::detail
