// Reading menus and changing item states: GetMenuItemCount, GetMenuItemID, GetMenuState,
// GetMenuStringA, GetSubMenu, CheckMenuItem, EnableMenuItem and the default item.
#include "user/menu.h"

#include "gdi/lock.h"
#include "kernel/text_encoding.h"

#include <korutil/platform/errors.h>

#include <cstring>

namespace korutil::detail {
namespace {

constexpr UINT kNone = 0xFFFFFFFF;

// The item that a call names by position or command, or null; lock held.
MenuItem* itemOf(HMENU hMenu, UINT item, UINT flags, Menu** holder = nullptr) {
    Menu* menu = menuOrFail(hMenu);
    ItemRef at;
    if (!menu || !locateItem(menu, item, (flags & MF_BYPOSITION) != 0, at)) {
        return nullptr;
    }
    if (holder) {
        *holder = at.menu;
    }
    return &at.item();
}

// The default item of one menu (not its sub-menus), as an index, or -1.
long defaultIndex(const Menu& menu) {
    for (std::size_t i = 0; i < menu.items.size(); ++i) {
        if (menu.items[i].state & MFS_DEFAULT) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

} // namespace
} // namespace korutil::detail

using namespace korutil::detail;

extern "C" int WINAPI GetMenuItemCount(HMENU hMenu) {
    UiLock lock(uiMutex());
    const Menu* menu = menuOrFail(hMenu);
    return menu ? static_cast<int>(menu->items.size()) : -1;
}

extern "C" UINT WINAPI GetMenuItemID(HMENU hMenu, int nPos) {
    UiLock lock(uiMutex());
    const MenuItem* item = itemOf(hMenu, static_cast<UINT>(nPos), MF_BYPOSITION);
    return item && !item->subMenu ? item->id : kNone;
}

extern "C" UINT WINAPI GetMenuState(HMENU hMenu, UINT uId, UINT uFlags) {
    UiLock lock(uiMutex());
    const MenuItem* item = itemOf(hMenu, uId, uFlags);
    if (!item) {
        return kNone;
    }
    const UINT flags = item->type | item->state;
    if (const std::shared_ptr<Menu> sub = findMenu(item->subMenu)) {
        // The low byte holds the flags, the high byte the sub-menu's number of items.
        return (static_cast<UINT>(sub->items.size() & 0xFF) << 8) | ((flags | MF_POPUP) & 0xFF);
    }
    return flags;
}

extern "C" int WINAPI GetMenuStringA(HMENU hMenu, UINT uIDItem, LPSTR lpString, int cchMax,
                                     UINT flags) {
    UiLock lock(uiMutex());
    const MenuItem* item = itemOf(hMenu, uIDItem, flags);
    if (!item || !item->isString()) {
        return 0;
    }
    const std::string& text = item->text;
    if (!lpString) {
        return static_cast<int>(text.size());
    }
    if (cchMax <= 0) {
        return 0;
    }
    const std::size_t n =
        utf8CutPoint(text.data(), text.size(), static_cast<std::size_t>(cchMax) - 1);
    std::memcpy(lpString, text.data(), n);
    lpString[n] = '\0';
    return static_cast<int>(n);
}

extern "C" HMENU WINAPI GetSubMenu(HMENU hMenu, int nPos) {
    UiLock lock(uiMutex());
    const MenuItem* item = itemOf(hMenu, static_cast<UINT>(nPos), MF_BYPOSITION);
    return item && findMenu(item->subMenu) ? item->subMenu : nullptr;
}

extern "C" DWORD WINAPI CheckMenuItem(HMENU hMenu, UINT uIDCheckItem, UINT uCheck) {
    UiLock lock(uiMutex());
    Menu* holder = nullptr;
    MenuItem* item = itemOf(hMenu, uIDCheckItem, uCheck, &holder);
    if (!item) {
        return kNone;
    }
    const DWORD previous = item->state & MF_CHECKED;
    item->state = (item->state & ~static_cast<UINT>(MF_CHECKED)) | (uCheck & MF_CHECKED);
    touchMenu(holder);
    return previous;
}

extern "C" BOOL WINAPI EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable) {
    UiLock lock(uiMutex());
    Menu* holder = nullptr;
    MenuItem* item = itemOf(hMenu, uIDEnableItem, uEnable, &holder);
    if (!item) {
        return -1;
    }
    constexpr UINT kEnableBits = MF_GRAYED | MF_DISABLED;
    const BOOL previous = static_cast<BOOL>(item->state & kEnableBits);
    item->state = (item->state & ~kEnableBits) | (uEnable & kEnableBits);
    touchMenu(holder);
    return previous;
}

extern "C" BOOL WINAPI SetMenuDefaultItem(HMENU hMenu, UINT uItem, UINT fByPos) {
    UiLock lock(uiMutex());
    Menu* menu = menuOrFail(hMenu);
    if (!menu) {
        return FALSE;
    }
    std::size_t chosen = menu->items.size();
    if (uItem != kNone) {
        // Only the menu's own items: a sub-menu has a default of its own.
        for (std::size_t i = 0; i < menu->items.size(); ++i) {
            if (fByPos ? i == uItem : menu->items[i].id == uItem) {
                chosen = i;
                break;
            }
        }
        if (chosen == menu->items.size()) {
            SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
            return FALSE;
        }
    }
    for (std::size_t i = 0; i < menu->items.size(); ++i) {
        UINT& state = menu->items[i].state;
        state = i == chosen ? state | MFS_DEFAULT : state & ~static_cast<UINT>(MFS_DEFAULT);
    }
    touchMenu(menu);
    return TRUE;
}

extern "C" UINT WINAPI GetMenuDefaultItem(HMENU hMenu, UINT fByPos, UINT gmdiFlags) {
    UiLock lock(uiMutex());
    Menu* menu = menuOrFail(hMenu);
    UINT found = kNone;
    // Sub-menus cannot hold their parents, so the walk ends.
    while (menu) {
        const long index = defaultIndex(*menu);
        if (index < 0) {
            break;
        }
        const MenuItem& item = menu->items[static_cast<std::size_t>(index)];
        if (item.isDisabled() && !(gmdiFlags & GMDI_USEDISABLED)) {
            break;
        }
        found = fByPos ? static_cast<UINT>(index) : item.id;
        const std::shared_ptr<Menu> sub = findMenu(item.subMenu);
        menu = sub && (gmdiFlags & GMDI_GOINTOPOPUPS) ? sub.get() : nullptr;
    }
    return found;
}

extern "C" BOOL WINAPI GetMenuItemRect(HWND, HMENU hMenu, UINT uItem, LPRECT lprcItem) {
    UiLock lock(uiMutex());
    const Menu* menu = menuOrFail(hMenu);
    if (!menu || !lprcItem || uItem >= menu->shownRows.size()) {
        return FALSE;
    }
    *lprcItem = menu->shownRows[uItem];
    return TRUE;
}
