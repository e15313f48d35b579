// TrackPopupMenuEx driven by a second thread playing the user: clicks with either button,
// TPM_RETURNCMD and TPM_NONOTIFY, Escape, a click outside, arrow keys and Enter over
// separators and disabled items, a sub-menu, EndMenu and WM_CANCELMODE, placement, a menu or
// owner destroyed while tracked, and the drawn menu on the screen.
#include "support/pictures.h"
#include "support/windows.h"

#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using korutil::test::pump;
using korutil::test::screenOnFailure;

constexpr UINT kMenuUp = WM_APP + 1;  // posted at WM_INITMENUPOPUP: handled once it shows
constexpr UINT kEndMenu = WM_APP + 2; // EndMenu on the tracking thread
constexpr UINT kDestroy = WM_APP + 3; // the owner destroys itself
constexpr UINT kNotices[] = {WM_ENTERMENULOOP, WM_INITMENUPOPUP, WM_MENUSELECT, WM_UNINITMENUPOPUP,
                             WM_EXITMENULOOP,  WM_COMMAND,       kMenuUp};

struct Notice {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// What the owner heard, shared with the driving thread.
class Notices {
public:
    void add(const Notice& n) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_seen.push_back(n);
        m_changed.notify_all();
    }
    bool waitFor(const std::function<bool(const Notice&)>& match) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(20), [&] {
            for (std::size_t i = m_next; i < m_seen.size(); ++i) {
                if (match(m_seen[i])) {
                    m_next = i + 1;
                    return true;
                }
            }
            return false;
        });
    }
    std::vector<Notice> all() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_seen;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_seen.clear();
        m_next = 0;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Notice> m_seen;
    std::size_t m_next = 0;
};

Notices g_notices;

LRESULT CALLBACK ownerProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    for (UINT n : kNotices) {
        if (m == n) {
            g_notices.add(Notice{m, w, l});
        }
    }
    switch (m) {
    case WM_INITMENUPOPUP:
        PostMessageA(h, kMenuUp, w, 0);
        return 0;
    case kEndMenu:
        EndMenu();
        return 0;
    case kDestroy:
        DestroyWindow(h);
        return 0;
    default:
        return DefWindowProcA(h, m, w, l);
    }
}

HWND makeOwner() {
    static const char* name = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = ownerProc;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = "KorutilMenuOwner";
        RegisterClassA(&wc);
        return "KorutilMenuOwner";
    }();
    return CreateWindowExA(0, name, "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 400, 300,
                           nullptr, nullptr, nullptr, nullptr);
}

bool waitUp(HMENU menu) {
    return g_notices.waitFor([&](const Notice& n) {
        return n.message == kMenuUp && n.wParam == reinterpret_cast<WPARAM>(menu);
    });
}

// Without notifications: the menu shows its items (polled, with a generous bound).
bool waitShown(HMENU menu) {
    RECT r;
    for (int i = 0; i < 20000; ++i) {
        if (GetMenuItemRect(nullptr, menu, 0, &r)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

bool waitSelected(UINT id) {
    return g_notices.waitFor(
        [&](const Notice& n) { return n.message == WM_MENUSELECT && LOWORD(n.wParam) == id; });
}

POINT centre(HMENU menu, UINT item) {
    RECT r{};
    EXPECT_TRUE(GetMenuItemRect(nullptr, menu, item, &r));
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void click(POINT at, int vk = VK_LBUTTON) {
    PlatMouseMove(at.x, at.y);
    PlatMouseButton(vk, TRUE);
    PlatMouseButton(vk, FALSE);
}

void key(int vk) {
    PlatKey(vk, TRUE);
    PlatKey(vk, FALSE);
}

enum : UINT { kOpen = 11, kSave = 12, kGrey = 13, kQuit = 14, kInner = 21, kInner2 = 22 };

class Tracking : public ::testing::Test {
protected:
    void SetUp() override {
        g_notices.clear();
        m_owner = makeOwner();
        SetForegroundWindow(m_owner);
        m_menu = CreatePopupMenu();
        m_sub = CreatePopupMenu();
        AppendMenuA(m_menu, MF_STRING, kOpen, "&Open\tCtrl+O");
        AppendMenuA(m_menu, MF_STRING | MF_CHECKED, kSave, "&Save");
        AppendMenuA(m_menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(m_menu, MF_STRING | MF_GRAYED, kGrey, "&Grey");
        AppendMenuA(m_menu, MF_POPUP, reinterpret_cast<UINT_PTR>(m_sub), "Mo&re");
        AppendMenuA(m_menu, MF_STRING, kQuit, "&Quit");
        SetMenuDefaultItem(m_menu, kOpen, FALSE);
        AppendMenuA(m_sub, MF_STRING, kInner, "Inner");
        AppendMenuA(m_sub, MF_STRING, kInner2, "Inner two");
    }
    void TearDown() override {
        if (m_driver.joinable()) {
            m_driver.join();
        }
        DestroyMenu(m_menu);
        if (IsWindow(m_owner)) {
            DestroyWindow(m_owner);
        }
        pump();
    }
    // Plays the user once the menu is up; cancels the menu if the play failed on the way.
    void drive(std::function<void()> play, bool notified = true) {
        const HMENU menu = m_menu;
        const HWND owner = m_owner;
        m_driver = std::thread([menu, owner, play, notified] {
            const auto failures = [] {
                return ::testing::UnitTest::GetInstance()
                    ->current_test_info()
                    ->result()
                    ->total_part_count();
            };
            const int before = failures();
            if (notified ? waitUp(menu) : waitShown(menu)) {
                play();
            } else {
                ADD_FAILURE() << "the menu did not come up";
            }
            if (failures() != before) {
                PostMessageA(owner, WM_CANCELMODE, 0, 0);
            }
        });
    }
    BOOL track(UINT flags, int x = 100, int y = 100) {
        const BOOL result = TrackPopupMenuEx(m_menu, flags, x, y, m_owner, nullptr);
        m_driver.join();
        return result;
    }
    // The commands that reached the owner after the loop.
    std::vector<UINT> commands() {
        pump();
        std::vector<UINT> out;
        for (const Notice& n : g_notices.all()) {
            if (n.message == WM_COMMAND) {
                out.push_back(LOWORD(n.wParam));
            }
        }
        return out;
    }

    HWND m_owner = nullptr;
    HMENU m_menu = nullptr;
    HMENU m_sub = nullptr;
    std::thread m_driver;
};

TEST_F(Tracking, AClickChoosesAndTheOwnerHearsTheLoop) {
    drive([this] {
        PlatMouseMove(centre(m_menu, 1).x, centre(m_menu, 1).y);
        ASSERT_TRUE(waitSelected(kSave));
        click(centre(m_menu, 1));
    });
    EXPECT_EQ(TRUE, track(TPM_LEFTBUTTON));
    EXPECT_EQ(std::vector<UINT>{kSave}, commands());
    const std::vector<Notice> all = g_notices.all();
    std::vector<UINT> order;
    for (const Notice& n : all) {
        if (order.empty() || order.back() != n.message) {
            order.push_back(n.message);
        }
    }
    EXPECT_EQ((std::vector<UINT>{WM_ENTERMENULOOP, WM_INITMENUPOPUP, kMenuUp, WM_MENUSELECT,
                                 WM_UNINITMENUPOPUP, WM_MENUSELECT, WM_EXITMENULOOP, WM_COMMAND}),
              order);
    EXPECT_EQ(reinterpret_cast<WPARAM>(m_menu), all[1].wParam);
    EXPECT_EQ(MAKEWPARAM(0, 0xFFFF), all[all.size() - 3].wParam); // the menu closed
}

TEST_F(Tracking, ButtonsKeysAndCancelsAsTheFlagsSay) {
    using Keys = std::vector<int>;
    auto keys = [](Keys vks) {
        return [vks](HMENU) {
            for (int vk : vks) {
                key(vk);
            }
        };
    };
    struct Case {
        const char* name;
        UINT flags;
        std::function<void(HMENU)> play;
        BOOL result;
        std::vector<UINT> commands;
    } cases[] = {
        {"return command", TPM_RETURNCMD, [](HMENU m) { click(centre(m, 0)); }, kOpen, {}},
        {"no notify still posts", TPM_NONOTIFY, keys({VK_DOWN, VK_RETURN}), TRUE, {kOpen}},
        {"right button tracked",
         TPM_RIGHTBUTTON | TPM_RETURNCMD,
         [](HMENU m) { click(centre(m, 5), VK_RBUTTON); },
         kQuit,
         {}},
        {"right button ignored",
         TPM_RETURNCMD,
         [](HMENU m) {
             click(centre(m, 5), VK_RBUTTON);
             key(VK_ESCAPE);
         },
         0,
         {}},
        {"escape", 0, keys({VK_ESCAPE}), FALSE, {}},
        {"click outside",
         0,
         [](HMENU) {
             click(POINT{900, 700});
         },
         FALSE,
         {}},
        // Open, Save, (the separator passed over) Grey, More, Quit.
        {"arrows pass separators",
         0,
         keys({VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN}),
         TRUE,
         {kQuit}},
        {"up starts at the last", TPM_RETURNCMD, keys({VK_UP, VK_RETURN}), kQuit, {}},
        {"mnemonic", TPM_RETURNCMD, keys({'S'}), kSave, {}},
        {"disabled highlighted, not chosen",
         TPM_RETURNCMD,
         [](HMENU m) {
             click(centre(m, 3));
             key(VK_RETURN);
             ASSERT_TRUE(waitSelected(kGrey));
             key(VK_ESCAPE);
         },
         0,
         {}},
        {"sub-menu by keys",
         TPM_RETURNCMD,
         keys({VK_UP, VK_UP, VK_RIGHT, VK_DOWN, VK_RETURN}),
         kInner2,
         {}},
        // Left closes the sub-menu and leaves More highlighted; Up twice reaches Save.
        {"left closes a level",
         TPM_RETURNCMD,
         keys({VK_UP, VK_UP, VK_RIGHT, VK_LEFT, VK_UP, VK_UP, VK_RETURN}),
         kSave,
         {}},
        // Escape in the sub-menu closes it alone; Enter opens it again at Inner.
        {"escape closes a level",
         TPM_RETURNCMD,
         keys({VK_UP, VK_UP, VK_RIGHT, VK_ESCAPE, VK_RETURN, VK_RETURN}),
         kInner,
         {}},
        {"end menu", 0, [this](HMENU) { PostMessageA(m_owner, kEndMenu, 0, 0); }, FALSE, {}},
        {"cancel mode",
         TPM_RETURNCMD,
         [this](HMENU) { PostMessageA(m_owner, WM_CANCELMODE, 0, 0); },
         0,
         {}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_notices.clear();
        const HMENU menu = m_menu;
        drive([&c, menu] { c.play(menu); }, !(c.flags & TPM_NONOTIFY));
        EXPECT_EQ(c.result, track(c.flags));
        EXPECT_EQ(c.commands, commands());
        EXPECT_EQ(nullptr, FindWindowA("#32768", nullptr));
        if (c.flags & TPM_NONOTIFY) {
            for (const Notice& n : g_notices.all()) {
                EXPECT_TRUE(n.message == WM_COMMAND || n.message == kMenuUp) << n.message;
            }
        }
    }
}

TEST_F(Tracking, ASubMenuOpensOnHoverAndItsItemIsChosen) {
    drive([this] {
        click(centre(m_menu, 4));
        ASSERT_TRUE(waitUp(m_sub));
        RECT outer{};
        RECT inner{};
        GetMenuItemRect(nullptr, m_menu, 4, &outer);
        GetMenuItemRect(nullptr, m_sub, 0, &inner);
        EXPECT_GT(inner.left, outer.left + 20); // beside the item, to the right
        PlatMouseMove(centre(m_sub, 1).x, centre(m_sub, 1).y);
        ASSERT_TRUE(waitSelected(kInner2));
        click(centre(m_sub, 1));
    });
    EXPECT_EQ(TRUE, track(0));
    EXPECT_EQ(std::vector<UINT>{kInner2}, commands());
    int opened = 0;
    for (const Notice& n : g_notices.all()) {
        opened += n.message == WM_INITMENUPOPUP && n.wParam == reinterpret_cast<WPARAM>(m_sub) &&
                  LOWORD(n.lParam) == 4;
    }
    EXPECT_EQ(1, opened);
}

TEST_F(Tracking, PlacedByTheAlignmentFlagsAndKeptOnTheScreen) {
    struct Case {
        UINT flags;
        int x, y;
        bool right, bottom; // which corner lies at (x, y)
    } cases[] = {
        {TPM_LEFTALIGN | TPM_TOPALIGN, 100, 100, false, false},
        {TPM_RIGHTALIGN | TPM_BOTTOMALIGN, 500, 400, true, true},
        {TPM_LEFTALIGN, 1020, 760, true, true}, // flipped at the screen's edges
    };
    for (const Case& c : cases) {
        RECT got{};
        drive([&] {
            GetWindowRect(FindWindowA("#32768", nullptr), &got);
            key(VK_ESCAPE);
        });
        EXPECT_EQ(FALSE, TrackPopupMenuEx(m_menu, c.flags, c.x, c.y, m_owner, nullptr));
        m_driver.join();
        EXPECT_EQ(c.x, c.right ? got.right : got.left) << c.flags;
        EXPECT_EQ(c.y, c.bottom ? got.bottom : got.top) << c.flags;
        g_notices.clear();
    }
    TPMPARAMS bad{};
    SetLastError(0);
    EXPECT_FALSE(TrackPopupMenuEx(m_menu, 0, 0, 0, m_owner, &bad));
    EXPECT_EQ(DWORD{ERROR_INVALID_PARAMETER}, GetLastError());
}

TEST_F(Tracking, FailuresAndTheMenuOrOwnerGoingWhileTracked) {
    SetLastError(0);
    EXPECT_FALSE(TrackPopupMenuEx(m_menu, 0, 0, 0, nullptr, nullptr));
    EXPECT_EQ(DWORD{ERROR_INVALID_WINDOW_HANDLE}, GetLastError());
    DWORD error = 0;
    std::thread other([&] {
        EXPECT_FALSE(TrackPopupMenuEx(m_menu, 0, 0, 0, m_owner, nullptr));
        error = GetLastError();
        EXPECT_TRUE(EndMenu()); // nothing to end
    });
    other.join();
    EXPECT_EQ(DWORD{ERROR_WINDOW_OF_OTHER_THREAD}, error);

    drive([this] { DestroyMenu(m_menu); });
    EXPECT_FALSE(track(TPM_RETURNCMD));
    EXPECT_EQ(DWORD{ERROR_INVALID_MENU_HANDLE}, GetLastError());
    EXPECT_EQ(nullptr, FindWindowA("#32768", nullptr));
    EXPECT_FALSE(TrackPopupMenu(m_menu, 0, 0, 0, 0, m_owner, nullptr));
    EXPECT_EQ(DWORD{ERROR_INVALID_MENU_HANDLE}, GetLastError());

    m_menu = CreatePopupMenu();
    AppendMenuA(m_menu, MF_STRING, 1, "one");
    drive([this] { PostMessageA(m_owner, kDestroy, 0, 0); });
    EXPECT_FALSE(track(0));
    EXPECT_EQ(DWORD{ERROR_INVALID_WINDOW_HANDLE}, GetLastError());
    EXPECT_FALSE(IsWindow(m_owner));
}

// Whether any pixel of the row (inside the frame) has the colour.
bool rowHas(const RECT& row, COLORREF colour) {
    HDC screen = GetDC(nullptr);
    bool found = false;
    for (int y = row.top; y < row.bottom && !found; ++y) {
        for (int x = row.left; x < row.right && !found; ++x) {
            found = GetPixel(screen, x, y) == colour;
        }
    }
    ReleaseDC(nullptr, screen);
    return found;
}

TEST_F(Tracking, TheMenuIsDrawnInTheSystemColours) {
    drive([this] {
        PlatMouseMove(centre(m_menu, 1).x, centre(m_menu, 1).y);
        ASSERT_TRUE(waitSelected(kSave));
        RECT rows[6];
        for (UINT i = 0; i < 6; ++i) {
            GetMenuItemRect(nullptr, m_menu, i, &rows[i]);
        }
        const COLORREF text = GetSysColor(COLOR_MENUTEXT);
        EXPECT_TRUE(rowHas(RECT{rows[0].left, rows[0].top, rows[0].left + 3, rows[0].top + 2},
                           GetSysColor(COLOR_MENU)));
        EXPECT_TRUE(rowHas(RECT{rows[1].left, rows[1].top, rows[1].left + 3, rows[1].top + 2},
                           GetSysColor(COLOR_HIGHLIGHT)));
        EXPECT_TRUE(rowHas(rows[1], GetSysColor(COLOR_HIGHLIGHTTEXT))); // text and check
        EXPECT_TRUE(rowHas(rows[0], text));
        EXPECT_TRUE(rowHas(rows[3], GetSysColor(COLOR_GRAYTEXT)));
        EXPECT_FALSE(rowHas(rows[3], text));
        EXPECT_TRUE(rowHas(rows[2], GetSysColor(COLOR_BTNSHADOW))); // the separator
        EXPECT_EQ(100, rows[0].left - 3); // inside the frame of a menu placed at (100, 100)
        const std::string note = screenOnFailure("menu");
        if (::testing::Test::HasFailure()) {
            ADD_FAILURE() << note;
        }
        key(VK_ESCAPE);
    });
    EXPECT_FALSE(track(0));
}

} // namespace
