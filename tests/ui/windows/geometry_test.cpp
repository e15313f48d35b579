// The geometry helpers on the desktop the test runs on (the test program runs on more than one
// configured desktop), centring in changed work areas, and the speaker model behind Beep.
#include "support/windows.h"

#include <korutil/ui.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

using korutil::test::makeWindow;

struct Desktop {
    int width = 1024, height = 768, bits = 32;
};

Desktop configured() {
    Desktop d;
    if (const char* text = std::getenv("KORUTIL_DESKTOP")) {
        std::sscanf(text, "%dx%dx%d", &d.width, &d.height, &d.bits);
    }
    return d;
}

// Restores the whole desktop as the work area when a test ends.
struct WorkArea {
    explicit WorkArea(RECT r) { SystemParametersInfoA(SPI_SETWORKAREA, 0, &r, 0); }
    ~WorkArea() {
        RECT all{0, 0, configured().width, configured().height};
        SystemParametersInfoA(SPI_SETWORKAREA, 0, &all, 0);
    }
};

TEST(Geometry, ColourCountAndWorkspaceFollowTheConfiguredDesktop) {
    const Desktop d = configured();
    EXPECT_EQ(d.bits >= 31 ? 1ul << 31 : 1ul << d.bits, GetNumberOfColors());
    RECT whole = GetShellWorkspaceRect();
    EXPECT_EQ(d.width, whole.right);
    EXPECT_EQ(d.height, whole.bottom);
    WorkArea bar(RECT{0, 0, d.width, d.height - 40});
    EXPECT_EQ(d.height - 40, GetShellWorkspaceRect().bottom);
}

TEST(Geometry, CenterWindowPlacesByTheWorkAreaSizeFromTheScreenOrigin) {
    const Desktop d = configured();
    struct Case {
        RECT work;
        int cx, cy;
    } cases[] = {
        {{0, 0, d.width, d.height}, 300, 200},
        {{0, 0, d.width, d.height}, d.width + 100, 50}, // wider than the screen: left of it
        {{100, 50, d.width, d.height - 30}, 301, 199},  // the work area's corner is not added
    };
    HWND w = makeWindow(WS_POPUP, 5, 5, 10, 10); // no frame to limit its size
    for (const Case& c : cases) {
        WorkArea area(c.work);
        MoveWindow(w, 7, 9, c.cx, c.cy, FALSE);
        CenterWindow(w, FALSE);
        const RECT box = GetWindowRect(w);
        const int workCx = c.work.right - c.work.left, workCy = c.work.bottom - c.work.top;
        EXPECT_EQ((workCx - c.cx) / 2, box.left) << c.cx;
        EXPECT_EQ((workCy - c.cy) / 2, box.top) << c.cy;
        EXPECT_EQ(c.cx, box.right - box.left);
        EXPECT_EQ(c.cy, box.bottom - box.top);
    }
    DestroyWindow(w);
}

TEST(Geometry, RectanglesByValuePointsAndMappingThroughParents) {
    HWND top = makeWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 30, 400, 300);
    HWND child = makeWindow(WS_CHILD | WS_VISIBLE, 10, 20, 100, 80, top);
    RECT client{}, frame{};
    ::GetClientRect(top, &client);
    ::GetWindowRect(top, &frame);
    const RECT clientByValue = GetClientRect(top), frameByValue = GetWindowRect(top);
    EXPECT_TRUE(EqualRect(&client, &clientByValue));
    EXPECT_TRUE(EqualRect(&frame, &frameByValue));
    EXPECT_EQ(client.right, GetClientCX(top));
    EXPECT_EQ(client.bottom, GetClientCY(top));
    EXPECT_EQ(100, GetClientCX(child));

    int x = 0, y = 0;
    ClientToScreen(child, &x, &y);
    POINT origin{0, 0};
    ::ClientToScreen(top, &origin);
    EXPECT_EQ(origin.x + 10, x);
    EXPECT_EQ(origin.y + 20, y);
    ScreenToClient(child, &x, &y);
    EXPECT_EQ(0, x);
    EXPECT_EQ(0, y);

    RECT r{10, 10, 20, 20};
    const struct {
        int x, y, inside;
    } points[] = {{10, 10, 1}, {19, 19, 1}, {20, 15, 0}, {15, 20, 0}, {9, 15, 0}};
    for (const auto& p : points) {
        EXPECT_EQ(p.inside, PtInRect(&r, p.x, p.y) != 0) << p.x << "," << p.y;
    }

    DestroyWindow(top);
    const RECT gone = GetWindowRect(top), goneClient = GetClientRect(child), none{0, 0, 0, 0};
    EXPECT_TRUE(EqualRect(&none, &gone)) << "a dead window gives an empty rectangle";
    EXPECT_TRUE(EqualRect(&none, &goneClient));
}

TEST(Beep, ProgramsTheSpeakerUntilItIsStopped) {
    const struct {
        unsigned short frequency;
        WORD divisor;
    } tones[] = {{440, 2711}, {1000, 1193}, {20, 59659}, {19, 62798}};
    PLATSPEAKERSTATE s{};
    for (const auto& t : tones) {
        Beep(t.frequency);
        ASSERT_TRUE(PlatGetSpeakerState(&s));
        EXPECT_TRUE(s.sounding) << t.frequency;
        EXPECT_EQ(t.divisor, s.divisor);
        EXPECT_EQ(1193180u / t.divisor, s.frequency);
    }
    Beep(0);
    ASSERT_TRUE(PlatGetSpeakerState(&s));
    EXPECT_FALSE(s.sounding);
    EXPECT_EQ(0u, s.frequency);
}

} // namespace
