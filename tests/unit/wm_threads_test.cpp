// Windows of several threads: SendMessage across threads, nested and mutual; posts from many
// threads; waits on objects and the queue; foreign handles; the end of a thread.
#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace {

constexpr UINT kRun = WM_APP + 1;   // lParam: a std::function<LRESULT()> to run
constexpr UINT kWhere = WM_APP + 2; // answers the thread it runs on

LRESULT CALLBACK workerProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    switch (m) {
    case kRun:
        return (*reinterpret_cast<std::function<LRESULT()>*>(l))();
    case kWhere:
        return static_cast<LRESULT>(GetCurrentThreadId()) + (InSendMessage() ? 0x100000000LL : 0);
    default:
        return DefWindowProcA(h, m, w, l);
    }
}

const char* workerClass() {
    static const char* name = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = workerProc;
        wc.lpszClassName = "KorutilWorker";
        RegisterClassA(&wc);
        return "KorutilWorker";
    }();
    return name;
}

HWND makeWorkerWindow() {
    return CreateWindowExA(0, workerClass(), "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                           nullptr);
}

// A thread with a window and a message loop; run() does work on it through SendMessage.
class WindowThread {
public:
    WindowThread() {
        std::atomic<HWND> made{nullptr};
        m_thread = std::thread([this, &made] {
            m_id = GetCurrentThreadId();
            made = makeWorkerWindow();
            MSG msg;
            while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
                DispatchMessageA(&msg);
            }
        });
        while (!made.load()) {
            std::this_thread::yield();
        }
        m_window = made.load();
    }
    ~WindowThread() { stop(); }
    void stop() {
        if (m_thread.joinable()) {
            PostThreadMessageA(m_id, WM_QUIT, 0, 0);
            m_thread.join();
        }
    }
    HWND window() const { return m_window; }
    DWORD id() const { return m_id; }
    LRESULT run(std::function<LRESULT()> work) {
        return SendMessageA(m_window, kRun, 0, reinterpret_cast<LPARAM>(&work));
    }

private:
    std::thread m_thread;
    std::atomic<DWORD> m_id{0};
    HWND m_window = nullptr;
};

TEST(WindowThreads, SendMessageWaitsForTheWindowsThreadAndAnswersMeanwhile) {
    WindowThread worker;
    const LRESULT where = SendMessageA(worker.window(), kWhere, 0, 0);
    EXPECT_EQ(static_cast<LRESULT>(worker.id()), where & 0xFFFFFFFF);
    EXPECT_NE(0, where >> 32) << "InSendMessage on the receiving thread";
    EXPECT_FALSE(InSendMessage());

    // The worker sends back to a window of the waiting thread, which answers while it waits.
    HWND mine = makeWorkerWindow();
    EXPECT_EQ(static_cast<LRESULT>(GetCurrentThreadId()) + 1,
              worker.run([&] { return (SendMessageA(mine, kWhere, 0, 0) & 0xFFFFFFFF) + 1; }));
    // Nested five times across the two threads.
    std::function<LRESULT(HWND, HWND, int)> bounce = [&](HWND to, HWND back, int left) -> LRESULT {
        if (left == 0) {
            return 1000;
        }
        std::function<LRESULT()> next = [&, to, back, left] {
            return bounce(back, to, left - 1) + 1;
        };
        return SendMessageA(to, kRun, 0, reinterpret_cast<LPARAM>(&next));
    };
    EXPECT_EQ(1005, bounce(worker.window(), mine, 5));

    // Two threads sending to each other at the same moment both get their answers.
    WindowThread other;
    std::atomic<int> answered{0};
    for (int round = 0; round < 50; ++round) {
        std::thread a([&] {
            answered += worker.run([&] { return SendMessageA(other.window(), kWhere, 0, 0) != 0; });
        });
        answered += other.run([&] { return SendMessageA(worker.window(), kWhere, 0, 0) != 0; });
        a.join();
    }
    EXPECT_EQ(100, answered.load());
    DestroyWindow(mine);
}

TEST(WindowThreads, ForeignHandlesAreRefusedAndEndingThreadsTakeTheirWindows) {
    WindowThread worker;
    HWND theirs = worker.window();
    SetLastError(0);
    EXPECT_FALSE(DestroyWindow(theirs));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(0u, SetTimer(theirs, 1, 10, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(nullptr, SetFocus(theirs));
    EXPECT_EQ(nullptr, SetCapture(theirs));
    const MSG msg{theirs, kWhere, 0, 0, 0, {0, 0}};
    EXPECT_EQ(0, DispatchMessageA(&msg));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    // Calls that only read or send work from anywhere.
    EXPECT_TRUE(SetWindowTextA(theirs, "renamed"));
    char text[16] = {};
    EXPECT_EQ(7, GetWindowTextA(theirs, text, sizeof text));
    EXPECT_TRUE(MoveWindow(theirs, 5, 5, 20, 20, TRUE));
    EXPECT_EQ(worker.id(), GetWindowThreadProcessId(theirs, nullptr));

    // A child made on this thread under their window goes with it when their thread ends.
    HWND child = CreateWindowExA(0, workerClass(), "", WS_CHILD, 0, 0, 5, 5, theirs, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(nullptr, child);
    worker.stop();
    EXPECT_FALSE(IsWindow(theirs));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(PostThreadMessageA(worker.id(), WM_USER, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_THREAD_ID), GetLastError());

    // A thread that ends without looking at its queue answers what waits there with 0.
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<HWND> made{nullptr};
    std::thread quiet([&] {
        made = makeWorkerWindow();
        WaitForSingleObject(release, INFINITE);
    });
    while (!made.load()) {
        std::this_thread::yield();
    }
    std::thread late([&] { EXPECT_EQ(0, SendMessageA(made.load(), kWhere, 0, 0)); });
    Sleep(20); // let the message reach the queue; the answer does not depend on it
    SetEvent(release);
    quiet.join();
    late.join();
    EXPECT_FALSE(IsWindow(made.load()));
    CloseHandle(release);
}

TEST(WindowThreads, PostsFromManyThreadsAndTheQueueLimit) {
    HWND mine = makeWorkerWindow();
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                PostMessageA(mine, WM_USER, static_cast<WPARAM>(t), i);
            }
        });
    }
    for (auto& p : posters) {
        p.join();
    }
    int last[4] = {-1, -1, -1, -1};
    int count = 0;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE)) {
        EXPECT_EQ(last[msg.wParam] + 1, msg.lParam) << "each poster's messages keep their order";
        last[msg.wParam] = static_cast<int>(msg.lParam);
        ++count;
    }
    EXPECT_EQ(2000, count);
    int posted = 0;
    while (PostMessageA(mine, WM_USER, 0, 0)) {
        ++posted;
    }
    EXPECT_EQ(10000, posted);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA), GetLastError());
    DestroyWindow(mine);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST(WindowThreads, MsgWaitForMultipleObjectsWakesOnObjectsAndNewInput) {
    HANDLE events[2] = {CreateEventA(nullptr, FALSE, FALSE, nullptr),
                        CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    EXPECT_EQ(WAIT_TIMEOUT, MsgWaitForMultipleObjects(2, events, FALSE, 0, QS_ALLINPUT));
    std::thread setter([&] {
        Sleep(10);
        SetEvent(events[1]);
    });
    EXPECT_EQ(WAIT_OBJECT_0 + 1,
              MsgWaitForMultipleObjects(2, events, FALSE, INFINITE, QS_ALLINPUT));
    setter.join();
    ResetEvent(events[1]);
    const DWORD self = GetCurrentThreadId();
    std::thread poster([&] {
        Sleep(10);
        PostThreadMessageA(self, WM_USER, 0, 0);
    });
    EXPECT_EQ(WAIT_OBJECT_0 + 2,
              MsgWaitForMultipleObjects(2, events, FALSE, INFINITE, QS_POSTMESSAGE));
    poster.join();
    // Seen by a look at the queue, the message no longer counts as new.
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(WAIT_TIMEOUT, MsgWaitForMultipleObjects(2, events, FALSE, 0, QS_ALLINPUT));
    EXPECT_EQ(WAIT_TIMEOUT, MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT));
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    // All of them: the auto-reset event is taken only together with the other.
    SetEvent(events[0]);
    EXPECT_EQ(WAIT_TIMEOUT, MsgWaitForMultipleObjects(2, events, TRUE, 0, QS_ALLINPUT));
    SetEvent(events[1]);
    EXPECT_EQ(WAIT_OBJECT_0, MsgWaitForMultipleObjects(2, events, TRUE, 0, QS_ALLINPUT));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(events[0], 0));
    // A timer of the thread ends a wait for QS_TIMER.
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, nullptr);
    ResetEvent(events[1]);
    EXPECT_EQ(WAIT_OBJECT_0 + 2, MsgWaitForMultipleObjects(2, events, FALSE, INFINITE, QS_TIMER));
    KillTimer(nullptr, timer);
    HANDLE bad[1] = {reinterpret_cast<HANDLE>(0x4444)};
    EXPECT_EQ(WAIT_FAILED, MsgWaitForMultipleObjects(1, bad, FALSE, 0, QS_ALLINPUT));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    HANDLE twice[2] = {events[0], events[0]};
    EXPECT_EQ(WAIT_FAILED, MsgWaitForMultipleObjects(2, twice, TRUE, 0, QS_ALLINPUT));
    CloseHandle(events[0]);
    CloseHandle(events[1]);
}

TEST(WindowThreads, InputIsHitTestedOnTheWindowsThread) {
    std::atomic<DWORD> hitTestedOn{0};
    // Watch the hit test from a subclass of the worker's window, made on the worker's thread
    // so that the procedure it replaces is stored before any message can reach it.
    static std::atomic<DWORD>* seen = nullptr;
    static WNDPROC previous = nullptr;
    seen = &hitTestedOn;
    WindowThread worker;
    worker.run([&] {
        SetWindowLongPtrA(worker.window(), GWLP_USERDATA, 0);
        ShowWindow(worker.window(), SW_SHOW);
        MoveWindow(worker.window(), 0, 0, 100, 100, FALSE);
        previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
            worker.window(), GWLP_WNDPROC,
            reinterpret_cast<LONG_PTR>(+[](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
                if (m == WM_NCHITTEST) {
                    *seen = GetCurrentThreadId();
                }
                return CallWindowProcA(previous, h, m, w, l);
            })));
        return 0;
    });
    std::atomic<bool> clicked{false};
    std::thread user([] {
        PlatMouseMove(50, 50);
        PlatMouseButton(VK_LBUTTON, TRUE);
        PlatMouseButton(VK_LBUTTON, FALSE);
    });
    user.join();
    // The worker's loop takes the click; SetForegroundWindow from here asks its thread, and may
    // activate the window before the worker has read the click.
    EXPECT_TRUE(SetForegroundWindow(worker.window()));
    while (!clicked || hitTestedOn.load() == 0) {
        clicked = worker.run([&] { return GetActiveWindow() == worker.window(); }) != 0;
    }
    EXPECT_EQ(worker.id(), hitTestedOn.load());
    EXPECT_EQ(worker.window(), GetForegroundWindow());
    EXPECT_EQ(nullptr, GetActiveWindow()) << "activation belongs to the window's thread";
}

} // namespace
