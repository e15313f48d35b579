// The window manager's geometry: metrics and frames, default placement, size limits,
// coordinates through nested parents, z-order and hit windows, the tree, classes and window
// data.
#include "support/windows.h"

#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using korutil::test::makeWindow;
using korutil::test::Recorder;

RECT windowRect(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return r;
}

RECT clientRect(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    return r;
}

class Geometry : public ::testing::Test {
protected:
    void TearDown() override {
        for (HWND w : m_made) {
            if (IsWindow(w)) {
                DestroyWindow(w);
            }
        }
        Recorder::mine().answer = nullptr;
    }
    HWND make(DWORD style, int x, int y, int cx, int cy, HWND parent = nullptr, DWORD ex = 0,
              UINT_PTR id = 0) {
        HWND w = makeWindow(style, x, y, cx, cy, parent, ex, id);
        m_made.push_back(w);
        return w;
    }
    std::vector<HWND> m_made;
};

TEST_F(Geometry, FramesFollowTheMetricsInAdjustWindowRectAndInRealWindows) {
    const int frame = GetSystemMetrics(SM_CXFRAME);
    const int dlg = GetSystemMetrics(SM_CXDLGFRAME);
    const int edge = GetSystemMetrics(SM_CXEDGE);
    const int caption = GetSystemMetrics(SM_CYCAPTION);
    const int small = GetSystemMetrics(SM_CYSMCAPTION);
    EXPECT_EQ(1024, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(768, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(4, frame);
    EXPECT_EQ(3, dlg);
    EXPECT_EQ(19, caption);
    EXPECT_EQ(1024 + 2 * (frame + edge), GetSystemMetrics(SM_CXMAXTRACK));
    // Insets left/top (right and bottom equal left), as Windows' classic metrics give them.
    struct Row {
        DWORD style, ex;
        BOOL menu;
        int side, top;
    } rows[] = {
        {WS_POPUP, 0, FALSE, 0, 0},
        {WS_POPUP | WS_BORDER, 0, FALSE, 1, 1},
        {WS_POPUP, WS_EX_CLIENTEDGE, FALSE, edge, edge},
        {WS_POPUP, WS_EX_STATICEDGE, FALSE, 1, 1},
        {WS_POPUP | WS_DLGFRAME, 0, FALSE, dlg, dlg},
        {WS_POPUP, WS_EX_DLGMODALFRAME, FALSE, dlg, dlg},
        {WS_POPUP | WS_THICKFRAME, 0, FALSE, 3, 3},
        {WS_POPUP | WS_THICKFRAME | WS_BORDER, 0, FALSE, frame, frame},
        {WS_POPUP | WS_CAPTION, 0, FALSE, dlg, dlg + caption},
        {WS_OVERLAPPEDWINDOW, 0, FALSE, frame, frame + caption},
        {WS_OVERLAPPEDWINDOW, 0, TRUE, frame, frame + caption + GetSystemMetrics(SM_CYMENU)},
        {WS_OVERLAPPEDWINDOW, WS_EX_CLIENTEDGE, FALSE, frame + edge, frame + caption + edge},
        {WS_OVERLAPPEDWINDOW, WS_EX_TOOLWINDOW, FALSE, frame, frame + small},
        {WS_OVERLAPPEDWINDOW, WS_EX_STATICEDGE, FALSE, 3, 3 + caption},
        {WS_CHILD | WS_BORDER, WS_EX_STATICEDGE, FALSE, 2, 2},
    };
    HWND parent = make(WS_POPUP, 0, 0, 400, 400);
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.style << " " << row.ex);
        RECT r{100, 100, 300, 200};
        ASSERT_TRUE(AdjustWindowRectEx(&r, row.style, row.menu, row.ex));
        EXPECT_EQ(100 - row.side, r.left);
        EXPECT_EQ(100 - row.top, r.top);
        EXPECT_EQ(300 + row.side, r.right);
        EXPECT_EQ(200 + row.side, r.bottom);
        if (row.menu) {
            continue; // menus are not made here
        }
        HWND w =
            make(row.style, 10, 20, 200, 150, (row.style & WS_CHILD) ? parent : nullptr, row.ex);
        const RECT c = clientRect(w);
        EXPECT_EQ(200 - 2 * row.side, c.right);
        EXPECT_EQ(150 - row.top - row.side, c.bottom);
        POINT origin{0, 0};
        ClientToScreen(w, &origin);
        const RECT wr = windowRect(w);
        EXPECT_EQ(wr.left + row.side, origin.x);
        EXPECT_EQ(wr.top + row.top, origin.y);
    }
    EXPECT_FALSE(AdjustWindowRectEx(nullptr, 0, FALSE, 0));
}

TEST_F(Geometry, DefaultPlacementAndSizeLimits) {
    RECT work{};
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    EXPECT_EQ(1024, work.right);
    HWND overlapped = make(WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 7, CW_USEDEFAULT, 99);
    EXPECT_EQ(WS_CAPTION | WS_CLIPSIBLINGS,
              GetWindowLongA(make(0, 0, 0, 300, 300), GWL_STYLE) & (WS_CAPTION | WS_CLIPSIBLINGS));
    const RECT r = windowRect(overlapped);
    EXPECT_EQ(work.left, r.left);
    EXPECT_EQ(work.top, r.top);
    EXPECT_EQ((work.right - work.left) * 3 / 4, r.right - r.left);
    EXPECT_EQ((work.bottom - work.top) * 3 / 4, r.bottom - r.top);
    const RECT popup = windowRect(make(WS_POPUP, CW_USEDEFAULT, 5, CW_USEDEFAULT, 5));
    EXPECT_TRUE(popup.left == 0 && popup.top == 0 && popup.right == 0 && popup.bottom == 0);

    // Overlapped and sizable windows keep to the tracking limits; pop-ups do not.
    const RECT big = windowRect(make(WS_OVERLAPPEDWINDOW, 0, 0, 5000, 5000));
    EXPECT_EQ(GetSystemMetrics(SM_CXMAXTRACK), big.right);
    EXPECT_EQ(GetSystemMetrics(SM_CYMAXTRACK), big.bottom);
    const RECT tiny = windowRect(make(WS_POPUP | WS_THICKFRAME, 0, 0, 5, 5));
    EXPECT_EQ(GetSystemMetrics(SM_CXMINTRACK), tiny.right);
    EXPECT_EQ(GetSystemMetrics(SM_CYMINTRACK), tiny.bottom);
    EXPECT_EQ(5000, windowRect(make(WS_POPUP, 0, 0, 5000, 5000)).right);

    // A window's own limits hold at creation and for every later size.
    Recorder::mine().answer = [](HWND, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
        if (m != WM_GETMINMAXINFO) {
            return std::nullopt;
        }
        auto* info = reinterpret_cast<MINMAXINFO*>(l);
        info->ptMinTrackSize = POINT{150, 120};
        info->ptMaxTrackSize = POINT{300, 250};
        return 0;
    };
    HWND limited = make(WS_OVERLAPPEDWINDOW, 0, 0, 100, 900);
    EXPECT_EQ(150, windowRect(limited).right);
    EXPECT_EQ(250, windowRect(limited).bottom);
    ASSERT_TRUE(SetWindowPos(limited, nullptr, 0, 0, 1000, 1, SWP_NOZORDER));
    EXPECT_EQ(300, windowRect(limited).right);
    EXPECT_EQ(120, windowRect(limited).bottom);
    ASSERT_TRUE(MoveWindow(limited, 5, 6, 200, 200, FALSE));
    EXPECT_EQ(205, windowRect(limited).right);

    // The work area: set, read back, refused outside the screen, reset by null.
    RECT area{0, 30, 1024, 738};
    ASSERT_TRUE(SystemParametersInfoA(SPI_SETWORKAREA, 0, &area, 0));
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    EXPECT_EQ(30, work.top);
    EXPECT_EQ(738 - 30 - GetSystemMetrics(SM_CYCAPTION), GetSystemMetrics(SM_CYFULLSCREEN));
    RECT outside{-5, 0, 100, 100};
    EXPECT_FALSE(SystemParametersInfoA(SPI_SETWORKAREA, 0, &outside, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    ASSERT_TRUE(SystemParametersInfoA(SPI_SETWORKAREA, 0, nullptr, 0));
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    EXPECT_EQ(0, work.top);
}

// A chain of children, each with its own frame, against a model that adds up the offsets.
TEST_F(Geometry, CoordinatesMapThroughNestedParents) {
    std::mt19937 random(7);
    const DWORD frames[] = {0, WS_BORDER, WS_DLGFRAME, WS_CAPTION, WS_THICKFRAME | WS_BORDER};
    for (int round = 0; round < 20; ++round) {
        HWND top = make(WS_POPUP | frames[random() % 5], static_cast<int>(random() % 200) - 50,
                        static_cast<int>(random() % 200), 600, 500);
        std::vector<HWND> chain{top};
        for (int depth = 0; depth < 4; ++depth) {
            chain.push_back(make(WS_CHILD | frames[random() % 5],
                                 static_cast<int>(random() % 40) - 10,
                                 static_cast<int>(random() % 40), 300, 300, chain.back()));
        }
        // The model: a client origin is the parent's client origin plus the window's place
        // plus its frame.
        LONG x = 0, y = 0;
        for (HWND w : chain) {
            const RECT place = windowRect(w);
            POINT inner{0, 0};
            ASSERT_TRUE(ClientToScreen(w, &inner));
            const RECT adjusted = [&] {
                RECT r{0, 0, 0, 0};
                AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE)), FALSE,
                                   static_cast<DWORD>(GetWindowLongA(w, GWL_EXSTYLE)));
                return r;
            }();
            EXPECT_EQ(place.left - adjusted.left, inner.x);
            EXPECT_EQ(place.top - adjusted.top, inner.y);
            x = inner.x;
            y = inner.y;
        }
        POINT points[2] = {{3, 4}, {-5, 6}};
        const int offset = MapWindowPoints(chain.back(), nullptr, points, 2);
        EXPECT_EQ(x + 3, points[0].x);
        EXPECT_EQ(y + 4, points[0].y);
        EXPECT_EQ(static_cast<SHORT>(LOWORD(offset)), x);
        EXPECT_EQ(static_cast<SHORT>(HIWORD(offset)), y);
        ASSERT_TRUE(ScreenToClient(chain.back(), &points[1]));
        EXPECT_EQ(-5, points[1].x);
        POINT back = points[0];
        MapWindowPoints(nullptr, chain[1], &back, 1);
        MapWindowPoints(chain[1], chain[3], &back, 1);
        MapWindowPoints(chain[3], nullptr, &back, 1);
        EXPECT_EQ(points[0].x, back.x);
        EXPECT_EQ(points[0].y, back.y);
        DestroyWindow(top);
    }
    SetLastError(0);
    POINT p{0, 0};
    HWND dead = make(WS_POPUP, 0, 0, 1, 1);
    DestroyWindow(dead);
    EXPECT_EQ(0, MapWindowPoints(dead, nullptr, &p, 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    EXPECT_FALSE(ClientToScreen(dead, &p));
    EXPECT_FALSE(GetWindowRect(dead, nullptr));
}

// Random restacking of pop-ups against a list model; topmost windows stay above the rest.
TEST_F(Geometry, ZOrderAndWindowFromPointFollowAModel) {
    std::mt19937 random(11);
    std::vector<HWND> model; // top first
    std::vector<bool> topmost;
    for (int i = 0; i < 8; ++i) {
        const int x = static_cast<int>(random() % 300);
        const int y = static_cast<int>(random() % 300);
        HWND w = make(WS_POPUP | WS_VISIBLE, x, y, 150 + static_cast<int>(random() % 200),
                      150 + static_cast<int>(random() % 200), nullptr, 0);
        model.insert(model.begin(), w);
    }
    auto isTop = [](HWND w) { return (GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; };
    auto place = [&](HWND w, HWND after) {
        model.erase(std::find(model.begin(), model.end(), w));
        const auto groupEnd =
            std::find_if(model.begin(), model.end(), [&](HWND m) { return !isTop(m); });
        auto groupStart = isTop(w) ? model.begin() : groupEnd;
        auto at = groupStart;
        if (after == HWND_BOTTOM) {
            at = isTop(w) ? groupEnd : model.end();
        } else if (after != HWND_TOP && after != HWND_TOPMOST && after != HWND_NOTOPMOST) {
            at = std::find(model.begin(), model.end(), after) + 1;
            at = std::clamp(at, groupStart, isTop(w) ? groupEnd : model.end());
        }
        model.insert(at, w);
    };
    for (int step = 0; step < 200; ++step) {
        HWND w = model[random() % model.size()];
        HWND after = nullptr;
        switch (random() % 5) {
        case 0:
            after = HWND_TOP;
            break;
        case 1:
            after = HWND_BOTTOM;
            break;
        case 2:
            after = HWND_TOPMOST;
            break;
        case 3:
            after = HWND_NOTOPMOST;
            break;
        default:
            after = model[random() % model.size()];
            break;
        }
        ASSERT_TRUE(SetWindowPos(w, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE));
        if (after == w) {
            continue;
        }
        place(w, after);
        std::vector<HWND> actual;
        for (HWND h = GetWindow(model.front(), GW_HWNDFIRST); h; h = GetWindow(h, GW_HWNDNEXT)) {
            if (std::find(model.begin(), model.end(), h) != model.end()) {
                actual.push_back(h);
            }
        }
        ASSERT_EQ(model, actual) << "step " << step;
        const POINT p{static_cast<LONG>(random() % 600), static_cast<LONG>(random() % 600)};
        HWND expected = nullptr;
        for (HWND m : model) {
            const RECT r = windowRect(m);
            if (PtInRect(&r, p)) {
                expected = m;
                break;
            }
        }
        if (expected) {
            EXPECT_EQ(expected, WindowFromPoint(p)) << "step " << step;
        }
    }
    // Children: hidden ones are passed over, disabled ones leave the point to the parent.
    HWND parent = model.front();
    SetWindowPos(parent, HWND_TOPMOST, 0, 0, 400, 400, SWP_NOACTIVATE);
    HWND child = make(WS_CHILD | WS_VISIBLE, 10, 10, 50, 50, parent);
    POINT inside{20, 20};
    EXPECT_EQ(child, WindowFromPoint(inside));
    EXPECT_EQ(child, ChildWindowFromPoint(parent, inside));
    EnableWindow(child, FALSE);
    EXPECT_EQ(parent, WindowFromPoint(inside));
    EXPECT_EQ(child, ChildWindowFromPoint(parent, inside)); // ChildWindowFromPoint keeps them
    EnableWindow(child, TRUE);
    ShowWindow(child, SW_HIDE);
    EXPECT_EQ(parent, WindowFromPoint(inside));
    POINT outside{-1, 5};
    EXPECT_EQ(nullptr, ChildWindowFromPoint(parent, outside));
}

TEST_F(Geometry, TreeQueriesAndDeadHandles) {
    HWND top = make(WS_OVERLAPPEDWINDOW, 0, 0, 300, 300);
    HWND child = make(WS_CHILD, 0, 0, 10, 10, top, 0, 7);
    HWND grandchild = make(WS_CHILD, 0, 0, 5, 5, child, 0, 8);
    HWND popup = make(WS_POPUP, 0, 0, 10, 10, grandchild); // owned by the top-level window
    HWND overlapped = make(WS_OVERLAPPED, 0, 0, 120, 50, top);
    HWND desktop = GetDesktopWindow();
    struct Row {
        HWND got, want;
    } rows[] = {
        {GetParent(child), top},
        {GetParent(popup), top},
        {GetParent(overlapped), nullptr},
        {GetParent(top), nullptr},
        {GetParent(desktop), nullptr},
        {GetWindow(popup, GW_OWNER), top},
        {GetWindow(top, GW_CHILD), child},
        {GetAncestor(grandchild, GA_PARENT), child},
        {GetAncestor(grandchild, GA_ROOT), top},
        {GetAncestor(popup, GA_PARENT), desktop},
        {GetAncestor(popup, GA_ROOTOWNER), top},
        {GetDlgItem(top, 7), child},
        {GetDlgItem(top, 8), nullptr},
        {reinterpret_cast<HWND>(GetWindowLongPtrA(child, GWLP_HWNDPARENT)), top},
        {reinterpret_cast<HWND>(GetWindowLongPtrA(popup, GWLP_HWNDPARENT)), top},
    };
    for (std::size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        EXPECT_EQ(rows[i].want, rows[i].got) << "row " << i;
    }
    EXPECT_TRUE(IsChild(top, grandchild));
    EXPECT_FALSE(IsChild(top, popup));
    EXPECT_EQ(8, GetDlgCtrlID(grandchild));
    RECT screen = windowRect(desktop);
    EXPECT_EQ(1024, screen.right);
    EXPECT_EQ(768, screen.bottom);
    DWORD process = 0;
    EXPECT_EQ(GetCurrentThreadId(), GetWindowThreadProcessId(top, &process));
    EXPECT_NE(0u, process);
    SetWindowTextA(top, "Findable");
    EXPECT_EQ(top, FindWindowA(korutil::test::recorderClass(), "findable"));
    EXPECT_EQ(nullptr, FindWindowA("NoSuchClass", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS), GetLastError());

    DestroyWindow(top);
    // Owned windows go with their owner, whatever GetParent says of them.
    for (HWND gone : {top, child, grandchild, popup, overlapped}) {
        EXPECT_FALSE(IsWindow(gone));
    }
    // Every call on a dead handle fails with ERROR_INVALID_WINDOW_HANDLE.
    RECT r;
    char text[8];
    const std::vector<std::function<bool()>> calls = {
        [&] { return GetParent(top) == nullptr; },
        [&] { return GetWindow(top, GW_CHILD) == nullptr; },
        [&] { return !GetWindowRect(top, &r); },
        [&] { return !GetClientRect(top, &r); },
        [&] { return GetWindowLongA(top, GWL_STYLE) == 0; },
        [&] { return SetWindowLongPtrA(top, GWLP_USERDATA, 1) == 0; },
        [&] { return GetWindowTextA(top, text, 8) == 0; },
        [&] { return !SetWindowTextA(top, "x"); },
        [&] { return !ShowWindow(top, SW_SHOW); },
        [&] { return !SetWindowPos(top, nullptr, 0, 0, 1, 1, 0); },
        [&] { return !DestroyWindow(top); },
        [&] { return !IsWindowVisible(top); },
        [&] { return !InvalidateRect(top, nullptr, TRUE); },
        [&] { return SendMessageA(top, WM_USER, 0, 0) == 0; },
        [&] { return !PostMessageA(top, WM_USER, 0, 0); },
        [&] { return GetDC(top) == nullptr; },
        [&] { return SetFocus(top) == nullptr; },
        [&] { return SetCapture(top) == nullptr; },
        [&] { return SetTimer(top, 1, 10, nullptr) == 0; },
        [&] { return GetDlgItem(top, 1) == nullptr; },
        [&] { return GetClassNameA(top, text, 8) == 0; },
    };
    for (std::size_t i = 0; i < calls.size(); ++i) {
        SetLastError(0);
        EXPECT_TRUE(calls[i]()) << "call " << i;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError()) << "call " << i;
    }
}

LRESULT CALLBACK plainProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    return DefWindowProcA(h, m, w, l);
}

LRESULT CALLBACK countingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_USER) {
        return 1 + CallWindowProcA(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(h, GWLP_USERDATA)),
                                   h, m, w, l);
    }
    return DefWindowProcA(h, m, w, l);
}

LRESULT CALLBACK answeringProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    return m == WM_USER ? 40 : DefWindowProcA(h, m, w, l);
}

TEST_F(Geometry, ClassesAndWindowData) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = plainProc;
    wc.cbWndExtra = 12;
    wc.lpszClassName = "GeometryPlain";
    const ATOM atom = RegisterClassA(&wc);
    ASSERT_NE(0, atom);
    wc.lpszClassName = "geometryplain";
    EXPECT_EQ(0, RegisterClassA(&wc));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS), GetLastError());
    wc.cbWndExtra = -1;
    EXPECT_EQ(0, RegisterClassA(&wc));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    WNDCLASSA info{};
    ASSERT_TRUE(GetClassInfoA(nullptr, "GEOMETRYPLAIN", &info));
    EXPECT_EQ(12, info.cbWndExtra);
    ASSERT_TRUE(GetClassInfoA(nullptr, "Button", &info));
    EXPECT_FALSE(GetClassInfoA(nullptr, "Nothing", &info));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST), GetLastError());
    EXPECT_EQ(nullptr, CreateWindowExA(0, "Nothing", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                       nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS), GetLastError());
    EXPECT_EQ(nullptr, CreateWindowExA(0, "GeometryPlain", "", WS_CHILD, 0, 0, 1, 1, nullptr,
                                       nullptr, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD), GetLastError());

    HWND w = CreateWindowExA(0, MAKEINTATOM(atom), "t", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             nullptr, nullptr);
    ASSERT_NE(nullptr, w);
    char name[32];
    EXPECT_EQ(13, GetClassNameA(w, name, sizeof name));
    EXPECT_STREQ("GeometryPlain", name);
    EXPECT_EQ(3, GetClassNameA(w, name, 4));
    EXPECT_FALSE(UnregisterClassA("GeometryPlain", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS), GetLastError());

    // Extra bytes, user data and the 64-bit rules of the 32-bit calls.
    EXPECT_EQ(0, SetWindowLongA(w, 8, 0x12345678));
    EXPECT_EQ(0x12345678, GetWindowLongA(w, 8));
    EXPECT_EQ(0, SetWindowLongPtrA(w, 0, static_cast<LONG_PTR>(0x1122334455667788LL)));
    EXPECT_EQ(static_cast<LONG_PTR>(0x1122334455667788LL), GetWindowLongPtrA(w, 0));
    SetLastError(0);
    EXPECT_EQ(0, GetWindowLongA(w, 9));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_INDEX), GetLastError());
    EXPECT_EQ(0, GetWindowLongPtrA(w, 5));
    EXPECT_EQ(0, GetWindowLongA(w, GWL_WNDPROC));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_INDEX), GetLastError());
    EXPECT_EQ(0, GetWindowLongA(w, -100));
    SetWindowLongPtrA(w, GWLP_USERDATA, -5);
    EXPECT_EQ(-5, GetWindowLongA(w, GWL_USERDATA));

    // Subclassing through GWLP_WNDPROC, calling the old procedure on.
    SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(answeringProc));
    const LONG_PTR old =
        SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(countingProc));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(answeringProc), old);
    SetWindowLongPtrA(w, GWLP_USERDATA, old);
    EXPECT_EQ(41, SendMessageA(w, WM_USER, 0, 0));
    EXPECT_EQ(0, CallWindowProcA(nullptr, w, WM_USER, 0, 0));

    // Style changes tell the window and show their effects.
    Recorder::mine().clear();
    DestroyWindow(w);
    EXPECT_TRUE(UnregisterClassA("GeometryPlain", nullptr));
    EXPECT_FALSE(UnregisterClassA("GeometryPlain", nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST), GetLastError());
    EXPECT_FALSE(UnregisterClassA("BUTTON", nullptr));

    HWND recorded = make(WS_POPUP, 0, 0, 20, 20);
    Recorder::mine().clear();
    EXPECT_EQ(static_cast<LONG>(WS_POPUP),
              SetWindowLongA(recorded, GWL_STYLE, static_cast<LONG>(WS_POPUP | WS_VISIBLE)));
    EXPECT_TRUE(IsWindowVisible(recorded));
    EXPECT_EQ((std::vector<UINT>{WM_STYLECHANGING, WM_STYLECHANGED}),
              Recorder::mine().of(recorded));
    EXPECT_FALSE(EnableWindow(recorded, FALSE));
    EXPECT_TRUE(EnableWindow(recorded, FALSE));
    EXPECT_FALSE(IsWindowEnabled(recorded));
    EXPECT_TRUE(EnableWindow(recorded, TRUE));
}

} // namespace
