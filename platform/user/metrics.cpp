#include "user/metrics.h"

#include "gdi/desktop.h"
#include "gdi/lock.h"
#include "gdi/surface.h"
#include "kernel/no_throw.h"
#include "user/messages.h"
#include "user/window.h"

#include <korutil/platform/errors.h>

#include <vector>

namespace korutil::detail {
namespace {

constexpr int kBorder = 1;
constexpr int kDialogFrame = 3;
constexpr int kSizingFrame = 4;
constexpr int kEdge = 2;
constexpr int kCaption = 19;
constexpr int kSmallCaption = 16;
constexpr int kMenu = 19;
constexpr int kScrollBar = 16;

struct WorkArea {
    bool set = false;
    RECT area{0, 0, 0, 0};
};

WorkArea& workAreaState() {
    static auto* state = new WorkArea; // outlives every static destructor
    return *state;
}

RECT screenArea() {
    const DesktopConfig& config = desktopConfig();
    return RECT{0, 0, config.width, config.height};
}

} // namespace

FrameLayout frameLayout(DWORD style, DWORD exStyle, bool menu) {
    FrameLayout f;
    const bool thick = (style & WS_THICKFRAME) != 0;
    const bool dialog = (style & WS_DLGFRAME) != 0 || (exStyle & WS_EX_DLGMODALFRAME) != 0;
    const bool border = (style & WS_BORDER) != 0;
    if (exStyle & WS_EX_STATICEDGE) {
        f.outer = 1;
    } else if (thick || dialog) {
        f.outer = 2;
    }
    f.sizing = thick ? 1 : 0;
    f.line = (border || dialog) ? 1 : 0;
    if ((style & WS_CAPTION) == WS_CAPTION) {
        f.caption = (exStyle & WS_EX_TOOLWINDOW) ? kSmallCaption : kCaption;
    }
    f.menu = menu ? kMenu : 0;
    f.clientEdge = (exStyle & WS_EX_CLIENTEDGE) ? kEdge : 0;
    const int side = f.border() + f.clientEdge;
    f.left = f.right = f.bottom = side;
    f.top = side + f.caption + f.menu;
    return f;
}

int systemMetric(int index) {
    const DesktopConfig& desk = desktopConfig();
    switch (index) {
    case SM_CXSCREEN:
    case SM_CXVIRTUALSCREEN:
        return desk.width;
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN:
        return desk.height;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB:
        return kScrollBar;
    case SM_CYCAPTION:
        return kCaption;
    case SM_CXBORDER:
    case SM_CYBORDER:
        return kBorder;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
        return kDialogFrame;
    case SM_CXFRAME:
    case SM_CYFRAME:
        return kSizingFrame;
    case SM_CXEDGE:
    case SM_CYEDGE:
        return kEdge;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    case SM_CYMENU:
        return kMenu;
    case SM_CXFULLSCREEN: {
        const RECT work = workArea();
        return work.right - work.left;
    }
    case SM_CYFULLSCREEN: {
        const RECT work = workArea();
        return work.bottom - work.top - kCaption;
    }
    case SM_MOUSEPRESENT:
    case SM_MOUSEWHEELPRESENT:
    case SM_CMONITORS:
        return 1;
    case SM_CMOUSEBUTTONS:
        return 3;
    case SM_CXMIN:
    case SM_CXMINTRACK:
        return 112;
    case SM_CYMIN:
    case SM_CYMINTRACK:
        return 27;
    case SM_CXSIZE:
    case SM_CYSIZE:
    case SM_CXMENUSIZE:
    case SM_CYMENUSIZE:
        return kCaption - 1;
    case SM_CYSMCAPTION:
        return kSmallCaption;
    case SM_CXSMSIZE:
    case SM_CYSMSIZE:
        return kSmallCaption - 1;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
    case SM_CXDRAG:
    case SM_CYDRAG:
        return 4;
    case SM_CXICONSPACING:
    case SM_CYICONSPACING:
        return 75;
    case SM_CXMINIMIZED:
        return 160;
    case SM_CYMINIMIZED:
        return 24;
    case SM_CXMAXTRACK:
        return desk.width + 2 * (kSizingFrame + kEdge);
    case SM_CYMAXTRACK:
        return desk.height + 2 * (kSizingFrame + kEdge);
    case SM_CXMAXIMIZED: {
        const RECT work = workArea();
        return work.right - work.left + 2 * kSizingFrame;
    }
    case SM_CYMAXIMIZED: {
        const RECT work = workArea();
        return work.bottom - work.top + 2 * kSizingFrame;
    }
    case SM_CXMENUCHECK:
    case SM_CYMENUCHECK:
        return 13;
    default:
        return 0; // SM_SWAPBUTTON, SM_MENUDROPALIGNMENT, the virtual screen's origin, unknown
    }
}

RECT workArea() {
    UiLock lock(uiMutex());
    const WorkArea& state = workAreaState();
    return state.set ? state.area : screenArea();
}

} // namespace korutil::detail

using namespace korutil::detail;

extern "C" int WINAPI GetSystemMetrics(int nIndex) {
    return korutil::detail::failOnBadAlloc(0, [&]() -> int { return systemMetric(nIndex); });
}

extern "C" BOOL WINAPI SystemParametersInfoA(UINT uiAction, UINT, PVOID pvParam, UINT fWinIni) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        switch (uiAction) {
        case SPI_GETWORKAREA:
            if (!pvParam) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }
            *static_cast<RECT*>(pvParam) = workArea();
            return TRUE;
        case SPI_SETWORKAREA: {
            const RECT screen = screenArea();
            const RECT area = pvParam ? *static_cast<const RECT*>(pvParam) : screen;
            const RECT inside = intersect(area, screen);
            if (isEmpty(area) || !EqualRect(&area, &inside)) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }
            {
                UiLock lock(uiMutex());
                workAreaState() = WorkArea{true, area};
            }
            if (fWinIni & SPIF_SENDCHANGE) {
                broadcastToTopLevels(WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
            }
            return TRUE;
        }
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    });
}
