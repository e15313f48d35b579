// The tooltip control, "tooltips_class32": its tools and settings, the tip it shows, and the
// class registration that InitCommonControlsEx asks for. A control's state is touched only
// on the control's own thread (its window procedure, its layer timers, and the messages that
// tool windows of other threads send it); the table that finds a control's state is guarded
// by the layer's lock.
#pragma once

#include <korutil/platform/commctrl.h>

#include <memory>
#include <string>
#include <vector>

namespace korutil::detail {

// Text given as a module and MAKEINTRESOURCE identifier of a string resource.
inline bool isResourceText(HINSTANCE instance, LPCSTR text) {
    return text != LPSTR_TEXTCALLBACKA && instance && text && IS_INTRESOURCE(text);
}

struct TipTool {
    UINT flags = 0;
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    RECT rect{0, 0, 0, 0};
    HINSTANCE instance = nullptr;
    LPSTR given = nullptr; // LPSTR_TEXTCALLBACKA, a string resource's identifier, or null
    std::string text;      // the text given as a string
    LPARAM lParam = 0;

    // The window whose mouse messages tell where the tool is.
    HWND window() const { return (flags & TTF_IDISHWND) ? reinterpret_cast<HWND>(id) : hwnd; }
};

struct TipControl {
    HWND self = nullptr;
    bool alive = true; // false once the control is destroyed (a notification may do that)
    std::vector<TipTool> tools;
    bool active = true;
    UINT initial = 0;
    UINT autopop = 0;
    UINT reshow = 0;
    COLORREF background = 0;
    COLORREF foreground = 0;
    int hovered = -1;    // the tool under the mouse, -1 for none
    int shown = -1;      // the tool whose tip shows, -1 for none
    int clicked = -1;    // a tool clicked on: no tip again until the mouse leaves it
    std::string showing; // the text on the screen
};

// Registers the class once; lock not held.
void registerTooltipClass();

// The control's state, on its own thread; null for another window. Holders keep it while a
// notification they send runs host code, and check `alive` after.
std::shared_ptr<TipControl> tipControl(HWND hwnd);

// Showing and hiding (tooltip_tip.cpp), on the control's thread.
void relayToTip(TipControl& tip, const MSG& msg);
void hideTip(TipControl& tip);
// The tool window is going: forget the tip that shows for it.
void toolWindowGone(TipControl& tip, HWND window);
void paintTip(TipControl& tip, HDC hdc);
// The text a tool shows now: its own, its string resource's, or the owner's answer.
std::string tipText(TipControl& tip, const TipTool& tool);

// Subclassing a tool window for TTF_SUBCLASS.
void watchToolWindow(HWND control, HWND window);
void unwatchToolWindow(HWND control, HWND window);

} // namespace korutil::detail
