#include "user/cursors.h"

#include "gdi/lock.h"
#include "kernel/handle_map.h"
#include "kernel/no_throw.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/resources.h>

#include <string>
#include <vector>

namespace korutil::detail {
namespace {

struct CursorObject {
    HINSTANCE module = nullptr;
    bool icon = false;
    std::uintptr_t id = 0; // an integer identifier, or
    std::string name;      // a resource name
};

struct CursorTable {
    HandleMap<CursorObject> objects;
    std::vector<std::pair<std::uintptr_t, std::shared_ptr<CursorObject>>> loaded;
    HCURSOR current = nullptr;
};

CursorTable& table() {
    static auto* t = new CursorTable; // outlives every static destructor
    return *t;
}

bool standardCursor(std::uintptr_t id) {
    return (id >= 32512 && id <= 32516) || (id >= 32640 && id <= 32651);
}

bool standardIcon(std::uintptr_t id) {
    return id >= 32512 && id <= 32518;
}

bool sameName(const CursorObject& c, HINSTANCE module, bool icon, LPCSTR name) {
    if (c.module != module || c.icon != icon) {
        return false;
    }
    return IS_INTRESOURCE(name) ? c.name.empty() && c.id == reinterpret_cast<std::uintptr_t>(name)
                                : c.name == name;
}

// One handle per module, kind and name: loading the same cursor twice gives the same handle,
// as shared cursors do on Windows.
HCURSOR load(HINSTANCE module, LPCSTR name, bool icon) {
    if (!name) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return failOnBadAlloc<HCURSOR>(nullptr, [&]() -> HCURSOR {
        UiLock lock(uiMutex());
        CursorTable& t = table();
        for (const auto& entry : t.loaded) {
            if (sameName(*entry.second, module, icon, name)) {
                return reinterpret_cast<HCURSOR>(entry.first);
            }
        }
        const std::uintptr_t id = reinterpret_cast<std::uintptr_t>(name);
        if (!module && IS_INTRESOURCE(name)) {
            if (!(icon ? standardIcon(id) : standardCursor(id))) {
                SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
                return nullptr;
            }
        } else if (!FindResourceA(module, name, icon ? RT_GROUP_ICON : RT_GROUP_CURSOR)) {
            return nullptr; // FindResourceA says why
        }
        auto object = std::make_shared<CursorObject>();
        object->module = module;
        object->icon = icon;
        if (IS_INTRESOURCE(name)) {
            object->id = id;
        } else {
            object->name = name;
        }
        const std::uintptr_t handle = t.objects.insert(object);
        if (!handle) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        t.loaded.emplace_back(handle, object);
        return reinterpret_cast<HCURSOR>(handle);
    });
}

} // namespace

HCURSOR currentCursor() {
    return table().current;
}

} // namespace korutil::detail

using namespace korutil::detail;

extern "C" HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
    return load(hInstance, lpCursorName, false);
}

extern "C" HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
    return load(hInstance, lpIconName, true);
}

extern "C" HCURSOR WINAPI SetCursor(HCURSOR hCursor) {
    return korutil::detail::failOnBadAlloc(HCURSOR(nullptr), [&]() -> HCURSOR {
        UiLock lock(uiMutex());
        CursorTable& t = table();
        const auto* found = t.objects.find(reinterpret_cast<std::uintptr_t>(hCursor));
        if (hCursor && !found) {
            SetLastError(ERROR_INVALID_CURSOR_HANDLE);
            return nullptr;
        }
        HCURSOR old = t.current;
        t.current = hCursor;
        return old;
    });
}
