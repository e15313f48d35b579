#include "user/compose.h"

#include "gdi/desktop.h"
#include "gdi/window_target.h"

#include <korutil/platform/rects.h>

#include <korutil/platform/gdi.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace korutil::detail {
namespace {

// A window's surface covers at most this much of it on each side; pixels beyond are not kept,
// so that a huge window does not take memory without bound.
constexpr int kMaxSurfaceSide = 8192;
// More separate damaged areas than this are composed as their bounding box.
constexpr std::size_t kMaxDamage = 32;

struct ComposeState {
    std::vector<RECT> damage; // screen coordinates
    WindowObserver* observer = nullptr;
    // The desktop colour the screen shows; none before the first composition, so that the
    // whole screen gets it once instead of the surface's initial black.
    COLORREF background = CLR_INVALID;
};

ComposeState& state() {
    static auto* s = new ComposeState; // outlives every static destructor
    return *s;
}

RECT screenBounds() {
    const DesktopConfig& config = desktopConfig();
    return RECT{0, 0, config.width, config.height};
}

// Copies what `w` and its visible children show of `area` (screen coordinates) into `target`,
// where screen point (x, y) is target pixel (x + shift.x, y + shift.y).
void composeInto(Surface& target, POINT shift, const Window* w, const RECT& area,
                 const RECT& clip) {
    if (!(w->style & WS_VISIBLE) || !w->surface) {
        return;
    }
    const POINT origin = windowOrigin(w);
    const Surface& source = *w->surface;
    const RECT stored{origin.x, origin.y, origin.x + source.width(), origin.y + source.height()};
    const RECT targetArea{-shift.x, -shift.y, target.width() - shift.x, target.height() - shift.y};
    const RECT shown =
        intersect(intersect(intersect(screenRect(w), clip), area), intersect(stored, targetArea));
    if (!isEmpty(shown)) {
        const std::size_t bytes = static_cast<std::size_t>(shown.right - shown.left) * 4;
        for (LONG y = shown.top; y < shown.bottom; ++y) {
            const std::uint8_t* from = source.row(y - origin.y) + (shown.left - origin.x) * 4;
            std::uint8_t* to = target.row(y + shift.y) + (shown.left + shift.x) * 4;
            std::memcpy(to, from, bytes);
        }
    }
    const RECT inner = intersect(clip, screenClientRect(w));
    if (isEmpty(inner)) {
        return;
    }
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
        composeInto(target, shift, *it, area, inner);
    }
}

void addScreenDamage(const RECT& area) {
    const RECT r = intersect(area, screenBounds());
    if (isEmpty(r)) {
        return;
    }
    auto& damage = state().damage;
    for (const RECT& d : damage) {
        const RECT common = intersect(d, r);
        if (EqualRect(&common, &r)) {
            return; // already covered
        }
    }
    damage.push_back(r);
    if (damage.size() > kMaxDamage) {
        RECT box{0, 0, 0, 0};
        for (const RECT& d : damage) {
            box = unite(box, d);
        }
        damage.assign(1, box);
    }
}

void collectFrom(Window* w) {
    if (w->surface && w->surface->damaged()) {
        const RECT changed = w->surface->takeDamage();
        if (visibleWithAncestors(w)) {
            const POINT origin = windowOrigin(w);
            const RECT onScreen =
                intersect(offset(changed, origin.x, origin.y), visibleScreenRect(w));
            addScreenDamage(onScreen);
            if (state().observer && !isEmpty(onScreen)) {
                Window* top = topLevelOf(w);
                const POINT topOrigin = windowOrigin(top);
                state().observer->windowDamaged(top->handle,
                                                offset(onScreen, -topOrigin.x, -topOrigin.y));
            }
        }
    }
    for (Window* child : w->children) {
        collectFrom(child);
    }
}

} // namespace

void damageScreen(const RECT& area) {
    addScreenDamage(area);
}

void resizeSurface(Window* w) {
    const int width = std::clamp<int>(w->rect.right - w->rect.left, 1, kMaxSurfaceSide);
    const int height = std::clamp<int>(w->rect.bottom - w->rect.top, 1, kMaxSurfaceSide);
    if (w->surface && w->surface->width() == width && w->surface->height() == height) {
        return;
    }
    std::shared_ptr<Surface> next = Surface::create(width, height, 32);
    if (!next) {
        return; // memory is short: the old pixels stay, drawing is clipped to them
    }
    if (w->surface) {
        const int keepWidth = std::min(width, w->surface->width());
        const int keepHeight = std::min(height, w->surface->height());
        for (int y = 0; y < keepHeight; ++y) {
            std::memcpy(next->row(y), w->surface->row(y), static_cast<std::size_t>(keepWidth) * 4);
        }
    }
    next->addDamageAll();
    w->surface = std::move(next);
}

void setWindowObserver(WindowObserver* observer) {
    state().observer = observer;
}

void notifyObserver(const Window* window, WindowObserver::Change change) {
    if (state().observer && isTopLevel(window) && window->parent == desktop()) {
        state().observer->windowChanged(window->handle, change);
    }
}

void collectDamage() {
    if (Window* root = desktop()) {
        for (Window* w : root->children) {
            collectFrom(w);
        }
    }
    if (Window* hidden = messageRoot()) {
        for (Window* w : hidden->children) {
            collectFrom(w);
        }
    }
}

void composeWindow(const Window* topLevel, const RECT& area, Surface& out) {
    const POINT origin = windowOrigin(topLevel);
    const RECT onScreen = offset(area, origin.x, origin.y);
    composeInto(out, POINT{-origin.x, -origin.y}, topLevel, onScreen, screenRect(topLevel));
}

bool windowDrawTarget(HWND hwnd, bool wholeWindow, DrawTarget& target) {
    Window* w = findWindow(hwnd);
    if (!w) {
        return false;
    }
    if (!w->parent) {
        Surface* screen = screenSurface();
        if (!screen || w != desktop()) {
            return false;
        }
        composeScreen();
        target.surface = screen;
        target.origin = POINT{0, 0};
        target.clip = RECT{0, 0, screen->width(), screen->height()};
        return true;
    }
    if (!w->surface) {
        return false;
    }
    Surface* surface = w->surface.get();
    const RECT bounds{0, 0, surface->width(), surface->height()};
    target.surface = surface;
    if (wholeWindow) {
        target.origin = POINT{0, 0};
        target.clip = intersect(
            bounds, RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top});
    } else {
        target.origin = POINT{w->client.left, w->client.top};
        target.clip = intersect(bounds, w->client);
    }
    return true;
}

void composeScreen() {
    Surface* screen = screenSurface();
    if (!screen) {
        return;
    }
    collectDamage();
    const COLORREF desk = GetSysColor(COLOR_BACKGROUND);
    if (desk != state().background) {
        state().background = desk;
        addScreenDamage(screenBounds());
    }
    std::vector<RECT> damage;
    damage.swap(state().damage);
    if (damage.empty()) {
        return;
    }
    const std::vector<std::uint32_t> background(static_cast<std::size_t>(screen->width()),
                                                screen->valueOf(desk));
    Window* root = desktop();
    for (const RECT& area : damage) {
        for (LONG y = area.top; y < area.bottom; ++y) {
            screen->writeRow(area.left, y, area.right - area.left, background.data());
        }
        if (root) {
            for (auto it = root->children.rbegin(); it != root->children.rend(); ++it) {
                composeInto(*screen, POINT{0, 0}, *it, area, screenBounds());
            }
        }
        screen->addDamage(area);
    }
}

} // namespace korutil::detail
