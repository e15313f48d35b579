// Menus: menu and pop-up menu objects with text, separator and sub-menu items, their states,
// and TrackPopupMenuEx, which shows a pop-up menu as a window and runs a modal loop on the
// user's input until an item is chosen or the menu is cancelled. Menu objects may be made and
// changed from any thread; a menu is tracked on the thread that owns the owner window.
#pragma once

#include <korutil/platform/user.h>

#define MF_INSERT 0x00000000L
#define MF_CHANGE 0x00000080L
#define MF_APPEND 0x00000100L
#define MF_DELETE 0x00000200L
#define MF_REMOVE 0x00001000L
#define MF_BYCOMMAND 0x00000000L
#define MF_BYPOSITION 0x00000400L
#define MF_SEPARATOR 0x00000800L
#define MF_ENABLED 0x00000000L
#define MF_GRAYED 0x00000001L
#define MF_DISABLED 0x00000002L
#define MF_UNCHECKED 0x00000000L
#define MF_CHECKED 0x00000008L
#define MF_USECHECKBITMAPS 0x00000200L
#define MF_STRING 0x00000000L
#define MF_BITMAP 0x00000004L
#define MF_OWNERDRAW 0x00000100L
#define MF_POPUP 0x00000010L
#define MF_MENUBARBREAK 0x00000020L
#define MF_MENUBREAK 0x00000040L
#define MF_UNHILITE 0x00000000L
#define MF_HILITE 0x00000080L
#define MF_DEFAULT 0x00001000L
#define MF_SYSMENU 0x00002000L
#define MF_HELP 0x00004000L
#define MF_RIGHTJUSTIFY 0x00004000L
#define MF_MOUSESELECT 0x00008000L

#define MFT_STRING MF_STRING
#define MFT_BITMAP MF_BITMAP
#define MFT_MENUBARBREAK MF_MENUBARBREAK
#define MFT_MENUBREAK MF_MENUBREAK
#define MFT_OWNERDRAW MF_OWNERDRAW
#define MFT_RADIOCHECK 0x00000200L
#define MFT_SEPARATOR MF_SEPARATOR
#define MFT_RIGHTORDER 0x00002000L
#define MFT_RIGHTJUSTIFY MF_RIGHTJUSTIFY

#define MFS_GRAYED 0x00000003L
#define MFS_DISABLED MFS_GRAYED
#define MFS_CHECKED MF_CHECKED
#define MFS_HILITE MF_HILITE
#define MFS_ENABLED MF_ENABLED
#define MFS_UNCHECKED MF_UNCHECKED
#define MFS_UNHILITE MF_UNHILITE
#define MFS_DEFAULT MF_DEFAULT

#define MIIM_STATE 0x00000001
#define MIIM_ID 0x00000002
#define MIIM_SUBMENU 0x00000004
#define MIIM_CHECKMARKS 0x00000008
#define MIIM_TYPE 0x00000010
#define MIIM_DATA 0x00000020
#define MIIM_STRING 0x00000040
#define MIIM_BITMAP 0x00000080
#define MIIM_FTYPE 0x00000100

#define TPM_LEFTBUTTON 0x0000L
#define TPM_RIGHTBUTTON 0x0002L
#define TPM_LEFTALIGN 0x0000L
#define TPM_CENTERALIGN 0x0004L
#define TPM_RIGHTALIGN 0x0008L
#define TPM_TOPALIGN 0x0000L
#define TPM_VCENTERALIGN 0x0010L
#define TPM_BOTTOMALIGN 0x0020L
#define TPM_HORIZONTAL 0x0000L
#define TPM_VERTICAL 0x0040L
#define TPM_NONOTIFY 0x0080L
#define TPM_RETURNCMD 0x0100L
#define TPM_RECURSE 0x0001L

#define GMDI_USEDISABLED 0x0001L
#define GMDI_GOINTOPOPUPS 0x0002L

#define MNC_IGNORE 0
#define MNC_CLOSE 1
#define MNC_EXECUTE 2
#define MNC_SELECT 3

typedef struct tagMENUITEMINFOA {
    UINT cbSize;
    UINT fMask;
    UINT fType;
    UINT fState;
    UINT wID;
    HMENU hSubMenu;
    HBITMAP hbmpChecked;
    HBITMAP hbmpUnchecked;
    ULONG_PTR dwItemData;
    LPSTR dwTypeData;
    UINT cch;
    HBITMAP hbmpItem;
} MENUITEMINFOA, *LPMENUITEMINFOA;
typedef const MENUITEMINFOA* LPCMENUITEMINFOA;

// The size of the structure's first version, without hbmpItem: 44 bytes on 32-bit Windows,
// 72 on 64-bit systems (this one among them). Both versions are accepted.
#define MENUITEMINFOA_V1_SIZE (offsetof(MENUITEMINFOA, hbmpItem))

typedef struct tagTPMPARAMS {
    UINT cbSize;
    RECT rcExclude;
} TPMPARAMS, *LPTPMPARAMS;

#define MENUITEMINFO MENUITEMINFOA
#define InsertMenuItem InsertMenuItemA
#define InsertMenu InsertMenuA
#define AppendMenu AppendMenuA
#define GetMenuItemInfo GetMenuItemInfoA
#define SetMenuItemInfo SetMenuItemInfoA
#define GetMenuString GetMenuStringA
#define ModifyMenu ModifyMenuA

extern "C" {
KORPLATFORM_API HMENU WINAPI CreateMenu(void);
KORPLATFORM_API HMENU WINAPI CreatePopupMenu(void);
// Destroys the menu and the sub-menus it holds; FALSE with ERROR_INVALID_MENU_HANDLE for a
// dead handle.
KORPLATFORM_API BOOL WINAPI DestroyMenu(HMENU hMenu);
KORPLATFORM_API BOOL WINAPI IsMenu(HMENU hMenu);
KORPLATFORM_API BOOL WINAPI InsertMenuItemA(HMENU hmenu, UINT item, BOOL fByPosition,
                                            LPCMENUITEMINFOA lpmi);
KORPLATFORM_API BOOL WINAPI InsertMenuA(HMENU hMenu, UINT uPosition, UINT uFlags,
                                        UINT_PTR uIDNewItem, LPCSTR lpNewItem);
KORPLATFORM_API BOOL WINAPI AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem,
                                        LPCSTR lpNewItem);
KORPLATFORM_API BOOL WINAPI ModifyMenuA(HMENU hMnu, UINT uPosition, UINT uFlags,
                                        UINT_PTR uIDNewItem, LPCSTR lpNewItem);
KORPLATFORM_API BOOL WINAPI RemoveMenu(HMENU hMenu, UINT uPosition, UINT uFlags);
KORPLATFORM_API BOOL WINAPI DeleteMenu(HMENU hMenu, UINT uPosition, UINT uFlags);
KORPLATFORM_API BOOL WINAPI GetMenuItemInfoA(HMENU hmenu, UINT item, BOOL fByPosition,
                                             LPMENUITEMINFOA lpmii);
KORPLATFORM_API BOOL WINAPI SetMenuItemInfoA(HMENU hmenu, UINT item, BOOL fByPositon,
                                             LPCMENUITEMINFOA lpmii);
KORPLATFORM_API int WINAPI GetMenuItemCount(HMENU hMenu);
KORPLATFORM_API UINT WINAPI GetMenuItemID(HMENU hMenu, int nPos);
KORPLATFORM_API UINT WINAPI GetMenuState(HMENU hMenu, UINT uId, UINT uFlags);
KORPLATFORM_API int WINAPI GetMenuStringA(HMENU hMenu, UINT uIDItem, LPSTR lpString, int cchMax,
                                          UINT flags);
KORPLATFORM_API HMENU WINAPI GetSubMenu(HMENU hMenu, int nPos);
KORPLATFORM_API DWORD WINAPI CheckMenuItem(HMENU hMenu, UINT uIDCheckItem, UINT uCheck);
KORPLATFORM_API BOOL WINAPI EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable);
KORPLATFORM_API BOOL WINAPI SetMenuDefaultItem(HMENU hMenu, UINT uItem, UINT fByPos);
KORPLATFORM_API UINT WINAPI GetMenuDefaultItem(HMENU hMenu, UINT fByPos, UINT gmdiFlags);
KORPLATFORM_API BOOL WINAPI TrackPopupMenuEx(HMENU hMenu, UINT uFlags, int x, int y, HWND hwnd,
                                             LPTPMPARAMS lptpm);
KORPLATFORM_API BOOL WINAPI TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int nReserved,
                                           HWND hWnd, const RECT* prcRect);
// Ends the calling thread's menu; TRUE whether or not there was one.
KORPLATFORM_API BOOL WINAPI EndMenu(void);
// Where an item of a menu on the screen is, in screen coordinates; FALSE when the menu is not
// shown. `hWnd` may be null for a pop-up menu.
KORPLATFORM_API BOOL WINAPI GetMenuItemRect(HWND hWnd, HMENU hMenu, UINT uItem, LPRECT lprcItem);
}
