#include "user/input.h"

#include "gdi/desktop.h"
#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "user/activation.h"
#include "user/classes.h"
#include "user/keyboard.h"
#include "user/messages.h"
#include "user/metrics.h"
#include "user/parent_notify.h"
#include "user/timers.h"
#include "user/window.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/threads.h>

#include <algorithm>
#include <cstdlib>
#include <new>

namespace korutil::detail {
namespace {

constexpr UINT kDoubleClickTime = 500;
constexpr DWORD kHoverTime = 400; // HOVER_DEFAULT
constexpr int kHoverSlack = 2;    // half the 4 by 4 pixel hover rectangle
constexpr UINT_PTR kHoverTimer = 0xFFF0;
// The non-client message of a client mouse message: WM_MOUSEMOVE (0x200) to WM_NCMOUSEMOVE
// (0xA0), and so on for the buttons.
constexpr UINT kNonClientShift = WM_MOUSEMOVE - WM_NCMOUSEMOVE;

struct Click {
    HWND hwnd = nullptr;
    UINT message = 0;
    bool client = true;
    DWORD time = 0;
    POINT at{0, 0};
};

struct Tracking {
    HWND hwnd = nullptr;
    DWORD flags = 0;
    DWORD hoverTime = kHoverTime;
    POINT hoverFrom{0, 0};
};

struct InputState {
    POINT cursor{0, 0};
    BYTE down[256] = {};
    bool pressedSinceQuery[256] = {};
    HWND capture = nullptr;
    DWORD captureThread = 0;
    HWND foreground = nullptr;
    Click lastClick;
    Tracking tracking;
    bool altAlone = false; // Alt went down and no other key since
    std::uint64_t nextSerial = 1;
};

InputState& input() {
    // Built in place and never destroyed: it outlives every static destructor, and making it
    // allocates nothing, so that a window can be freed also when memory has run out.
    alignas(InputState) static unsigned char storage[sizeof(InputState)];
    static InputState* state = new (storage) InputState;
    return *state;
}

bool isDown(int vk) {
    return (input().down[vk] & 0x80) != 0;
}

void setKey(int vk, bool down) {
    InputState& s = input();
    if (down && !isDown(vk)) {
        s.pressedSinceQuery[vk] = true;
    }
    s.down[vk] = down ? 0x80 : 0;
}

// The generic key of a left or right one, and the other side of it.
int genericKey(int vk, int& otherSide) {
    switch (vk) {
    case VK_LSHIFT:
    case VK_RSHIFT:
        otherSide = vk == VK_LSHIFT ? VK_RSHIFT : VK_LSHIFT;
        return VK_SHIFT;
    case VK_LCONTROL:
    case VK_RCONTROL:
        otherSide = vk == VK_LCONTROL ? VK_RCONTROL : VK_LCONTROL;
        return VK_CONTROL;
    case VK_LMENU:
    case VK_RMENU:
        otherSide = vk == VK_LMENU ? VK_RMENU : VK_LMENU;
        return VK_MENU;
    default:
        otherSide = 0;
        return vk;
    }
}

// The left key that a generic key stands for when it is given without a side.
int sidedKey(int vk) {
    switch (vk) {
    case VK_SHIFT:
        return VK_LSHIFT;
    case VK_CONTROL:
        return VK_LCONTROL;
    case VK_MENU:
        return VK_LMENU;
    default:
        return vk;
    }
}

// The deepest visible window at a screen point, skipping hidden windows, disabled children
// (their parent gets the input) and windows that answered HTTRANSPARENT.
Window* deepestAt(Window* w, POINT pt, const std::vector<HWND>& skip) {
    if (contains(screenClientRect(w), pt.x, pt.y)) {
        for (Window* child : w->children) {
            if ((child->style & WS_VISIBLE) && !(child->style & WS_DISABLED) &&
                contains(screenRect(child), pt.x, pt.y)) {
                if (Window* found = deepestAt(child, pt, skip)) {
                    return found;
                }
            }
        }
    }
    return std::find(skip.begin(), skip.end(), w->handle) == skip.end() ? w : nullptr;
}

Window* windowAt(POINT pt, const std::vector<HWND>& skip) {
    Window* root = desktop();
    if (!root) {
        return nullptr;
    }
    for (Window* top : root->children) {
        if ((top->style & WS_VISIBLE) && contains(screenRect(top), pt.x, pt.y)) {
            if (Window* found = deepestAt(top, pt, skip)) {
                return found;
            }
        }
    }
    return nullptr;
}

void postInput(Window* target, UINT message, WPARAM wParam, LPARAM lParam, bool captured,
               bool cooked) {
    if (!target || !target->queue) {
        return;
    }
    ThreadQueue& queue = *target->queue;
    InputState& s = input();
    const bool move = message == WM_MOUSEMOVE;
    // Moves the thread has not looked at yet merge: it sees where the mouse is, not each step.
    if (move && !queue.input.empty()) {
        InputMessage& last = queue.input.back();
        if (!last.cooked && last.raw == WM_MOUSEMOVE && last.msg.hwnd == target->handle &&
            last.captured == captured) {
            last.msg.wParam = wParam;
            last.msg.time = GetTickCount();
            last.msg.pt = s.cursor;
            last.passedBy.clear();
            wakeQueue(queue, QS_MOUSEMOVE);
            return;
        }
    }
    InputMessage im;
    im.serial = s.nextSerial++;
    im.msg = MSG{target->handle, message, wParam, lParam, GetTickCount(), s.cursor};
    im.raw = message;
    im.captured = captured;
    im.cooked = cooked;
    queue.input.push_back(std::move(im));
    const UINT kind = (message >= WM_KEYFIRST && message <= WM_KEYLAST) ? QS_KEY
                      : move                                            ? QS_MOUSEMOVE
                                                                        : QS_MOUSEBUTTON;
    wakeQueue(queue, kind);
}

bool overTracked(const Window* w, POINT pt, DWORD flags) {
    std::vector<HWND> none;
    if (windowAt(pt, none) != w) {
        return false;
    }
    return (flags & TME_NONCLIENT) || contains(screenClientRect(w), pt.x, pt.y);
}

void postLeave(Window* w, DWORD flags) {
    if (w->queue) {
        postToQueue(*w->queue, w->handle, (flags & TME_NONCLIENT) ? WM_NCMOUSELEAVE : WM_MOUSELEAVE,
                    0, 0);
    }
}

void hoverFire(HWND hwnd, UINT_PTR id) {
    UiLock lock(uiMutex());
    killLayerTimer(hwnd, id);
    Tracking& t = input().tracking;
    Window* w = findWindow(hwnd);
    if (!w || t.hwnd != hwnd || !(t.flags & TME_HOVER)) {
        return;
    }
    t.flags &= ~static_cast<DWORD>(TME_HOVER);
    const POINT at = input().cursor;
    if (t.flags & TME_NONCLIENT) {
        postToQueue(*w->queue, hwnd, WM_NCMOUSEHOVER, HTCLIENT, MAKELPARAM(at.x, at.y));
    } else {
        const POINT origin = clientOrigin(w);
        postToQueue(*w->queue, hwnd, WM_MOUSEHOVER, mouseKeyFlags(),
                    MAKELPARAM(at.x - origin.x, at.y - origin.y));
    }
    if (!t.flags) {
        t.hwnd = nullptr;
    }
}

void followTracking(POINT pt) {
    Tracking& t = input().tracking;
    Window* w = findWindow(t.hwnd);
    if (!w) {
        t = Tracking{};
        return;
    }
    if ((t.flags & TME_LEAVE) && !overTracked(w, pt, t.flags)) {
        postLeave(w, t.flags);
        killLayerTimer(t.hwnd, kHoverTimer);
        t = Tracking{};
        return;
    }
    if ((t.flags & TME_HOVER) && (std::abs(pt.x - t.hoverFrom.x) > kHoverSlack ||
                                  std::abs(pt.y - t.hoverFrom.y) > kHoverSlack)) {
        t.hoverFrom = pt;
        setLayerTimer(t.hwnd, kHoverTimer, t.hoverTime, hoverFire);
    }
}

void deliverMouse(UINT message, WPARAM extra) {
    InputState& s = input();
    Window* target = nullptr;
    bool captured = false;
    if (Window* capture = findWindow(s.capture)) {
        target = capture;
        captured = true;
    } else {
        std::vector<HWND> none;
        target = windowAt(s.cursor, none);
        // A disabled top-level window takes no mouse input.
        if (target && !enabledWithAncestors(target)) {
            target = nullptr;
        }
    }
    if (message == WM_MOUSEMOVE) {
        followTracking(s.cursor);
    }
    postInput(target, message, mouseKeyFlags() | extra, 0, captured, false);
}

void deliverKey(int givenVk, bool down) {
    InputState& s = input();
    const int sided = sidedKey(givenVk);
    int other = 0;
    const int vk = genericKey(sided, other);
    const bool wasDown = isDown(vk);
    setKey(sided, down);
    setKey(vk, down || (other && isDown(other)));
    if (vk == VK_CAPITAL || vk == VK_NUMLOCK || vk == VK_SCROLL) {
        if (down && !wasDown) {
            s.down[vk] ^= 0x01;
        }
    }
    const bool alt = isDown(VK_MENU);
    bool system = false;
    if (vk == VK_MENU) {
        system = down || s.altAlone;
        s.altAlone = down;
    } else {
        if (down) {
            s.altAlone = false;
        }
        system = alt || vk == VK_F10;
    }
    Window* target = nullptr;
    if (Window* fg = findWindow(s.foreground)) {
        target = fg->queue ? findWindow(fg->queue->focus) : nullptr;
        if (!target) {
            // Without a focus window the active window gets the keys as system keys.
            target = fg;
            system = true;
        }
    }
    const UINT message =
        system ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
    const UINT scan = scanCodeOf(sided);
    const bool context = alt && vk != VK_MENU ? true : (vk == VK_MENU && down);
    const LPARAM data = static_cast<LPARAM>(
        1u | (scan << 16) | (isExtendedKey(sided) ? 1u << 24 : 0) | (context ? 1u << 29 : 0) |
        ((down ? wasDown : true) ? 1u << 30 : 0) | (down ? 0 : 1u << 31));
    postInput(target, message, static_cast<WPARAM>(vk), data, false, true);
}

void updateThreadKeys(ThreadQueue& queue, const MSG& msg) {
    BYTE* keys = queue.keys;
    auto press = [&](int vk, bool down) {
        if (down && !(keys[vk] & 0x80)) {
            keys[vk] ^= 0x01;
        }
        keys[vk] = static_cast<BYTE>(down ? (keys[vk] | 0x80) : (keys[vk] & 0x01));
    };
    switch (msg.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
        const bool down = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
        const int vk = static_cast<int>(msg.wParam & 0xFF);
        press(vk, down);
        const bool extended = (msg.lParam >> 24) & 1;
        const UINT scan = (msg.lParam >> 16) & 0xFF;
        if (vk == VK_SHIFT) {
            press(scan == scanCodeOf(VK_RSHIFT) ? VK_RSHIFT : VK_LSHIFT, down);
        } else if (vk == VK_CONTROL) {
            press(extended ? VK_RCONTROL : VK_LCONTROL, down);
        } else if (vk == VK_MENU) {
            press(extended ? VK_RMENU : VK_LMENU, down);
        }
        break;
    }
    default:
        break;
    }
}

void updateThreadButtons(ThreadQueue& queue, UINT raw) {
    switch (raw) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        queue.keys[VK_LBUTTON] = raw == WM_LBUTTONDOWN ? 0x80 : 0;
        break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        queue.keys[VK_RBUTTON] = raw == WM_RBUTTONDOWN ? 0x80 : 0;
        break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
        queue.keys[VK_MBUTTON] = raw == WM_MBUTTONDOWN ? 0x80 : 0;
        break;
    default:
        break;
    }
}

bool isButtonDown(UINT raw) {
    return raw == WM_LBUTTONDOWN || raw == WM_RBUTTONDOWN || raw == WM_MBUTTONDOWN;
}

bool isMouse(UINT raw) {
    return raw >= WM_MOUSEFIRST && raw <= WM_MBUTTONDBLCLK;
}

std::deque<InputMessage>::iterator bySerial(ThreadQueue& queue, std::uint64_t serial) {
    return std::find_if(queue.input.begin(), queue.input.end(),
                        [&](const InputMessage& m) { return m.serial == serial; });
}

// Hit-tests a mouse message for its window, as the receiving thread does; false when the
// message went away meanwhile or found no window of this thread.
bool cook(ThreadQueue& queue, std::uint64_t serial) {
    for (;;) {
        HWND target = nullptr;
        POINT pt{};
        {
            UiLock lock(uiMutex());
            auto it = bySerial(queue, serial);
            if (it == queue.input.end()) {
                return false;
            }
            if (it->cooked) {
                return true;
            }
            target = it->msg.hwnd;
            pt = it->msg.pt;
            if (it->captured) {
                Window* w = findWindow(target);
                const POINT origin = w ? clientOrigin(w) : POINT{0, 0};
                it->msg.lParam = MAKELPARAM(pt.x - origin.x, pt.y - origin.y);
                it->cooked = true;
                return true;
            }
        }
        const LRESULT hit = sendMessage(target, WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y));
        UiLock lock(uiMutex());
        auto it = bySerial(queue, serial);
        if (it == queue.input.end()) {
            return false;
        }
        if (it->cooked) {
            return true;
        }
        if (hit == HTTRANSPARENT) {
            // The window underneath, of this same thread, gets it instead.
            it->passedBy.push_back(target);
            Window* next = windowAt(pt, it->passedBy);
            if (!next || next->threadId != queue.threadId) {
                queue.input.erase(it);
                return false;
            }
            it->msg.hwnd = next->handle;
            continue;
        }
        Window* w = findWindow(target);
        if (!w) {
            queue.input.erase(it);
            return false;
        }
        it->hit = static_cast<int>(hit);
        if (hit == HTCLIENT) {
            const POINT origin = clientOrigin(w);
            it->msg.lParam = MAKELPARAM(pt.x - origin.x, pt.y - origin.y);
        } else {
            it->msg.message = it->raw - kNonClientShift;
            it->msg.wParam = static_cast<WPARAM>(hit);
            it->msg.lParam = MAKELPARAM(pt.x, pt.y);
        }
        it->cooked = true;
        return true;
    }
}

bool takesWindow(HWND filter, HWND hwnd) {
    if (!filter) {
        return true;
    }
    const Window* f = findWindow(filter);
    const Window* w = findWindow(hwnd);
    return f && w && isSelfOrDescendant(w, f);
}

// Turns a button press into a double click when it follows the last one closely enough.
void detectDoubleClick(InputMessage& im) {
    InputState& s = input();
    const bool client = im.hit == HTCLIENT || im.captured;
    Window* w = findWindow(im.msg.hwnd);
    const bool wants = !client || (w && (w->windowClass->style & CS_DBLCLKS));
    const Click& last = s.lastClick;
    const bool repeat = last.hwnd == im.msg.hwnd && last.message == im.raw &&
                        last.client == client && im.msg.time - last.time <= kDoubleClickTime &&
                        std::abs(im.msg.pt.x - last.at.x) <= systemMetric(SM_CXDOUBLECLK) / 2 &&
                        std::abs(im.msg.pt.y - last.at.y) <= systemMetric(SM_CYDOUBLECLK) / 2;
    if (wants && repeat) {
        im.msg.message += WM_LBUTTONDBLCLK - WM_LBUTTONDOWN;
        s.lastClick = Click{};
    } else {
        s.lastClick = Click{im.msg.hwnd, im.raw, client, im.msg.time, im.msg.pt};
    }
}

// What a button press does before the window sees it; false when the window's answer to
// WM_MOUSEACTIVATE eats the click.
bool clickEffects(ThreadQueue& queue, const InputMessage& im) {
    const HWND hwnd = im.msg.hwnd;
    if (im.hit == HTCLIENT) {
        notifyParents(hwnd, im.raw, im.msg.pt);
    }
    HWND top = nullptr;
    bool needsActivation = false;
    {
        UiLock lock(uiMutex());
        Window* w = findWindow(hwnd);
        if (!w) {
            return false;
        }
        Window* topLevel = topLevelOf(w);
        top = topLevel->handle;
        needsActivation = queue.active != hwnd;
    }
    if (!needsActivation) {
        return true;
    }
    const LRESULT answer = sendMessage(hwnd, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(top),
                                       MAKELPARAM(im.hit, im.raw));
    if (answer == MA_ACTIVATE || answer == MA_ACTIVATEANDEAT) {
        bool activate = false;
        {
            UiLock lock(uiMutex());
            Window* t = findWindow(top);
            activate = t && queue.active != top && !(t->exStyle & WS_EX_NOACTIVATE);
        }
        if (activate) {
            activateWindow(top, WA_CLICKACTIVE);
        }
    }
    return answer != MA_ACTIVATEANDEAT && answer != MA_NOACTIVATEANDEAT;
}

} // namespace

void deliverInput(const UserInput& in) {
    UiLock lock(uiMutex());
    InputState& s = input();
    switch (in.kind) {
    case UserInput::Move: {
        const DesktopConfig& desk = desktopConfig();
        const POINT at{std::clamp<LONG>(in.at.x, 0, desk.width - 1),
                       std::clamp<LONG>(in.at.y, 0, desk.height - 1)};
        s.cursor = at;
        deliverMouse(WM_MOUSEMOVE, 0);
        break;
    }
    case UserInput::Button: {
        setKey(in.vk, in.down);
        const UINT message = in.vk == VK_LBUTTON   ? (in.down ? WM_LBUTTONDOWN : WM_LBUTTONUP)
                             : in.vk == VK_RBUTTON ? (in.down ? WM_RBUTTONDOWN : WM_RBUTTONUP)
                                                   : (in.down ? WM_MBUTTONDOWN : WM_MBUTTONUP);
        deliverMouse(message, 0);
        break;
    }
    case UserInput::Wheel: {
        Window* target = nullptr;
        if (Window* fg = findWindow(s.foreground)) {
            target = fg->queue ? findWindow(fg->queue->focus) : nullptr;
            if (!target) {
                target = fg;
            }
        }
        postInput(target, WM_MOUSEWHEEL,
                  MAKEWPARAM(static_cast<WORD>(mouseKeyFlags()), static_cast<WORD>(in.delta)),
                  MAKELPARAM(s.cursor.x, s.cursor.y), false, true);
        break;
    }
    case UserInput::Key:
        deliverKey(in.vk, in.down);
        break;
    }
}

bool takeInput(ThreadQueue& queue, HWND filter, UINT first, UINT last, bool remove, MSG* out) {
    std::uint64_t after = 0;
    for (;;) {
        std::uint64_t serial = 0;
        {
            UiLock lock(uiMutex());
            for (const InputMessage& im : queue.input) {
                if (im.serial > after && takesWindow(filter, im.msg.hwnd)) {
                    serial = im.serial;
                    break;
                }
            }
        }
        if (!serial) {
            return false;
        }
        after = serial;
        if (!cook(queue, serial)) {
            after = 0; // the queue changed under us: look again from the start
            continue;
        }
        InputMessage im;
        {
            UiLock lock(uiMutex());
            auto it = bySerial(queue, serial);
            if (it == queue.input.end() || !inRange(it->msg.message, first, last) ||
                !takesWindow(filter, it->msg.hwnd)) {
                continue;
            }
            if (!remove) {
                *out = it->msg;
                return true;
            }
            im = std::move(*it);
            queue.input.erase(it);
            updateThreadKeys(queue, im.msg);
            updateThreadButtons(queue, im.raw);
            if (isButtonDown(im.raw) && !im.captured) {
                detectDoubleClick(im);
            }
        }
        bool keep = true;
        if (isButtonDown(im.raw) && !im.captured) {
            keep = clickEffects(queue, im);
        }
        if (isMouse(im.raw) && !im.captured && IsWindow(im.msg.hwnd)) {
            sendMessage(im.msg.hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(im.msg.hwnd),
                        MAKELPARAM(im.hit, im.raw));
        }
        if (keep && IsWindow(im.msg.hwnd)) {
            *out = im.msg;
            return true;
        }
        after = 0;
    }
}

void forgetThreadInput(const ThreadQueue& queue) {
    InputState& s = input();
    if (s.captureThread == queue.threadId) {
        s.capture = nullptr;
        s.captureThread = 0;
    }
}

void forgetWindowInput(const Window* window) {
    InputState& s = input();
    const HWND hwnd = window->handle;
    if (s.capture == hwnd) {
        s.capture = nullptr;
        s.captureThread = 0;
    }
    if (s.foreground == hwnd) {
        s.foreground = nullptr;
    }
    if (s.lastClick.hwnd == hwnd) {
        s.lastClick = Click{};
    }
    if (s.tracking.hwnd == hwnd) {
        s.tracking = Tracking{};
    }
}

Window* windowAtPoint(POINT pt) {
    const std::vector<HWND> none;
    return windowAt(pt, none);
}

POINT cursorPosition() {
    UiLock lock(uiMutex());
    return input().cursor;
}

HWND foregroundWindow() {
    return input().foreground;
}

void setForegroundWindow(HWND hwnd) {
    input().foreground = hwnd;
}

HWND captureWindow() {
    return input().capture;
}

WPARAM mouseKeyFlags() {
    WPARAM flags = 0;
    flags |= isDown(VK_LBUTTON) ? MK_LBUTTON : 0;
    flags |= isDown(VK_RBUTTON) ? MK_RBUTTON : 0;
    flags |= isDown(VK_MBUTTON) ? MK_MBUTTON : 0;
    flags |= isDown(VK_SHIFT) ? MK_SHIFT : 0;
    flags |= isDown(VK_CONTROL) ? MK_CONTROL : 0;
    return flags;
}

} // namespace korutil::detail

using namespace korutil::detail;

namespace {

BOOL play(const UserInput& in) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        deliverInput(in);
        return TRUE;
    });
}

bool isMouseButton(int vk) {
    return vk == VK_LBUTTON || vk == VK_RBUTTON || vk == VK_MBUTTON;
}

} // namespace

extern "C" BOOL WINAPI PlatMouseMove(int x, int y) {
    UserInput in;
    in.kind = UserInput::Move;
    in.at = POINT{x, y};
    return play(in);
}

extern "C" BOOL WINAPI PlatMouseButton(int vk, BOOL down) {
    if (!isMouseButton(vk)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    UserInput in;
    in.kind = UserInput::Button;
    in.vk = vk;
    in.down = down != FALSE;
    return play(in);
}

extern "C" BOOL WINAPI PlatMouseWheel(int delta) {
    UserInput in;
    in.kind = UserInput::Wheel;
    in.delta = delta;
    return play(in);
}

extern "C" BOOL WINAPI PlatKey(int vk, BOOL down) {
    if (vk < 1 || vk > 254) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (isMouseButton(vk)) {
        return PlatMouseButton(vk, down);
    }
    UserInput in;
    in.kind = UserInput::Key;
    in.vk = vk;
    in.down = down != FALSE;
    return play(in);
}

extern "C" BOOL WINAPI GetCursorPos(LPPOINT lpPoint) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        if (!lpPoint) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *lpPoint = cursorPosition();
        return TRUE;
    });
}

extern "C" BOOL WINAPI SetCursorPos(int X, int Y) {
    return PlatMouseMove(X, Y);
}

extern "C" SHORT WINAPI GetAsyncKeyState(int vKey) {
    return korutil::detail::failOnBadAlloc(SHORT(0), [&]() -> SHORT {
        if (vKey < 0 || vKey > 255) {
            return 0;
        }
        UiLock lock(uiMutex());
        InputState& s = input();
        const bool pressed = s.pressedSinceQuery[vKey];
        s.pressedSinceQuery[vKey] = false;
        return static_cast<SHORT>((isDown(vKey) ? 0x8000 : 0) | (pressed ? 1 : 0));
    });
}

extern "C" SHORT WINAPI GetKeyState(int nVirtKey) {
    return korutil::detail::failOnBadAlloc(SHORT(0), [&]() -> SHORT {
        if (nVirtKey < 0 || nVirtKey > 255) {
            return 0;
        }
        UiLock lock(uiMutex());
        ThreadQueue* queue = currentQueue();
        if (!queue) {
            return 0;
        }
        const BYTE state = queue->keys[nVirtKey];
        return static_cast<SHORT>(((state & 0x80) ? 0xFF80 : 0) | (state & 0x01));
    });
}

extern "C" HWND WINAPI SetCapture(HWND hWnd) {
    return failOnBadAlloc<HWND>(nullptr, [&]() -> HWND {
        HWND old = nullptr;
        {
            UiLock lock(uiMutex());
            Window* w = windowOrFail(hWnd);
            if (!w) {
                return nullptr;
            }
            if (w->threadId != GetCurrentThreadId()) {
                SetLastError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
            InputState& s = input();
            old = s.capture;
            s.capture = hWnd;
            s.captureThread = w->threadId;
        }
        if (old && old != hWnd) {
            sendMessage(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hWnd));
        }
        return old;
    });
}

extern "C" BOOL WINAPI ReleaseCapture(void) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        HWND old = nullptr;
        {
            UiLock lock(uiMutex());
            InputState& s = input();
            if (s.captureThread != GetCurrentThreadId()) {
                return TRUE;
            }
            old = s.capture;
            s.capture = nullptr;
            s.captureThread = 0;
        }
        if (old) {
            sendMessage(old, WM_CAPTURECHANGED, 0, 0);
        }
        return TRUE;
    });
}

extern "C" HWND WINAPI GetCapture(void) {
    return korutil::detail::failOnBadAlloc(HWND(nullptr), [&]() -> HWND {
        UiLock lock(uiMutex());
        const InputState& s = input();
        return s.captureThread == GetCurrentThreadId() ? s.capture : nullptr;
    });
}

extern "C" UINT WINAPI GetDoubleClickTime(void) {
    return kDoubleClickTime;
}

extern "C" BOOL WINAPI TrackMouseEvent(LPTRACKMOUSEEVENT lpEventTrack) {
    if (!lpEventTrack || lpEventTrack->cbSize != sizeof(TRACKMOUSEEVENT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        UiLock lock(uiMutex());
        TRACKMOUSEEVENT& tme = *lpEventTrack;
        Tracking& t = input().tracking;
        if (tme.dwFlags & TME_QUERY) {
            tme.dwFlags = t.hwnd ? t.flags : 0;
            tme.hwndTrack = t.hwnd;
            tme.dwHoverTime = t.hoverTime;
            return TRUE;
        }
        Window* w = windowOrFail(tme.hwndTrack);
        if (!w) {
            return FALSE;
        }
        const DWORD wanted = tme.dwFlags & (TME_HOVER | TME_LEAVE | TME_NONCLIENT);
        if (tme.dwFlags & TME_CANCEL) {
            if (t.hwnd == tme.hwndTrack) {
                t.flags &= ~(wanted & (TME_HOVER | TME_LEAVE));
                if (!(t.flags & TME_HOVER)) {
                    killLayerTimer(t.hwnd, kHoverTimer);
                }
                if (!(t.flags & (TME_HOVER | TME_LEAVE))) {
                    t = Tracking{};
                }
            }
            return TRUE;
        }
        const POINT at = input().cursor;
        if (!overTracked(w, at, wanted)) {
            // Not over the window: the leave is due at once, and there is nothing to hover.
            if (wanted & TME_LEAVE) {
                postLeave(w, wanted);
            }
            return TRUE;
        }
        if (t.hwnd && t.hwnd != tme.hwndTrack) {
            killLayerTimer(t.hwnd, kHoverTimer);
        }
        t.hwnd = tme.hwndTrack;
        t.flags = wanted;
        t.hoverTime =
            tme.dwHoverTime == HOVER_DEFAULT || tme.dwHoverTime == 0 ? kHoverTime : tme.dwHoverTime;
        t.hoverFrom = at;
        if (wanted & TME_HOVER) {
            setLayerTimer(t.hwnd, kHoverTimer, t.hoverTime, hoverFire);
        }
        return TRUE;
    });
}
