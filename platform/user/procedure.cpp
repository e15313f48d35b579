#include "user/procedure.h"

#include "gdi/lock.h"
#include "kernel/no_throw.h"

#include <algorithm>
#include <new>

namespace korutil::detail {
namespace {

// One message on its way down a window's subclass chain; nested messages push their own.
struct ChainFrame {
    HWND hwnd;
    std::vector<Subclass> chain; // a copy: the chain may change while the message runs
    std::size_t next;
};

thread_local std::vector<ChainFrame> t_frames;

std::vector<ChainFrame>& frames() {
    return t_frames;
}

WNDPROC procedureOf(HWND hwnd) {
    UiLock lock(uiMutex());
    Window* window = findWindow(hwnd);
    return window ? window->proc : nullptr;
}

LRESULT runFrame(std::size_t frameIndex, UINT message, WPARAM wParam, LPARAM lParam) {
    ChainFrame& frame = frames()[frameIndex];
    const HWND hwnd = frame.hwnd;
    if (frame.next >= frame.chain.size()) {
        WNDPROC proc = procedureOf(hwnd);
        return proc ? callHost([&] { return proc(hwnd, message, wParam, lParam); }) : 0;
    }
    const Subclass sub = frame.chain[frame.next++];
    return callHost([&] { return sub.proc(hwnd, message, wParam, lParam, sub.id, sub.data); });
}

} // namespace

LRESULT callWindow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc = nullptr;
    std::vector<Subclass> chain;
    {
        UiLock lock(uiMutex());
        Window* window = findWindow(hwnd);
        if (!window) {
            return 0;
        }
        proc = window->proc;
        if (!window->subclasses.empty()) {
            try {
                chain.assign(window->subclasses.rbegin(), window->subclasses.rend());
            } catch (const std::bad_alloc&) {
                chain.clear(); // the window's own procedure still gets the message
            }
        }
    }
    if (chain.empty()) {
        return proc ? callHost([&] { return proc(hwnd, message, wParam, lParam); }) : 0;
    }
    std::vector<ChainFrame>& stack = frames();
    try {
        stack.push_back(ChainFrame{hwnd, std::move(chain), 0});
    } catch (const std::bad_alloc&) {
        return proc ? callHost([&] { return proc(hwnd, message, wParam, lParam); }) : 0;
    }
    // The frame goes also when a procedure throws: later messages must not run its chain.
    struct PopFrame {
        std::vector<ChainFrame>& stack;
        ~PopFrame() { stack.pop_back(); }
    } pop{stack};
    return runFrame(stack.size() - 1, message, wParam, lParam);
}

LRESULT defSubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    std::vector<ChainFrame>& stack = frames();
    for (std::size_t i = stack.size(); i-- > 0;) {
        if (stack[i].hwnd == hwnd) {
            const std::size_t saved = stack[i].next;
            const LRESULT result = runFrame(i, message, wParam, lParam);
            stack[i].next = saved;
            return result;
        }
    }
    WNDPROC proc = procedureOf(hwnd);
    return proc ? callHost([&] { return proc(hwnd, message, wParam, lParam); }) : 0;
}

bool setWindowSubclass(HWND hwnd, SubclassProc proc, UINT_PTR id, DWORD_PTR data) {
    UiLock lock(uiMutex());
    Window* window = findWindow(hwnd);
    if (!window || !proc) {
        return false;
    }
    for (Subclass& sub : window->subclasses) {
        if (sub.proc == proc && sub.id == id) {
            sub.data = data;
            return true;
        }
    }
    try {
        window->subclasses.push_back(Subclass{proc, id, data});
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool removeWindowSubclass(HWND hwnd, SubclassProc proc, UINT_PTR id) {
    UiLock lock(uiMutex());
    Window* window = findWindow(hwnd);
    if (!window) {
        return false;
    }
    auto& subs = window->subclasses;
    auto it = std::find_if(subs.begin(), subs.end(),
                           [&](const Subclass& s) { return s.proc == proc && s.id == id; });
    if (it == subs.end()) {
        return false;
    }
    subs.erase(it);
    return true;
}

} // namespace korutil::detail
