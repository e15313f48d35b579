// Messages on one thread: the documented sequences of creation and destruction, the order of
// retrieval with window and range filters, timers, and windows that destroy themselves in the
// middle of a message.
#include "support/windows.h"

#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using korutil::test::makeWindow;
using korutil::test::pump;
using korutil::test::Recorder;
using Names = std::vector<std::pair<HWND, std::string>>;
using Trace = std::vector<std::string>;

class Messages : public ::testing::Test {
protected:
    void SetUp() override {
        Recorder& r = Recorder::mine();
        r.ignored = {WM_SETCURSOR, WM_NCHITTEST};
        r.answer = nullptr;
        r.clear();
    }
    void TearDown() override {
        Recorder::mine().answer = nullptr;
        for (HWND w : m_made) {
            if (IsWindow(w)) {
                DestroyWindow(w);
            }
        }
        pump();
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    HWND make(DWORD style, int x, int y, int cx, int cy, HWND parent = nullptr, UINT_PTR id = 0) {
        HWND w = makeWindow(style, x, y, cx, cy, parent, 0, id);
        m_made.push_back(w);
        return w;
    }
    std::vector<HWND> m_made;
};

TEST_F(Messages, CreationAndDestructionFollowTheDocumentedSequences) {
    Recorder& r = Recorder::mine();
    HWND top = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 20, 300, 200);
    // The window is not named yet while it is being made: every message is its.
    EXPECT_EQ((Trace{"top:GETMINMAXINFO", "top:NCCREATE", "top:NCCALCSIZE", "top:CREATE",
                     "top:SHOWWINDOW", "top:POSCHANGING", "top:ACTIVATEAPP", "top:NCACTIVATE",
                     "top:ACTIVATE", "top:SETFOCUS", "top:NCPAINT", "top:ERASEBKGND",
                     "top:POSCHANGED", "top:SIZE", "top:MOVE"}),
              r.trace({{top, "top"}}));
    EXPECT_EQ(top, GetActiveWindow());
    EXPECT_EQ(top, GetFocus());
    EXPECT_EQ(top, GetForegroundWindow());

    r.clear();
    HWND child = make(WS_CHILD | WS_VISIBLE | WS_BORDER, 5, 5, 50, 40, top, 7);
    EXPECT_EQ(
        (Trace{"child:NCCREATE", "child:NCCALCSIZE", "child:CREATE", "child:SIZE", "child:MOVE",
               "top:PARENTNOTIFY", "child:SHOWWINDOW", "child:POSCHANGING", "child:POSCHANGED"}),
        r.trace({{top, "top"}, {child, "child"}}));
    const korutil::test::Seen note = r.log[5];
    EXPECT_EQ(MAKEWPARAM(WM_CREATE, 7), note.wParam);
    EXPECT_EQ(reinterpret_cast<LPARAM>(child), note.lParam);
    HWND grandchild = make(WS_CHILD | WS_VISIBLE, 1, 1, 10, 10, child, 8);
    HWND owned = make(WS_POPUP, 0, 0, 50, 50, top);
    HWND other = make(WS_POPUP, 0, 0, 50, 50);

    r.clear();
    ASSERT_TRUE(DestroyWindow(top));
    EXPECT_EQ((Trace{"top:POSCHANGING", "top:POSCHANGED", "owned:DESTROY", "owned:NCDESTROY",
                     "top:NCACTIVATE", "top:ACTIVATE", "other:ACTIVATEAPP", "top:ACTIVATEAPP",
                     "top:KILLFOCUS", "top:DESTROY", "child:DESTROY", "gc:DESTROY", "gc:NCDESTROY",
                     "child:NCDESTROY", "top:NCDESTROY"}),
              r.trace({{top, "top"},
                       {child, "child"},
                       {grandchild, "gc"},
                       {owned, "owned"},
                       {other, "other"}}));
    EXPECT_EQ(nullptr, GetActiveWindow());
    EXPECT_EQ(nullptr, GetFocus());

    // A child destroyed on its own tells its parent first.
    HWND parent = make(WS_POPUP, 0, 0, 100, 100);
    HWND alone = make(WS_CHILD, 0, 0, 10, 10, parent, 3);
    r.clear();
    DestroyWindow(alone);
    EXPECT_EQ((Trace{"parent:PARENTNOTIFY", "alone:DESTROY", "alone:NCDESTROY"}),
              r.trace({{parent, "parent"}, {alone, "alone"}}));
    EXPECT_EQ(MAKEWPARAM(WM_DESTROY, 3), r.log[0].wParam);
}

TEST_F(Messages, RefusedAndSelfDestroyedCreationsGiveNull) {
    Recorder& r = Recorder::mine();
    struct Row {
        UINT refuseAt;
        LRESULT answer; // what the window answers, or 1 for DestroyWindow in the message
        Trace trace;
    } rows[] = {
        {WM_NCCREATE, FALSE, {"NCCREATE", "NCDESTROY"}},
        {WM_CREATE, -1, {"NCCREATE", "NCCALCSIZE", "CREATE", "NCDESTROY"}},
        {WM_CREATE, 1, {"NCCREATE", "NCCALCSIZE", "CREATE", "DESTROY", "NCDESTROY"}},
        {WM_SIZE, 1, {"NCCREATE", "NCCALCSIZE", "CREATE", "SIZE", "DESTROY", "NCDESTROY"}},
    };
    for (const Row& row : rows) {
        r.clear();
        r.answer = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
            if (m != row.refuseAt) {
                return std::nullopt;
            }
            if (row.answer == 1) {
                EXPECT_TRUE(DestroyWindow(h));
                EXPECT_TRUE(DestroyWindow(h) || !IsWindow(h)); // again, while it goes
                return 0;
            }
            return row.answer;
        };
        SetLastError(0);
        EXPECT_EQ(nullptr, makeWindow(WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, GetDesktopWindow()));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
        Trace got;
        for (const auto& s : r.log) {
            got.push_back(korutil::test::messageName(s.message));
        }
        EXPECT_EQ(row.trace, got) << korutil::test::messageName(row.refuseAt);
    }
}

TEST_F(Messages, RetrievalOrderAndFilters) {
    HWND a = make(WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    HWND b = make(WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, a);
    pump();
    ASSERT_EQ(a, GetFocus());
    SetTimer(a, 1, 10, nullptr);
    MSG msg;
    // Wait for the timer without asserting on time: GetMessage blocks until it is due.
    ASSERT_EQ(1, GetMessageA(&msg, nullptr, WM_TIMER, WM_TIMER));
    EXPECT_EQ(static_cast<UINT_PTR>(1), msg.wParam);
    PlatMouseMove(500, 500);
    pump();
    Sleep(20); // a second interval passes
    InvalidateRect(b, nullptr, TRUE);
    PostMessageA(a, WM_USER + 1, 0, 0);
    PostQuitMessage(5);
    PostMessageA(b, WM_USER + 2, 0, 0);
    PostThreadMessageA(GetCurrentThreadId(), WM_USER + 3, 0, 0);
    PlatMouseMove(10, 10);
    PlatKey('A', TRUE);
    const DWORD status = GetQueueStatus(QS_ALLINPUT);
    EXPECT_EQ(static_cast<DWORD>(QS_KEY | QS_MOUSEMOVE | QS_POSTMESSAGE | QS_TIMER | QS_PAINT),
              HIWORD(status));
    EXPECT_EQ(HIWORD(status), LOWORD(status) | QS_TIMER); // the timer came due, not "added"
    EXPECT_EQ(0u, LOWORD(GetQueueStatus(QS_ALLINPUT)));
    std::vector<std::pair<HWND, UINT>> got;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        got.emplace_back(msg.hwnd, msg.message);
        if (msg.message == WM_PAINT) {
            ValidateRect(msg.hwnd, nullptr);
        }
        if (msg.message == WM_TIMER) {
            KillTimer(a, 1);
        }
    }
    PlatKey('A', FALSE);
    EXPECT_EQ((std::vector<std::pair<HWND, UINT>>{{a, WM_USER + 1},
                                                  {b, WM_USER + 2},
                                                  {nullptr, WM_USER + 3},
                                                  {nullptr, WM_QUIT},
                                                  {b, WM_MOUSEMOVE},
                                                  {a, WM_KEYDOWN},
                                                  {b, WM_PAINT},
                                                  {a, WM_TIMER}}),
              got);
    pump();

    // Window filters take children too; -1 takes only thread messages; ranges; WM_QUIT passes
    // every filter.
    PostMessageA(b, WM_USER + 4, 0, 0);
    PostMessageA(nullptr, WM_USER + 5, 0, 0);
    PostMessageA(a, WM_USER + 6, 0, 0);
    ASSERT_TRUE(PeekMessageA(&msg, a, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_USER + 4), msg.message);
    ASSERT_TRUE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_USER + 5), msg.message);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_USER + 8, WM_USER + 2, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 6, WM_USER + 9, PM_REMOVE));
    EXPECT_EQ(a, msg.hwnd);
    PostQuitMessage(3);
    ASSERT_TRUE(PeekMessageA(&msg, b, WM_USER + 100, WM_USER + 101, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
    EXPECT_EQ(3u, msg.wParam);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_USER + 4), msg.message);
    PostQuitMessage(9);
    EXPECT_EQ(0, GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(9u, msg.wParam);

    // Filters naming dead windows.
    HWND dead = make(WS_POPUP, 0, 0, 1, 1);
    DestroyWindow(dead);
    SetLastError(0);
    EXPECT_EQ(-1, GetMessageA(&msg, dead, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    EXPECT_FALSE(PeekMessageA(&msg, dead, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PostThreadMessageA(0x7FFFFFF0, WM_USER, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_THREAD_ID), GetLastError());
    // Messages posted to a window go with it.
    PostMessageA(a, WM_USER + 7, 0, 0);
    DestroyWindow(a);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_USER, WM_USER + 10, PM_REMOVE));
}

VOID CALLBACK countTick(HWND, UINT message, UINT_PTR id, DWORD) {
    Recorder::mine().log.push_back(korutil::test::Seen{nullptr, message, id, 0});
}

TEST_F(Messages, TimersIdsReplacementKillAndTimerProcs) {
    HWND w = make(WS_POPUP, 0, 0, 10, 10);
    EXPECT_EQ(static_cast<UINT_PTR>(7), SetTimer(w, 7, 5, nullptr));
    EXPECT_EQ(static_cast<UINT_PTR>(1), SetTimer(w, 0, 5, nullptr)); // id 0 answers non-zero
    const UINT_PTR first = SetTimer(nullptr, 0, 10, countTick);
    EXPECT_NE(0u, first);
    EXPECT_EQ(first, SetTimer(nullptr, first, 10, countTick)) << "an existing id is replaced";
    const UINT_PTR second = SetTimer(nullptr, 4242, 10, countTick);
    EXPECT_NE(first, second);
    EXPECT_NE(4242u, second);
    EXPECT_TRUE(KillTimer(w, 0));
    EXPECT_FALSE(KillTimer(w, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_TRUE(KillTimer(nullptr, second));

    // Missed intervals give one WM_TIMER, not a backlog; TIMERPROCs run from DispatchMessage.
    Recorder::mine().clear();
    Sleep(60);
    int windowTicks = 0;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) {
        windowTicks += msg.hwnd == w;
        DispatchMessageA(&msg);
    }
    EXPECT_EQ(1, windowTicks);
    int procTicks = 0;
    for (const auto& s : Recorder::mine().log) {
        procTicks += s.hwnd == nullptr && s.message == WM_TIMER && s.wParam == first;
    }
    EXPECT_EQ(1, procTicks);
    // A WM_TIMER made up by a host calls no procedure that no timer names.
    Recorder::mine().clear();
    const MSG fake{nullptr, WM_TIMER, 99, reinterpret_cast<LPARAM>(countTick), 0, {0, 0}};
    DispatchMessageA(&fake);
    EXPECT_TRUE(Recorder::mine().log.empty());
    EXPECT_TRUE(KillTimer(nullptr, first));
    // Timers die with their window; PM_NOREMOVE leaves the next one where it was.
    SetTimer(w, 3, 10, nullptr);
    ASSERT_EQ(1, GetMessageA(&msg, w, WM_TIMER, WM_TIMER));
    SetTimer(w, 3, 10, nullptr);
    Sleep(15);
    EXPECT_TRUE(PeekMessageA(&msg, w, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    EXPECT_TRUE(PeekMessageA(&msg, w, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    DestroyWindow(w);
    EXPECT_FALSE(KillTimer(w, 3));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
}

TEST_F(Messages, WindowsThatDestroyThemselvesMidMessage) {
    Recorder& r = Recorder::mine();
    // In WM_PAINT, dispatched from the queue.
    HWND painter = make(WS_POPUP | WS_VISIBLE, 0, 0, 50, 50);
    pump();
    r.answer = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (h == painter && (m == WM_PAINT || m == WM_LBUTTONDOWN)) {
            DestroyWindow(h);
            return 0;
        }
        return std::nullopt;
    };
    InvalidateRect(painter, nullptr, TRUE);
    pump();
    EXPECT_FALSE(IsWindow(painter));
    // In WM_LBUTTONDOWN, from the user's click.
    HWND clicked = make(WS_POPUP | WS_VISIBLE, 0, 0, 50, 50);
    painter = clicked;
    pump();
    PlatMouseMove(10, 10);
    PlatMouseButton(VK_LBUTTON, TRUE);
    PlatMouseButton(VK_LBUTTON, FALSE);
    pump();
    EXPECT_FALSE(IsWindow(clicked));

    // Re-entrant sends, ten deep, with the window destroyed at the bottom.
    HWND deep = make(WS_POPUP, 0, 0, 10, 10);
    int depth = 0;
    r.answer = [&](HWND h, UINT m, WPARAM w, LPARAM) -> std::optional<LRESULT> {
        if (m != WM_USER) {
            return std::nullopt;
        }
        ++depth;
        if (w == 0) {
            DestroyWindow(h);
            return 100;
        }
        const LRESULT below = SendMessageA(h, WM_USER, w - 1, 0);
        EXPECT_FALSE(IsWindow(h));
        return below + 1;
    };
    EXPECT_EQ(110, SendMessageA(deep, WM_USER, 10, 0));
    EXPECT_EQ(11, depth);
    EXPECT_FALSE(IsWindow(deep));

    // A parent destroyed from its child's WM_DESTROY, and a close through WM_CLOSE.
    HWND parent = make(WS_POPUP, 0, 0, 100, 100);
    HWND child = make(WS_CHILD, 0, 0, 10, 10, parent);
    r.answer = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (h == child && m == WM_DESTROY) {
            EXPECT_TRUE(DestroyWindow(parent));
        }
        return std::nullopt;
    };
    EXPECT_TRUE(DestroyWindow(child));
    EXPECT_FALSE(IsWindow(parent));
    HWND closing = make(WS_POPUP, 0, 0, 10, 10);
    r.answer = nullptr;
    SendMessageA(closing, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(closing));
}

} // namespace
