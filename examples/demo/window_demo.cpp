#include "demo.h"
#include "strings_ids.h"

#include <korutil/strings.h>
#include <korutil/ui.h>

#include <string>

#ifdef _WIN32
#include <commctrl.h>
#endif

namespace {

constexpr int kButton = 24;
constexpr int kFirstCommand = 100;
constexpr int kShowToolbar = 110;
constexpr UINT_PTR kMenuTimer = 1;
constexpr UINT kCutItem = 3; // position of "Cut" in the context menu
const char* const kPictures[] = {"new", "open", "save", "cut", "print", "help"};
const char* const kDone[] = {
    "A new note.", "Opened notes.txt.", "Saved 3 notes.", "Cut to the clipboard.", "", ""};

struct Main {
    HWND window = nullptr;
    HWND buttons[6] = {};
    std::string status = "Ready";
    CMenu menu;
    int menuStep = 0;
    int problems = 0;
};
Main g_main;

RECT statusFrame(HWND window) {
    const RECT client = GetClientRect(window);
    return RECT{4, client.bottom - 26, client.right - 4, client.bottom - 4};
}

void drawButton(const DRAWITEMSTRUCT& item) {
    DrawBitmapButton(GetModuleHandleA(nullptr), kPictures[item.CtlID - kFirstCommand], &item);
    if (item.itemState & ODS_DISABLED) {
        CCheckerDimmer dimmer(item.hDC, 8, 8, 0, 0, CCheckerDimmer::styleChecker);
        SetBkColor(item.hDC, RGB(255, 255, 255));
        SetTextColor(item.hDC, RGB(0, 0, 0));
        dimmer.Draw(item.hDC, item.rcItem);
    }
}

void paint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    const RECT frame = statusFrame(window);
    Draw3dRectInset(dc, frame);
    const RECT inner{frame.left + 1, frame.top + 1, frame.right - 1, frame.bottom - 1};
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    DrawTextNF(dc, inner, g_main.status.c_str(), -1, DT_VCENTER);
    EndPaint(window, &ps);
}

void setStatus(const char* text) {
    g_main.status = text;
    const RECT frame = statusFrame(g_main.window);
    InvalidateRect(g_main.window, &frame, FALSE);
}

void pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Saves the screen as the demo's picture of that name and says where it went.
int save(const char* name, const char* what) {
    const std::string path = demo::picturePath(name);
    const bool saved = PlatSaveScreenPng(path.c_str()) != 0;
    demo::say("%s: %s", what, saved ? path.c_str() : "(could not be saved)");
    return saved ? 0 : 1;
}

int screenshot(const char* name, const char* what) {
    pump();
    return save(name, what);
}

// Plays the user's part while the context menu's own loop runs: the timer fires once the
// menu is drawn and the input before it is handled. The pointer comes to rest on "Cut", the
// menu is pictured, and a click chooses the item.
void driveMenu() {
    RECT item{};
    switch (g_main.menuStep++) {
    case 0:
        if (GetMenuItemRect(g_main.window, g_main.menu, kCutItem, &item)) {
            PlatMouseMove((item.left + item.right) / 2, (item.top + item.bottom) / 2);
        } else {
            ++g_main.problems;
            EndMenu();
        }
        break;
    default:
        KillTimer(g_main.window, kMenuTimer);
        g_main.problems += save("window-menu.png", "the context menu, \"Cut\" under the pointer");
        PlatMouseButton(VK_LBUTTON, TRUE);
        PlatMouseButton(VK_LBUTTON, FALSE);
        break;
    }
}

LRESULT CALLBACK mainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        for (int i = 0; i < 6; ++i) {
            const int left = 4 + i * (kButton + 2) + (i >= 3 ? 8 : 0);
            g_main.buttons[i] = CreateWindowExA(
                0, "BUTTON", kPictures[i], WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, left, 4, kButton,
                kButton, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstCommand + i)),
                GetModuleHandleA(nullptr), nullptr);
        }
        EnableWindow(g_main.buttons[4], FALSE);
        EnableWindow(g_main.buttons[5], FALSE);
        return 0;
    case WM_INITMENUPOPUP:
        g_main.menuStep = 0;
        SetTimer(window, kMenuTimer, 10, nullptr);
        return 0;
    case WM_TIMER:
        if (wParam == kMenuTimer) {
            driveMenu();
        }
        return 0;
    case WM_DRAWITEM:
        drawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_COMMAND: {
        const int command = LOWORD(wParam) - kFirstCommand;
        if (command >= 0 && command < 6) {
            setStatus(kDone[command]);
        }
        return 0;
    }
    case WM_PAINT:
        paint(window);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

POINT centreOf(HWND window) {
    const RECT r = GetWindowRect(window);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

int run() {
    const HINSTANCE app = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = mainProc;
    wc.hInstance = app;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = "KorutilNotesMain";
    if (!RegisterClassA(&wc)) {
        demo::say("the window class could not be registered");
        return 1;
    }
    int problems = 0;
    g_main.window = CreateWindowExA(0, wc.lpszClassName, LoadStringPtr(app, IDS_DEMO_APP_TITLE),
                                    WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 360, 160,
                                    nullptr, nullptr, app, nullptr);
    CenterWindow(g_main.window, FALSE);
    ShowWindow(g_main.window, SW_SHOWNORMAL);
    UpdateWindow(g_main.window);
    const RECT box = GetWindowRect(g_main.window), work = GetShellWorkspaceRect();
    demo::say("main window \"%s\" centred on the %d by %d work area at (%d, %d)",
              LoadStringPtr(app, IDS_DEMO_APP_TITLE), static_cast<int>(work.right - work.left),
              static_cast<int>(work.bottom - work.top), static_cast<int>(box.left),
              static_cast<int>(box.top));
    problems += screenshot("window.png", "the window");

    // A click on "save", as the user makes it: the button is held, then released.
    const POINT save = centreOf(g_main.buttons[2]);
    PlatMouseMove(save.x, save.y);
    PlatMouseButton(VK_LBUTTON, TRUE);
    problems += screenshot("window-pressed.png", "\"save\" held down");
    PlatMouseButton(VK_LBUTTON, FALSE);
    pump();
    demo::say("the click reached the window as a command; status: \"%s\"", g_main.status.c_str());
    problems += g_main.status == kDone[2] ? 0 : 1;
    problems += screenshot("window-clicked.png", "after the click");

    // A right click in the window brings up its context menu, driven from its own loop.
    CMenu& menu = g_main.menu;
    menu.CreatePopup();
    menu.Add(kFirstCommand + 1, "&Open...", 1, 0, 0, 0xFFFFFFFF);
    menu.Add(kFirstCommand + 2, "&Save", 1, 0, 1, 0xFFFFFFFF);
    menu.AddSeparator(0xFFFFFFFF);
    menu.Add(kFirstCommand + 3, "Cu&t", 1, 0, 0, 0xFFFFFFFF);
    menu.Add(kFirstCommand + 4, "&Print", 0, 0, 0, 0xFFFFFFFF);
    menu.AddSeparator(0xFFFFFFFF);
    menu.Add(kShowToolbar, "Show &toolbar", 1, 1, 0, 0xFFFFFFFF);
    POINT at{200, 50};
    ClientToScreen(g_main.window, &at);
    if (!menu.PopUp(at.x, at.y, g_main.window, 0)) {
        ++problems;
    }
    pump();
    demo::say("the menu's \"Cut\" reached the window as a command; status: \"%s\"",
              g_main.status.c_str());
    problems += g_main.problems + (g_main.status == kDone[3] ? 0 : 1);
    menu.Destroy();

    // Resting on "open" shows its tip, whose text comes from the string resources.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    CToolTip tip;
    if (tip.Create(g_main.window, app, 1)) {
        tip.Add(g_main.buttons[0], "New note", nullptr);
        tip.Add(g_main.buttons[1], IDS_DEMO_TIP_OPEN, nullptr);
        tip.Add(g_main.buttons[2], "Save the notes", nullptr);
        tip.Add(g_main.buttons[3], "Cut", nullptr);
    }
    const POINT open = centreOf(g_main.buttons[1]);
    PlatMouseMove(open.x, open.y);
    PlatMouseMove(open.x + 1, open.y);
    const DWORD start = GetTickCount();
    while (tip.m_hWnd && !IsWindowVisible(tip.m_hWnd) && GetTickCount() - start < 5000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        pump();
    }
    if (tip.m_hWnd && IsWindowVisible(tip.m_hWnd)) {
        problems += screenshot("window-tip.png", "the tip of \"open\"");
    } else {
        demo::say("the tip of \"open\" did not show");
        ++problems;
    }
    tip.Destroy();

    DestroyWindow(g_main.window);
    UnregisterClassA(wc.lpszClassName, app);
    pump();
    return problems;
}

demo::Registration registration(90, "A window with a toolbar, driven by input", run);

} // namespace
