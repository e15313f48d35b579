// What GetWindowLong and its relatives read and write, the window text, and the enabled state.
// As on 64-bit Windows, the 32-bit calls refuse the pointer-sized indices (ERROR_INVALID_INDEX)
// and cut the others to 32 bits.
#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "user/activation.h"
#include "user/compose.h"
#include "user/messages.h"
#include "user/paint.h"
#include "user/window.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/threads.h>

#include <cstring>
#include <unistd.h>

namespace korutil::detail {
namespace {

bool extraSlot(const Window* w, int index, std::size_t size) {
    return index >= 0 && static_cast<std::size_t>(index) + size <= w->extra.size();
}

// Lock held.
bool readLong(const Window* w, int index, LONG_PTR& value, std::size_t size) {
    switch (index) {
    case GWLP_WNDPROC:
        value = reinterpret_cast<LONG_PTR>(w->proc);
        return true;
    case GWLP_HINSTANCE:
        value = reinterpret_cast<LONG_PTR>(w->instance);
        return true;
    case GWLP_HWNDPARENT:
        value = (w->style & WS_CHILD) && w->parent
                    ? reinterpret_cast<LONG_PTR>(w->parent->handle)
                    : reinterpret_cast<LONG_PTR>(w->owner ? w->owner->handle : nullptr);
        return true;
    case GWLP_ID:
        value = (w->style & WS_CHILD) ? static_cast<LONG_PTR>(w->id)
                                      : reinterpret_cast<LONG_PTR>(w->menu);
        return true;
    case GWL_STYLE:
        value = static_cast<LONG>(w->style);
        return true;
    case GWL_EXSTYLE:
        value = static_cast<LONG>(w->exStyle);
        return true;
    case GWLP_USERDATA:
        value = w->userData;
        return true;
    default:
        if (!extraSlot(w, index, size)) {
            SetLastError(ERROR_INVALID_INDEX);
            return false;
        }
        if (size == sizeof(LONG)) {
            LONG v;
            std::memcpy(&v, w->extra.data() + index, sizeof v);
            value = v;
        } else {
            std::memcpy(&value, w->extra.data() + index, sizeof value);
        }
        return true;
    }
}

bool pointerIndex(int index) {
    return index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT;
}

// A style change with WM_STYLECHANGING and WM_STYLECHANGED; the window may adjust the new
// style in the first. Visibility and the enabled state follow the bits at once, without
// messages; the frame follows at the next SetWindowPos with SWP_FRAMECHANGED.
LONG_PTR changeStyle(HWND hwnd, int index, DWORD requested) {
    STYLESTRUCT change{};
    {
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hwnd);
        if (!w) {
            return 0;
        }
        change.styleOld = index == GWL_STYLE ? w->style : w->exStyle;
        change.styleNew = requested;
    }
    sendMessage(hwnd, WM_STYLECHANGING, static_cast<WPARAM>(index),
                reinterpret_cast<LPARAM>(&change));
    {
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hwnd);
        if (!w) {
            return 0;
        }
        change.styleOld = index == GWL_STYLE ? w->style : w->exStyle;
        const RECT before = visibleScreenRect(w);
        if (index == GWL_STYLE) {
            w->style = change.styleNew;
            if ((change.styleOld ^ change.styleNew) & WS_VISIBLE) {
                damageScreen(before);
                damageScreen(visibleScreenRect(w));
                if (change.styleNew & WS_VISIBLE) {
                    invalidateTree(w, true, true);
                }
                notifyObserver(w, (change.styleNew & WS_VISIBLE) ? WindowObserver::Change::Shown
                                                                 : WindowObserver::Change::Hidden);
            }
        } else {
            w->exStyle = change.styleNew;
        }
    }
    sendMessage(hwnd, WM_STYLECHANGED, static_cast<WPARAM>(index),
                reinterpret_cast<LPARAM>(&change));
    return static_cast<LONG>(change.styleOld);
}

LONG_PTR writeLong(HWND hwnd, int index, LONG_PTR value, std::size_t size) {
    if (index == GWL_STYLE || index == GWL_EXSTYLE) {
        return changeStyle(hwnd, index, static_cast<DWORD>(value));
    }
    UiLock lock(uiMutex());
    Window* w = windowOrFail(hwnd);
    if (!w) {
        return 0;
    }
    LONG_PTR old = 0;
    if (!readLong(w, index, old, size)) {
        return 0;
    }
    switch (index) {
    case GWLP_WNDPROC:
        w->proc = reinterpret_cast<WNDPROC>(value);
        break;
    case GWLP_HINSTANCE:
        w->instance = reinterpret_cast<HINSTANCE>(value);
        break;
    case GWLP_HWNDPARENT:
        if (!(w->style & WS_CHILD)) {
            // The documented oddity: for a top-level window this sets the owner.
            Window* owner = findWindow(reinterpret_cast<HWND>(value));
            w->owner = owner && owner != w && owner->parent ? topLevelOf(owner) : nullptr;
        }
        break;
    case GWLP_ID:
        if (w->style & WS_CHILD) {
            w->id = static_cast<UINT_PTR>(value);
        } else {
            w->menu = reinterpret_cast<HMENU>(value);
        }
        break;
    case GWLP_USERDATA:
        w->userData = value;
        break;
    default:
        if (size == sizeof(LONG)) {
            const LONG v = static_cast<LONG>(value);
            std::memcpy(w->extra.data() + index, &v, sizeof v);
        } else {
            std::memcpy(w->extra.data() + index, &value, sizeof value);
        }
        break;
    }
    return old;
}

} // namespace
} // namespace korutil::detail

using namespace korutil::detail;

extern "C" LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex) {
    return korutil::detail::failOnBadAlloc(LONG_PTR(0), [&]() -> LONG_PTR {
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hWnd);
        LONG_PTR value = 0;
        return w && readLong(w, nIndex, value, sizeof(LONG_PTR)) ? value : 0;
    });
}

extern "C" LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    return failOnBadAlloc<LONG_PTR>(
        0, [&] { return writeLong(hWnd, nIndex, dwNewLong, sizeof(LONG_PTR)); });
}

extern "C" LONG WINAPI GetWindowLongA(HWND hWnd, int nIndex) {
    return korutil::detail::failOnBadAlloc(LONG(0), [&]() -> LONG {
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hWnd);
        if (!w) {
            return 0;
        }
        if (pointerIndex(nIndex)) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        LONG_PTR value = 0;
        return readLong(w, nIndex, value, sizeof(LONG)) ? static_cast<LONG>(value) : 0;
    });
}

extern "C" LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
    return korutil::detail::failOnBadAlloc(LONG(0), [&]() -> LONG {
        if (pointerIndex(nIndex)) {
            UiLock lock(uiMutex());
            if (windowOrFail(hWnd)) {
                SetLastError(ERROR_INVALID_INDEX);
            }
            return 0;
        }
        return failOnBadAlloc<LONG>(
            0, [&] { return static_cast<LONG>(writeLong(hWnd, nIndex, dwNewLong, sizeof(LONG))); });
    });
}

extern "C" BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        {
            UiLock lock(uiMutex());
            if (!windowOrFail(hWnd)) {
                return FALSE;
            }
        }
        return sendMessage(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) ? TRUE : FALSE;
    });
}

extern "C" int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
    return korutil::detail::failOnBadAlloc(0, [&]() -> int {
        {
            UiLock lock(uiMutex());
            if (!windowOrFail(hWnd)) {
                return 0;
            }
        }
        if (!lpString || nMaxCount <= 0) {
            return 0;
        }
        lpString[0] = '\0';
        return static_cast<int>(sendMessage(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                            reinterpret_cast<LPARAM>(lpString)));
    });
}

extern "C" int WINAPI GetWindowTextLengthA(HWND hWnd) {
    return korutil::detail::failOnBadAlloc(0, [&]() -> int {
        {
            UiLock lock(uiMutex());
            if (!windowOrFail(hWnd)) {
                return 0;
            }
        }
        return static_cast<int>(sendMessage(hWnd, WM_GETTEXTLENGTH, 0, 0));
    });
}

extern "C" int WINAPI GetDlgCtrlID(HWND hWnd) {
    return korutil::detail::failOnBadAlloc(0, [&]() -> int {
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hWnd);
        return w && (w->style & WS_CHILD) ? static_cast<int>(w->id) : 0;
    });
}

extern "C" DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
    return korutil::detail::failOnBadAlloc(DWORD(0), [&]() -> DWORD {
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hWnd);
        if (!w) {
            return 0;
        }
        if (lpdwProcessId) {
            *lpdwProcessId = static_cast<DWORD>(getpid());
        }
        return w->threadId;
    });
}

extern "C" BOOL WINAPI IsWindow(HWND hWnd) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        UiLock lock(uiMutex());
        return findWindow(hWnd) != nullptr;
    });
}

extern "C" BOOL WINAPI IsWindowVisible(HWND hWnd) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hWnd);
        return w && visibleWithAncestors(w);
    });
}

extern "C" BOOL WINAPI IsWindowEnabled(HWND hWnd) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hWnd);
        return w && !(w->style & WS_DISABLED);
    });
}

extern "C" BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        bool wasDisabled = false;
        std::shared_ptr<ThreadQueue> queue;
        {
            UiLock lock(uiMutex());
            Window* w = windowOrFail(hWnd);
            if (!w) {
                return FALSE;
            }
            wasDisabled = (w->style & WS_DISABLED) != 0;
            queue = w->queue;
        }
        if (wasDisabled == !bEnable) {
            return wasDisabled;
        }
        if (bEnable) {
            UiLock lock(uiMutex());
            if (Window* w = findWindow(hWnd)) {
                w->style &= ~static_cast<DWORD>(WS_DISABLED);
            }
        } else {
            sendMessage(hWnd, WM_CANCELMODE, 0, 0);
            bool focusInside = false;
            {
                UiLock lock(uiMutex());
                Window* w = findWindow(hWnd);
                if (!w) {
                    return wasDisabled;
                }
                w->style |= WS_DISABLED;
                Window* focus = queue ? findWindow(queue->focus) : nullptr;
                focusInside = focus && isSelfOrDescendant(focus, w);
            }
            // A disabled window gives up the focus; on another thread's window that thread
            // does it when it next looks at its messages.
            if (focusInside && queue->threadId == GetCurrentThreadId()) {
                setFocusWindow(nullptr);
            } else if (focusInside) {
                UiLock lock(uiMutex());
                runOnThread(*queue, [] { setFocusWindow(nullptr); });
            }
        }
        sendMessage(hWnd, WM_ENABLE, bEnable ? TRUE : FALSE, 0);
        return wasDisabled;
    });
}
