// CMenu built and read back (the layer's own tests drive its menus); CToolTip's tools counted
// and a tip shown after a driven hover, with its text from a string resource.
#include "support/pictures.h"
#include "support/windows.h"

#include <korutil/ui.h>

#include <gtest/gtest.h>

#include <cstddef>

namespace {

using korutil::test::makeWindow;
using korutil::test::pump;

constexpr int kTipString = 7001; // in the test program's resource script

// The structure versions the helpers pass have the 32-bit sizes of the documented versions.
static_assert(sizeof(void*) != 4 || offsetof(MENUITEMINFOA, hbmpItem) == 44);
static_assert(sizeof(void*) != 4 || offsetof(TTTOOLINFOA, lParam) == 40);

void buildMenu(CMenu& menu) {
    ASSERT_EQ(1, menu.CreatePopup());
    ASSERT_EQ(1, menu.Add(11, "&Open", 1, 0, 1, 0xFFFFFFFF));
    ASSERT_EQ(1, menu.Add(12, "Disabled", 0, 0, 0, 0xFFFFFFFF));
    ASSERT_EQ(1, menu.AddSeparator(0xFFFFFFFF));
    ASSERT_EQ(1, menu.Add(13, "Checked", 1, 1, 0, 0xFFFFFFFF));
    ASSERT_EQ(1, menu.Add(10, "First", 1, 0, 0, 0)); // inserted before "Open"
}

TEST(CMenu, AddsItemsWithTheirStatesAndReadsBack) {
    CMenu menu;
    buildMenu(menu);
    ASSERT_EQ(5, GetMenuItemCount(menu));
    const struct {
        UINT id;
        UINT state;
        const char* text;
    } items[] = {{10, 0, "First"},
                 {11, MFS_DEFAULT, "&Open"},
                 {12, MFS_GRAYED, "Disabled"},
                 {0, 0, ""},
                 {13, MFS_CHECKED, "Checked"}};
    for (UINT i = 0; i < 5; ++i) {
        char text[32] = {};
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_STATE | MIIM_STRING | MIIM_FTYPE;
        info.dwTypeData = text;
        info.cch = sizeof text;
        ASSERT_TRUE(GetMenuItemInfoA(menu, i, TRUE, &info)) << i;
        EXPECT_EQ(items[i].id, info.wID) << i;
        EXPECT_EQ(items[i].state, info.fState & (MFS_DEFAULT | MFS_GRAYED | MFS_CHECKED)) << i;
        EXPECT_STREQ(items[i].text, text) << i;
        EXPECT_EQ(i == 3, (info.fType & MFT_SEPARATOR) != 0) << i;
    }
    // A 32-bit-sized structure on this platform is a size of no version: refused.
    MENUITEMINFOA small{};
    small.cbSize = sizeof(void*) == 4 ? 40 : 44;
    small.fMask = MIIM_ID;
    EXPECT_FALSE(InsertMenuItemA(menu, 0, TRUE, &small));
    HMENU handle = menu;
    {
        CMenu kept(0);
        kept.m_hMenu = handle;
    }
    EXPECT_TRUE(IsMenu(handle)) << "autoDestroy 0 keeps the menu";
    menu.Destroy();
    EXPECT_FALSE(IsMenu(handle));
    EXPECT_EQ(0, menu.Add(1, "x", 1, 0, 0, 0)) << "a destroyed menu takes nothing";
}

TEST(CToolTip, CountsToolsAndShowsTheTipOfAHoveredOne) {
    INITCOMMONCONTROLSEX init{sizeof init, ICC_WIN95_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&init));
    HWND owner = makeWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200);
    HWND first = makeWindow(WS_CHILD | WS_VISIBLE, 10, 10, 40, 30, owner);
    HWND second = makeWindow(WS_CHILD | WS_VISIBLE, 60, 10, 40, 30, owner);
    SetForegroundWindow(owner);
    pump();
    CToolTip tip;
    ASSERT_EQ(1, tip.Create(owner, GetModuleHandleA(nullptr), 0));
    EXPECT_NE(0, tip.Add(first, kTipString, nullptr));
    EXPECT_NE(0, tip.Add(second, "Second tool", owner));
    EXPECT_EQ(2, SendMessageA(tip.m_hWnd, TTM_GETTOOLCOUNT, 0, 0));
    SendMessageA(tip.m_hWnd, TTM_SETDELAYTIME, TTDT_INITIAL, 5);

    // Waits up to a generous bound, pumping, for the tip to show (or not).
    auto shows = [&tip] {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < 1500) {
            pump();
            if (IsWindowVisible(tip.m_hWnd)) {
                return true;
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        return false;
    };
    POINT over{20, 20};
    ClientToScreen(owner, &over);
    PlatMouseMove(over.x, over.y);
    PlatMouseMove(over.x + 1, over.y);
    EXPECT_FALSE(shows()) << "an inactive control shows nothing";

    tip.Enable(1);
    PlatMouseMove(over.x + 2, over.y);
    ASSERT_TRUE(shows());
    char text[80] = {};
    TOOLINFOA hovered{};
    hovered.cbSize = TTTOOLINFOA_V1_SIZE;
    hovered.hwnd = owner;
    hovered.uId = reinterpret_cast<UINT_PTR>(first);
    hovered.lpszText = text;
    SendMessageA(tip.m_hWnd, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&hovered));
    EXPECT_STREQ("Opens a file", text);
    RECT box{};
    GetWindowRect(tip.m_hWnd, &box);
    HDC screen = GetDC(nullptr);
    const COLORREF inside = GetPixel(screen, box.left + 2, box.bottom - 3);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(GetSysColor(COLOR_INFOBK), inside) << korutil::test::screenOnFailure("tip");
    PlatMouseButton(VK_LBUTTON, TRUE);
    PlatMouseButton(VK_LBUTTON, FALSE);
    pump();
    EXPECT_FALSE(IsWindowVisible(tip.m_hWnd)) << "a click hides the tip";
    tip.Destroy();
    DestroyWindow(owner);
    pump();
}

} // namespace
