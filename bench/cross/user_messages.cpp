// Messages of the window manager: this layer beside Wine's. Posting and receiving one message,
// a SendMessageA round trip to a window of another thread, and 100k posted messages
// dispatched to a window procedure.
#include "harness.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <korutil/platform.h>
#endif

namespace {

constexpr UINT kPing = WM_APP + 1;
volatile long g_handled = 0;

LRESULT CALLBACK pingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == kPing) {
        g_handled = g_handled + static_cast<long>(w);
        return static_cast<LRESULT>(w) + 1;
    }
    return DefWindowProcA(h, m, w, l);
}

HWND makeWindow() {
    static const bool registered = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = pingProc;
        wc.lpszClassName = "KorutilCrossBench";
        return RegisterClassA(&wc) != 0;
    }();
    (void)registered;
    return CreateWindowExA(0, "KorutilCrossBench", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                           nullptr, nullptr);
}

struct Worker {
    HWND window = nullptr;
    HANDLE ready = nullptr;
};

DWORD WINAPI workerMain(LPVOID parameter) {
    auto* worker = static_cast<Worker*>(parameter);
    worker->window = makeWindow();
    SetEvent(worker->ready);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageA(&msg);
    }
    DestroyWindow(worker->window);
    return 0;
}

} // namespace

CROSS_BENCH(MessagePostAndPeek) {
    HWND w = makeWindow();
    MSG msg;
    while (loop.next()) {
        PostMessageA(w, kPing, 1, 0);
        PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
    }
    DestroyWindow(w);
}

CROSS_BENCH(MessageSendAcrossThreads) {
    Worker worker;
    worker.ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, workerMain, &worker, 0, &id);
    WaitForSingleObject(worker.ready, INFINITE);
    while (loop.next()) {
        SendMessageA(worker.window, kPing, 1, 0);
    }
    PostThreadMessageA(id, WM_QUIT, 0, 0);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(worker.ready);
}

// 100k messages posted in batches below the queue's limit of 10000, each dispatched.
CROSS_BENCH(MessageDispatch100k) {
    HWND w = makeWindow();
    MSG msg;
    while (loop.next()) {
        for (int done = 0; done < 100000; done += 5000) {
            for (int i = 0; i < 5000; ++i) {
                PostMessageA(w, kPing, 1, 0);
            }
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageA(&msg);
            }
        }
    }
    DestroyWindow(w);
}
