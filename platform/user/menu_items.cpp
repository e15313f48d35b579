// Adding, changing, reading and removing menu items: InsertMenuItemA, SetMenuItemInfoA and
// GetMenuItemInfoA with both versions of MENUITEMINFOA, the older InsertMenuA, AppendMenuA and
// ModifyMenuA, RemoveMenu and DeleteMenu.
#include "user/menu.h"

#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "kernel/text_encoding.h"

#include <korutil/platform/errors.h>

#include <cstring>

namespace korutil::detail {
namespace {

// MIIM_TYPE is the older form of MIIM_FTYPE, MIIM_STRING and MIIM_BITMAP together; mixing the
// two forms is refused.
constexpr UINT kNewTypeMasks = MIIM_FTYPE | MIIM_STRING | MIIM_BITMAP;
// The MF_ flags that InsertMenuA takes as the item's type and state.
constexpr UINT kFlagTypes =
    MF_BITMAP | MF_OWNERDRAW | MF_SEPARATOR | MF_MENUBREAK | MF_MENUBARBREAK | MF_RIGHTJUSTIFY;
constexpr UINT kFlagStates = MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_HILITE;

bool hasBitmapField(const MENUITEMINFOA& info) {
    return info.cbSize == sizeof(MENUITEMINFOA);
}

// The structure's size, the masks and the sub-menu, checked against the menu that is to hold
// the item.
bool validInfo(const MENUITEMINFOA* info, const Menu* holder) {
    if (!info || (info->cbSize != MENUITEMINFOA_V1_SIZE && info->cbSize != sizeof(MENUITEMINFOA))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if ((info->fMask & MIIM_TYPE) && (info->fMask & kNewTypeMasks)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if ((info->fMask & MIIM_SUBMENU) && info->hSubMenu) {
        const std::shared_ptr<Menu> sub = findMenu(info->hSubMenu);
        if (!sub) {
            SetLastError(ERROR_INVALID_MENU_HANDLE);
            return false;
        }
        // A menu inside itself would open without end.
        if (menuReaches(sub.get(), holder)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
    }
    return true;
}

void apply(MenuItem& item, const MENUITEMINFOA& info) {
    const UINT mask = info.fMask;
    if (mask & MIIM_TYPE) {
        item.type = info.fType;
        if (item.isString()) {
            item.text = info.dwTypeData ? info.dwTypeData : "";
            item.typeData = nullptr;
        } else {
            item.text.clear();
            item.typeData = info.dwTypeData;
        }
    }
    if (mask & MIIM_FTYPE) {
        item.type = info.fType;
    }
    if (mask & MIIM_STRING) {
        item.text = info.dwTypeData ? info.dwTypeData : "";
    }
    if ((mask & MIIM_BITMAP) && hasBitmapField(info)) {
        item.bitmap = info.hbmpItem;
    }
    if (mask & MIIM_STATE) {
        item.state = info.fState;
    }
    if (mask & MIIM_ID) {
        item.id = info.wID;
    }
    if (mask & MIIM_SUBMENU) {
        item.subMenu = info.hSubMenu;
    }
    if (mask & MIIM_CHECKMARKS) {
        item.checked = info.hbmpChecked;
        item.unchecked = info.hbmpUnchecked;
    }
    if (mask & MIIM_DATA) {
        item.data = info.dwItemData;
    }
}

// The documented dwTypeData/cch exchange: no buffer asks for the length; a buffer of cch
// bytes gets as much of the text as fits with its terminating zero, and cch the length given.
void copyText(const std::string& text, MENUITEMINFOA& info) {
    if (!info.dwTypeData) {
        info.cch = static_cast<UINT>(text.size());
        return;
    }
    if (info.cch == 0) {
        info.cch = static_cast<UINT>(text.size());
        return;
    }
    const std::size_t n = utf8CutPoint(text.data(), text.size(), info.cch - 1);
    std::memcpy(info.dwTypeData, text.data(), n);
    info.dwTypeData[n] = '\0';
    info.cch = static_cast<UINT>(n);
}

void read(const MenuItem& item, MENUITEMINFOA& info) {
    const UINT mask = info.fMask;
    if (mask & MIIM_TYPE) {
        info.fType = item.type;
        if (item.isString()) {
            copyText(item.text, info);
        } else {
            info.dwTypeData = item.typeData;
            info.cch = 0;
        }
    }
    if (mask & MIIM_FTYPE) {
        info.fType = item.type;
    }
    if (mask & MIIM_STRING) {
        copyText(item.text, info);
    }
    if ((mask & MIIM_BITMAP) && hasBitmapField(info)) {
        info.hbmpItem = item.bitmap;
    }
    if (mask & MIIM_STATE) {
        info.fState = item.state;
    }
    if (mask & MIIM_ID) {
        info.wID = item.id;
    }
    if (mask & MIIM_SUBMENU) {
        info.hSubMenu = item.subMenu;
    }
    if (mask & MIIM_CHECKMARKS) {
        info.hbmpChecked = item.checked;
        info.hbmpUnchecked = item.unchecked;
    }
    if (mask & MIIM_DATA) {
        info.dwItemData = item.data;
    }
}

// Where a new item goes: before the item named, or at the end for a position past the last.
bool insertionPoint(Menu* menu, UINT item, bool byPosition, ItemRef& out) {
    if (byPosition) {
        out = ItemRef{menu, item < menu->items.size() ? item : menu->items.size()};
        return true;
    }
    return locateItem(menu, item, false, out);
}

BOOL insertItem(HMENU hmenu, UINT item, bool byPosition, const MENUITEMINFOA* info) {
    Menu* menu = menuOrFail(hmenu);
    ItemRef at;
    if (!menu || !insertionPoint(menu, item, byPosition, at) || !validInfo(info, at.menu)) {
        return FALSE;
    }
    MenuItem fresh;
    apply(fresh, *info);
    at.menu->items.insert(at.menu->items.begin() + static_cast<std::ptrdiff_t>(at.index),
                          std::move(fresh));
    touchMenu(at.menu);
    return TRUE;
}

// The MENUITEMINFOA that InsertMenuA's flags and arguments describe.
MENUITEMINFOA infoFromFlags(UINT flags, UINT_PTR id, LPCSTR newItem) {
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING | MIIM_DATA;
    info.fType = flags & kFlagTypes;
    info.fState = flags & kFlagStates;
    // An item that opens a sub-menu takes the sub-menu's handle as its identifier.
    info.wID = static_cast<UINT>(id);
    if (flags & MF_POPUP) {
        info.fMask |= MIIM_SUBMENU;
        info.hSubMenu = reinterpret_cast<HMENU>(id);
    }
    if (flags & (MF_BITMAP | MF_OWNERDRAW)) {
        info.fMask = (info.fMask & ~static_cast<UINT>(MIIM_FTYPE | MIIM_STRING)) | MIIM_TYPE;
        info.dwTypeData = const_cast<LPSTR>(newItem);
        if (flags & MF_OWNERDRAW) {
            info.dwItemData = reinterpret_cast<ULONG_PTR>(newItem);
        }
    } else if (!(flags & MF_SEPARATOR)) {
        info.dwTypeData = const_cast<LPSTR>(newItem);
    }
    return info;
}

} // namespace
} // namespace korutil::detail

using namespace korutil::detail;

extern "C" BOOL WINAPI InsertMenuItemA(HMENU hmenu, UINT item, BOOL fByPosition,
                                       LPCMENUITEMINFOA lpmi) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        UiLock lock(uiMutex());
        return insertItem(hmenu, item, fByPosition != FALSE, lpmi);
    });
}

extern "C" BOOL WINAPI SetMenuItemInfoA(HMENU hmenu, UINT item, BOOL fByPositon,
                                        LPCMENUITEMINFOA lpmii) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        UiLock lock(uiMutex());
        Menu* menu = menuOrFail(hmenu);
        ItemRef at;
        if (!menu || !locateItem(menu, item, fByPositon != FALSE, at) ||
            !validInfo(lpmii, at.menu)) {
            return FALSE;
        }
        apply(at.item(), *lpmii);
        touchMenu(at.menu);
        return TRUE;
    });
}

extern "C" BOOL WINAPI GetMenuItemInfoA(HMENU hmenu, UINT item, BOOL fByPosition,
                                        LPMENUITEMINFOA lpmii) {
    UiLock lock(uiMutex());
    Menu* menu = menuOrFail(hmenu);
    if (!menu) {
        return FALSE;
    }
    if (!lpmii ||
        (lpmii->cbSize != MENUITEMINFOA_V1_SIZE && lpmii->cbSize != sizeof(MENUITEMINFOA))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ItemRef at;
    if (!locateItem(menu, item, fByPosition != FALSE, at)) {
        return FALSE;
    }
    read(at.item(), *lpmii);
    return TRUE;
}

extern "C" BOOL WINAPI InsertMenuA(HMENU hMenu, UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem,
                                   LPCSTR lpNewItem) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        UiLock lock(uiMutex());
        Menu* menu = menuOrFail(hMenu);
        if (!menu) {
            return FALSE;
        }
        const MENUITEMINFOA info = infoFromFlags(uFlags, uIDNewItem, lpNewItem);
        const bool byPosition = (uFlags & MF_BYPOSITION) != 0;
        ItemRef at;
        // A command that is not there puts the item at the end, as InsertMenu always has.
        if (!byPosition && !locateItem(menu, uPosition, false, at)) {
            return insertItem(hMenu, 0xFFFFFFFF, true, &info);
        }
        return insertItem(hMenu, uPosition, byPosition, &info);
    });
}

extern "C" BOOL WINAPI AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem,
                                   LPCSTR lpNewItem) {
    return InsertMenuA(hMenu, 0xFFFFFFFF,
                       (uFlags & ~static_cast<UINT>(MF_BYCOMMAND)) | MF_BYPOSITION, uIDNewItem,
                       lpNewItem);
}

extern "C" BOOL WINAPI ModifyMenuA(HMENU hMnu, UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem,
                                   LPCSTR lpNewItem) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        UiLock lock(uiMutex());
        Menu* menu = menuOrFail(hMnu);
        ItemRef at;
        if (!menu || !locateItem(menu, uPosition, (uFlags & MF_BYPOSITION) != 0, at)) {
            return FALSE;
        }
        const MENUITEMINFOA info = infoFromFlags(uFlags, uIDNewItem, lpNewItem);
        if (!validInfo(&info, at.menu)) {
            return FALSE;
        }
        const HMENU old = at.item().subMenu;
        MenuItem fresh;
        apply(fresh, info);
        at.item() = std::move(fresh);
        touchMenu(at.menu);
        // The sub-menu that the item opened goes with it, unless the new item still uses it.
        const std::shared_ptr<Menu> oldMenu = findMenu(old);
        const std::shared_ptr<Menu> newMenu = findMenu(info.hSubMenu);
        if (oldMenu && old != info.hSubMenu &&
            !(newMenu && menuReaches(oldMenu.get(), newMenu.get()))) {
            destroyMenuTree(oldMenu.get());
        }
        return TRUE;
    });
}

namespace {

BOOL takeOut(HMENU hMenu, UINT uPosition, UINT uFlags, bool destroySub) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        UiLock lock(uiMutex());
        Menu* menu = menuOrFail(hMenu);
        ItemRef at;
        if (!menu || !locateItem(menu, uPosition, (uFlags & MF_BYPOSITION) != 0, at)) {
            return FALSE;
        }
        const HMENU sub = at.item().subMenu;
        at.menu->items.erase(at.menu->items.begin() + static_cast<std::ptrdiff_t>(at.index));
        touchMenu(at.menu);
        if (destroySub) {
            if (const std::shared_ptr<Menu> subMenu = findMenu(sub)) {
                destroyMenuTree(subMenu.get());
            }
        }
        return TRUE;
    });
}

} // namespace

extern "C" BOOL WINAPI RemoveMenu(HMENU hMenu, UINT uPosition, UINT uFlags) {
    return takeOut(hMenu, uPosition, uFlags, false);
}

extern "C" BOOL WINAPI DeleteMenu(HMENU hMenu, UINT uPosition, UINT uFlags) {
    return takeOut(hMenu, uPosition, uFlags, true);
}
