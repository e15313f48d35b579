#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "user/input.h"
#include "user/messages.h"
#include "user/window.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/threads.h>

namespace korutil::detail {
namespace {

// Windows refuses posts to a queue that holds this many messages already.
constexpr std::size_t kPostLimit = 10000;

} // namespace

DWORD messageTimeNow() {
    return GetTickCount();
}

bool postToQueue(ThreadQueue& queue, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (queue.posted.size() >= kPostLimit) {
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return false;
    }
    queue.posted.push_back(MSG{hwnd, message, wParam, lParam, messageTimeNow(), cursorPosition()});
    wakeQueue(queue, QS_POSTMESSAGE | QS_ALLPOSTMESSAGE);
    return true;
}

bool postMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return failOnBadAlloc<bool>(false, [&] {
        UiLock lock(uiMutex());
        Window* window = windowOrFail(hwnd);
        if (!window) {
            return false;
        }
        if (!window->queue) {
            return true; // the desktop takes posted messages and has nothing to do with them
        }
        return postToQueue(*window->queue, hwnd, message, wParam, lParam);
    });
}

} // namespace korutil::detail

using namespace korutil::detail;

extern "C" BOOL WINAPI PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        UiLock lock(uiMutex());
        if (idThread == GetCurrentThreadId()) {
            currentQueue(); // a thread's own first post makes its queue
        }
        std::shared_ptr<ThreadQueue> queue = queueOfThread(idThread);
        if (!queue || queue->ended) {
            SetLastError(ERROR_INVALID_THREAD_ID);
            return FALSE;
        }
        return postToQueue(*queue, nullptr, Msg, wParam, lParam);
    });
}

extern "C" BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (!hWnd) {
        return PostThreadMessageA(GetCurrentThreadId(), Msg, wParam, lParam);
    }
    if (hWnd != HWND_BROADCAST) {
        return postMessage(hWnd, Msg, wParam, lParam);
    }
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        UiLock lock(uiMutex());
        if (Window* root = desktop()) {
            for (Window* w : root->children) {
                if (w->queue) {
                    postToQueue(*w->queue, w->handle, Msg, wParam, lParam);
                }
            }
        }
        return TRUE;
    });
}

extern "C" void WINAPI PostQuitMessage(int nExitCode) {
    korutil::detail::failOnBadAlloc([&] {
        UiLock lock(uiMutex());
        if (ThreadQueue* queue = currentQueue()) {
            queue->quitPosted = true;
            queue->quitCode = nExitCode;
            wakeQueue(*queue, QS_POSTMESSAGE | QS_ALLPOSTMESSAGE);
        }
    });
}
