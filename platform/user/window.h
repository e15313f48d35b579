// Windows: what the window manager keeps for each window, the tree they form (parent,
// children in z-order, owner) and the table their handles name. Callers hold the layer's lock
// (gdi/lock.h) for every call here and for as long as they use a window they found; a window
// found before the lock was let go must be looked up again (or checked with `alive`).
#pragma once

#include "gdi/surface.h"
#include "user/update_region.h"

#include <korutil/platform/user.h>

#include <memory>
#include <string>
#include <vector>

namespace korutil::detail {

struct WindowClass;
struct ThreadQueue;

// A procedure that code in the layer puts in front of a window's own procedure, as the common
// controls' SetWindowSubclass does: it sees each message first and passes it on (or not) with
// defSubclassProc (user/procedure.h).
using SubclassProc = LRESULT (*)(HWND, UINT, WPARAM, LPARAM, UINT_PTR id, DWORD_PTR data);

struct Subclass {
    SubclassProc proc;
    UINT_PTR id;
    DWORD_PTR data;
};

struct Window : std::enable_shared_from_this<Window> {
    HWND handle = nullptr;
    std::shared_ptr<WindowClass> windowClass;
    std::shared_ptr<ThreadQueue> queue; // the creating thread's; null for the desktop
    DWORD threadId = 0;

    DWORD style = 0;
    DWORD exStyle = 0;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    UINT_PTR id = 0;      // a child's identifier (the hMenu argument of a child)
    HMENU menu = nullptr; // a top-level window's menu bar
    LONG_PTR userData = 0;
    std::vector<unsigned char> extra; // the class's cbWndExtra bytes
    std::string text;
    std::vector<Subclass> subclasses; // the last one added sees messages first

    Window* parent = nullptr; // the desktop for top-level windows; null for the desktop
    Window* owner = nullptr;
    std::vector<Window*> children; // z-order, top first

    RECT rect{0, 0, 0, 0};        // window rectangle, in the parent's client coordinates
    RECT client{0, 0, 0, 0};      // client rectangle, in window coordinates
    RECT restoreRect{0, 0, 0, 0}; // where a minimised or maximised window goes back to

    bool alive = true;       // false once freed (after WM_NCDESTROY)
    bool destroying = false; // DestroyWindow has begun
    bool created = false;    // WM_NCCREATE has been answered
    // An overlapped window gets its first WM_SIZE and WM_MOVE when it is first shown.
    bool sizeMessagesPending = false;

    // Painting: the invalid part of the client area (client coordinates) and what BeginPaint
    // must do before the host paints.
    UpdateRegion update;
    bool eraseNeeded = false;
    bool frameNeeded = false; // WM_NCPAINT is due
    bool internalPaint = false;

    // The window's pixels, frame included; children have their own and are composed on top.
    std::shared_ptr<Surface> surface;

    bool captionActive = false;           // WM_NCACTIVATE's last word: the frame shows it active
    int pressedCaptionButton = HTNOWHERE; // the caption button held down, drawn pushed in

    // State that the built-in controls keep (button pushed, focused, checked).
    UINT controlState = 0;
    HFONT font = nullptr; // WM_SETFONT's font for a control's text; null: the system font
};

// The desktop window, made at first use; its rectangle is the screen.
Window* desktop();

// The hidden root of message-only windows (HWND_MESSAGE as parent), made at first use.
Window* messageRoot();

// The live window a handle names, or null (no error set).
Window* findWindow(HWND handle);
// The same, setting ERROR_INVALID_WINDOW_HANDLE when there is none.
Window* windowOrFail(HWND handle);
// Adds a new window to the table and gives it its handle; false when memory is short.
bool addWindow(const std::shared_ptr<Window>& window);
// Takes a window out of the table and out of the tree; it lives on while someone holds it.
std::shared_ptr<Window> removeWindow(Window* window);

// A window whose parent is the desktop or the message root.
bool isTopLevel(const Window* window);
// Whether `window` is `ancestor` or lies below it (through parents, not owners).
bool isSelfOrDescendant(const Window* window, const Window* ancestor);
Window* topLevelOf(Window* window);

// Z-order among siblings. `after` follows SetWindowPos: HWND_TOP, HWND_BOTTOM, HWND_TOPMOST,
// HWND_NOTOPMOST or a sibling; top-level windows with WS_EX_TOPMOST stay above the others.
void linkChild(Window* parent, Window* child, HWND after);
void unlinkChild(Window* child);

// Geometry in screen coordinates, computed without overflow and clamped to the LONG range.
POINT windowOrigin(const Window* window); // the window rectangle's top left corner
POINT clientOrigin(const Window* window); // the client area's top left corner
RECT screenRect(const Window* window);
RECT screenClientRect(const Window* window);
// The part of the screen where the window can show: its rectangle within every ancestor's
// client area; empty unless it and all its ancestors are visible.
RECT visibleScreenRect(const Window* window);
bool visibleWithAncestors(const Window* window);
bool enabledWithAncestors(const Window* window);

// Limits of positions and sizes: any sum of a few coordinates stays within a LONG.
constexpr int kCoordinateLimit = 1 << 27;
int clampCoordinate(long long value);
int clampSize(long long value);

} // namespace korutil::detail
