#include "user/classes.h"

#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "kernel/text_encoding.h"
#include "user/window.h"

#include <korutil/platform/errors.h>

#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <vector>

namespace korutil::detail {
namespace {

constexpr std::size_t kMaxNameLength = 255;
// More extra bytes than any class needs; beyond it a window would allocate without bound.
constexpr int kMaxExtraBytes = 0x10000;

struct ClassTable {
    std::vector<std::shared_ptr<WindowClass>> classes;
    ATOM nextAtom = 0xC000; // the range of registered class atoms
    bool builtinsDone = false;
};

ClassTable& classTable() {
    static auto* table = new ClassTable; // outlives every static destructor
    return *table;
}

bool isAtom(LPCSTR name) {
    return (reinterpret_cast<std::uintptr_t>(name) >> 16) == 0;
}

ATOM atomOf(LPCSTR name) {
    return static_cast<ATOM>(reinterpret_cast<std::uintptr_t>(name));
}

bool matches(const WindowClass& c, LPCSTR name) {
    return isAtom(name) ? c.atom == atomOf(name) : strcasecmp(c.name.c_str(), name) == 0;
}

void ensureBuiltins() {
    ClassTable& table = classTable();
    if (!table.builtinsDone) {
        table.builtinsDone = true;
        registerBuiltinClasses();
    }
}

enum class Scope { Local, Global, System };

Scope scopeOf(const WindowClass& c) {
    return c.system ? Scope::System : (c.style & CS_GLOBALCLASS) ? Scope::Global : Scope::Local;
}

// The class of that scope and name; local classes also belong to `instance`.
std::shared_ptr<WindowClass> lookup(LPCSTR name, HINSTANCE instance, Scope scope) {
    for (const auto& c : classTable().classes) {
        if (scopeOf(*c) == scope && (scope != Scope::Local || c->instance == instance) &&
            matches(*c, name)) {
            return c;
        }
    }
    return nullptr;
}

std::shared_ptr<WindowClass> makeClass(const WNDCLASSEXA& wc) {
    auto c = std::make_shared<WindowClass>();
    c->name = wc.lpszClassName;
    c->style = wc.style;
    c->proc = wc.lpfnWndProc;
    c->classExtraBytes = wc.cbClsExtra;
    c->windowExtraBytes = wc.cbWndExtra;
    c->instance = wc.hInstance;
    c->icon = wc.hIcon;
    c->iconSmall = wc.hIconSm;
    c->cursor = wc.hCursor;
    c->background = wc.hbrBackground;
    if (wc.lpszMenuName && !isAtom(wc.lpszMenuName)) {
        c->menuName = wc.lpszMenuName;
    } else {
        c->menuId = wc.lpszMenuName;
    }
    return c;
}

bool validClass(const WNDCLASSEXA& wc) {
    return wc.lpszClassName && !isAtom(wc.lpszClassName) && wc.lpszClassName[0] &&
           std::strlen(wc.lpszClassName) <= kMaxNameLength && wc.lpfnWndProc &&
           wc.cbClsExtra >= 0 && wc.cbClsExtra <= kMaxExtraBytes && wc.cbWndExtra >= 0 &&
           wc.cbWndExtra <= kMaxExtraBytes;
}

ATOM registerClass(const WNDCLASSEXA& wc) {
    return failOnBadAlloc<ATOM>(0, [&]() -> ATOM {
        if (!validClass(wc)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        UiLock lock(uiMutex());
        ensureBuiltins();
        ClassTable& table = classTable();
        const Scope scope = (wc.style & CS_GLOBALCLASS) ? Scope::Global : Scope::Local;
        if (lookup(wc.lpszClassName, wc.hInstance, scope)) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
        if (table.nextAtom == 0) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        auto c = makeClass(wc);
        c->atom = table.nextAtom;
        table.classes.push_back(c);
        ++table.nextAtom; // wraps to 0 after 0xFFFF: the atom table is full
        return c->atom;
    });
}

} // namespace

std::shared_ptr<WindowClass> findClass(LPCSTR name, HINSTANCE instance) {
    if (!name) {
        return nullptr;
    }
    ensureBuiltins();
    for (Scope scope : {Scope::Local, Scope::Global, Scope::System}) {
        if (auto c = lookup(name, instance, scope)) {
            return c;
        }
    }
    return nullptr;
}

bool anyClassNamed(LPCSTR name) {
    ensureBuiltins();
    for (const auto& c : classTable().classes) {
        if (matches(*c, name)) {
            return true;
        }
    }
    return false;
}

ATOM registerSystemClass(const WNDCLASSEXA& wc) {
    return failOnBadAlloc<ATOM>(0, [&]() -> ATOM {
        ClassTable& table = classTable();
        if (!validClass(wc) || lookup(wc.lpszClassName, nullptr, Scope::System)) {
            return 0;
        }
        auto c = makeClass(wc);
        c->system = true;
        const char* name = wc.lpszClassName;
        if (name[0] == '#') {
            c->atom = static_cast<ATOM>(std::strtoul(name + 1, nullptr, 10));
        } else {
            c->atom = table.nextAtom++;
        }
        table.classes.push_back(c);
        return c->atom;
    });
}

} // namespace korutil::detail

using namespace korutil::detail;

extern "C" ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* lpwcx) {
    if (!lpwcx || lpwcx->cbSize != sizeof(WNDCLASSEXA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return registerClass(*lpwcx);
}

extern "C" ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass) {
    if (!lpWndClass) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const WNDCLASSA& wc = *lpWndClass;
    const WNDCLASSEXA ex{sizeof(WNDCLASSEXA), wc.style,        wc.lpfnWndProc,   wc.cbClsExtra,
                         wc.cbWndExtra,       wc.hInstance,    wc.hIcon,         wc.hCursor,
                         wc.hbrBackground,    wc.lpszMenuName, wc.lpszClassName, nullptr};
    return registerClass(ex);
}

extern "C" BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        UiLock lock(uiMutex());
        ensureBuiltins();
        std::shared_ptr<WindowClass> c;
        if (lpClassName) {
            c = lookup(lpClassName, hInstance, Scope::Local);
            if (!c) {
                // A global class goes away only at the call of the module that registered it.
                c = lookup(lpClassName, hInstance, Scope::Global);
                if (c && c->instance != hInstance) {
                    c = nullptr;
                }
            }
        }
        if (!c) {
            SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
            return FALSE;
        }
        if (c->windows > 0) {
            SetLastError(ERROR_CLASS_HAS_WINDOWS);
            return FALSE;
        }
        auto& list = classTable().classes;
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (*it == c) {
                list.erase(it);
                break;
            }
        }
        return TRUE;
    });
}

extern "C" BOOL WINAPI GetClassInfoA(HINSTANCE hInstance, LPCSTR lpClassName,
                                     LPWNDCLASSA lpWndClass) {
    if (!lpWndClass) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        UiLock lock(uiMutex());
        std::shared_ptr<WindowClass> c = findClass(lpClassName, hInstance);
        if (!c) {
            SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
            return FALSE;
        }
        *lpWndClass = WNDCLASSA{c->style,
                                c->proc,
                                c->classExtraBytes,
                                c->windowExtraBytes,
                                c->instance,
                                c->icon,
                                c->cursor,
                                c->background,
                                c->menuName.empty() ? c->menuId : c->menuName.c_str(),
                                lpClassName};
        // The documented result is non-zero; Windows gives the class atom.
        return c->atom;
    });
}

extern "C" int WINAPI GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount) {
    return failOnBadAlloc<int>(0, [&]() -> int {
        UiLock lock(uiMutex());
        Window* window = windowOrFail(hWnd);
        if (!window) {
            return 0;
        }
        if (!lpClassName || nMaxCount <= 0) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        const std::string& name = window->windowClass->name;
        const std::size_t count =
            utf8CutPoint(name.data(), name.size(), static_cast<std::size_t>(nMaxCount - 1));
        std::memcpy(lpClassName, name.data(), count);
        lpClassName[count] = '\0';
        return static_cast<int>(count);
    });
}
