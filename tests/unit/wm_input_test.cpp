// Input played through the Plat calls: mouse messages by hit test, capture, activation and
// focus by clicks, double clicks, the key messages' data, characters, key states, tracking.
#include "support/windows.h"

#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using korutil::test::makeWindow;
using korutil::test::pump;
using korutil::test::Recorder;
using korutil::test::Seen;

class Input : public ::testing::Test {
protected:
    void SetUp() override {
        Recorder::mine().ignored = {WM_SETCURSOR, WM_NCHITTEST, WM_NCMOUSEMOVE, WM_MOUSEMOVE};
        Recorder::mine().answer = nullptr;
    }
    void TearDown() override {
        Recorder::mine().answer = nullptr;
        for (int vk : {VK_SHIFT, VK_CONTROL, VK_MENU, int{'A'}}) {
            PlatKey(vk, FALSE);
        }
        PlatMouseButton(VK_LBUTTON, FALSE);
        for (HWND w : m_made) {
            if (IsWindow(w)) {
                DestroyWindow(w);
            }
        }
        pump();
        Recorder::mine().clear();
    }
    HWND make(DWORD style, int x, int y, int cx, int cy, HWND parent = nullptr, UINT_PTR id = 0) {
        HWND w = makeWindow(style | WS_VISIBLE, x, y, cx, cy, parent, 0, id);
        m_made.push_back(w);
        return w;
    }
    // The messages retrieved from the queue until it is empty (each one dispatched).
    std::vector<MSG> drain() {
        std::vector<MSG> got;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            got.push_back(msg);
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        return got;
    }
    std::vector<HWND> m_made;
};

std::vector<UINT> messagesOf(const std::vector<MSG>& list, UINT first, UINT last) {
    std::vector<UINT> out;
    for (const MSG& m : list) {
        if (m.message >= first && m.message <= last) {
            out.push_back(m.message);
        }
    }
    return out;
}

TEST_F(Input, MouseMessagesFollowTheHitTestAndTheCapture) {
    HWND top = make(WS_OVERLAPPEDWINDOW, 100, 100, 300, 200);
    pump();
    POINT client{0, 0};
    ClientToScreen(top, &client);
    struct Row {
        POINT at;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    } rows[] = {
        {{client.x + 5, client.y + 6}, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 6)},
        {{150, 110}, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(150, 110)},
        {{101, 200}, WM_NCLBUTTONDOWN, HTLEFT, MAKELPARAM(101, 200)},
        {{399, 299}, WM_NCLBUTTONDOWN, HTBOTTOMRIGHT, MAKELPARAM(399, 299)},
    };
    for (const Row& row : rows) {
        PlatMouseMove(row.at.x, row.at.y);
        drain();
        PlatKey(VK_SHIFT, TRUE);
        PlatMouseButton(VK_LBUTTON, TRUE);
        MSG msg;
        ASSERT_TRUE(PeekMessageA(&msg, nullptr, row.message, row.message, PM_REMOVE))
            << korutil::test::messageName(row.message);
        EXPECT_EQ(row.wParam | (row.message == WM_LBUTTONDOWN ? MK_SHIFT : 0), msg.wParam);
        EXPECT_EQ(row.lParam, msg.lParam);
        EXPECT_EQ(row.at.x, msg.pt.x);
        EXPECT_EQ(static_cast<DWORD>(MAKELONG(row.at.x, row.at.y)), GetMessagePos());
        PlatMouseButton(VK_LBUTTON, FALSE);
        PlatKey(VK_SHIFT, FALSE);
        drain();
    }

    // With the capture every mouse message is the capture window's, in client coordinates.
    HWND other = make(WS_POPUP, 600, 100, 100, 100);
    drain();
    EXPECT_EQ(nullptr, SetCapture(top));
    EXPECT_EQ(top, GetCapture());
    PlatMouseMove(650, 150);
    PlatMouseButton(VK_RBUTTON, TRUE);
    std::vector<MSG> got = drain();
    ASSERT_FALSE(got.empty());
    const MSG& last = got.back();
    EXPECT_EQ(top, last.hwnd);
    EXPECT_EQ(static_cast<UINT>(WM_RBUTTONDOWN), last.message);
    EXPECT_EQ(MAKELPARAM(650 - client.x, 150 - client.y), last.lParam);
    PlatMouseButton(VK_RBUTTON, FALSE);
    Recorder::mine().clear();
    EXPECT_EQ(top, SetCapture(other));
    EXPECT_TRUE(ReleaseCapture());
    EXPECT_EQ(nullptr, GetCapture());
    std::vector<Seen> changes;
    for (const Seen& s : Recorder::mine().log) {
        if (s.message == WM_CAPTURECHANGED) {
            changes.push_back(s);
        }
    }
    ASSERT_EQ(2u, changes.size());
    EXPECT_EQ(top, changes[0].hwnd);
    EXPECT_EQ(reinterpret_cast<LPARAM>(other), changes[0].lParam);
    EXPECT_EQ(other, changes[1].hwnd);
    EXPECT_EQ(0, changes[1].lParam);
    drain();
    PlatMouseMove(650, 150);
    got = drain();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(other, got.back().hwnd);
}

TEST_F(Input, ClicksActivateFocusNotifyAndDoubleClick) {
    HWND first = make(WS_OVERLAPPEDWINDOW, 0, 0, 300, 200);
    HWND second = make(WS_OVERLAPPEDWINDOW, 400, 0, 300, 200);
    HWND child = make(WS_CHILD, 10, 10, 50, 50, second, 5);
    drain();
    SetActiveWindow(first);
    ASSERT_EQ(first, GetActiveWindow());
    POINT inChild{20, 20};
    ClientToScreen(child, &inChild);
    PlatMouseMove(inChild.x, inChild.y);
    drain();
    Recorder& r = Recorder::mine();
    r.clear();
    PlatMouseButton(VK_LBUTTON, TRUE);
    PlatMouseButton(VK_LBUTTON, FALSE);
    drain();
    EXPECT_EQ(second, GetActiveWindow());
    EXPECT_EQ(second, GetFocus());
    const std::vector<std::string> trace =
        r.trace({{first, "first"}, {second, "second"}, {child, "child"}});
    const std::vector<std::string> expected{
        "second:PARENTNOTIFY", "child:MOUSEACTIVATE", "second:MOUSEACTIVATE", "first:NCACTIVATE",
        "first:ACTIVATE",      "second:NCACTIVATE",   "second:ACTIVATE",      "first:KILLFOCUS",
        "second:SETFOCUS",     "child:LBUTTONDOWN",   "child:LBUTTONUP"};
    EXPECT_EQ(expected, trace);
    for (const Seen& s : r.log) {
        if (s.message == WM_ACTIVATE && s.hwnd == second) {
            EXPECT_EQ(static_cast<WPARAM>(WA_CLICKACTIVE), s.wParam);
        }
        if (s.message == WM_PARENTNOTIFY) {
            EXPECT_EQ(MAKEWPARAM(WM_LBUTTONDOWN, 0), s.wParam);
            EXPECT_EQ(MAKELPARAM(30, 30), s.lParam);
        }
    }
    // A second click close by is a double click; one far off or late is not.
    r.clear();
    PlatMouseButton(VK_LBUTTON, TRUE);
    PlatMouseButton(VK_LBUTTON, FALSE);
    PlatMouseButton(VK_LBUTTON, TRUE);
    PlatMouseButton(VK_LBUTTON, FALSE);
    PlatMouseMove(inChild.x + 10, inChild.y);
    PlatMouseButton(VK_LBUTTON, TRUE);
    PlatMouseButton(VK_LBUTTON, FALSE);
    std::vector<MSG> got = drain();
    EXPECT_EQ((std::vector<UINT>{WM_LBUTTONDBLCLK, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP,
                                 WM_LBUTTONDOWN, WM_LBUTTONUP}),
              messagesOf(got, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK))
        << "the first press of this round still pairs with the last one of the activating click";

    // A window that eats the activating click: no activation, no message.
    SetActiveWindow(first);
    drain();
    r.answer = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (m == WM_MOUSEACTIVATE && h == second) {
            return MA_NOACTIVATEANDEAT;
        }
        return std::nullopt;
    };
    Sleep(GetDoubleClickTime() / 10);
    PlatMouseMove(450, 150);
    PlatMouseButton(VK_LBUTTON, TRUE);
    got = drain();
    PlatMouseButton(VK_LBUTTON, FALSE);
    EXPECT_TRUE(messagesOf(got, WM_LBUTTONDOWN, WM_LBUTTONDOWN).empty());
    EXPECT_EQ(first, GetActiveWindow());
    drain();
}

struct KeyCase {
    std::vector<std::pair<int, bool>> keys;
    std::vector<std::pair<UINT, WPARAM>> messages; // key and character messages in order
    std::vector<LPARAM> data;                      // their lParams, where checked
};

TEST_F(Input, KeyMessagesCarryTheDocumentedDataAndTranslateToCharacters) {
    HWND w = make(WS_POPUP, 0, 0, 100, 100);
    drain();
    ASSERT_EQ(w, GetFocus());
    const KeyCase cases[] = {
        {{{VK_SHIFT, true}, {'A', true}, {'A', true}, {'A', false}, {VK_SHIFT, false}},
         {{WM_KEYDOWN, VK_SHIFT},
          {WM_KEYDOWN, 'A'},
          {WM_CHAR, 'A'},
          {WM_KEYDOWN, 'A'},
          {WM_CHAR, 'A'},
          {WM_KEYUP, 'A'},
          {WM_KEYUP, VK_SHIFT}},
         {0x002A0001, 0x001E0001, 0x001E0001, 0x401E0001, 0x401E0001,
          static_cast<LPARAM>(0xC01E0001u), static_cast<LPARAM>(0xC02A0001u)}},
        {{{VK_MENU, true}, {'X', true}, {'X', false}, {VK_MENU, false}},
         {{WM_SYSKEYDOWN, VK_MENU},
          {WM_SYSKEYDOWN, 'X'},
          {WM_SYSCHAR, 'x'},
          {WM_SYSKEYUP, 'X'},
          {WM_KEYUP, VK_MENU}},
         {0x20380001, 0x202D0001, 0x202D0001, static_cast<LPARAM>(0xE02D0001u),
          static_cast<LPARAM>(0xC0380001u)}},
        {{{VK_MENU, true}, {VK_MENU, false}},
         {{WM_SYSKEYDOWN, VK_MENU}, {WM_SYSKEYUP, VK_MENU}},
         {}},
        {{{VK_CONTROL, true}, {'C', true}, {'C', false}, {VK_CONTROL, false}},
         {{WM_KEYDOWN, VK_CONTROL},
          {WM_KEYDOWN, 'C'},
          {WM_CHAR, 3},
          {WM_KEYUP, 'C'},
          {WM_KEYUP, VK_CONTROL}},
         {}},
        {{{VK_CAPITAL, true},
          {VK_CAPITAL, false},
          {'Q', true},
          {VK_SHIFT, true},
          {'Q', true},
          {VK_CAPITAL, true},
          {VK_CAPITAL, false},
          {VK_SHIFT, false}},
         {{WM_KEYDOWN, VK_CAPITAL},
          {WM_KEYUP, VK_CAPITAL},
          {WM_KEYDOWN, 'Q'},
          {WM_CHAR, 'Q'},
          {WM_KEYDOWN, VK_SHIFT},
          {WM_KEYDOWN, 'Q'},
          {WM_CHAR, 'q'},
          {WM_KEYDOWN, VK_CAPITAL},
          {WM_KEYUP, VK_CAPITAL},
          {WM_KEYUP, VK_SHIFT}},
         {}},
        {{{'1', true}, {VK_OEM_1, true}, {VK_RETURN, true}, {VK_LEFT, true}, {VK_F10, true}},
         {{WM_KEYDOWN, '1'},
          {WM_CHAR, '1'},
          {WM_KEYDOWN, VK_OEM_1},
          {WM_CHAR, ';'},
          {WM_KEYDOWN, VK_RETURN},
          {WM_CHAR, '\r'},
          {WM_KEYDOWN, VK_LEFT},
          {WM_SYSKEYDOWN, VK_F10}},
         {0x00020001, 0x00020001, 0x00270001, 0x00270001, 0x001C0001, 0x001C0001, 0x014B0001}},
    };
    for (std::size_t c = 0; c < sizeof cases / sizeof cases[0]; ++c) {
        const KeyCase& kc = cases[c];
        for (const auto& key : kc.keys) {
            ASSERT_TRUE(PlatKey(key.first, key.second));
        }
        std::vector<MSG> got;
        for (const MSG& m : drain()) {
            if (m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST) {
                got.push_back(m);
            }
        }
        ASSERT_EQ(kc.messages.size(), got.size()) << "case " << c;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(kc.messages[i].first, got[i].message) << "case " << c << " #" << i;
            EXPECT_EQ(kc.messages[i].second, got[i].wParam) << "case " << c << " #" << i;
            EXPECT_EQ(w, got[i].hwnd);
            if (i < kc.data.size()) {
                EXPECT_EQ(kc.data[i], got[i].lParam) << std::hex << "case " << c << " #" << i;
            }
        }
        for (int vk : {int{'1'}, VK_OEM_1, VK_RETURN, VK_LEFT, VK_F10, int{'Q'}}) {
            PlatKey(vk, FALSE);
        }
        drain();
    }
    EXPECT_FALSE(PlatKey(0, TRUE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(PlatKey(255, TRUE));
    EXPECT_FALSE(PlatMouseButton('A', TRUE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(Input, KeyStatesAsyncAndPerThread) {
    HWND w = make(WS_POPUP, 0, 0, 100, 100);
    drain();
    ASSERT_EQ(w, GetFocus());
    GetAsyncKeyState('K'); // forget any earlier press
    PlatKey('K', TRUE);
    // The async state knows at once; the thread's state only once it took the message.
    EXPECT_EQ(static_cast<SHORT>(0x8001), GetAsyncKeyState('K'));
    EXPECT_EQ(static_cast<SHORT>(0x8000), GetAsyncKeyState('K'));
    EXPECT_EQ(0, GetKeyState('K'));
    drain();
    EXPECT_LT(GetKeyState('K'), 0);
    EXPECT_EQ(1, GetKeyState('K') & 1) << "toggled by the press";
    PlatKey('K', FALSE);
    EXPECT_EQ(0, GetAsyncKeyState('K'));
    drain();
    EXPECT_EQ(1, GetKeyState('K'));
    PlatKey(VK_RSHIFT, TRUE);
    drain();
    EXPECT_LT(GetKeyState(VK_SHIFT), 0);
    EXPECT_LT(GetKeyState(VK_RSHIFT), 0);
    EXPECT_GE(GetKeyState(VK_LSHIFT), 0);
    PlatKey(VK_RSHIFT, FALSE);
    drain();
    EXPECT_GE(GetKeyState(VK_SHIFT), 0);
    PlatMouseMove(50, 50);
    PlatMouseButton(VK_LBUTTON, TRUE);
    EXPECT_LT(GetAsyncKeyState(VK_LBUTTON), 0);
    drain();
    EXPECT_LT(GetKeyState(VK_LBUTTON), 0);
    PlatMouseButton(VK_LBUTTON, FALSE);
    drain();
    EXPECT_GE(GetKeyState(VK_LBUTTON), 0);
    EXPECT_EQ(0, GetKeyState(-1));
    EXPECT_EQ(0, GetAsyncKeyState(300));
    // The cursor stays on the screen.
    PlatMouseMove(-50, 5000);
    POINT p{};
    GetCursorPos(&p);
    EXPECT_EQ(0, p.x);
    EXPECT_EQ(767, p.y);
}

TEST_F(Input, TrackMouseEventLeavesAndHovers) {
    HWND w = make(WS_POPUP, 0, 0, 100, 100);
    HWND beside = make(WS_POPUP, 200, 0, 100, 100);
    PlatMouseMove(50, 50);
    drain();
    TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE | TME_HOVER, w, 10};
    ASSERT_TRUE(TrackMouseEvent(&tme));
    TRACKMOUSEEVENT query{sizeof query, TME_QUERY, nullptr, 0};
    ASSERT_TRUE(TrackMouseEvent(&query));
    EXPECT_EQ(w, query.hwndTrack);
    EXPECT_EQ(static_cast<DWORD>(TME_LEAVE | TME_HOVER), query.dwFlags);
    MSG msg;
    ASSERT_EQ(1, GetMessageA(&msg, nullptr, WM_MOUSEHOVER, WM_MOUSEHOVER));
    EXPECT_EQ(w, msg.hwnd);
    EXPECT_EQ(MAKELPARAM(50, 50), msg.lParam);
    PlatMouseMove(250, 50);
    std::vector<MSG> got = drain();
    EXPECT_EQ(std::vector<UINT>{WM_MOUSELEAVE}, messagesOf(got, WM_MOUSELEAVE, WM_MOUSELEAVE));
    query.dwFlags = TME_QUERY; // the answer replaced the flags
    ASSERT_TRUE(TrackMouseEvent(&query));
    EXPECT_EQ(nullptr, query.hwndTrack);
    // Not over the window: the leave comes at once.
    tme.dwFlags = TME_LEAVE;
    ASSERT_TRUE(TrackMouseEvent(&tme));
    got = drain();
    ASSERT_EQ(std::vector<UINT>{WM_MOUSELEAVE}, messagesOf(got, WM_MOUSELEAVE, WM_MOUSELEAVE));
    // Cancelled tracking gives nothing.
    tme.hwndTrack = beside;
    ASSERT_TRUE(TrackMouseEvent(&tme));
    tme.dwFlags = TME_LEAVE | TME_CANCEL;
    ASSERT_TRUE(TrackMouseEvent(&tme));
    PlatMouseMove(50, 50);
    EXPECT_TRUE(messagesOf(drain(), WM_MOUSELEAVE, WM_MOUSELEAVE).empty());
    tme.cbSize = 3;
    EXPECT_FALSE(TrackMouseEvent(&tme));
}

TEST_F(Input, StaticControlsLetClicksThroughAndWheelsClimbToTheParent) {
    HWND parent = make(WS_POPUP, 0, 0, 200, 200);
    HWND label = CreateWindowExA(0, "STATIC", "label", WS_CHILD | WS_VISIBLE, 10, 10, 80, 20,
                                 parent, nullptr, nullptr, nullptr);
    HWND focusChild = make(WS_CHILD, 100, 100, 50, 50, parent);
    m_made.push_back(label);
    drain();
    PlatMouseMove(20, 15);
    PlatMouseButton(VK_LBUTTON, TRUE);
    PlatMouseButton(VK_LBUTTON, FALSE);
    std::vector<MSG> got = drain();
    std::vector<HWND> targets;
    for (const MSG& m : got) {
        if (m.message == WM_LBUTTONDOWN) {
            targets.push_back(m.hwnd);
        }
    }
    EXPECT_EQ(std::vector<HWND>{parent}, targets);
    SetFocus(focusChild);
    Recorder::mine().clear();
    PlatMouseWheel(-WHEEL_DELTA);
    got = drain();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(focusChild, got.back().hwnd);
    EXPECT_EQ(static_cast<SHORT>(-WHEEL_DELTA), static_cast<SHORT>(HIWORD(got.back().wParam)));
    EXPECT_EQ((std::vector<UINT>{WM_MOUSEWHEEL}), Recorder::mine().of(parent));
}

} // namespace
