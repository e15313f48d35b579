// Menus inside the layer: the menu objects that HMENU handles name, their items, and the walks
// that find an item by position or by command (through sub-menus). Menus have a handle table
// of their own, drawing its values from the counter that every table of the layer shares.
// Callers hold the layer's lock (gdi/lock.h) for every call here and for as long as they use
// a menu they found.
#pragma once

#include <korutil/platform/menus.h>

#include <memory>
#include <string>
#include <vector>

namespace korutil::detail {

struct MenuItem {
    UINT type = MFT_STRING;
    UINT state = 0;
    UINT id = 0;
    HMENU subMenu = nullptr;
    HBITMAP checked = nullptr;
    HBITMAP unchecked = nullptr;
    ULONG_PTR data = 0;
    std::string text;
    // What dwTypeData carries for an item that is not a string (MFT_BITMAP: the bitmap,
    // MFT_OWNERDRAW: the host's value).
    LPSTR typeData = nullptr;
    HBITMAP bitmap = nullptr; // hbmpItem

    bool isString() const { return (type & (MFT_BITMAP | MFT_SEPARATOR | MFT_OWNERDRAW)) == 0; }
    bool isSeparator() const { return (type & MFT_SEPARATOR) != 0; }
    bool isDisabled() const { return (state & MFS_GRAYED) != 0; }
};

struct Menu {
    HMENU handle = nullptr;
    bool popup = false;
    bool alive = true;
    std::vector<MenuItem> items;
    // Counts changes, so that a menu on the screen can be laid out again.
    unsigned version = 0;
    // The pop-up window that shows the menu while it is tracked, and where its items are on
    // the screen then; null and empty otherwise.
    HWND window = nullptr;
    std::vector<RECT> shownRows;
};

// The live menu a handle names, or null (no error set).
std::shared_ptr<Menu> findMenu(HMENU handle);
// The same, setting ERROR_INVALID_MENU_HANDLE when there is none.
Menu* menuOrFail(HMENU handle);

// Destroys the menu and every sub-menu below it; a menu on the screen is told through its
// window, whose modal loop then ends.
void destroyMenuTree(Menu* menu);

// Whether `target` is `from` or lies below it through sub-menus.
bool menuReaches(const Menu* from, const Menu* target);

struct ItemRef {
    Menu* menu = nullptr;
    std::size_t index = 0;

    MenuItem& item() const { return menu->items[index]; }
};

// An item by position in `menu`, or by command in `menu` and its sub-menus (depth first; an
// item that opens a sub-menu matches its identifier after the sub-menu's items). Sets
// ERROR_MENU_ITEM_NOT_FOUND when there is none.
bool locateItem(Menu* menu, UINT item, bool byPosition, ItemRef& out);

// Marks a menu changed.
void touchMenu(Menu* menu);

} // namespace korutil::detail
