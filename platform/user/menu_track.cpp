// TrackPopupMenuEx: the menu and each sub-menu it opens show as "#32768" windows (topmost, not
// activated); the first holds the mouse capture, and a modal loop on the caller's thread
// takes the mouse and keys for the menus and dispatches everything else. The owner hears
// WM_ENTERMENULOOP, WM_INITMENUPOPUP, WM_MENUSELECT, WM_UNINITMENUPOPUP and WM_EXITMENULOOP
// (none of them with TPM_NONOTIFY); the chosen command is posted to it as WM_COMMAND, or
// returned with TPM_RETURNCMD. Escape, a click outside, EndMenu, WM_CANCELMODE, the loss of
// the capture, and the end of the menu or its owner cancel.
#include "user/menu_layout.h"
#include "user/menu_window.h"

#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "user/messages.h"
#include "user/window.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/threads.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <vector>

namespace korutil::detail {
namespace {

constexpr int kSubMenuOverlap = 3;

struct Level {
    std::shared_ptr<Menu> menu;
    HWND window = nullptr;
    std::vector<MenuItem> items; // as the menu was when last laid out
    unsigned version = 0;
    MenuLayout layout;
    RECT screen{0, 0, 0, 0};
    int highlight = -1;
    int parentItem = -1; // the item of the level above that opened this one
};

struct Tracking {
    HWND owner = nullptr;
    UINT flags = 0;
    bool notify = true;
    bool done = false;
    bool chosen = false;
    UINT command = 0;
    DWORD error = 0;
    std::vector<std::unique_ptr<Level>> levels;
};

thread_local Tracking* t_tracking = nullptr;

RECT screenArea() {
    return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

// The menu's rectangle at (x, y) by the alignment flags, flipped to the other side of the
// point where it would leave the screen, then kept on it, and moved off the excluded area.
RECT placeMenu(SIZE size, int x, int y, UINT flags, const RECT* exclude) {
    const RECT screen = screenArea();
    const LONG w = size.cx;
    const LONG h = size.cy;
    LONG left = (flags & TPM_RIGHTALIGN) ? x - w : (flags & TPM_CENTERALIGN) ? x - w / 2 : x;
    LONG top = (flags & TPM_BOTTOMALIGN) ? y - h : (flags & TPM_VCENTERALIGN) ? y - h / 2 : y;
    if (left + w > screen.right) {
        left = (flags & (TPM_RIGHTALIGN | TPM_CENTERALIGN)) ? screen.right - w : x - w;
    }
    if (top + h > screen.bottom) {
        top = (flags & (TPM_BOTTOMALIGN | TPM_VCENTERALIGN)) ? screen.bottom - h : y - h;
    }
    left = std::max<LONG>(left, 0);
    top = std::max<LONG>(top, 0);
    RECT r{left, top, left + w, top + h};
    RECT overlap;
    if (exclude && IntersectRect(&overlap, &r, exclude)) {
        if (flags & TPM_VERTICAL) {
            top = exclude->bottom + h <= screen.bottom ? exclude->bottom : exclude->top - h;
        } else {
            left = exclude->right + w <= screen.right ? exclude->right : exclude->left - w;
        }
        r = RECT{std::max<LONG>(left, 0), std::max<LONG>(top, 0), 0, 0};
        r.right = r.left + w;
        r.bottom = r.top + h;
    }
    return r;
}

// A sub-menu beside the item that opens it: to the right, or to the left where the screen
// ends; moved up where it would leave the bottom.
RECT placeSubMenu(SIZE size, const Level& parent, int item) {
    const RECT screen = screenArea();
    const RECT& row = parent.layout.rows[static_cast<std::size_t>(item)];
    LONG left = parent.screen.right - kSubMenuOverlap;
    if (left + size.cx > screen.right) {
        left = parent.screen.left - size.cx + kSubMenuOverlap;
    }
    LONG top = parent.screen.top + row.top - kSubMenuOverlap;
    if (top + size.cy > screen.bottom) {
        top = screen.bottom - size.cy;
    }
    left = std::max<LONG>(left, 0);
    top = std::max<LONG>(top, 0);
    return RECT{left, top, left + size.cx, top + size.cy};
}

void send(const Tracking& t, UINT message, WPARAM wParam, LPARAM lParam) {
    if (t.notify && IsWindow(t.owner)) {
        sendMessage(t.owner, message, wParam, lParam);
    }
}

// Copies the menu's items for drawing and hit tests; false when the menu has gone.
bool snapshot(Level& level) {
    UiLock lock(uiMutex());
    if (!level.menu->alive) {
        return false;
    }
    level.items = level.menu->items;
    level.version = level.menu->version;
    return true;
}

Level* levelOf(Tracking& t, HWND hwnd) {
    for (auto& level : t.levels) {
        if (level->window == hwnd) {
            return level.get();
        }
    }
    return nullptr;
}

// Tells the menu where its window and items are (for GetMenuItemRect).
void showRows(const Level& level) {
    UiLock lock(uiMutex());
    level.menu->window = level.window;
    level.menu->shownRows = level.layout.rows;
    for (RECT& row : level.menu->shownRows) {
        OffsetRect(&row, level.screen.left, level.screen.top);
    }
}

bool selectable(const Level& level, int index) {
    return index >= 0 && static_cast<std::size_t>(index) < level.items.size() &&
           !level.items[static_cast<std::size_t>(index)].isSeparator();
}

void repaint(const Level& level) {
    InvalidateRect(level.window, nullptr, FALSE);
    UpdateWindow(level.window);
}

void highlight(Tracking& t, std::size_t depth, int index, bool byMouse) {
    Level& level = *t.levels[depth];
    if (level.highlight == index) {
        return;
    }
    level.highlight = index;
    repaint(level);
    if (!selectable(level, index)) {
        return;
    }
    const MenuItem& item = level.items[static_cast<std::size_t>(index)];
    UINT flags = item.type | item.state | MF_HILITE | (byMouse ? MF_MOUSESELECT : 0);
    // An item that opens a sub-menu is named by its position.
    UINT id = item.id;
    if (item.subMenu) {
        flags |= MF_POPUP;
        id = static_cast<UINT>(index);
    }
    send(t, WM_MENUSELECT, MAKEWPARAM(id, flags & 0xFFFF),
         reinterpret_cast<LPARAM>(level.menu->handle));
}

void closeLevels(Tracking& t, std::size_t from) {
    while (t.levels.size() > from) {
        std::unique_ptr<Level> level = std::move(t.levels.back());
        t.levels.pop_back();
        {
            UiLock lock(uiMutex());
            if (level->menu->window == level->window) {
                level->menu->window = nullptr;
                level->menu->shownRows.clear();
            }
        }
        if (t.levels.empty() && GetCapture() == level->window) {
            ReleaseCapture();
        }
        DestroyWindow(level->window);
        send(t, WM_UNINITMENUPOPUP, reinterpret_cast<WPARAM>(level->menu->handle), 0);
    }
}

// Shows a menu as a new level: at `placeAt` for the first, beside item `parentItem` of the
// last level for a sub-menu. False when the menu has gone or has nothing to show.
bool openLevel(Tracking& t, const std::shared_ptr<Menu>& menu, int parentItem, POINT placeAt,
               const RECT* exclude) {
    auto level = std::make_unique<Level>();
    level->menu = menu;
    level->parentItem = parentItem;
    if (!snapshot(*level) || level->items.empty()) {
        return false;
    }
    level->layout = layoutMenu(level->items);
    level->screen = t.levels.empty()
                        ? placeMenu(level->layout.size, placeAt.x, placeAt.y, t.flags, exclude)
                        : placeSubMenu(level->layout.size, *t.levels.back(), parentItem);
    const RECT& r = level->screen;
    level->window = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kMenuClassName, "", WS_POPUP,
                                    r.left, r.top, r.right - r.left, r.bottom - r.top, t.owner,
                                    nullptr, nullptr, nullptr);
    if (!level->window) {
        return false;
    }
    Level& shown = *level;
    showRows(shown);
    t.levels.push_back(std::move(level));
    SetWindowPos(shown.window, HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    UpdateWindow(shown.window);
    return true;
}

// Opens the sub-menu of item `index` of level `depth` (closing deeper levels first).
void openSubMenu(Tracking& t, std::size_t depth, int index, bool selectFirst) {
    Level& level = *t.levels[depth];
    if (!selectable(level, index)) {
        return;
    }
    const MenuItem& item = level.items[static_cast<std::size_t>(index)];
    if (!item.subMenu || item.isDisabled()) {
        return;
    }
    if (t.levels.size() > depth + 1 && t.levels[depth + 1]->parentItem == index) {
        return;
    }
    closeLevels(t, depth + 1);
    std::shared_ptr<Menu> sub;
    {
        UiLock lock(uiMutex());
        sub = findMenu(item.subMenu);
    }
    if (!sub) {
        return;
    }
    send(t, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(sub->handle),
         MAKELPARAM(static_cast<WORD>(index), FALSE));
    if (t.done || !openLevel(t, sub, index, POINT{0, 0}, nullptr)) {
        return;
    }
    if (selectFirst) {
        const Level& opened = *t.levels.back();
        for (std::size_t i = 0; i < opened.items.size(); ++i) {
            if (!opened.items[i].isSeparator()) {
                highlight(t, t.levels.size() - 1, static_cast<int>(i), false);
                break;
            }
        }
    }
}

void choose(Tracking& t, const MenuItem& item) {
    t.done = true;
    t.chosen = true;
    t.command = item.id;
}

void cancel(Tracking& t, DWORD error = 0) {
    t.done = true;
    t.chosen = false;
    if (error) {
        t.error = error;
    }
}

// What the user's choice of an item does: a sub-menu opens, an enabled command is chosen, a
// disabled item does nothing.
void activate(Tracking& t, std::size_t depth, int index) {
    const Level& level = *t.levels[depth];
    if (!selectable(level, index)) {
        return;
    }
    const MenuItem& item = level.items[static_cast<std::size_t>(index)];
    if (item.subMenu) {
        openSubMenu(t, depth, index, true);
    } else if (!item.isDisabled()) {
        choose(t, item);
    }
}

// The deepest level under a screen point, with the item there (-1 for none).
bool levelAt(Tracking& t, POINT pt, std::size_t& depth, int& item) {
    for (std::size_t i = t.levels.size(); i-- > 0;) {
        const Level& level = *t.levels[i];
        if (contains(level.screen, pt.x, pt.y)) {
            depth = i;
            item =
                menuItemAt(level.layout, POINT{pt.x - level.screen.left, pt.y - level.screen.top});
            return true;
        }
    }
    return false;
}

bool tracksButton(const Tracking& t, UINT message) {
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
        return true;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
        return (t.flags & TPM_RIGHTBUTTON) != 0;
    default:
        return false;
    }
}

void onMouse(Tracking& t, const MSG& msg) {
    std::size_t depth = 0;
    int item = -1;
    const bool inside = levelAt(t, msg.pt, depth, item);
    const bool down = msg.message == WM_LBUTTONDOWN || msg.message == WM_RBUTTONDOWN ||
                      msg.message == WM_MBUTTONDOWN || msg.message == WM_LBUTTONDBLCLK ||
                      msg.message == WM_RBUTTONDBLCLK || msg.message == WM_MBUTTONDBLCLK;
    const bool up =
        msg.message == WM_LBUTTONUP || msg.message == WM_RBUTTONUP || msg.message == WM_MBUTTONUP;
    if (!inside) {
        if (down) {
            cancel(t);
        } else if (msg.message == WM_MOUSEMOVE) {
            // The mouse left the menus: only an item with its sub-menu open stays highlighted.
            const std::size_t last = t.levels.size() - 1;
            highlight(t, last, -1, true);
        }
        return;
    }
    if (msg.message == WM_MOUSEMOVE || (down && tracksButton(t, msg.message))) {
        const Level& level = *t.levels[depth];
        const bool childOpen =
            t.levels.size() > depth + 1 && t.levels[depth + 1]->parentItem == item;
        if (!childOpen) {
            closeLevels(t, depth + 1);
        }
        highlight(t, depth, selectable(level, item) ? item : -1, true);
        openSubMenu(t, depth, item, false);
        return;
    }
    if (up && tracksButton(t, msg.message)) {
        const Level& level = *t.levels[depth];
        if (selectable(level, item) && !level.items[static_cast<std::size_t>(item)].subMenu) {
            activate(t, depth, item);
        }
    }
}

void moveHighlight(Tracking& t, int step) {
    const std::size_t depth = t.levels.size() - 1;
    const Level& level = *t.levels[depth];
    const int n = static_cast<int>(level.items.size());
    int index = level.highlight;
    for (int tries = 0; tries < n; ++tries) {
        index = index < 0 ? (step > 0 ? 0 : n - 1) : (index + step + n) % n;
        if (selectable(level, index)) {
            highlight(t, depth, index, false);
            return;
        }
    }
}

// The item whose text marks `c` with '&', for a typed character.
void onCharacter(Tracking& t, char c) {
    const std::size_t depth = t.levels.size() - 1;
    const Level& level = *t.levels[depth];
    const int lower = std::tolower(static_cast<unsigned char>(c));
    for (std::size_t i = 0; i < level.items.size(); ++i) {
        const std::string& text = level.items[i].text;
        for (std::size_t k = 0; k + 1 < text.size(); ++k) {
            if (text[k] != '&') {
                continue;
            }
            if (text[k + 1] == '&') {
                ++k;
                continue;
            }
            if (std::tolower(static_cast<unsigned char>(text[k + 1])) == lower) {
                highlight(t, depth, static_cast<int>(i), false);
                activate(t, depth, static_cast<int>(i));
                return;
            }
            break;
        }
    }
}

void onKey(Tracking& t, const MSG& msg) {
    if (msg.message == WM_CHAR || msg.message == WM_SYSCHAR) {
        onCharacter(t, static_cast<char>(msg.wParam));
        return;
    }
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) {
        return;
    }
    TranslateMessage(&msg);
    const std::size_t depth = t.levels.size() - 1;
    switch (msg.wParam) {
    case VK_UP:
        moveHighlight(t, -1);
        break;
    case VK_DOWN:
        moveHighlight(t, 1);
        break;
    case VK_RIGHT:
        openSubMenu(t, depth, t.levels[depth]->highlight, true);
        break;
    case VK_LEFT:
        if (depth > 0) {
            closeLevels(t, depth);
        }
        break;
    case VK_ESCAPE:
        if (depth > 0) {
            closeLevels(t, depth);
        } else {
            cancel(t);
        }
        break;
    case VK_RETURN:
        activate(t, depth, t.levels[depth]->highlight);
        break;
    case VK_MENU:
    case VK_F10:
        cancel(t);
        break;
    default:
        break;
    }
}

bool isMouseMessage(UINT message) {
    return message >= WM_MOUSEFIRST && message <= WM_MOUSELAST;
}

bool isKeyMessage(UINT message) {
    return message >= WM_KEYFIRST && message <= WM_KEYLAST;
}

// Lays out again a level whose menu changed; false when a menu, a window or the owner went.
bool stillShown(Tracking& t) {
    if (!IsWindow(t.owner)) {
        cancel(t, ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    for (auto& level : t.levels) {
        bool changed = false;
        {
            UiLock lock(uiMutex());
            if (!level->menu->alive) {
                cancel(t, ERROR_INVALID_MENU_HANDLE);
                return false;
            }
            changed = level->menu->version != level->version;
        }
        if (!IsWindow(level->window)) {
            cancel(t);
            return false;
        }
        if (changed && snapshot(*level)) {
            level->layout = layoutMenu(level->items);
            if (level->highlight >= static_cast<int>(level->items.size())) {
                level->highlight = -1;
            }
            SetWindowPos(level->window, nullptr, 0, 0, level->layout.size.cx, level->layout.size.cy,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            level->screen.right = level->screen.left + level->layout.size.cx;
            level->screen.bottom = level->screen.top + level->layout.size.cy;
            showRows(*level);
            repaint(*level);
        }
    }
    return true;
}

void runLoop(Tracking& t) {
    while (!t.done && stillShown(t)) {
        MSG msg;
        const int got = retrieveMessage(&msg, nullptr, 0, 0, PM_REMOVE, true);
        if (got <= 0) {
            cancel(t);
            break;
        }
        if (msg.message == WM_QUIT) {
            // The quit belongs to the thread's own loop: leave it for that one.
            PostQuitMessage(static_cast<int>(msg.wParam));
            cancel(t);
            break;
        }
        if (isMouseMessage(msg.message) && levelOf(t, msg.hwnd)) {
            onMouse(t, msg);
        } else if (isKeyMessage(msg.message)) {
            onKey(t, msg);
        } else {
            DispatchMessageA(&msg);
        }
    }
}

BOOL track(HMENU hMenu, UINT flags, int x, int y, HWND hwnd, const TPMPARAMS* params) {
    std::shared_ptr<Menu> menu;
    {
        UiLock lock(uiMutex());
        if (!menuOrFail(hMenu)) {
            return FALSE;
        }
        menu = findMenu(hMenu);
        Window* owner = windowOrFail(hwnd);
        if (!owner) {
            return FALSE;
        }
        if (owner->threadId != GetCurrentThreadId()) {
            SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
            return FALSE;
        }
    }
    if (params && params->cbSize != sizeof(TPMPARAMS)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (t_tracking) {
        SetLastError(ERROR_POPUP_ALREADY_ACTIVE);
        return FALSE;
    }
    Tracking t;
    t.owner = hwnd;
    t.flags = flags;
    t.notify = (flags & TPM_NONOTIFY) == 0;
    t_tracking = &t;
    send(t, WM_ENTERMENULOOP, TRUE, 0);
    send(t, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(hMenu), MAKELPARAM(0, FALSE));
    if (!t.done && IsWindow(hwnd) &&
        openLevel(t, menu, -1, POINT{x, y}, params ? &params->rcExclude : nullptr)) {
        SetCapture(t.levels.front()->window);
        runLoop(t);
    } else if (!t.error) {
        UiLock lock(uiMutex());
        t.error = !menu->alive        ? ERROR_INVALID_MENU_HANDLE
                  : !findWindow(hwnd) ? ERROR_INVALID_WINDOW_HANDLE
                                      : 0;
    }
    closeLevels(t, 0);
    send(t, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    send(t, WM_EXITMENULOOP, TRUE, 0);
    t_tracking = nullptr;
    if (!t.chosen) {
        if (t.error) {
            SetLastError(t.error);
        }
        return FALSE;
    }
    if (flags & TPM_RETURNCMD) {
        return static_cast<BOOL>(t.command);
    }
    postMessage(hwnd, WM_COMMAND, MAKEWPARAM(t.command, 0), 0);
    return TRUE;
}

} // namespace

bool trackingMenu() {
    return t_tracking != nullptr;
}

LRESULT CALLBACK menuWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Tracking* t = t_tracking;
    switch (message) {
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_ERASEBKGND:
        return 1; // painted whole with the items
    case WM_PAINT: {
        PAINTSTRUCT ps;
        if (HDC hdc = BeginPaint(hwnd, &ps)) {
            if (Level* level = t ? levelOf(*t, hwnd) : nullptr) {
                paintMenu(hdc, level->items, level->layout, level->highlight);
            }
            EndPaint(hwnd, &ps);
        }
        return 0;
    }
    case WM_CAPTURECHANGED:
        // Another window took the mouse: the menu cannot go on.
        if (t && !t->levels.empty() && t->levels.front()->window == hwnd &&
            reinterpret_cast<HWND>(lParam) != hwnd) {
            cancel(*t);
        }
        return 0;
    case WM_CANCELMODE:
        EndMenu();
        return 0;
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

} // namespace korutil::detail

using namespace korutil::detail;

extern "C" BOOL WINAPI TrackPopupMenuEx(HMENU hMenu, UINT uFlags, int x, int y, HWND hwnd,
                                        LPTPMPARAMS lptpm) {
    return failOnBadAlloc<BOOL>(FALSE, [&] { return track(hMenu, uFlags, x, y, hwnd, lptpm); });
}

extern "C" BOOL WINAPI TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int, HWND hWnd,
                                      const RECT*) {
    return TrackPopupMenuEx(hMenu, uFlags, x, y, hWnd, nullptr);
}

extern "C" BOOL WINAPI EndMenu(void) {
    if (Tracking* t = t_tracking) {
        cancel(*t);
        if (!t->levels.empty()) {
            postMessage(t->levels.front()->window, WM_NULL, 0, 0);
        }
    }
    return TRUE;
}
