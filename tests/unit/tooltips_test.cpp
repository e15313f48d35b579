// The tooltip control: tools counted, added, read back in each TOOLINFOA version and removed;
// delays and colours; text given, from a string resource and from the owner; and the tip
// after a driven hover: its text, place and colours on the screen, hidden on leave, click
// and auto-pop, nothing while inactive, and tool windows or the control going while it shows.
#include "support/pictures.h"
#include "support/res_image.h"
#include "support/windows.h"

#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using korutil::test::makeWindow;
using korutil::test::pump;
using korutil::test::Recorder;
using korutil::test::screenOnFailure;

const HINSTANCE kStrings = reinterpret_cast<HINSTANCE>(0x3000);
constexpr UINT_PTR kSentinel = 77;

TTTOOLINFOA toolInfo(HWND owner, UINT_PTR id, const char* text, UINT size = TTTOOLINFOA_V3_SIZE,
                     UINT flags = TTF_IDISHWND | TTF_SUBCLASS) {
    TTTOOLINFOA ti{};
    ti.cbSize = size;
    ti.uFlags = flags;
    ti.hwnd = owner;
    ti.uId = id;
    ti.lpszText = const_cast<LPSTR>(text);
    return ti;
}

// Dispatches messages until `done`, waiting for each; false if it never came.
bool pumpUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 4000 && !done(); ++i) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        pump();
    }
    return done();
}

class Tooltips : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
        ASSERT_TRUE(InitCommonControlsEx(&icc));
        Recorder::mine().clear();
        Recorder::mine().answer = nullptr;
        m_owner = makeWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400, 300);
        m_tool = makeWindow(WS_CHILD | WS_VISIBLE, 20, 20, 120, 60, m_owner, 0, 5);
        m_other = makeWindow(WS_CHILD | WS_VISIBLE, 200, 20, 120, 60, m_owner, 0, 6);
        m_tip = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, TTS_ALWAYSTIP, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_owner, nullptr,
                                nullptr, nullptr);
        ASSERT_NE(nullptr, m_tip);
        SendMessageA(m_tip, TTM_SETDELAYTIME, TTDT_INITIAL, 10);
        SendMessageA(m_tip, TTM_SETDELAYTIME, TTDT_RESHOW, 10);
        PlatMouseMove(5, 5);
        pump();
    }
    void TearDown() override {
        Recorder::mine().answer = nullptr;
        if (IsWindow(m_tip)) {
            DestroyWindow(m_tip);
        }
        DestroyWindow(m_owner);
        pump();
    }
    // Moves the mouse into a window (client coordinates) and waits for the tip to show.
    bool hover(HWND window, int x = 30, int y = 30) {
        POINT pt{x, y};
        ClientToScreen(window, &pt);
        PlatMouseMove(pt.x, pt.y);
        // Shown for this place: a tip shows at the cursor.
        return pumpUntil([&] {
            RECT r;
            GetWindowRect(m_tip, &r);
            return IsWindowVisible(m_tip) && r.left == pt.x;
        });
    }
    // Waits well past the delays on an event of its own: a timer of the owner.
    void waitPastDelays() {
        bool fired = false;
        Recorder::mine().answer = [&](HWND, UINT m, WPARAM w, LPARAM) -> std::optional<LRESULT> {
            fired = fired || (m == WM_TIMER && w == kSentinel);
            return std::nullopt;
        };
        SetTimer(m_owner, kSentinel, 200, nullptr);
        pumpUntil([&] { return fired; });
        KillTimer(m_owner, kSentinel);
        Recorder::mine().answer = nullptr;
    }
    std::string text(HWND owner, UINT_PTR id) {
        char buffer[64] = "unchanged";
        TTTOOLINFOA ti = toolInfo(owner, id, buffer);
        SendMessageA(m_tip, TTM_GETTEXTA, sizeof buffer, reinterpret_cast<LPARAM>(&ti));
        return buffer;
    }
    UINT_PTR idOf(HWND w) { return reinterpret_cast<UINT_PTR>(w); }

    HWND m_owner = nullptr;
    HWND m_tool = nullptr;
    HWND m_other = nullptr;
    HWND m_tip = nullptr;
};

TEST_F(Tooltips, ToolsInEachVersionOfTheStructure) {
    INITCOMMONCONTROLSEX bad{4, ICC_BAR_CLASSES};
    SetLastError(0);
    EXPECT_FALSE(InitCommonControlsEx(&bad));
    EXPECT_EQ(DWORD{ERROR_INVALID_PARAMETER}, GetLastError());
    EXPECT_EQ(DWORD{WS_POPUP},
              static_cast<DWORD>(GetWindowLongA(m_tip, GWL_STYLE)) & (WS_POPUP | WS_CAPTION));
    EXPECT_EQ(m_owner, GetWindow(m_tip, GW_OWNER));
    EXPECT_FALSE(IsWindowVisible(m_tip));

    for (UINT size : {0u, 40u, static_cast<UINT>(TTTOOLINFOA_V3_SIZE + 8)}) {
        TTTOOLINFOA ti = toolInfo(m_owner, 1, "x", size);
        EXPECT_EQ(FALSE, SendMessageA(m_tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti)));
    }
    const UINT sizes[] = {TTTOOLINFOA_V1_SIZE, TTTOOLINFOA_V2_SIZE, TTTOOLINFOA_V3_SIZE};
    for (UINT i = 0; i < 3; ++i) {
        TTTOOLINFOA ti = toolInfo(m_owner, 100 + i, "text", sizes[i], 0);
        ti.rect = RECT{1, 2, 3, 4};
        ti.lParam = 0x55;
        EXPECT_EQ(TRUE, SendMessageA(m_tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti)));
    }
    EXPECT_EQ(3, SendMessageA(m_tip, TTM_GETTOOLCOUNT, 0, 0));
    for (UINT i = 0; i < 3; ++i) {
        char buffer[16] = "";
        TTTOOLINFOA ti = toolInfo(m_owner, 100 + i, buffer, sizes[i], 0);
        ti.lParam = 0x77;
        ASSERT_EQ(TRUE, SendMessageA(m_tip, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&ti)));
        EXPECT_STREQ("text", buffer);
        EXPECT_EQ(4, ti.rect.bottom);
        // The first version has no lParam: neither stored nor written.
        EXPECT_EQ(i == 0 ? 0x77 : 0x55, ti.lParam) << i;
    }
    TTTOOLINFOA gone = toolInfo(m_owner, 101, nullptr);
    SendMessageA(m_tip, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&gone));
    SendMessageA(m_tip, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&gone)); // not there now
    EXPECT_EQ(2, SendMessageA(m_tip, TTM_GETTOOLCOUNT, 0, 0));
    EXPECT_EQ(FALSE, SendMessageA(m_tip, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&gone)));

    TTTOOLINFOA update = toolInfo(m_owner, 102, "changed", TTTOOLINFOA_V1_SIZE);
    SendMessageA(m_tip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&update));
    EXPECT_EQ("changed", text(m_owner, 102));
    char small[4] = "zzz";
    TTTOOLINFOA ti = toolInfo(m_owner, 102, small);
    SendMessageA(m_tip, TTM_GETTEXTA, 4, reinterpret_cast<LPARAM>(&ti));
    EXPECT_STREQ("cha", small);

    // A rectangle tool found by a hit test, and a miss.
    TTHITTESTINFOA hit{};
    hit.hwnd = m_owner;
    hit.pt = POINT{2, 3};
    hit.ti.cbSize = TTTOOLINFOA_V2_SIZE;
    EXPECT_EQ(TRUE, SendMessageA(m_tip, TTM_HITTESTA, 0, reinterpret_cast<LPARAM>(&hit)));
    EXPECT_EQ(UINT_PTR{100}, hit.ti.uId);
    hit.pt = POINT{30, 30};
    EXPECT_EQ(FALSE, SendMessageA(m_tip, TTM_HITTESTA, 0, reinterpret_cast<LPARAM>(&hit)));
}

TEST_F(Tooltips, DelaysAndColours) {
    HWND fresh = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, 0, 0, 0, 0, 0, m_owner, nullptr,
                                 nullptr, nullptr);
    const LRESULT base = GetDoubleClickTime();
    auto delays = [&](HWND w) {
        return std::vector<LRESULT>{SendMessageA(w, TTM_GETDELAYTIME, TTDT_INITIAL, 0),
                                    SendMessageA(w, TTM_GETDELAYTIME, TTDT_AUTOPOP, 0),
                                    SendMessageA(w, TTM_GETDELAYTIME, TTDT_RESHOW, 0)};
    };
    EXPECT_EQ((std::vector<LRESULT>{base, 10 * base, base / 5}), delays(fresh));
    SendMessageA(fresh, TTM_SETDELAYTIME, TTDT_AUTOMATIC, MAKELPARAM(1000, 0));
    EXPECT_EQ((std::vector<LRESULT>{1000, 10000, 200}), delays(fresh));
    SendMessageA(fresh, TTM_SETDELAYTIME, TTDT_AUTOPOP, 1234);
    SendMessageA(fresh, TTM_SETDELAYTIME, TTDT_INITIAL, MAKELPARAM(-1, 0)); // back to default
    EXPECT_EQ((std::vector<LRESULT>{base, 1234, 200}), delays(fresh));
    EXPECT_EQ(LRESULT{GetSysColor(COLOR_INFOBK)}, SendMessageA(fresh, TTM_GETTIPBKCOLOR, 0, 0));
    EXPECT_EQ(LRESULT{GetSysColor(COLOR_INFOTEXT)}, SendMessageA(fresh, TTM_GETTIPTEXTCOLOR, 0, 0));
    SendMessageA(fresh, TTM_SETTIPBKCOLOR, RGB(1, 2, 3), 0);
    EXPECT_EQ(LRESULT{RGB(1, 2, 3)}, SendMessageA(fresh, TTM_GETTIPBKCOLOR, 0, 0));
    DestroyWindow(fresh);
}

TEST_F(Tooltips, TextFromAStringResourceAndFromTheOwner) {
    const std::vector<unsigned char> res =
        korutil::test::ResImage()
            .strings(1, {"", "", "", "", "", "", "", "From resources"})
            .bytes();
    ASSERT_TRUE(PlatRegisterResources(kStrings, res.data(), static_cast<DWORD>(res.size())));
    TTTOOLINFOA ti = toolInfo(m_owner, idOf(m_tool), MAKEINTRESOURCEA(7));
    ti.hinst = kStrings;
    SendMessageA(m_tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
    EXPECT_EQ("From resources", text(m_owner, idOf(m_tool)));
    TTTOOLINFOA back = toolInfo(m_owner, idOf(m_tool), nullptr);
    SendMessageA(m_tip, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&back));
    EXPECT_EQ(MAKEINTRESOURCEA(7), back.lpszText);
    EXPECT_EQ(kStrings, back.hinst);
    ti.uId = 9;
    ti.lpszText = MAKEINTRESOURCEA(8); // no such string: an empty text
    SendMessageA(m_tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
    EXPECT_EQ("", text(m_owner, 9));
    EXPECT_TRUE(hover(m_tool));

    // LPSTR_TEXTCALLBACKA asks the owner with TTN_GETDISPINFOA when the tip is to show.
    TTTOOLINFOA cb = toolInfo(m_owner, idOf(m_other), LPSTR_TEXTCALLBACKA);
    SendMessageA(m_tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&cb));
    int asked = 0;
    Recorder::mine().answer = [&](HWND, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
        auto* info = reinterpret_cast<NMTTDISPINFOA*>(l);
        if (m == WM_NOTIFY && info->hdr.code == TTN_GETDISPINFOA) {
            ++asked;
            std::strcpy(info->szText, "Asked");
            return 0;
        }
        return std::nullopt;
    };
    EXPECT_EQ("Asked", text(m_owner, idOf(m_other)));
    EXPECT_TRUE(hover(m_other)) << "moving on reshows";
    EXPECT_EQ(2, asked);
    PlatUnregisterResources(kStrings);
}

TEST_F(Tooltips, ATipShowsAfterARestingHoverAndGoes) {
    TTTOOLINFOA ti = toolInfo(m_owner, idOf(m_tool), "Hello tip");
    ASSERT_EQ(TRUE, SendMessageA(m_tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti)));
    ASSERT_TRUE(hover(m_tool));
    POINT cursor;
    GetCursorPos(&cursor);
    RECT r;
    GetWindowRect(m_tip, &r);
    EXPECT_EQ(cursor.x, r.left);
    EXPECT_GT(r.top, cursor.y);
    EXPECT_GT(r.right - r.left, 40);
    EXPECT_TRUE(GetWindowLongA(m_tip, GWL_EXSTYLE) & WS_EX_TOPMOST);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetSysColor(COLOR_WINDOWFRAME), GetPixel(screen, r.left, r.top));
    EXPECT_EQ(GetSysColor(COLOR_INFOBK), GetPixel(screen, r.left + 2, r.top + 2));
    bool text = false;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left + 1; x < r.right - 1; ++x) {
            text = text || GetPixel(screen, x, y) == GetSysColor(COLOR_INFOTEXT);
        }
    }
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(text);
    const std::string note = screenOnFailure("tip");
    if (HasFailure()) {
        ADD_FAILURE() << note;
    }

    // Gone when the mouse leaves the tool, when it clicks, and after the auto-pop delay.
    PlatMouseMove(r.right + 200, cursor.y);
    EXPECT_TRUE(pumpUntil([&] { return !IsWindowVisible(m_tip); })) << "leave";
    ASSERT_TRUE(hover(m_tool));
    PlatMouseButton(VK_LBUTTON, TRUE);
    PlatMouseButton(VK_LBUTTON, FALSE);
    EXPECT_TRUE(pumpUntil([&] { return !IsWindowVisible(m_tip); })) << "click";
    SendMessageA(m_tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, 20);
    POINT away{30, 30};
    ClientToScreen(m_other, &away); // no tool there
    PlatMouseMove(away.x, away.y);
    pump();
    ASSERT_TRUE(hover(m_tool));
    EXPECT_TRUE(pumpUntil([&] { return !IsWindowVisible(m_tip); })) << "auto-pop";
}

TEST_F(Tooltips, NothingShowsWhileInactive) {
    TTTOOLINFOA ti = toolInfo(m_owner, idOf(m_tool), "Hello tip");
    SendMessageA(m_tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
    SendMessageA(m_tip, TTM_ACTIVATE, FALSE, 0);
    POINT pt{30, 30};
    ClientToScreen(m_tool, &pt);
    PlatMouseMove(pt.x, pt.y);
    waitPastDelays();
    EXPECT_FALSE(IsWindowVisible(m_tip));
    SendMessageA(m_tip, TTM_ACTIVATE, TRUE, 0);
    PlatMouseMove(pt.x + 1, pt.y);
    EXPECT_TRUE(pumpUntil([&] { return IsWindowVisible(m_tip) != FALSE; }));

    // Without TTS_ALWAYSTIP the owner's window must be the active one.
    SetWindowLongA(m_tip, GWL_STYLE, GetWindowLongA(m_tip, GWL_STYLE) & ~TTS_ALWAYSTIP);
    SendMessageA(m_tip, TTM_POP, 0, 0);
    HWND elsewhere = makeWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 600, 400, 100, 100);
    PlatMouseMove(pt.x + 2, pt.y);
    waitPastDelays();
    EXPECT_FALSE(IsWindowVisible(m_tip));
    DestroyWindow(elsewhere);
    SetActiveWindow(m_owner);
    PlatMouseMove(pt.x + 3, pt.y);
    EXPECT_TRUE(pumpUntil([&] { return IsWindowVisible(m_tip) != FALSE; }));
}

TEST_F(Tooltips, ToolWindowOrControlGoingWhileATipShows) {
    TTTOOLINFOA ti = toolInfo(m_owner, idOf(m_tool), "Hello tip");
    SendMessageA(m_tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
    ti.uId = idOf(m_other);
    SendMessageA(m_tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
    ASSERT_TRUE(hover(m_tool));
    DestroyWindow(m_tool);
    pump();
    EXPECT_FALSE(IsWindowVisible(m_tip));
    ASSERT_TRUE(hover(m_other));
    DestroyWindow(m_tip);
    POINT pt{40, 40};
    ClientToScreen(m_other, &pt);
    PlatMouseMove(pt.x, pt.y);
    pump();
    EXPECT_TRUE(IsWindow(m_other));
}

} // namespace
