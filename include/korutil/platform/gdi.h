// The graphics device interface: device contexts over pixel surfaces (the screen, windows,
// memory bitmaps), drawing objects, raster operations, device-independent bitmaps and text,
// plus the drawing calls of the window manager that hosts use for painting (FillRect,
// DrawEdge, DrawTextA, the system colours). Every call may be made from any thread; the layer
// serialises them, so one context should still be used by one thread at a time, as on Windows.
#pragma once

#include <korutil/platform/types.h>

typedef DWORD COLORREF;
typedef DWORD* LPCOLORREF;

KORPLATFORM_DECLARE_HANDLE(HRGN);
KORPLATFORM_DECLARE_HANDLE(HPALETTE);

#define RGB(r, g, b)                                                                               \
    ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(rgb) ((BYTE)(rgb))
#define GetGValue(rgb) ((BYTE)(((WORD)(rgb)) >> 8))
#define GetBValue(rgb) ((BYTE)((rgb) >> 16))
#define CLR_INVALID 0xFFFFFFFFu
#define GDI_ERROR 0xFFFFFFFFu
#define HGDI_ERROR ((HANDLE)(LONG_PTR)-1)

// Stock objects.
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define OEM_FIXED_FONT 10
#define ANSI_FIXED_FONT 11
#define ANSI_VAR_FONT 12
#define SYSTEM_FONT 13
#define DEVICE_DEFAULT_FONT 14
#define DEFAULT_PALETTE 15
#define SYSTEM_FIXED_FONT 16
#define DEFAULT_GUI_FONT 17
#define DC_BRUSH 18
#define DC_PEN 19

// Object types (GetObjectType, GetCurrentObject).
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_PAL 5
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_REGION 8
#define OBJ_MEMDC 10
#define OBJ_EXTPEN 11

// GetDeviceCaps indices.
#define DRIVERVERSION 0
#define TECHNOLOGY 2
#define HORZSIZE 4
#define VERTSIZE 6
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define NUMBRUSHES 16
#define NUMPENS 18
#define NUMFONTS 22
#define NUMCOLORS 24
#define RASTERCAPS 38
#define ASPECTX 40
#define ASPECTY 42
#define ASPECTXY 44
#define LOGPIXELSX 88
#define LOGPIXELSY 90
#define SIZEPALETTE 104
#define NUMRESERVED 106
#define COLORRES 108
#define VREFRESH 116
#define DESKTOPVERTRES 117
#define DESKTOPHORZRES 118
#define DT_PLOTTER 0
#define DT_RASDISPLAY 1
#define RC_BITBLT 1
#define RC_BITMAP64 8
#define RC_DI_BITMAP 0x0080
#define RC_DIBTODEV 0x0200
#define RC_STRETCHBLT 0x0800
#define RC_STRETCHDIB 0x2000

// Binary raster operations of pens (SetROP2).
#define R2_BLACK 1
#define R2_NOTMERGEPEN 2
#define R2_MASKNOTPEN 3
#define R2_NOTCOPYPEN 4
#define R2_MASKPENNOT 5
#define R2_NOT 6
#define R2_XORPEN 7
#define R2_NOTMASKPEN 8
#define R2_MASKPEN 9
#define R2_NOTXORPEN 10
#define R2_NOP 11
#define R2_MERGENOTPEN 12
#define R2_COPYPEN 13
#define R2_MERGEPENNOT 14
#define R2_MERGEPEN 15
#define R2_WHITE 16

// Ternary raster operations of blits: bits 16-23 are the truth table over pattern (0xF0),
// source (0xCC) and destination (0xAA).
#define SRCCOPY 0x00CC0020u
#define SRCPAINT 0x00EE0086u
#define SRCAND 0x008800C6u
#define SRCINVERT 0x00660046u
#define SRCERASE 0x00440328u
#define NOTSRCCOPY 0x00330008u
#define NOTSRCERASE 0x001100A6u
#define MERGECOPY 0x00C000CAu
#define MERGEPAINT 0x00BB0226u
#define PATCOPY 0x00F00021u
#define PATPAINT 0x00FB0A09u
#define PATINVERT 0x005A0049u
#define DSTINVERT 0x00550009u
#define BLACKNESS 0x00000042u
#define WHITENESS 0x00FF0062u
#define NOMIRRORBITMAP 0x80000000u
#define CAPTUREBLT 0x40000000u

#define TRANSPARENT 1
#define OPAQUE 2

#define BLACKONWHITE 1
#define WHITEONBLACK 2
#define COLORONCOLOR 3
#define HALFTONE 4
#define STRETCH_ANDSCANS BLACKONWHITE
#define STRETCH_ORSCANS WHITEONBLACK
#define STRETCH_DELETESCANS COLORONCOLOR
#define STRETCH_HALFTONE HALFTONE

// Pens and brushes.
#define PS_SOLID 0
#define PS_DASH 1
#define PS_DOT 2
#define PS_DASHDOT 3
#define PS_DASHDOTDOT 4
#define PS_NULL 5
#define PS_INSIDEFRAME 6
#define BS_SOLID 0
#define BS_NULL 1
#define BS_HOLLOW BS_NULL
#define BS_HATCHED 2
#define BS_PATTERN 3
#define BS_DIBPATTERN 5
#define BS_DIBPATTERNPT 6
#define HS_HORIZONTAL 0
#define HS_VERTICAL 1
#define HS_FDIAGONAL 2
#define HS_BDIAGONAL 3
#define HS_CROSS 4
#define HS_DIAGCROSS 5

// Device-independent bitmaps.
#define BI_RGB 0
#define BI_RLE8 1
#define BI_RLE4 2
#define BI_BITFIELDS 3
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1
#define CBM_INIT 0x04

// Text.
#define TA_NOUPDATECP 0
#define TA_UPDATECP 1
#define TA_LEFT 0
#define TA_RIGHT 2
#define TA_CENTER 6
#define TA_TOP 0
#define TA_BOTTOM 8
#define TA_BASELINE 24
#define ETO_OPAQUE 0x0002
#define ETO_CLIPPED 0x0004
#define LF_FACESIZE 32
#define FW_DONTCARE 0
#define FW_THIN 100
#define FW_EXTRALIGHT 200
#define FW_LIGHT 300
#define FW_NORMAL 400
#define FW_REGULAR FW_NORMAL
#define FW_MEDIUM 500
#define FW_SEMIBOLD 600
#define FW_BOLD 700
#define FW_EXTRABOLD 800
#define FW_HEAVY 900
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define SYMBOL_CHARSET 2
#define SHIFTJIS_CHARSET 128
#define HANGUL_CHARSET 129
#define GB2312_CHARSET 134
#define CHINESEBIG5_CHARSET 136
#define GREEK_CHARSET 161
#define TURKISH_CHARSET 162
#define VIETNAMESE_CHARSET 163
#define HEBREW_CHARSET 177
#define ARABIC_CHARSET 178
#define BALTIC_CHARSET 186
#define RUSSIAN_CHARSET 204
#define THAI_CHARSET 222
#define EASTEUROPE_CHARSET 238
#define OEM_CHARSET 255
#define OUT_DEFAULT_PRECIS 0
#define OUT_TT_PRECIS 4
#define OUT_TT_ONLY_PRECIS 7
#define CLIP_DEFAULT_PRECIS 0
#define DEFAULT_QUALITY 0
#define DRAFT_QUALITY 1
#define PROOF_QUALITY 2
#define NONANTIALIASED_QUALITY 3
#define ANTIALIASED_QUALITY 4
#define CLEARTYPE_QUALITY 5
#define DEFAULT_PITCH 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define FF_DONTCARE 0x00
#define FF_ROMAN 0x10
#define FF_SWISS 0x20
#define FF_MODERN 0x30
#define FF_SCRIPT 0x40
#define FF_DECORATIVE 0x50
// tmPitchAndFamily: TMPF_FIXED_PITCH set means a variable-pitch font, as on Windows.
#define TMPF_FIXED_PITCH 0x01
#define TMPF_VECTOR 0x02
#define TMPF_TRUETYPE 0x04
#define TMPF_DEVICE 0x08

// Regions (rectangles only) and clipping.
#define ERROR 0
#define NULLREGION 1
#define SIMPLEREGION 2
#define COMPLEXREGION 3
#define RGN_AND 1
#define RGN_OR 2
#define RGN_XOR 3
#define RGN_DIFF 4
#define RGN_COPY 5

// System colours (GetSysColor, SetSysColors, GetSysColorBrush; a class or FillRect brush may
// also be given as (HBRUSH)(COLOR_x + 1)).
#define COLOR_SCROLLBAR 0
#define COLOR_BACKGROUND 1
#define COLOR_DESKTOP COLOR_BACKGROUND
#define COLOR_ACTIVECAPTION 2
#define COLOR_INACTIVECAPTION 3
#define COLOR_MENU 4
#define COLOR_WINDOW 5
#define COLOR_WINDOWFRAME 6
#define COLOR_MENUTEXT 7
#define COLOR_WINDOWTEXT 8
#define COLOR_CAPTIONTEXT 9
#define COLOR_ACTIVEBORDER 10
#define COLOR_INACTIVEBORDER 11
#define COLOR_APPWORKSPACE 12
#define COLOR_HIGHLIGHT 13
#define COLOR_HIGHLIGHTTEXT 14
#define COLOR_BTNFACE 15
#define COLOR_3DFACE COLOR_BTNFACE
#define COLOR_BTNSHADOW 16
#define COLOR_3DSHADOW COLOR_BTNSHADOW
#define COLOR_GRAYTEXT 17
#define COLOR_BTNTEXT 18
#define COLOR_INACTIVECAPTIONTEXT 19
#define COLOR_BTNHIGHLIGHT 20
#define COLOR_BTNHILIGHT COLOR_BTNHIGHLIGHT
#define COLOR_3DHIGHLIGHT COLOR_BTNHIGHLIGHT
#define COLOR_3DHILIGHT COLOR_BTNHIGHLIGHT
#define COLOR_3DDKSHADOW 21
#define COLOR_3DLIGHT 22
#define COLOR_INFOTEXT 23
#define COLOR_INFOBK 24
#define COLOR_HOTLIGHT 26
#define COLOR_GRADIENTACTIVECAPTION 27
#define COLOR_GRADIENTINACTIVECAPTION 28
#define COLOR_MENUHILIGHT 29
#define COLOR_MENUBAR 30

// DrawEdge.
#define BDR_RAISEDOUTER 0x0001
#define BDR_SUNKENOUTER 0x0002
#define BDR_RAISEDINNER 0x0004
#define BDR_SUNKENINNER 0x0008
#define BDR_OUTER (BDR_RAISEDOUTER | BDR_SUNKENOUTER)
#define BDR_INNER (BDR_RAISEDINNER | BDR_SUNKENINNER)
#define BDR_RAISED (BDR_RAISEDOUTER | BDR_RAISEDINNER)
#define BDR_SUNKEN (BDR_SUNKENOUTER | BDR_SUNKENINNER)
#define EDGE_RAISED (BDR_RAISEDOUTER | BDR_RAISEDINNER)
#define EDGE_SUNKEN (BDR_SUNKENOUTER | BDR_SUNKENINNER)
#define EDGE_ETCHED (BDR_SUNKENOUTER | BDR_RAISEDINNER)
#define EDGE_BUMP (BDR_RAISEDOUTER | BDR_SUNKENINNER)
#define BF_LEFT 0x0001
#define BF_TOP 0x0002
#define BF_RIGHT 0x0004
#define BF_BOTTOM 0x0008
#define BF_TOPLEFT (BF_TOP | BF_LEFT)
#define BF_TOPRIGHT (BF_TOP | BF_RIGHT)
#define BF_BOTTOMLEFT (BF_BOTTOM | BF_LEFT)
#define BF_BOTTOMRIGHT (BF_BOTTOM | BF_RIGHT)
#define BF_RECT (BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM)
#define BF_DIAGONAL 0x0010
#define BF_MIDDLE 0x0800
#define BF_SOFT 0x1000
#define BF_ADJUST 0x2000
#define BF_FLAT 0x4000
#define BF_MONO 0x8000

// DrawTextA.
#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_BOTTOM 0x00000008
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_TABSTOP 0x00000080
#define DT_NOCLIP 0x00000100
#define DT_EXTERNALLEADING 0x00000200
#define DT_CALCRECT 0x00000400
#define DT_NOPREFIX 0x00000800
#define DT_INTERNAL 0x00001000
#define DT_EDITCONTROL 0x00002000
#define DT_PATH_ELLIPSIS 0x00004000
#define DT_END_ELLIPSIS 0x00008000
#define DT_MODIFYSTRING 0x00010000
#define DT_WORD_ELLIPSIS 0x00040000
#define DT_HIDEPREFIX 0x00100000
#define DT_PREFIXONLY 0x00200000

typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP, *PBITMAP, *LPBITMAP;

typedef struct tagRGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
} RGBQUAD, *LPRGBQUAD;

// Packed as in the file format: 40 bytes.
typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER, *PBITMAPINFOHEADER, *LPBITMAPINFOHEADER;

typedef struct tagBITMAPCOREHEADER {
    DWORD bcSize;
    WORD bcWidth;
    WORD bcHeight;
    WORD bcPlanes;
    WORD bcBitCount;
} BITMAPCOREHEADER, *PBITMAPCOREHEADER, *LPBITMAPCOREHEADER;

typedef struct tagBITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
} BITMAPINFO, *PBITMAPINFO, *LPBITMAPINFO;

typedef struct tagDIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    DWORD dsBitfields[3];
    HANDLE dshSection;
    DWORD dsOffset;
} DIBSECTION, *PDIBSECTION, *LPDIBSECTION;

typedef struct tagLOGPEN {
    UINT lopnStyle;
    POINT lopnWidth;
    COLORREF lopnColor;
} LOGPEN, *PLOGPEN, *LPLOGPEN;

typedef struct tagLOGBRUSH {
    UINT lbStyle;
    COLORREF lbColor;
    ULONG_PTR lbHatch;
} LOGBRUSH, *PLOGBRUSH, *LPLOGBRUSH;

typedef struct tagLOGFONTA {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    CHAR lfFaceName[LF_FACESIZE];
} LOGFONTA, *PLOGFONTA, *LPLOGFONTA;

typedef struct tagTEXTMETRICA {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    BYTE tmFirstChar;
    BYTE tmLastChar;
    BYTE tmDefaultChar;
    BYTE tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
} TEXTMETRICA, *PTEXTMETRICA, *LPTEXTMETRICA;

typedef struct tagDRAWTEXTPARAMS DRAWTEXTPARAMS, *LPDRAWTEXTPARAMS;

// 8-bit names, as the Windows headers map them.
#define CreateDC CreateDCA
#define CreateFont CreateFontA
#define CreateFontIndirect CreateFontIndirectA
#define GetObject GetObjectA
#define GetTextFace GetTextFaceA
#define GetTextMetrics GetTextMetricsA
#define GetTextExtentPoint GetTextExtentPointA
#define GetTextExtentPoint32 GetTextExtentPoint32A
#define TextOut TextOutA
#define ExtTextOut ExtTextOutA
#define DrawText DrawTextA
#define LOGFONT LOGFONTA
#define TEXTMETRIC TEXTMETRICA

extern "C" {
// Device contexts. The screen context draws on the desktop as the window manager composes it;
// GetDC(NULL) and CreateDCA("DISPLAY", ...) give one. A memory context starts with a 1 by 1
// monochrome bitmap selected, as on Windows. GetDC of a window lives in the window manager.
KORPLATFORM_API HDC WINAPI CreateDCA(LPCSTR pwszDriver, LPCSTR pwszDevice, LPCSTR pszPort,
                                     const void* pdm);
KORPLATFORM_API HDC WINAPI CreateCompatibleDC(HDC hdc);
KORPLATFORM_API BOOL WINAPI DeleteDC(HDC hdc);
KORPLATFORM_API HDC WINAPI GetDC(HWND hWnd);
KORPLATFORM_API HDC WINAPI GetWindowDC(HWND hWnd);
KORPLATFORM_API int WINAPI ReleaseDC(HWND hWnd, HDC hDC);
KORPLATFORM_API int WINAPI GetDeviceCaps(HDC hdc, int index);
KORPLATFORM_API int WINAPI SaveDC(HDC hdc);
KORPLATFORM_API BOOL WINAPI RestoreDC(HDC hdc, int nSavedDC);
KORPLATFORM_API HWND WINAPI WindowFromDC(HDC hDC);

// Clipping: one rectangle per context, in logical coordinates.
KORPLATFORM_API int WINAPI IntersectClipRect(HDC hdc, int left, int top, int right, int bottom);
KORPLATFORM_API int WINAPI SelectClipRgn(HDC hdc, HRGN hrgn);
KORPLATFORM_API int WINAPI GetClipBox(HDC hdc, LPRECT lprect);
KORPLATFORM_API HRGN WINAPI CreateRectRgn(int x1, int y1, int x2, int y2);
KORPLATFORM_API HRGN WINAPI CreateRectRgnIndirect(const RECT* lprect);
KORPLATFORM_API int WINAPI GetRgnBox(HRGN hrgn, LPRECT lprc);

// Objects.
KORPLATFORM_API HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount,
                                            const void* lpBits);
KORPLATFORM_API HBITMAP WINAPI CreateBitmapIndirect(const BITMAP* pbm);
KORPLATFORM_API HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy);
KORPLATFORM_API HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage,
                                                void** ppvBits, HANDLE hSection, DWORD offset);
KORPLATFORM_API int WINAPI SetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines,
                                     const void* lpBits, const BITMAPINFO* lpbmi, UINT ColorUse);
KORPLATFORM_API int WINAPI GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits,
                                     LPBITMAPINFO lpbmi, UINT usage);
KORPLATFORM_API LONG WINAPI GetBitmapBits(HBITMAP hbit, LONG cb, LPVOID lpvBits);
KORPLATFORM_API LONG WINAPI SetBitmapBits(HBITMAP hbm, DWORD cb, const void* pvBits);
KORPLATFORM_API HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color);
KORPLATFORM_API HPEN WINAPI CreatePenIndirect(const LOGPEN* plpen);
KORPLATFORM_API HBRUSH WINAPI CreateSolidBrush(COLORREF color);
KORPLATFORM_API HBRUSH WINAPI CreatePatternBrush(HBITMAP hbm);
KORPLATFORM_API HBRUSH WINAPI CreateHatchBrush(int iHatch, COLORREF color);
KORPLATFORM_API HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH* plbrush);
KORPLATFORM_API HGDIOBJ WINAPI GetStockObject(int i);
// Returns the object of the same kind that it replaced; for a region, the region type.
KORPLATFORM_API HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h);
// Stock objects are never deleted; an object selected into a context is freed once no
// context holds it any more.
KORPLATFORM_API BOOL WINAPI DeleteObject(HGDIOBJ ho);
KORPLATFORM_API int WINAPI GetObjectA(HANDLE h, int c, LPVOID pv);
KORPLATFORM_API DWORD WINAPI GetObjectType(HGDIOBJ h);
KORPLATFORM_API HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type);

// Colours and modes of a context.
KORPLATFORM_API COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color);
KORPLATFORM_API COLORREF WINAPI GetTextColor(HDC hdc);
KORPLATFORM_API COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color);
KORPLATFORM_API COLORREF WINAPI GetBkColor(HDC hdc);
KORPLATFORM_API int WINAPI SetBkMode(HDC hdc, int mode);
KORPLATFORM_API int WINAPI GetBkMode(HDC hdc);
KORPLATFORM_API int WINAPI SetROP2(HDC hdc, int rop2);
KORPLATFORM_API int WINAPI GetROP2(HDC hdc);
KORPLATFORM_API int WINAPI SetStretchBltMode(HDC hdc, int mode);
KORPLATFORM_API int WINAPI GetStretchBltMode(HDC hdc);
KORPLATFORM_API BOOL WINAPI SetBrushOrgEx(HDC hdc, int x, int y, LPPOINT lppt);
KORPLATFORM_API COLORREF WINAPI GetNearestColor(HDC hdc, COLORREF color);

// Pixels, lines and areas.
KORPLATFORM_API COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color);
KORPLATFORM_API COLORREF WINAPI GetPixel(HDC hdc, int x, int y);
KORPLATFORM_API BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt);
KORPLATFORM_API BOOL WINAPI LineTo(HDC hdc, int x, int y);
KORPLATFORM_API BOOL WINAPI GetCurrentPositionEx(HDC hdc, LPPOINT lppt);
KORPLATFORM_API BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom);
KORPLATFORM_API BOOL WINAPI PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop);
KORPLATFORM_API BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1,
                                   int y1, DWORD rop);
KORPLATFORM_API BOOL WINAPI StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest,
                                       HDC hdcSrc, int xSrc, int ySrc, int wSrc, int hSrc,
                                       DWORD rop);
KORPLATFORM_API int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth,
                                         int DestHeight, int xSrc, int ySrc, int SrcWidth,
                                         int SrcHeight, const void* lpBits, const BITMAPINFO* lpbmi,
                                         UINT iUsage, DWORD rop);
KORPLATFORM_API int WINAPI SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h,
                                             int xSrc, int ySrc, UINT StartScan, UINT cLines,
                                             const void* lpvBits, const BITMAPINFO* lpbmi,
                                             UINT ColorUse);

// Fonts and text. Text is UTF-8 and counts are in bytes; a byte that starts no valid sequence
// draws as the default character. The usual Windows faces (Arial, MS Sans Serif, MS Shell Dlg,
// Tahoma, Times New Roman, Courier New, System, ...) are drawn in the metric-compatible
// Liberation families (DejaVu where nothing else fits); GetTextFaceA names the family drawn.
// Heights and widths past 1024 pixels are clamped. Escapement and orientation are kept but
// not drawn: text runs horizontally.
KORPLATFORM_API HFONT WINAPI CreateFontA(int cHeight, int cWidth, int cEscapement, int cOrientation,
                                         int cWeight, DWORD bItalic, DWORD bUnderline,
                                         DWORD bStrikeOut, DWORD iCharSet, DWORD iOutPrecision,
                                         DWORD iClipPrecision, DWORD iQuality,
                                         DWORD iPitchAndFamily, LPCSTR pszFaceName);
KORPLATFORM_API HFONT WINAPI CreateFontIndirectA(const LOGFONTA* lplf);
KORPLATFORM_API int WINAPI GetTextFaceA(HDC hdc, int c, LPSTR lpName);
KORPLATFORM_API BOOL WINAPI GetTextMetricsA(HDC hdc, LPTEXTMETRICA lptm);
KORPLATFORM_API BOOL WINAPI GetTextExtentPointA(HDC hdc, LPCSTR lpString, int c, LPSIZE lpsz);
KORPLATFORM_API BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl);
KORPLATFORM_API BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c);
// lpDx holds one entry per byte; a character advances by the sum of its bytes' entries, plus
// the character extra.
KORPLATFORM_API BOOL WINAPI ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT* lprect,
                                        LPCSTR lpString, UINT c, const INT* lpDx);
KORPLATFORM_API UINT WINAPI SetTextAlign(HDC hdc, UINT align);
KORPLATFORM_API UINT WINAPI GetTextAlign(HDC hdc);
KORPLATFORM_API int WINAPI SetTextCharacterExtra(HDC hdc, int extra);

// Drawing calls that Windows keeps in the window manager.
KORPLATFORM_API int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr);
KORPLATFORM_API int WINAPI FrameRect(HDC hDC, const RECT* lprc, HBRUSH hbr);
KORPLATFORM_API BOOL WINAPI DrawEdge(HDC hdc, LPRECT qrc, UINT edge, UINT grfFlags);
// Lays the text out from the rectangle's top-left corner whatever the context's text alignment,
// and leaves the current position alone.
KORPLATFORM_API int WINAPI DrawTextA(HDC hdc, LPCSTR lpchText, int cchText, LPRECT lprc,
                                     UINT format);
KORPLATFORM_API DWORD WINAPI GetSysColor(int nIndex);
KORPLATFORM_API BOOL WINAPI SetSysColors(int cElements, const INT* lpaElements,
                                         const COLORREF* lpaRgbValues);
KORPLATFORM_API HBRUSH WINAPI GetSysColorBrush(int nIndex);

// Pictures: any bitmap, or the screen as the window manager composes it, as a PNG file.
// FALSE with the last error set when the handle is not a bitmap or the file cannot be written.
KORPLATFORM_API BOOL WINAPI PlatSaveBitmapPng(HBITMAP hbm, const char* path);
KORPLATFORM_API BOOL WINAPI PlatSaveScreenPng(const char* path);
}
