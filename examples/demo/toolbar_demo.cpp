#include "demo.h"

#include <korutil/ui.h>

#include <string>
#include <vector>

namespace {

constexpr int kButton = 24;
constexpr int kWidth = 6 * (kButton + 2) + 14, kHeight = kButton + 8 + 24;
const char* const kPictures[] = {"new", "open", "save", "cut", "print", "help"};

// Where a toolbar button sits: a gap of 8 after the first three.
RECT buttonRect(int index) {
    const int left = 5 + index * (kButton + 2) + (index >= 3 ? 8 : 0);
    return RECT{left, 4, left + kButton, 4 + kButton};
}

// A button's context starts at its own corner, so each is drawn into a bitmap of its own and
// copied into place.
void drawButton(HDC toolbar, HINSTANCE app, int index, bool pressed) {
    const RECT place = buttonRect(index);
    HDC memory = CreateCompatibleDC(toolbar);
    HBITMAP face = CreateCompatibleBitmap(toolbar, kButton, kButton);
    HGDIOBJ old = SelectObject(memory, face);
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = pressed ? ODS_SELECTED : 0;
    item.hDC = memory;
    item.rcItem = RECT{0, 0, kButton, kButton};
    DrawBitmapButton(app, kPictures[index], &item);
    BitBlt(toolbar, place.left, place.top, kButton, kButton, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteObject(face);
    DeleteDC(memory);
}

// The status label inside its sunken frame, drawn in place over whatever it showed before.
void drawStatus(HDC toolbar, const char* text) {
    const RECT frame{4, kButton + 8 + 2, kWidth - 4, kHeight - 3};
    Draw3dRectInset(toolbar, frame);
    const RECT inner{frame.left + 1, frame.top + 1, frame.right - 1, frame.bottom - 1};
    SetBkColor(toolbar, GetSysColor(COLOR_BTNFACE));
    SetTextColor(toolbar, GetSysColor(COLOR_BTNTEXT));
    DrawTextNF(toolbar, inner, text, -1, DT_VCENTER);
}

struct Toolbar {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    explicit Toolbar(HDC screen)
        : dc(CreateCompatibleDC(screen)), bitmap(CreateCompatibleBitmap(screen, kWidth, kHeight)),
          old(SelectObject(dc, bitmap)) {
        SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    }
    ~Toolbar() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    std::vector<COLORREF> pixels() const {
        std::vector<COLORREF> all;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                all.push_back(GetPixel(dc, x, y));
            }
        }
        return all;
    }
};

// The whole toolbar: raised, with "save" held down, "print" and "help" disabled (dimmed), and
// the status label.
void drawToolbar(Toolbar& t, HINSTANCE app, const char* status) {
    const RECT all{0, 0, kWidth, kHeight};
    FillRect(t.dc, &all, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    Draw3dRectOutset(t.dc, all);
    for (int i = 0; i < 6; ++i) {
        drawButton(t.dc, app, i, i == 2);
    }
    CCheckerDimmer dimmer(t.dc, 8, 8, 0, 0, CCheckerDimmer::styleChecker);
    SetBkColor(t.dc, RGB(255, 255, 255));
    SetTextColor(t.dc, RGB(0, 0, 0));
    const RECT disabled{buttonRect(4).left, buttonRect(4).top, buttonRect(5).right,
                        buttonRect(5).bottom};
    dimmer.Draw(t.dc, disabled);
    drawStatus(t.dc, status);
}

int run() {
    const HINSTANCE app = GetModuleHandleA(nullptr);
    HDC screen = GetDC(nullptr);
    int problems = 0;
    {
        Toolbar shown(screen), fresh(screen);
        drawToolbar(shown, app, "Ready to take notes");
        drawStatus(shown.dc, "Saved 3 notes.");
        drawToolbar(fresh, app, "Saved 3 notes.");
        const bool clean = shown.pixels() == fresh.pixels();
        demo::say("toolbar of %d bitmap buttons drawn from the program's resources", 6);
        demo::say("status label redrawn in place leaves no trace of the longer text: %s",
                  clean ? "yes" : "no");
        problems += clean ? 0 : 1;
        const std::string path = demo::picturePath("toolbar.png");
        const bool saved = PlatSaveBitmapPng(shown.bitmap, path.c_str()) != 0;
        demo::say("picture: %s", saved ? path.c_str() : "(could not be saved)");
        problems += saved ? 0 : 1;
    }
    ReleaseDC(nullptr, screen);
    return problems;
}

demo::Registration registration(80, "Toolbar drawing", run);

} // namespace
