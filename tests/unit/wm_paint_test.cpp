// Painting: update regions, BeginPaint's clip and erase, RedrawWindow, and the screen that
// composes the windows' surfaces in z-order.
#include "support/pictures.h"
#include "support/windows.h"

#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using korutil::test::makeWindow;
using korutil::test::pump;
using korutil::test::Recorder;

class Paint : public ::testing::Test {
protected:
    void SetUp() override {
        Recorder::mine().ignored = {WM_SETCURSOR, WM_NCHITTEST, WM_GETMINMAXINFO};
        Recorder::mine().answer = nullptr;
    }
    void TearDown() override {
        Recorder::mine().answer = nullptr;
        for (HWND w : m_made) {
            if (IsWindow(w)) {
                DestroyWindow(w);
            }
        }
        pump();
        Recorder::mine().clear();
    }
    HWND make(DWORD style, int x, int y, int cx, int cy, HWND parent = nullptr, DWORD ex = 0) {
        HWND w = makeWindow(style, x, y, cx, cy, parent, ex);
        m_made.push_back(w);
        return w;
    }
    std::vector<HWND> m_made;
};

RECT updateRect(HWND w) {
    RECT r{-1, -1, -1, -1};
    GetUpdateRect(w, &r, FALSE);
    return r;
}

bool same(const RECT& a, const RECT& b) {
    return EqualRect(&a, &b) != 0;
}

// Random invalidations and validations against a pixel model of the update region: the
// region may keep more than asked (a bounding box when it gets fragmented), never less.
TEST_F(Paint, UpdateRegionsCoverWhatWasInvalidated) {
    HWND w = make(WS_POPUP | WS_VISIBLE, 0, 0, 64, 48);
    pump();
    std::mt19937 random(3);
    std::vector<bool> model(64 * 48, false);
    for (int step = 0; step < 300; ++step) {
        const int x = static_cast<int>(random() % 70) - 3, y = static_cast<int>(random() % 54) - 3;
        const RECT r{x, y, x + static_cast<int>(random() % 20),
                     y + static_cast<int>(random() % 20)};
        const bool add = random() % 3 != 0;
        if (add) {
            InvalidateRect(w, &r, FALSE);
        } else {
            ValidateRect(w, &r);
        }
        for (int py = std::max<LONG>(r.top, 0); py < std::min<LONG>(r.bottom, 48); ++py) {
            for (int px = std::max<LONG>(r.left, 0); px < std::min<LONG>(r.right, 64); ++px) {
                model[static_cast<std::size_t>(py * 64 + px)] = add;
            }
        }
        const RECT box = updateRect(w);
        bool any = false;
        for (int py = 0; py < 48; ++py) {
            for (int px = 0; px < 64; ++px) {
                if (model[static_cast<std::size_t>(py * 64 + px)]) {
                    any = true;
                    ASSERT_TRUE(PtInRect(&box, POINT{px, py})) << "step " << step;
                }
            }
        }
        EXPECT_EQ(any, GetUpdateRect(w, nullptr, FALSE) != 0) << "step " << step;
        if (step % 50 == 49) {
            ValidateRect(w, nullptr);
            std::fill(model.begin(), model.end(), false);
        }
    }
}

TEST_F(Paint, BeginPaintClipsErasesAndValidates) {
    HWND w = make(WS_POPUP | WS_VISIBLE, 10, 10, 100, 80);
    pump();
    Recorder& r = Recorder::mine();
    BOOL eraseAnswer = TRUE;
    RECT clipInErase{};
    PAINTSTRUCT seen{};
    RECT clipInPaint{};
    r.answer = [&](HWND h, UINT m, WPARAM wp, LPARAM) -> std::optional<LRESULT> {
        if (h != w) {
            return std::nullopt;
        }
        if (m == WM_ERASEBKGND) {
            GetClipBox(reinterpret_cast<HDC>(wp), &clipInErase);
            return eraseAnswer;
        }
        if (m == WM_PAINT) {
            HDC dc = BeginPaint(h, &seen);
            GetClipBox(dc, &clipInPaint);
            EndPaint(h, &seen);
            return 0;
        }
        return std::nullopt;
    };
    const RECT a{5, 5, 20, 20}, b{30, 10, 40, 50};
    InvalidateRect(w, &a, FALSE);
    InvalidateRect(w, &b, TRUE);
    r.clear();
    pump();
    EXPECT_EQ((std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}), r.of(w));
    EXPECT_TRUE(same(RECT{5, 5, 40, 50}, seen.rcPaint));
    EXPECT_TRUE(same(RECT{5, 5, 40, 50}, clipInPaint));
    EXPECT_TRUE(same(RECT{5, 5, 40, 50}, clipInErase));
    EXPECT_FALSE(seen.fErase);
    EXPECT_FALSE(GetUpdateRect(w, nullptr, FALSE));
    // A window that does not erase is told to do it in its paint.
    eraseAnswer = FALSE;
    InvalidateRect(w, nullptr, TRUE);
    pump();
    EXPECT_TRUE(seen.fErase);
    EXPECT_TRUE(same(RECT{0, 0, 100, 80}, seen.rcPaint));

    // WM_PAINT comes only when nothing else is queued, and only for visible windows.
    PostMessageA(w, WM_USER, 0, 0);
    InvalidateRect(w, nullptr, FALSE);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_USER), msg.message);
    pump();
    ShowWindow(w, SW_HIDE);
    InvalidateRect(w, nullptr, TRUE);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    // Shown again, the whole window paints, frame and children included.
    HWND child = make(WS_CHILD | WS_VISIBLE, 5, 5, 10, 10, w);
    pump();
    r.clear();
    ShowWindow(w, SW_SHOWNA);
    pump();
    const std::vector<UINT> mine = r.of(w);
    EXPECT_NE(mine.end(), std::find(mine.begin(), mine.end(), static_cast<UINT>(WM_PAINT)));
    const std::vector<UINT> theirs = r.of(child);
    EXPECT_EQ(1, std::count(theirs.begin(), theirs.end(), static_cast<UINT>(WM_PAINT)));
}

TEST_F(Paint, RedrawWindowAndResizingByClassStyle) {
    Recorder& r = Recorder::mine();
    HWND parent = make(WS_POPUP | WS_VISIBLE, 0, 0, 200, 200);
    HWND child = make(WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 50, 50, parent);
    pump();
    r.clear();
    // Without WS_CLIPCHILDREN the children share in the redraw; UPDATENOW paints at once.
    RedrawWindow(parent, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_EQ((std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}), r.of(parent));
    EXPECT_EQ((std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}), r.of(child));
    SetWindowLongA(parent, GWL_STYLE, GetWindowLongA(parent, GWL_STYLE) | WS_CLIPCHILDREN);
    r.clear();
    RedrawWindow(parent, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASENOW);
    EXPECT_TRUE(r.of(child).empty());
    EXPECT_EQ(std::vector<UINT>{WM_NCPAINT}, r.of(parent)) << "nothing asked for erasing";
    RedrawWindow(child, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
    r.clear();
    UpdateWindow(parent);
    EXPECT_EQ((std::vector<UINT>{WM_PAINT, WM_NCPAINT}), r.of(child));
    EXPECT_EQ(std::vector<UINT>{WM_PAINT}, r.of(parent));
    RedrawWindow(child, nullptr, nullptr, RDW_INTERNALPAINT);
    EXPECT_FALSE(GetUpdateRect(child, nullptr, FALSE));
    r.clear();
    pump();
    EXPECT_EQ(std::vector<UINT>{WM_PAINT}, r.of(child));
    RedrawWindow(child, nullptr, nullptr, RDW_INVALIDATE);
    RedrawWindow(child, nullptr, nullptr, RDW_VALIDATE);
    EXPECT_FALSE(GetUpdateRect(child, nullptr, FALSE));

    // Growing repaints the new strips, or everything with CS_HREDRAW/CS_VREDRAW.
    MoveWindow(child, 10, 10, 80, 50, TRUE);
    EXPECT_TRUE(same(RECT{48, 0, 78, 48}, updateRect(child)));
    ValidateRect(child, nullptr);
    MoveWindow(child, 20, 20, 80, 50, TRUE);
    EXPECT_FALSE(GetUpdateRect(child, nullptr, FALSE)) << "a move keeps the window's pixels";
    HWND button = CreateWindowExA(0, "BUTTON", "", WS_CHILD | WS_VISIBLE, 0, 100, 40, 20, parent,
                                  nullptr, nullptr, nullptr);
    m_made.push_back(button);
    pump();
    MoveWindow(button, 0, 100, 60, 20, TRUE);
    EXPECT_TRUE(same(RECT{0, 0, 60, 20}, updateRect(button)));
}

COLORREF screenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return c;
}

void fill(HWND w, bool whole, COLORREF color) {
    HDC dc = whole ? GetWindowDC(w) : GetDC(w);
    RECT r{};
    GetClipBox(dc, &r);
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            SetPixel(dc, x, y, color);
        }
    }
    ReleaseDC(w, dc);
}

TEST_F(Paint, TheScreenComposesWindowsInZOrderWithChildrenClipped) {
    const COLORREF desk = GetSysColor(COLOR_BACKGROUND);
    HWND lower = make(WS_POPUP | WS_VISIBLE, 100, 100, 100, 100);
    HWND upper = make(WS_POPUP | WS_VISIBLE, 150, 150, 100, 100);
    HWND child = make(WS_CHILD | WS_VISIBLE, 80, 80, 50, 50, upper);
    pump();
    fill(lower, true, RGB(200, 0, 0));
    fill(upper, true, RGB(0, 200, 0));
    fill(child, true, RGB(0, 0, 200));
    const std::string note = korutil::test::screenOnFailure("stack");
    struct Probe {
        int x, y;
        COLORREF color;
    } probes[] = {
        {50, 50, desk},
        {120, 120, RGB(200, 0, 0)},
        {160, 160, RGB(0, 200, 0)},
        {199, 199, RGB(0, 200, 0)},
        {235, 235, RGB(0, 0, 200)},
        {255, 255, desk},
        {249, 249, RGB(0, 0, 200)},
    };
    for (const Probe& p : probes) {
        EXPECT_EQ(p.color, screenPixel(p.x, p.y)) << p.x << "," << p.y << note;
    }
    // Raising, moving and hiding recompose what they uncover.
    SetWindowPos(lower, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(RGB(200, 0, 0), screenPixel(160, 160));
    MoveWindow(lower, 0, 0, 100, 100, FALSE);
    EXPECT_EQ(RGB(0, 200, 0), screenPixel(160, 160));
    EXPECT_EQ(RGB(200, 0, 0), screenPixel(50, 50));
    ShowWindow(upper, SW_HIDE);
    EXPECT_EQ(desk, screenPixel(160, 160));
    EXPECT_EQ(desk, screenPixel(235, 235));
    ShowWindow(upper, SW_SHOWNA); // erased in its class background as it shows
    EXPECT_EQ(RGB(255, 255, 255), screenPixel(160, 160));
    EXPECT_EQ(RGB(0, 0, 200), screenPixel(235, 235));
    // A resized window keeps what both sizes share.
    fill(upper, true, RGB(0, 200, 0));
    MoveWindow(upper, 150, 150, 120, 60, FALSE);
    EXPECT_EQ(RGB(0, 200, 0), screenPixel(160, 160));
    DestroyWindow(upper);
    EXPECT_EQ(desk, screenPixel(160, 160));
}

TEST_F(Paint, FramesAndControlsAreDrawnInTheSystemColours) {
    HWND top = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 300, 220, 130);
    CreateWindowExA(0, "BUTTON", "Push", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 10, 10, 80, 24,
                    top, nullptr, nullptr, nullptr);
    HWND check = CreateWindowExA(0, "BUTTON", "Check", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, 10,
                                 40, 90, 20, top, nullptr, nullptr, nullptr);
    CreateWindowExA(0, "STATIC", "Label", WS_CHILD | WS_VISIBLE | SS_RIGHT, 110, 10, 80, 20, top,
                    nullptr, nullptr, nullptr);
    SendMessageA(check, BM_SETCHECK, BST_CHECKED, 0);
    SetWindowTextA(top, "Frames");
    SetForegroundWindow(top);
    pump();
    const std::string note = korutil::test::screenOnFailure("frames");
    const int frame = GetSystemMetrics(SM_CXFRAME), caption = GetSystemMetrics(SM_CYCAPTION);
    POINT client{0, 0};
    ClientToScreen(top, &client);
    struct Probe {
        int x, y, color;
    } probes[] = {
        {300, 300, COLOR_3DLIGHT},    // the raised outer edge
        {301, 301, COLOR_3DHILIGHT},  // and its inner line
        {519, 429, COLOR_3DDKSHADOW}, // its far corner
        {400, 300 + frame + caption / 2, COLOR_ACTIVECAPTION},
        {client.x + 100, client.y + 100, COLOR_WINDOW},    // the class background
        {client.x + 50, client.y + 12, COLOR_BTNFACE},     // the button's face
        {client.x + 10, client.y + 10, COLOR_WINDOWFRAME}, // the default button's frame
        {client.x + 12, client.y + 50, COLOR_WINDOW},      // inside the check box
        {client.x + 112, client.y + 12, COLOR_3DFACE},     // the label's background
    };
    for (const Probe& p : probes) {
        EXPECT_EQ(GetSysColor(p.color), screenPixel(p.x, p.y)) << p.x << "," << p.y << note;
    }
    // Text shows in the caption, the button and the label.
    auto inked = [](int left, int upper, int right, int lower, COLORREF ground) {
        for (int y = upper; y < lower; ++y) {
            for (int x = left; x < right; ++x) {
                if (screenPixel(x, y) != ground) {
                    return true;
                }
            }
        }
        return false;
    };
    EXPECT_TRUE(inked(330, 300 + frame + 2, 400, 300 + frame + caption - 3,
                      GetSysColor(COLOR_ACTIVECAPTION)))
        << note;
    EXPECT_TRUE(inked(client.x + 30, client.y + 15, client.x + 70, client.y + 29,
                      GetSysColor(COLOR_BTNFACE)))
        << note;
    EXPECT_TRUE(inked(client.x + 150, client.y + 10, client.x + 190, client.y + 30,
                      GetSysColor(COLOR_3DFACE)))
        << note;
    EXPECT_EQ(BST_CHECKED, SendMessageA(check, BM_GETCHECK, 0, 0));
}

} // namespace
