// The window tree as the calls see it: parents, owners, siblings in z-order, searches.
#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "user/classes.h"
#include "user/window.h"

#include <korutil/platform/errors.h>

#include <strings.h>

using namespace korutil::detail;

namespace {

HWND handleOf(const Window* w) {
    return w ? w->handle : nullptr;
}

// GetParent's answer: the parent of a child, the owner of a pop-up window.
Window* parentOrOwner(const Window* w) {
    if (w->style & WS_CHILD) {
        return w->parent && w->parent->parent ? w->parent : nullptr;
    }
    return (w->style & WS_POPUP) ? w->owner : nullptr;
}

Window* sibling(const Window* w, UINT command) {
    if (!w->parent) {
        return nullptr;
    }
    const auto& list = w->parent->children;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] != w) {
            continue;
        }
        switch (command) {
        case GW_HWNDFIRST:
            return list.front();
        case GW_HWNDLAST:
            return list.back();
        case GW_HWNDNEXT:
            return i + 1 < list.size() ? list[i + 1] : nullptr;
        default:
            return i > 0 ? list[i - 1] : nullptr;
        }
    }
    return nullptr;
}

bool nameMatches(const Window* w, LPCSTR className, LPCSTR windowName) {
    if (className) {
        const bool atom = (reinterpret_cast<std::uintptr_t>(className) >> 16) == 0;
        const WindowClass& c = *w->windowClass;
        if (atom ? c.atom != reinterpret_cast<std::uintptr_t>(className)
                 : strcasecmp(c.name.c_str(), className) != 0) {
            return false;
        }
    }
    return !windowName || strcasecmp(w->text.c_str(), windowName) == 0;
}

} // namespace

extern "C" HWND WINAPI GetDesktopWindow(void) {
    return korutil::detail::failOnBadAlloc(HWND(nullptr), [&]() -> HWND {
        UiLock lock(uiMutex());
        return handleOf(desktop());
    });
}

extern "C" BOOL WINAPI IsChild(HWND hWndParent, HWND hWnd) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        UiLock lock(uiMutex());
        Window* parent = findWindow(hWndParent);
        Window* w = findWindow(hWnd);
        if (!parent || !w) {
            return FALSE;
        }
        // Only through child windows: an owned or top-level window is nobody's child.
        for (Window* p = w; (p->style & WS_CHILD) && p->parent; p = p->parent) {
            if (p->parent == parent) {
                return TRUE;
            }
        }
        return FALSE;
    });
}

extern "C" HWND WINAPI GetParent(HWND hWnd) {
    return korutil::detail::failOnBadAlloc(HWND(nullptr), [&]() -> HWND {
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hWnd);
        return w ? handleOf(parentOrOwner(w)) : nullptr;
    });
}

extern "C" HWND WINAPI GetWindow(HWND hWnd, UINT uCmd) {
    return korutil::detail::failOnBadAlloc(HWND(nullptr), [&]() -> HWND {
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hWnd);
        if (!w) {
            return nullptr;
        }
        switch (uCmd) {
        case GW_HWNDFIRST:
        case GW_HWNDLAST:
        case GW_HWNDNEXT:
        case GW_HWNDPREV:
            return handleOf(sibling(w, uCmd));
        case GW_OWNER:
            return handleOf(w->owner);
        case GW_CHILD:
            return w->children.empty() ? nullptr : w->children.front()->handle;
        default:
            SetLastError(ERROR_INVALID_GW_COMMAND);
            return nullptr;
        }
    });
}

extern "C" HWND WINAPI GetAncestor(HWND hwnd, UINT gaFlags) {
    return korutil::detail::failOnBadAlloc(HWND(nullptr), [&]() -> HWND {
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hwnd);
        if (!w || !w->parent) {
            return nullptr;
        }
        switch (gaFlags) {
        case GA_PARENT:
            return handleOf(w->parent);
        case GA_ROOT:
            return handleOf(topLevelOf(w));
        case GA_ROOTOWNER: {
            Window* root = topLevelOf(w);
            while (Window* up = parentOrOwner(root)) {
                root = topLevelOf(up);
            }
            return handleOf(root);
        }
        default:
            return nullptr;
        }
    });
}

extern "C" HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
    return korutil::detail::failOnBadAlloc(HWND(nullptr), [&]() -> HWND {
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hDlg);
        if (!w) {
            return nullptr;
        }
        for (Window* child : w->children) {
            if ((child->style & WS_CHILD) && static_cast<int>(child->id) == nIDDlgItem) {
                return child->handle;
            }
        }
        SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
        return nullptr;
    });
}

extern "C" HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
    return failOnBadAlloc<HWND>(nullptr, [&]() -> HWND {
        UiLock lock(uiMutex());
        if (Window* root = desktop()) {
            for (Window* w : root->children) {
                if (nameMatches(w, lpClassName, lpWindowName)) {
                    return w->handle;
                }
            }
        }
        if (lpClassName && !anyClassNamed(lpClassName)) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        }
        return nullptr;
    });
}
