// GenerateMouseMoveWhileLButtonIsDown with the button held and released by another thread,
// message times in the past and across the tick count's wrap, and a window to update first.
#include "support/windows.h"

#include <korutil/ui.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace {

using korutil::test::makeWindow;
using korutil::test::pump;
using korutil::test::Recorder;

class MouseMove : public ::testing::Test {
protected:
    void SetUp() override {
        m_window = makeWindow(WS_POPUP | WS_VISIBLE, 100, 100, 200, 100);
        pump();
        PlatMouseMove(150, 130);
        PlatMouseButton(VK_LBUTTON, TRUE);
        pump();
        Recorder::mine().clear();
    }
    void TearDown() override {
        PlatSetTickCountOffset(0);
        PlatMouseButton(VK_LBUTTON, FALSE);
        DestroyWindow(m_window);
        pump();
        Recorder::mine().clear();
    }
    // Gives the calling thread a message time: one posted and retrieved at `tick`.
    static void messageAt(DWORD tick) {
        PlatSetTickCountOffset(0);
        PlatSetTickCountOffset(tick - GetTickCount());
        PostThreadMessageA(GetCurrentThreadId(), WM_USER, 0, 0);
        MSG msg;
        GetMessageA(&msg, nullptr, WM_USER, WM_USER);
    }
    // The WM_MOUSEMOVE messages the call left in the queue, as their lParam.
    std::vector<LPARAM> moves() {
        std::vector<LPARAM> got;
        MSG msg;
        while (PeekMessageA(&msg, m_window, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE)) {
            if (msg.wParam == MK_LBUTTON) {
                got.push_back(msg.lParam);
            }
        }
        return got;
    }
    HWND m_window = nullptr;
};

TEST_F(MouseMove, PostsAtOnceWhenTheMessageIsOlderThanTheDelay) {
    const struct {
        DWORD messageTick, now;
        int delay;
    } cases[] = {
        {5000, 9000, 1000},             // long past
        {5000, 5000, 0},                // no delay
        {5000, 5000, -20},              // a negative delay waits for nothing
        {0xFFFFFF00u, 0x150u, 300},     // past across the wrap
        {0x10000u, 0x10000u + 20u, 20}, // exactly the delay
    };
    for (const auto& c : cases) {
        messageAt(c.messageTick);
        PlatSetTickCountOffset(0);
        PlatSetTickCountOffset(c.now - GetTickCount());
        GenerateMouseMoveWhileLButtonIsDown(m_window, nullptr, c.delay);
        const std::vector<LPARAM> got = moves();
        ASSERT_EQ(1u, got.size()) << c.messageTick << " " << c.now;
        EXPECT_EQ(MAKELPARAM(50, 30), got[0]) << "client coordinates of the cursor";
    }
}

TEST_F(MouseMove, AReleaseByAnotherThreadEndsTheWaitWithoutAMove) {
    // Across the wrap the wait has not elapsed: without the release it would spin for a minute.
    messageAt(0xFFFFFF00u);
    PlatSetTickCountOffset(0);
    PlatSetTickCountOffset(0x20u - GetTickCount());
    std::thread user([] { PlatMouseButton(VK_LBUTTON, FALSE); });
    GenerateMouseMoveWhileLButtonIsDown(m_window, nullptr, 60000);
    user.join();
    EXPECT_TRUE(moves().empty());
    // Released before the call: it returns at once.
    GenerateMouseMoveWhileLButtonIsDown(m_window, nullptr, 0);
    EXPECT_TRUE(moves().empty());
}

TEST_F(MouseMove, AReleaseAfterTheDeadlineLeavesTheMovePosted) {
    messageAt(1000);
    GenerateMouseMoveWhileLButtonIsDown(m_window, nullptr, 1);
    std::thread user([] { PlatMouseButton(VK_LBUTTON, FALSE); });
    user.join();
    EXPECT_EQ(1u, moves().size());
}

TEST_F(MouseMove, TheWindowToUpdateIsPaintedBeforeTheWait) {
    HWND other = makeWindow(WS_POPUP | WS_VISIBLE, 400, 100, 50, 50);
    pump();
    InvalidateRect(other, nullptr, TRUE);
    Recorder::mine().clear();
    messageAt(1000);
    GenerateMouseMoveWhileLButtonIsDown(m_window, other, 0);
    const std::vector<UINT> got = Recorder::mine().of(other);
    EXPECT_NE(got.end(), std::find(got.begin(), got.end(), UINT{WM_PAINT}));
    EXPECT_FALSE(GetUpdateRect(other, nullptr, FALSE));
    EXPECT_EQ(1u, moves().size());
    // A dead window to update is passed over.
    DestroyWindow(other);
    GenerateMouseMoveWhileLButtonIsDown(m_window, other, 0);
    EXPECT_EQ(1u, moves().size());
}

} // namespace
