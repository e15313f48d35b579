// Window and drawing helpers: thin, nearly stateless helpers over the window manager and the
// graphics device interface for everyday window geometry, a tone on the PC speaker, bitmaps
// recoloured to the system colours, owner-drawn bitmap buttons, flicker-free labels, 3-D
// frames, checkerboard dimming, menus and tooltips.
//
// They are meant for a host's user-interface thread. Two library-wide values are plain,
// unsynchronised variables: the cached colour count of GetNumberOfColors and the colour-key
// table of LoadSysColorBitmap; threads that call those at the same time may see each other's
// values. Everything else keeps no state of its own beyond the objects below.
#pragma once

#include <korutil/frame.h>
#include <korutil/platform.h>

// ---- Window geometry and input ----------------------------------------------------------------
// These share names with Windows calls; they are overloads with signatures of their own.

// The display's colour count, 2 to the power of planes times bits per pixel (at most 2^31),
// computed at the first call and cached for the life of the library.
KORUTIL_API unsigned long GetNumberOfColors();
// The desktop's work area; the desktop window's rectangle when that cannot be read.
KORUTIL_API RECT GetShellWorkspaceRect();
// Moves the window, keeping its size, to ((work width - width) / 2, (work height - height) / 2)
// in screen coordinates; `repaint` goes to MoveWindow.
KORUTIL_API void CenterWindow(HWND window, int repaint);
// Meant for a handler of a left-button message: updates `windowToUpdate` (when it is a window),
// waits without sleeping until `delay` milliseconds after the message's time, and then, if the
// left button is still down, posts one WM_MOUSEMOVE with MK_LBUTTON and the cursor's position
// in `target`'s client coordinates. Returns at once, posting nothing, when the button comes up.
KORUTIL_API void GenerateMouseMoveWhileLButtonIsDown(HWND target, HWND windowToUpdate, int delay);
KORUTIL_API RECT GetWindowRect(HWND window);
KORUTIL_API RECT GetClientRect(HWND window);
KORUTIL_API int GetClientCX(HWND window);
KORUTIL_API int GetClientCY(HWND window);
KORUTIL_API int PtInRect(RECT* rect, int x, int y);
KORUTIL_API void ClientToScreen(HWND window, int* x, int* y);
KORUTIL_API void ScreenToClient(HWND window, int* x, int* y);
// Starts the speaker sounding at about `frequency` hertz and returns at once; Beep(0) stops
// it. The caller times the tone.
KORUTIL_API void Beep(unsigned short frequency);

// ---- System-colour bitmaps and bitmap buttons -------------------------------------------------

// Loads a bitmap resource painted in the four key greys (black, dark grey, light grey, white)
// and returns a bitmap compatible with the screen in which those greys show the given system
// colours (COLOR_ indices, one for each grey); other colours stay as they are. With
// `silhouette` non-zero, light grey shows `colorForLightGrey` and every other colour
// `colorForDarkGrey`. The caller owns the bitmap (DeleteObject). Null when the resource is
// missing, not a picture of 1, 4 or 8 bits with a colour table, or shorter than its header
// claims.
KORUTIL_API HBITMAP LoadSysColorBitmap(HINSTANCE instance, const char* name, int silhouette,
                                       int colorForBlack, int colorForDarkGrey,
                                       int colorForLightGrey, int colorForWhite);
// Draws an owner-drawn push button from its WM_DRAWITEM request: the face, the picture centred
// (one pixel down and right while pressed, squeezed where it is larger than the button) and a
// raised or pressed border. A request for a change of focus alone draws nothing.
KORUTIL_API void DrawBitmapButton(HINSTANCE instance, const char* name, const DRAWITEMSTRUCT* item);

// ---- Text drawing and matching fonts ----------------------------------------------------------

// Draws a one-line label into `rect` and fills the rest of the rectangle with the background
// colour in strips around the text, so that a label redrawn in place never flickers. The
// format reads DT_CENTER, DT_RIGHT, DT_VCENTER and DT_WORDBREAK; text that needs breaking goes
// to DrawTextA after one fill. A negative `length` means zero-terminated.
KORUTIL_API void DrawTextNF(HDC context, const RECT& rect, const char* text, int length,
                            unsigned short format);
// A new font (owned by the caller) like the one selected into `source`; `target` is not used.
KORUTIL_API HFONT CreateMatchingFont(HDC source, HDC target);

// ---- 3-D frames and checker dimmer ------------------------------------------------------------

// One-pixel sunken (inset) and raised (outset) frames along the inside of `rect` in the
// button shadow and highlight colours. Both leave the stock black pen selected.
KORUTIL_API void Draw3dRectInset(HDC context, const RECT& rect);
KORUTIL_API void Draw3dRectOutset(HDC context, const RECT& rect);

// Darkens areas through a small monochrome dot pattern whose phase follows the destination
// coordinates, so that an area dimmed in several calls looks as if dimmed in one. Owns its
// pattern bitmap.
class KORUTIL_API CCheckerDimmer {
public:
    enum EStyle {
        styleChecker = 0, // every other pixel, a 50% checkerboard
        styleSparse = 1,  // one pixel in six, in diagonal runs on even rows
    };

    // Builds a cx by cy pattern; `context` only serves to make a compatible memory context. A
    // style not listed above, or a pattern smaller than one period of its style, builds none,
    // and Draw then does nothing.
    CCheckerDimmer(HDC context, int cx, int cy, int xPhase, int yPhase, EStyle style);
    ~CCheckerDimmer();
    CCheckerDimmer(const CCheckerDimmer&) = delete;
    CCheckerDimmer& operator=(const CCheckerDimmer&) = delete;

    // Turns black the pattern's dots inside `rect` (under a white background colour of the
    // context; the background colour is used as the caller left it).
    void Draw(HDC context, const RECT& rect);

    int m_cx;
    int m_cy;
    int m_xPhase;
    int m_yPhase;
    int m_xPeriod;
    int m_yPeriod;
    HBITMAP m_hBitmap;
};

// ---- Menus and tooltips -----------------------------------------------------------------------

// Owns a menu or pop-up menu: adds text items with their states in one call and pops up at a
// screen position. The destructor destroys a menu still held, unless built with
// autoDestroy 0 (for a menu handed to a window, which destroys it with itself).
class KORUTIL_API CMenu {
public:
    CMenu(int autoDestroy = 1);
    ~CMenu();
    CMenu(const CMenu&) = delete;
    // Copies the three fields; both objects then hold the same menu.
    CMenu& operator=(const CMenu& other) = default;

    // Each overwrites a menu already held without destroying it.
    int Create();
    int CreatePopup();
    void Destroy();
    // Inserts a text item before `position` (0xFFFFFFFF appends): greyed unless `enabled`,
    // checked and shown as the default item as asked.
    int Add(unsigned int id, const char* text, int enabled, int checked, int isDefault,
            unsigned int position);
    int AddSeparator(unsigned int position);
    // Tracks the menu at screen position (x, y) with the left button (non-zero `leftButton`)
    // or the right one; the chosen command reaches `owner` as WM_COMMAND. Returns the
    // platform's success flag, not the command.
    int PopUp(int x, int y, HWND owner, int leftButton);
    operator HMENU() const { return m_hMenu; }

    HMENU m_hMenu;
    int m_bPopup;
    int m_bAutoDestroy;
};

// Owns one tooltip control for an owner window and registers child windows as tools, with
// their tips given as text or as string resources. The host registers the common controls'
// tooltip class (InitCommonControlsEx) first.
class KORUTIL_API CToolTip {
public:
    CToolTip();
    ~CToolTip();
    CToolTip(const CToolTip&) = delete;
    // Copies the three fields; both objects then hold the same control.
    CToolTip& operator=(const CToolTip& other) = default;

    // 1 when the control was made; it shows tips while its owner is inactive too.
    int Create(HWND owner, HINSTANCE instance, int enable);
    void Enable(int enable);
    void Destroy();
    // Registers `tool` (a window) under `owner`, or under Create's owner when that is null;
    // returns the control's answer, non-zero on success. The string-identifier form takes the
    // text from the module given to Create; a missing string gives an empty tip.
    int Add(HWND tool, const char* text, HWND owner);
    int Add(HWND tool, int stringId, HWND owner);

    HWND m_hWnd;
    HWND m_hWndOwner;
    HINSTANCE m_hInstance;
};
