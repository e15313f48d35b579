// The menu handle table, the walks over sub-menus and CreateMenu, CreatePopupMenu, DestroyMenu
// and IsMenu. Walks keep their own stack: sub-menus can nest as deep as a host makes them.
#include "user/menu.h"

#include "gdi/lock.h"
#include "kernel/handle_map.h"
#include "kernel/no_throw.h"
#include "user/messages.h"

#include <korutil/platform/errors.h>

#include <algorithm>

namespace korutil::detail {
namespace {

HandleMap<Menu>& menus() {
    static auto* table = new HandleMap<Menu>; // outlives every static destructor
    return *table;
}

HMENU makeMenu(bool popup) {
    return failOnBadAlloc<HMENU>(nullptr, [&]() -> HMENU {
        auto menu = std::make_shared<Menu>();
        menu->popup = popup;
        UiLock lock(uiMutex());
        const std::uintptr_t value = menus().insert(menu);
        if (!value) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        menu->handle = reinterpret_cast<HMENU>(value);
        return menu->handle;
    });
}

// The menus below `root` (itself included), each once.
std::vector<Menu*> menusBelow(Menu* root) {
    std::vector<Menu*> seen{root};
    for (std::size_t i = 0; i < seen.size(); ++i) {
        for (const MenuItem& item : seen[i]->items) {
            if (!item.subMenu) {
                continue;
            }
            const std::shared_ptr<Menu> sub = findMenu(item.subMenu);
            if (sub && std::find(seen.begin(), seen.end(), sub.get()) == seen.end()) {
                seen.push_back(sub.get());
            }
        }
    }
    return seen;
}

} // namespace

std::shared_ptr<Menu> findMenu(HMENU handle) {
    const std::shared_ptr<Menu>* found = menus().find(reinterpret_cast<std::uintptr_t>(handle));
    return found ? *found : nullptr;
}

Menu* menuOrFail(HMENU handle) {
    const std::shared_ptr<Menu>* found = menus().find(reinterpret_cast<std::uintptr_t>(handle));
    if (!found) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return nullptr;
    }
    return found->get();
}

void touchMenu(Menu* menu) {
    ++menu->version;
    if (menu->window) {
        postMessage(menu->window, WM_NULL, 0, 0);
    }
}

void destroyMenuTree(Menu* menu) {
    for (Menu* m : menusBelow(menu)) {
        m->alive = false;
        touchMenu(m);
        const std::shared_ptr<Menu> keep =
            menus().remove(reinterpret_cast<std::uintptr_t>(m->handle));
        // A tracked menu's loop holds it; everyone else lets it go with its items.
        m->items.clear();
    }
}

bool menuReaches(const Menu* from, const Menu* target) {
    std::vector<const Menu*> seen{from};
    for (std::size_t i = 0; i < seen.size(); ++i) {
        if (seen[i] == target) {
            return true;
        }
        for (const MenuItem& item : seen[i]->items) {
            if (!item.subMenu) {
                continue;
            }
            const std::shared_ptr<Menu> sub = findMenu(item.subMenu);
            if (sub && std::find(seen.begin(), seen.end(), sub.get()) == seen.end()) {
                seen.push_back(sub.get());
            }
        }
    }
    return false;
}

bool locateItem(Menu* menu, UINT item, bool byPosition, ItemRef& out) {
    if (byPosition) {
        if (item < menu->items.size()) {
            out = ItemRef{menu, item};
            return true;
        }
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return false;
    }
    // Depth first with an explicit stack of (menu, next index); a menu already walked is not
    // walked again.
    struct Frame {
        Menu* menu;
        std::size_t next;
    };
    std::vector<Frame> stack{{menu, 0}};
    std::vector<const Menu*> seen{menu};
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next > 0) {
            // Back from the sub-menu of the item before: the item itself may match.
            const std::size_t index = top.next - 1;
            const MenuItem& done = top.menu->items[index];
            if (done.subMenu && done.id == item) {
                out = ItemRef{top.menu, index};
                return true;
            }
        }
        if (top.next == top.menu->items.size()) {
            stack.pop_back();
            continue;
        }
        const std::size_t index = top.next++;
        const MenuItem& candidate = top.menu->items[index];
        if (!candidate.subMenu) {
            if (candidate.id == item) {
                out = ItemRef{top.menu, index};
                return true;
            }
            continue;
        }
        const std::shared_ptr<Menu> sub = findMenu(candidate.subMenu);
        if (sub && std::find(seen.begin(), seen.end(), sub.get()) == seen.end()) {
            seen.push_back(sub.get());
            stack.push_back(Frame{sub.get(), 0});
        }
    }
    SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
    return false;
}

} // namespace korutil::detail

using namespace korutil::detail;

extern "C" HMENU WINAPI CreateMenu(void) {
    return makeMenu(false);
}

extern "C" HMENU WINAPI CreatePopupMenu(void) {
    return makeMenu(true);
}

extern "C" BOOL WINAPI DestroyMenu(HMENU hMenu) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        UiLock lock(uiMutex());
        Menu* menu = menuOrFail(hMenu);
        if (!menu) {
            return FALSE;
        }
        destroyMenuTree(menu);
        return TRUE;
    });
}

extern "C" BOOL WINAPI IsMenu(HMENU hMenu) {
    UiLock lock(uiMutex());
    return findMenu(hMenu) ? TRUE : FALSE;
}
