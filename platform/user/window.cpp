#include "user/window.h"

#include "gdi/desktop.h"
#include "kernel/handle_map.h"
#include "user/classes.h"

#include <korutil/platform/errors.h>

#include <algorithm>
#include <cstdint>

namespace korutil::detail {
namespace {

HandleMap<Window>& table() {
    static auto* windows = new HandleMap<Window>; // outlives every static destructor
    return *windows;
}

std::uintptr_t valueOf(HWND handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

LONG clampLong(long long value) {
    return static_cast<LONG>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

std::size_t indexIn(const std::vector<Window*>& list, const Window* window) {
    return static_cast<std::size_t>(std::find(list.begin(), list.end(), window) - list.begin());
}

std::size_t topmostCount(const Window* parent) {
    std::size_t count = 0;
    while (count < parent->children.size() && (parent->children[count]->exStyle & WS_EX_TOPMOST)) {
        ++count;
    }
    return count;
}

void insertAt(Window* parent, Window* child, std::size_t index) {
    auto& list = parent->children;
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(std::min(index, list.size())), child);
}

// Owned windows stay above their owner: each one the move left below goes right above it,
// keeping their order, and theirs above them.
void raiseOwnedAbove(Window* owner) {
    auto& list = owner->parent->children;
    std::vector<Window*> owned;
    for (Window* w : list) {
        if (w->owner == owner) {
            owned.push_back(w);
        }
    }
    for (Window* w : owned) {
        const std::size_t at = indexIn(list, w);
        if (at > indexIn(list, owner)) {
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(at));
            insertAt(owner->parent, w, indexIn(list, owner));
        }
    }
    for (Window* w : owned) {
        raiseOwnedAbove(w);
    }
}

} // namespace

Window* desktop() {
    static Window* instance = [] {
        auto window = std::make_shared<Window>();
        const DesktopConfig& config = desktopConfig();
        window->windowClass = findClass(kDesktopClassName, nullptr);
        window->proc = window->windowClass ? window->windowClass->proc : nullptr;
        window->style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
        window->rect = RECT{0, 0, config.width, config.height};
        window->client = window->rect;
        window->created = true;
        if (!addWindow(window)) {
            return static_cast<Window*>(nullptr);
        }
        if (window->windowClass) {
            ++window->windowClass->windows;
        }
        return window.get();
    }();
    return instance;
}

Window* messageRoot() {
    static Window* instance = [] {
        auto window = std::make_shared<Window>();
        window->windowClass = findClass(kMessageClassName, nullptr);
        window->proc = window->windowClass ? window->windowClass->proc : nullptr;
        window->created = true;
        if (!addWindow(window)) {
            return static_cast<Window*>(nullptr);
        }
        if (window->windowClass) {
            ++window->windowClass->windows;
        }
        return window.get();
    }();
    return instance;
}

Window* findWindow(HWND handle) {
    const auto* found = table().find(valueOf(handle));
    return found && (*found)->alive ? found->get() : nullptr;
}

Window* windowOrFail(HWND handle) {
    Window* window = findWindow(handle);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    }
    return window;
}

bool addWindow(const std::shared_ptr<Window>& window) {
    const std::uintptr_t value = table().insert(window);
    window->handle = reinterpret_cast<HWND>(value);
    return value != 0;
}

std::shared_ptr<Window> removeWindow(Window* window) {
    unlinkChild(window);
    window->alive = false;
    return table().remove(valueOf(window->handle));
}

bool isTopLevel(const Window* window) {
    return window->parent && !window->parent->parent;
}

bool isSelfOrDescendant(const Window* window, const Window* ancestor) {
    for (const Window* w = window; w; w = w->parent) {
        if (w == ancestor) {
            return true;
        }
    }
    return false;
}

Window* topLevelOf(Window* window) {
    while (window->parent && window->parent->parent) {
        window = window->parent;
    }
    return window;
}

void linkChild(Window* parent, Window* child, HWND after) {
    unlinkChild(child);
    child->parent = parent;
    const bool topLevel = isTopLevel(child);
    if (!topLevel) {
        if (after == HWND_BOTTOM) {
            insertAt(parent, child, parent->children.size());
        } else if (Window* sibling = findWindow(after); sibling && sibling->parent == parent) {
            insertAt(parent, child, indexIn(parent->children, sibling) + 1);
        } else {
            insertAt(parent, child, 0);
        }
        return;
    }
    if (after == HWND_TOPMOST) {
        child->exStyle |= WS_EX_TOPMOST;
    } else if (after == HWND_NOTOPMOST || after == HWND_BOTTOM) {
        child->exStyle &= ~static_cast<DWORD>(WS_EX_TOPMOST);
    }
    // Each group (topmost, then the rest) keeps its own place in the list.
    const std::size_t groupStart = (child->exStyle & WS_EX_TOPMOST) ? 0 : topmostCount(parent);
    const std::size_t groupEnd =
        (child->exStyle & WS_EX_TOPMOST) ? topmostCount(parent) : parent->children.size();
    std::size_t index = groupStart;
    if (after == HWND_BOTTOM) {
        index = groupEnd;
    } else if (Window* sibling = findWindow(after); sibling && sibling->parent == parent) {
        index = std::clamp(indexIn(parent->children, sibling) + 1, groupStart, groupEnd);
    }
    insertAt(parent, child, index);
    if (child->owner && child->owner->parent == parent &&
        indexIn(parent->children, child) > indexIn(parent->children, child->owner)) {
        unlinkChild(child);
        child->parent = parent;
        insertAt(parent, child, indexIn(parent->children, child->owner));
    }
    raiseOwnedAbove(child);
}

void unlinkChild(Window* child) {
    if (!child->parent) {
        return;
    }
    auto& list = child->parent->children;
    list.erase(std::remove(list.begin(), list.end(), child), list.end());
}

POINT windowOrigin(const Window* window) {
    long long x = window->rect.left;
    long long y = window->rect.top;
    for (const Window* p = window->parent; p; p = p->parent) {
        x += static_cast<long long>(p->rect.left) + p->client.left;
        y += static_cast<long long>(p->rect.top) + p->client.top;
    }
    return POINT{clampLong(x), clampLong(y)};
}

POINT clientOrigin(const Window* window) {
    const POINT origin = windowOrigin(window);
    return POINT{clampLong(static_cast<long long>(origin.x) + window->client.left),
                 clampLong(static_cast<long long>(origin.y) + window->client.top)};
}

RECT screenRect(const Window* window) {
    const POINT origin = windowOrigin(window);
    const long long width = static_cast<long long>(window->rect.right) - window->rect.left;
    const long long height = static_cast<long long>(window->rect.bottom) - window->rect.top;
    return RECT{origin.x, origin.y, clampLong(origin.x + width), clampLong(origin.y + height)};
}

RECT screenClientRect(const Window* window) {
    const POINT origin = clientOrigin(window);
    const long long width = static_cast<long long>(window->client.right) - window->client.left;
    const long long height = static_cast<long long>(window->client.bottom) - window->client.top;
    return RECT{origin.x, origin.y, clampLong(origin.x + width), clampLong(origin.y + height)};
}

bool visibleWithAncestors(const Window* window) {
    for (const Window* w = window; w; w = w->parent) {
        if (!(w->style & WS_VISIBLE)) {
            return false;
        }
    }
    return true;
}

bool enabledWithAncestors(const Window* window) {
    for (const Window* w = window; w && w->parent; w = w->parent) {
        if (w->style & WS_DISABLED) {
            return false;
        }
    }
    return true;
}

RECT visibleScreenRect(const Window* window) {
    if (!visibleWithAncestors(window)) {
        return RECT{0, 0, 0, 0};
    }
    RECT area = screenRect(window);
    for (const Window* p = window->parent; p && p->parent; p = p->parent) {
        area = intersect(area, screenClientRect(p));
    }
    return area;
}

int clampCoordinate(long long value) {
    return static_cast<int>(std::clamp<long long>(value, -kCoordinateLimit, kCoordinateLimit));
}

int clampSize(long long value) {
    return static_cast<int>(std::clamp<long long>(value, 0, kCoordinateLimit));
}

} // namespace korutil::detail
