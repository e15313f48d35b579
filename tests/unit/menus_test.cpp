// Menu objects: items built, read back with every mask in both structure sizes, changed and
// removed, found by command through sub-menus; the documented text exchange; dead handles; and
// a random model of insertions and removals by position.
#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

MENUITEMINFOA info(UINT mask, UINT size = sizeof(MENUITEMINFOA)) {
    MENUITEMINFOA mi{};
    mi.cbSize = size;
    mi.fMask = mask;
    return mi;
}

BOOL insertText(HMENU menu, UINT pos, UINT id, const char* text, UINT state = 0,
                UINT size = sizeof(MENUITEMINFOA)) {
    MENUITEMINFOA mi = info(MIIM_ID | MIIM_TYPE | MIIM_STATE, size);
    mi.wID = id;
    mi.fState = state;
    mi.dwTypeData = const_cast<LPSTR>(text);
    return InsertMenuItemA(menu, pos, TRUE, &mi);
}

TEST(Menus, ItemsReadBackWithEveryMaskInBothSizes) {
    for (UINT size : {static_cast<UINT>(MENUITEMINFOA_V1_SIZE), UINT{sizeof(MENUITEMINFOA)}}) {
        HMENU menu = CreatePopupMenu();
        HMENU sub = CreatePopupMenu();
        MENUITEMINFOA in = info(MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_DATA |
                                    MIIM_FTYPE | MIIM_STRING | MIIM_BITMAP,
                                size);
        in.fType = MFT_RADIOCHECK;
        in.fState = MFS_CHECKED | MFS_DEFAULT;
        in.wID = 42;
        in.hSubMenu = sub;
        in.hbmpChecked = reinterpret_cast<HBITMAP>(0x10);
        in.hbmpUnchecked = reinterpret_cast<HBITMAP>(0x20);
        in.dwItemData = 0x1234;
        in.dwTypeData = const_cast<LPSTR>("&Open\tCtrl+O");
        in.hbmpItem = reinterpret_cast<HBITMAP>(0x30);
        ASSERT_TRUE(InsertMenuItemA(menu, 0, TRUE, &in));

        char text[32] = "";
        MENUITEMINFOA out = info(in.fMask, size);
        out.dwTypeData = text;
        out.cch = sizeof text;
        ASSERT_TRUE(GetMenuItemInfoA(menu, 0, TRUE, &out));
        EXPECT_EQ(UINT{MFT_RADIOCHECK}, out.fType);
        EXPECT_EQ(UINT{MFS_CHECKED | MFS_DEFAULT}, out.fState);
        EXPECT_EQ(42u, out.wID);
        EXPECT_EQ(sub, out.hSubMenu);
        EXPECT_EQ(in.hbmpChecked, out.hbmpChecked);
        EXPECT_EQ(in.hbmpUnchecked, out.hbmpUnchecked);
        EXPECT_EQ(ULONG_PTR{0x1234}, out.dwItemData);
        EXPECT_STREQ("&Open\tCtrl+O", text);
        EXPECT_EQ(12u, out.cch);
        // The first version has no hbmpItem: it is neither stored nor written.
        EXPECT_EQ(size == sizeof(MENUITEMINFOA) ? in.hbmpItem : nullptr, out.hbmpItem);

        // The older MIIM_TYPE reads type and text together; a non-string gives its value.
        MENUITEMINFOA bitmap = info(MIIM_TYPE, size);
        bitmap.fType = MFT_BITMAP;
        bitmap.dwTypeData = reinterpret_cast<LPSTR>(0x40);
        ASSERT_TRUE(SetMenuItemInfoA(menu, 42, FALSE, &bitmap));
        MENUITEMINFOA back = info(MIIM_TYPE, size);
        back.cch = 9;
        ASSERT_TRUE(GetMenuItemInfoA(menu, 0, TRUE, &back));
        EXPECT_EQ(UINT{MFT_BITMAP}, back.fType);
        EXPECT_EQ(bitmap.dwTypeData, back.dwTypeData);
        EXPECT_EQ(0u, back.cch);
        EXPECT_TRUE(DestroyMenu(menu));
        EXPECT_FALSE(IsMenu(sub));
    }
}

TEST(Menus, RefusedSizesAndMasks) {
    HMENU menu = CreatePopupMenu();
    ASSERT_TRUE(insertText(menu, 0, 1, "a"));
    for (UINT size : {0u, 44u, static_cast<UINT>(MENUITEMINFOA_V1_SIZE - 4),
                      static_cast<UINT>(sizeof(MENUITEMINFOA) + 4)}) {
        SCOPED_TRACE(size);
        MENUITEMINFOA mi = info(MIIM_ID, size);
        SetLastError(0);
        EXPECT_FALSE(InsertMenuItemA(menu, 0, TRUE, &mi));
        EXPECT_EQ(DWORD{ERROR_INVALID_PARAMETER}, GetLastError());
        EXPECT_FALSE(SetMenuItemInfoA(menu, 0, TRUE, &mi));
        EXPECT_FALSE(GetMenuItemInfoA(menu, 0, TRUE, &mi));
        EXPECT_EQ(DWORD{ERROR_INVALID_PARAMETER}, GetLastError());
    }
    for (UINT mixed : {MIIM_FTYPE, MIIM_STRING, MIIM_BITMAP}) {
        MENUITEMINFOA mi = info(MIIM_TYPE | mixed);
        EXPECT_FALSE(InsertMenuItemA(menu, 0, TRUE, &mi));
    }
    // A sub-menu must be a menu, and no menu may hold itself.
    HMENU sub = CreatePopupMenu();
    MENUITEMINFOA mi = info(MIIM_SUBMENU);
    mi.hSubMenu = reinterpret_cast<HMENU>(0x1234);
    SetLastError(0);
    EXPECT_FALSE(InsertMenuItemA(menu, 0, TRUE, &mi));
    EXPECT_EQ(DWORD{ERROR_INVALID_MENU_HANDLE}, GetLastError());
    EXPECT_TRUE(AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "sub"));
    EXPECT_FALSE(AppendMenuA(sub, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), "back"));
    EXPECT_FALSE(AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), "self"));
    EXPECT_EQ(2, GetMenuItemCount(menu));
    EXPECT_EQ(0, GetMenuItemCount(sub));
    DestroyMenu(menu);
}

TEST(Menus, TextExchangeFollowsTheBufferSize) {
    HMENU menu = CreatePopupMenu();
    ASSERT_TRUE(insertText(menu, 0, 1, "Hello"));
    ASSERT_TRUE(insertText(menu, 1, 2, "Gr\u00f6\u00dfe")); // 7 bytes of UTF-8
    struct Case {
        UINT item, cch;
        const char* text;
        UINT cchAfter;
    } cases[] = {{0, 1, "", 0},         {0, 3, "He", 2},       {0, 5, "Hell", 4},
                 {0, 6, "Hello", 5},    {0, 40, "Hello", 5},   {1, 4, "Gr", 2},
                 {1, 5, "Gr\u00f6", 4}, {1, 6, "Gr\u00f6", 4}, {1, 8, "Gr\u00f6\u00dfe", 7}};
    for (UINT mask : {MIIM_TYPE, MIIM_STRING}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(c.item) + "/" + std::to_string(c.cch));
            char buffer[16];
            std::fill(std::begin(buffer), std::end(buffer), '#');
            MENUITEMINFOA mi = info(mask);
            mi.dwTypeData = buffer;
            mi.cch = c.cch;
            ASSERT_TRUE(GetMenuItemInfoA(menu, c.item, TRUE, &mi));
            EXPECT_STREQ(c.text, buffer);
            EXPECT_EQ(c.cchAfter, mi.cch);
            if (c.cch < sizeof buffer) {
                EXPECT_EQ('#', buffer[c.cch]); // nothing written past the buffer
            }
        }
        // No buffer (or none of any size) asks for the length.
        MENUITEMINFOA mi = info(mask);
        mi.cch = 3;
        ASSERT_TRUE(GetMenuItemInfoA(menu, 1, TRUE, &mi));
        EXPECT_EQ(7u, mi.cch);
    }
    char buffer[8] = "zzzzzzz";
    EXPECT_EQ(5, GetMenuStringA(menu, 1, nullptr, 0, MF_BYCOMMAND));
    EXPECT_EQ(2, GetMenuStringA(menu, 1, buffer, 3, MF_BYCOMMAND));
    EXPECT_STREQ("He", buffer);
    EXPECT_EQ(4, GetMenuStringA(menu, 1, buffer, 6, MF_BYPOSITION));
    EXPECT_STREQ("Gr\u00f6", buffer);
    EXPECT_EQ(0, GetMenuStringA(menu, 9, buffer, 6, MF_BYPOSITION));
    DestroyMenu(menu);
}

TEST(Menus, ByCommandThroughSubMenusAndOlderCalls) {
    HMENU menu = CreatePopupMenu();
    HMENU sub = CreatePopupMenu();
    HMENU deeper = CreatePopupMenu();
    ASSERT_TRUE(AppendMenuA(menu, MF_STRING, 10, "Ten"));
    ASSERT_TRUE(AppendMenuA(menu, MF_SEPARATOR, 0, nullptr));
    ASSERT_TRUE(AppendMenuA(menu, MF_POPUP | MF_CHECKED, reinterpret_cast<UINT_PTR>(sub), "Sub"));
    ASSERT_TRUE(AppendMenuA(sub, MF_STRING | MF_GRAYED, 20, "Twenty"));
    ASSERT_TRUE(AppendMenuA(sub, MF_POPUP, reinterpret_cast<UINT_PTR>(deeper), "Deeper"));
    ASSERT_TRUE(AppendMenuA(deeper, MF_STRING, 30, "Thirty"));

    EXPECT_EQ(UINT{MF_SEPARATOR}, GetMenuState(menu, 1, MF_BYPOSITION));
    EXPECT_EQ(UINT{0x0200 | MF_POPUP | MF_CHECKED}, GetMenuState(menu, 2, MF_BYPOSITION));
    EXPECT_EQ(UINT{MF_GRAYED}, GetMenuState(menu, 20, MF_BYCOMMAND));
    EXPECT_EQ(0u, GetMenuState(menu, 30, MF_BYCOMMAND));
    EXPECT_EQ(0xFFFFFFFFu, GetMenuState(menu, 99, MF_BYCOMMAND));
    EXPECT_EQ(0xFFFFFFFFu, GetMenuItemID(menu, 2)); // opens a sub-menu
    EXPECT_EQ(0xFFFFFFFFu, GetMenuItemID(menu, 9));
    EXPECT_EQ(0u, GetMenuItemID(menu, 1));
    EXPECT_EQ(sub, GetSubMenu(menu, 2));
    EXPECT_EQ(nullptr, GetSubMenu(menu, 0));
    MENUITEMINFOA mi = info(MIIM_ID);
    ASSERT_TRUE(GetMenuItemInfoA(menu, 2, TRUE, &mi));
    EXPECT_EQ(static_cast<UINT>(reinterpret_cast<UINT_PTR>(sub)), mi.wID);

    EXPECT_EQ(DWORD{MF_UNCHECKED}, CheckMenuItem(menu, 30, MF_CHECKED));
    EXPECT_EQ(DWORD{MF_CHECKED}, CheckMenuItem(menu, 30, MF_UNCHECKED));
    EXPECT_EQ(0xFFFFFFFFu, CheckMenuItem(menu, 99, MF_CHECKED));
    EXPECT_EQ(BOOL{MF_GRAYED}, EnableMenuItem(menu, 20, MF_DISABLED));
    EXPECT_EQ(BOOL{MF_DISABLED}, EnableMenuItem(menu, 20, MF_ENABLED));
    EXPECT_EQ(BOOL{MF_ENABLED}, EnableMenuItem(menu, 0, MF_BYPOSITION | MF_GRAYED));
    EXPECT_EQ(-1, EnableMenuItem(menu, 99, MF_GRAYED));

    // Insertion by command goes before the item in whichever menu holds it.
    mi = info(MIIM_ID | MIIM_STRING);
    mi.wID = 25;
    mi.dwTypeData = const_cast<LPSTR>("Twenty-five");
    ASSERT_TRUE(InsertMenuItemA(menu, 30, FALSE, &mi));
    EXPECT_EQ(25u, GetMenuItemID(deeper, 0));
    SetLastError(0);
    EXPECT_FALSE(InsertMenuItemA(menu, 99, FALSE, &mi));
    EXPECT_EQ(DWORD{ERROR_MENU_ITEM_NOT_FOUND}, GetLastError());
    EXPECT_TRUE(InsertMenuA(menu, 99, MF_BYCOMMAND | MF_STRING, 40, "Forty")); // appended
    EXPECT_EQ(40u, GetMenuItemID(menu, 3));

    EXPECT_TRUE(ModifyMenuA(menu, 30, MF_BYCOMMAND | MF_STRING | MF_CHECKED, 31, "Changed"));
    EXPECT_EQ(UINT{MF_CHECKED}, GetMenuState(deeper, 31, MF_BYCOMMAND));
    EXPECT_TRUE(RemoveMenu(menu, 25, MF_BYCOMMAND));
    EXPECT_EQ(1, GetMenuItemCount(deeper));
    // Replacing the item that opens a sub-menu destroys the sub-menu, as documented.
    EXPECT_TRUE(ModifyMenuA(sub, 1, MF_BYPOSITION | MF_STRING, 50, "Plain"));
    EXPECT_FALSE(IsMenu(deeper));
    // RemoveMenu keeps a sub-menu alive, DeleteMenu destroys it.
    EXPECT_TRUE(RemoveMenu(menu, 2, MF_BYPOSITION));
    EXPECT_TRUE(IsMenu(sub));
    ASSERT_TRUE(AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "Sub"));
    EXPECT_TRUE(DeleteMenu(menu, 3, MF_BYPOSITION));
    EXPECT_FALSE(IsMenu(sub));
    EXPECT_FALSE(DeleteMenu(menu, 30, MF_BYPOSITION));
    DestroyMenu(menu);
}

TEST(Menus, DefaultItem) {
    HMENU menu = CreatePopupMenu();
    HMENU sub = CreatePopupMenu();
    ASSERT_TRUE(AppendMenuA(menu, MF_STRING, 1, "one"));
    ASSERT_TRUE(AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "sub"));
    ASSERT_TRUE(AppendMenuA(sub, MF_STRING, 7, "seven"));
    const UINT subId = static_cast<UINT>(reinterpret_cast<UINT_PTR>(sub));
    EXPECT_EQ(0xFFFFFFFFu, GetMenuDefaultItem(menu, FALSE, 0));
    EXPECT_FALSE(SetMenuDefaultItem(menu, 7, FALSE)); // only the menu's own items
    EXPECT_TRUE(SetMenuDefaultItem(menu, 1, FALSE));
    EXPECT_EQ(1u, GetMenuDefaultItem(menu, FALSE, 0));
    EXPECT_TRUE(SetMenuDefaultItem(menu, 1, TRUE));
    EXPECT_EQ(UINT{MF_STRING}, GetMenuState(menu, 0, MF_BYPOSITION));
    EXPECT_EQ(1u, GetMenuDefaultItem(menu, TRUE, 0));
    EXPECT_EQ(subId, GetMenuDefaultItem(menu, FALSE, GMDI_GOINTOPOPUPS));
    EXPECT_TRUE(SetMenuDefaultItem(sub, 0, TRUE));
    EXPECT_EQ(7u, GetMenuDefaultItem(menu, FALSE, GMDI_GOINTOPOPUPS));
    EXPECT_EQ(0u, GetMenuDefaultItem(menu, TRUE, GMDI_GOINTOPOPUPS));
    EnableMenuItem(sub, 7, MF_GRAYED);
    EXPECT_EQ(subId, GetMenuDefaultItem(menu, FALSE, GMDI_GOINTOPOPUPS));
    EXPECT_EQ(7u, GetMenuDefaultItem(menu, FALSE, GMDI_GOINTOPOPUPS | GMDI_USEDISABLED));
    EXPECT_TRUE(SetMenuDefaultItem(menu, 0xFFFFFFFF, TRUE));
    EXPECT_EQ(0xFFFFFFFFu, GetMenuDefaultItem(menu, TRUE, 0));
    DestroyMenu(menu);
}

TEST(Menus, DeadHandlesFailEverywhere) {
    HMENU dead = CreateMenu();
    ASSERT_TRUE(DestroyMenu(dead));
    MENUITEMINFOA mi = info(MIIM_ID);
    char text[4];
    const std::vector<std::pair<const char*, bool>> calls = {
        {"DestroyMenu", DestroyMenu(dead) == FALSE},
        {"IsMenu", IsMenu(dead) == FALSE},
        {"InsertMenuItemA", InsertMenuItemA(dead, 0, TRUE, &mi) == FALSE},
        {"SetMenuItemInfoA", SetMenuItemInfoA(dead, 0, TRUE, &mi) == FALSE},
        {"GetMenuItemInfoA", GetMenuItemInfoA(dead, 0, TRUE, &mi) == FALSE},
        {"AppendMenuA", AppendMenuA(dead, MF_STRING, 1, "x") == FALSE},
        {"ModifyMenuA", ModifyMenuA(dead, 0, MF_BYPOSITION, 1, "x") == FALSE},
        {"RemoveMenu", RemoveMenu(dead, 0, MF_BYPOSITION) == FALSE},
        {"DeleteMenu", DeleteMenu(dead, 0, MF_BYPOSITION) == FALSE},
        {"GetMenuItemCount", GetMenuItemCount(dead) == -1},
        {"GetMenuItemID", GetMenuItemID(dead, 0) == 0xFFFFFFFFu},
        {"GetMenuState", GetMenuState(dead, 0, MF_BYPOSITION) == 0xFFFFFFFFu},
        {"GetMenuStringA", GetMenuStringA(dead, 0, text, 4, MF_BYPOSITION) == 0},
        {"GetSubMenu", GetSubMenu(dead, 0) == nullptr},
        {"CheckMenuItem", CheckMenuItem(dead, 0, MF_CHECKED) == 0xFFFFFFFFu},
        {"EnableMenuItem", EnableMenuItem(dead, 0, MF_GRAYED) == -1},
        {"SetMenuDefaultItem", SetMenuDefaultItem(dead, 0, TRUE) == FALSE},
        {"GetMenuDefaultItem", GetMenuDefaultItem(dead, TRUE, 0) == 0xFFFFFFFFu},
    };
    for (const auto& call : calls) {
        EXPECT_TRUE(call.second) << call.first;
    }
    SetLastError(0);
    EXPECT_FALSE(DestroyMenu(dead));
    EXPECT_EQ(DWORD{ERROR_INVALID_MENU_HANDLE}, GetLastError());
    EXPECT_FALSE(IsMenu(nullptr));
}

TEST(Menus, RandomInsertionsAndRemovalsFollowAModel) {
    std::mt19937 random(20261207);
    HMENU menu = CreatePopupMenu();
    std::vector<UINT> model;
    for (UINT step = 1; step <= 600; ++step) {
        const UINT pos = random() % (model.size() + 3); // past the end too
        switch (random() % 4) {
        case 0:
        case 1: {
            const bool append = random() % 8 == 0;
            ASSERT_TRUE(insertText(menu, append ? 0xFFFFFFFF : pos, step, "item"));
            model.insert(!append && pos < model.size() ? model.begin() + pos : model.end(), step);
            break;
        }
        case 2:
            EXPECT_EQ(pos < model.size(), RemoveMenu(menu, pos, MF_BYPOSITION) != FALSE);
            if (pos < model.size()) {
                model.erase(model.begin() + pos);
            }
            break;
        default:
            if (!model.empty()) {
                const UINT id = model[pos % model.size()];
                EXPECT_TRUE(DeleteMenu(menu, id, MF_BYCOMMAND));
                model.erase(model.begin() + pos % model.size());
            }
        }
        ASSERT_EQ(static_cast<int>(model.size()), GetMenuItemCount(menu));
    }
    for (std::size_t i = 0; i < model.size(); ++i) {
        EXPECT_EQ(model[i], GetMenuItemID(menu, static_cast<int>(i)));
    }
    DestroyMenu(menu);
}

} // namespace
