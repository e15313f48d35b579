#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "user/keyboard.h"
#include "user/messages.h"
#include "user/procedure.h"
#include "user/window.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/threads.h>

using namespace korutil::detail;

namespace {

// Only a TIMERPROC that a live timer of the thread names is called: a posted WM_TIMER with a
// made-up lParam calls nothing.
bool liveTimerProc(const MSG& msg) {
    UiLock lock(uiMutex());
    ThreadQueue* queue = currentQueue();
    if (!queue) {
        return false;
    }
    for (const Timer& t : queue->timers) {
        if (!t.fire && t.hwnd == msg.hwnd && t.id == msg.wParam &&
            reinterpret_cast<LPARAM>(t.proc) == msg.lParam) {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
    return korutil::detail::failOnBadAlloc(LRESULT(0), [&]() -> LRESULT {
        if (!lpMsg) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        const MSG msg = *lpMsg;
        if (msg.message == WM_TIMER && msg.lParam) {
            if (liveTimerProc(msg)) {
                callHost([&] {
                    reinterpret_cast<TIMERPROC>(msg.lParam)(msg.hwnd, WM_TIMER, msg.wParam,
                                                            GetTickCount());
                });
            }
            return 0;
        }
        if (!msg.hwnd) {
            return 0;
        }
        {
            UiLock lock(uiMutex());
            Window* window = windowOrFail(msg.hwnd);
            if (!window) {
                return 0;
            }
            if (window->queue && window->threadId != GetCurrentThreadId()) {
                SetLastError(ERROR_ACCESS_DENIED);
                return 0;
            }
        }
        const LRESULT result = callWindow(msg.hwnd, msg.message, msg.wParam, msg.lParam);
        if (msg.message == WM_PAINT) {
            // A RedrawWindow(RDW_INTERNALPAINT) asks for one WM_PAINT, painted or not.
            UiLock lock(uiMutex());
            if (Window* window = findWindow(msg.hwnd)) {
                window->internalPaint = false;
            }
        }
        return result;
    });
}

extern "C" BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    if (!lpMsg) {
        return FALSE;
    }
    const UINT m = lpMsg->message;
    if (m != WM_KEYDOWN && m != WM_SYSKEYDOWN && m != WM_KEYUP && m != WM_SYSKEYUP) {
        return FALSE;
    }
    if (m == WM_KEYUP || m == WM_SYSKEYUP) {
        return TRUE;
    }
    return failOnBadAlloc<BOOL>(TRUE, [&]() -> BOOL {
        UiLock lock(uiMutex());
        ThreadQueue* queue = currentQueue();
        if (!queue) {
            return TRUE;
        }
        const BYTE* keys = queue->keys;
        const bool shift = (keys[VK_SHIFT] & 0x80) != 0;
        const bool caps = (keys[VK_CAPITAL] & 0x01) != 0;
        // Alt with control is AltGr on layouts that have it; the US layout gives nothing then.
        const bool control = (keys[VK_CONTROL] & 0x80) != 0;
        const bool alt = (keys[VK_MENU] & 0x80) != 0;
        if (control && alt) {
            return TRUE;
        }
        const int ch = characterOf(static_cast<int>(lpMsg->wParam), shift, caps, control);
        if (ch >= 0) {
            postToQueue(*queue, lpMsg->hwnd, m == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR,
                        static_cast<WPARAM>(ch), lpMsg->lParam);
        }
        return TRUE;
    });
}
