#include "gdi/lock.h"
#include "kernel/no_throw.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/gdi.h>

namespace {

constexpr int kCount = COLOR_MENUBAR + 1;

// The standard Windows scheme: a picture painted in the four button greys keeps its look.
COLORREF g_colors[kCount] = {
    RGB(192, 192, 192), // COLOR_SCROLLBAR
    RGB(0, 128, 128),   // COLOR_BACKGROUND
    RGB(0, 0, 128),     // COLOR_ACTIVECAPTION
    RGB(128, 128, 128), // COLOR_INACTIVECAPTION
    RGB(192, 192, 192), // COLOR_MENU
    RGB(255, 255, 255), // COLOR_WINDOW
    RGB(0, 0, 0),       // COLOR_WINDOWFRAME
    RGB(0, 0, 0),       // COLOR_MENUTEXT
    RGB(0, 0, 0),       // COLOR_WINDOWTEXT
    RGB(255, 255, 255), // COLOR_CAPTIONTEXT
    RGB(192, 192, 192), // COLOR_ACTIVEBORDER
    RGB(192, 192, 192), // COLOR_INACTIVEBORDER
    RGB(128, 128, 128), // COLOR_APPWORKSPACE
    RGB(0, 0, 128),     // COLOR_HIGHLIGHT
    RGB(255, 255, 255), // COLOR_HIGHLIGHTTEXT
    RGB(192, 192, 192), // COLOR_BTNFACE
    RGB(128, 128, 128), // COLOR_BTNSHADOW
    RGB(128, 128, 128), // COLOR_GRAYTEXT
    RGB(0, 0, 0),       // COLOR_BTNTEXT
    RGB(192, 192, 192), // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255), // COLOR_BTNHIGHLIGHT
    RGB(0, 0, 0),       // COLOR_3DDKSHADOW
    RGB(192, 192, 192), // COLOR_3DLIGHT
    RGB(0, 0, 0),       // COLOR_INFOTEXT
    RGB(255, 255, 225), // COLOR_INFOBK
    RGB(0, 0, 0),       // 25: no colour
    RGB(0, 0, 255),     // COLOR_HOTLIGHT
    RGB(16, 132, 208),  // COLOR_GRADIENTACTIVECAPTION
    RGB(181, 181, 181), // COLOR_GRADIENTINACTIVECAPTION
    RGB(0, 0, 128),     // COLOR_MENUHILIGHT
    RGB(192, 192, 192), // COLOR_MENUBAR
};

} // namespace

extern "C" DWORD WINAPI GetSysColor(int nIndex) {
    return korutil::detail::failOnBadAlloc(DWORD(0), [&]() -> DWORD {
        if (nIndex < 0 || nIndex >= kCount) {
            return 0;
        }
        korutil::detail::UiLock lock(korutil::detail::uiMutex());
        return g_colors[nIndex];
    });
}

// Changes the colours for the whole process; the system colour brushes follow at once.
extern "C" BOOL WINAPI SetSysColors(int cElements, const INT* lpaElements,
                                    const COLORREF* lpaRgbValues) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        if (cElements < 0 || (cElements > 0 && (!lpaElements || !lpaRgbValues))) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        korutil::detail::UiLock lock(korutil::detail::uiMutex());
        for (int i = 0; i < cElements; ++i) {
            if (lpaElements[i] >= 0 && lpaElements[i] < kCount) {
                g_colors[lpaElements[i]] = lpaRgbValues[i] & 0x00FFFFFFu;
            }
        }
        return TRUE;
    });
}
