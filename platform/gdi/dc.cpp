#include "gdi/dc.h"

#include "gdi/desktop.h"
#include "gdi/lock.h"
#include "gdi/window_target.h"
#include "kernel/no_throw.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/user.h>

#include <cstdint>
#include <cstring>
#include <strings.h>

namespace korutil::detail {

LONG clampLong(long long value) {
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    return static_cast<LONG>(value);
}

namespace {

void holdState(const DcState& state) {
    holdObject(state.pen);
    holdObject(state.brush);
    holdObject(state.font);
    holdObject(state.bitmap);
}

void releaseBitmap(BitmapObject* bitmap) {
    if (!bitmap) {
        return;
    }
    if (bitmap->selections == 1) {
        bitmap->selectedInto = nullptr;
    }
    releaseObject(bitmap);
}

void releaseState(const DcState& state) {
    releaseObject(state.pen);
    releaseObject(state.brush);
    releaseObject(state.font);
    releaseBitmap(state.bitmap);
}

int regionType(const RECT& box) {
    return isEmpty(box) ? NULLREGION : SIMPLEREGION;
}

RECT normalized(int x1, int y1, int x2, int y2) {
    RECT r{x1 < x2 ? x1 : x2, y1 < y2 ? y1 : y2, x1 < x2 ? x2 : x1, y1 < y2 ? y2 : y1};
    if (isEmpty(r)) {
        r = RECT{0, 0, 0, 0};
    }
    return r;
}

} // namespace

RECT DrawTarget::toSurface(long long left, long long top, long long right, long long bottom) const {
    return RECT{clampLong(left + origin.x), clampLong(top + origin.y), clampLong(right + origin.x),
                clampLong(bottom + origin.y)};
}

DcObject::~DcObject() = default;

bool DcObject::target(DrawTarget& out, bool withClip) {
    switch (dcKind) {
    case DcKind::Memory: {
        Surface* surface = state.bitmap ? state.bitmap->surface.get() : nullptr;
        if (!surface) {
            return false;
        }
        out.surface = surface;
        out.origin = POINT{0, 0};
        out.clip = RECT{0, 0, surface->width(), surface->height()};
        break;
    }
    case DcKind::Screen: {
        composeScreen();
        Surface* surface = screenSurface();
        if (!surface) {
            return false;
        }
        out.surface = surface;
        out.origin = POINT{0, 0};
        out.clip = RECT{0, 0, surface->width(), surface->height()};
        break;
    }
    case DcKind::Client:
    case DcKind::WholeWindow:
        if (!windowDrawTarget(window, dcKind == DcKind::WholeWindow, out)) {
            return false;
        }
        break;
    }
    if (!withClip) {
        return true;
    }
    if (systemClipped) {
        out.clip = intersect(out.clip, out.toSurface(systemClip.left, systemClip.top,
                                                     systemClip.right, systemClip.bottom));
    }
    if (state.clipped) {
        out.clip = intersect(out.clip, out.toSurface(state.clip.left, state.clip.top,
                                                     state.clip.right, state.clip.bottom));
    }
    return true;
}

HGDIOBJ DcObject::select(GdiObject* object) {
    GdiObject* old = nullptr;
    switch (object->kind) {
    case GdiKind::Pen:
        old = state.pen;
        state.pen = static_cast<PenObject*>(object);
        break;
    case GdiKind::Brush:
        old = state.brush;
        state.brush = static_cast<BrushObject*>(object);
        break;
    case GdiKind::Font:
        old = state.font;
        state.font = static_cast<FontObject*>(object);
        break;
    case GdiKind::Bitmap: {
        auto* bitmap = static_cast<BitmapObject*>(object);
        old = state.bitmap;
        state.bitmap = bitmap;
        if (!bitmap->stock) {
            bitmap->selectedInto = static_cast<HDC>(handle);
        }
        break;
    }
    default:
        return nullptr;
    }
    // Releasing may free the old object, so its handle is taken first.
    HGDIOBJ oldHandle = old ? old->handle : nullptr;
    holdObject(object);
    if (object->kind == GdiKind::Bitmap) {
        releaseBitmap(static_cast<BitmapObject*>(old));
    } else {
        releaseObject(old);
    }
    return oldHandle;
}

DcObject* createDc(DcKind kind, HWND window) {
    auto dc = std::make_shared<DcObject>();
    dc->dcKind = kind;
    dc->window = window;
    GdiObject* pen = stockObject(BLACK_PEN);
    GdiObject* brush = stockObject(WHITE_BRUSH);
    GdiObject* font = stockObject(SYSTEM_FONT);
    BitmapObject* bitmap = kind == DcKind::Memory ? defaultBitmap() : nullptr;
    if (!pen || !brush || !font || (kind == DcKind::Memory && !bitmap) || !addObject(dc)) {
        return nullptr;
    }
    dc->state.pen = static_cast<PenObject*>(pen);
    dc->state.brush = static_cast<BrushObject*>(brush);
    dc->state.font = static_cast<FontObject*>(font);
    dc->state.bitmap = bitmap;
    holdState(dc->state);
    return dc.get();
}

DcObject* findDc(HDC hdc) {
    DcObject* dc = findObjectAs<DcObject>(hdc, GdiKind::Dc);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return dc;
}

void destroyDc(DcObject* dc) {
    releaseState(dc->state);
    for (const DcState& saved : dc->saved) {
        releaseState(saved);
    }
    dc->saved.clear();
    removeObject(dc->handle);
}

COLORREF penColor(const DcObject& dc, const PenObject& pen) {
    return pen.dcPen ? dc.state.dcPenColor : pen.pen.lopnColor;
}

} // namespace korutil::detail

using namespace korutil::detail;

namespace {

HDC newDc(DcKind kind, HWND window) {
    return failOnBadAlloc<HDC>(nullptr, [&]() -> HDC {
        UiLock lock(uiMutex());
        DcObject* dc = createDc(kind, window);
        if (!dc) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        return static_cast<HDC>(dc->handle);
    });
}

HDC windowDc(HWND hWnd, bool wholeWindow) {
    if (!hWnd) {
        return newDc(DcKind::Screen, nullptr);
    }
    {
        UiLock lock(uiMutex());
        DrawTarget probe;
        if (!windowDrawTarget(hWnd, wholeWindow, probe)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
    }
    return newDc(wholeWindow ? DcKind::WholeWindow : DcKind::Client, hWnd);
}

} // namespace

extern "C" HDC WINAPI CreateCompatibleDC(HDC hdc) {
    if (hdc && !withDc(hdc, false, [](DcObject&) { return true; })) {
        return nullptr;
    }
    return newDc(DcKind::Memory, nullptr);
}

extern "C" HDC WINAPI CreateDCA(LPCSTR pwszDriver, LPCSTR pwszDevice, LPCSTR, const void*) {
    return korutil::detail::failOnBadAlloc(HDC(nullptr), [&]() -> HDC {
        const bool display = (pwszDriver && strcasecmp(pwszDriver, "DISPLAY") == 0) ||
                             (!pwszDriver && pwszDevice &&
                              (strcasecmp(pwszDevice, "DISPLAY") == 0 ||
                               strcasecmp(pwszDevice, "\\\\.\\DISPLAY1") == 0));
        if (!display) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        HDC hdc = newDc(DcKind::Screen, nullptr);
        if (hdc) {
            UiLock lock(uiMutex());
            findDc(hdc)->fromCreateDc = true;
        }
        return hdc;
    });
}

extern "C" BOOL WINAPI DeleteDC(HDC hdc) {
    return withDc(hdc, FALSE, [](DcObject& dc) -> BOOL {
        destroyDc(&dc);
        return TRUE;
    });
}

extern "C" HDC WINAPI GetDC(HWND hWnd) {
    return korutil::detail::failOnBadAlloc(HDC(nullptr),
                                           [&]() -> HDC { return windowDc(hWnd, false); });
}

extern "C" HDC WINAPI GetWindowDC(HWND hWnd) {
    return korutil::detail::failOnBadAlloc(HDC(nullptr),
                                           [&]() -> HDC { return windowDc(hWnd, true); });
}

extern "C" int WINAPI ReleaseDC(HWND, HDC hDC) {
    return withDc(hDC, 0, [](DcObject& dc) -> int {
        if (dc.dcKind == DcKind::Memory || dc.fromCreateDc) {
            return 0;
        }
        destroyDc(&dc);
        return 1;
    });
}

extern "C" HWND WINAPI WindowFromDC(HDC hDC) {
    return withDc(hDC, static_cast<HWND>(nullptr), [](DcObject& dc) { return dc.window; });
}

extern "C" int WINAPI GetDeviceCaps(HDC hdc, int index) {
    return withDc(hdc, 0, [index](DcObject&) -> int {
        const DesktopConfig& desk = desktopConfig();
        const bool palette = desk.bitsPerPixel == 8;
        switch (index) {
        case DRIVERVERSION:
            return 0x4000;
        case TECHNOLOGY:
            return DT_RASDISPLAY;
        case HORZSIZE:
            return static_cast<int>(desk.width * 254L / 960);
        case VERTSIZE:
            return static_cast<int>(desk.height * 254L / 960);
        case HORZRES:
        case DESKTOPHORZRES:
            return desk.width;
        case VERTRES:
        case DESKTOPVERTRES:
            return desk.height;
        case BITSPIXEL:
            return desk.bitsPerPixel;
        case PLANES:
            return 1;
        case NUMBRUSHES:
        case NUMPENS:
            return -1;
        case NUMCOLORS:
            return desk.bitsPerPixel == 4 ? 16 : palette ? 20 : -1;
        case RASTERCAPS:
            return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT |
                   RC_STRETCHDIB | (palette ? 0x0100 : 0);
        case ASPECTX:
        case ASPECTY:
            return 36;
        case ASPECTXY:
            return 51;
        case LOGPIXELSX:
        case LOGPIXELSY:
            return 96;
        case SIZEPALETTE:
            return palette ? 256 : 0;
        case NUMRESERVED:
            return palette ? 20 : 0;
        case COLORRES:
            return palette ? 18 : 24;
        case VREFRESH:
            return 60;
        default:
            return 0;
        }
    });
}

extern "C" int WINAPI SaveDC(HDC hdc) {
    return withDc(hdc, 0, [](DcObject& dc) -> int {
        dc.saved.push_back(dc.state);
        holdState(dc.state);
        return static_cast<int>(dc.saved.size());
    });
}

extern "C" BOOL WINAPI RestoreDC(HDC hdc, int nSavedDC) {
    return withDc(hdc, FALSE, [nSavedDC](DcObject& dc) -> BOOL {
        const int depth = static_cast<int>(dc.saved.size());
        const int level = nSavedDC < 0 ? depth + 1 + nSavedDC : nSavedDC;
        if (nSavedDC == 0 || level < 1 || level > depth) {
            return FALSE;
        }
        releaseState(dc.state);
        dc.state = dc.saved[static_cast<std::size_t>(level - 1)];
        for (int i = depth - 1; i >= level; --i) {
            releaseState(dc.saved[static_cast<std::size_t>(i)]);
        }
        dc.saved.resize(static_cast<std::size_t>(level - 1));
        if (dc.state.bitmap && !dc.state.bitmap->stock) {
            dc.state.bitmap->selectedInto = static_cast<HDC>(dc.handle);
        }
        return TRUE;
    });
}

extern "C" int WINAPI IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
    return withDc(hdc, ERROR, [&](DcObject& dc) -> int {
        const RECT area = normalized(left, top, right, bottom);
        dc.state.clip = dc.state.clipped ? intersect(dc.state.clip, area) : area;
        dc.state.clipped = true;
        return regionType(dc.state.clip);
    });
}

extern "C" int WINAPI SelectClipRgn(HDC hdc, HRGN hrgn) {
    return withDc(hdc, ERROR, [&](DcObject& dc) -> int {
        if (!hrgn) {
            dc.state.clipped = false;
            return SIMPLEREGION;
        }
        RegionObject* region = findObjectAs<RegionObject>(hrgn, GdiKind::Region);
        if (!region) {
            SetLastError(ERROR_INVALID_HANDLE);
            return ERROR;
        }
        dc.state.clipped = true;
        dc.state.clip = region->box;
        return regionType(region->box);
    });
}

extern "C" int WINAPI GetClipBox(HDC hdc, LPRECT lprect) {
    if (!lprect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return ERROR;
    }
    return withDc(hdc, ERROR, [&](DcObject& dc) -> int {
        DrawTarget target;
        if (!dc.target(target)) {
            return ERROR;
        }
        *lprect = isEmpty(target.clip) ? RECT{0, 0, 0, 0}
                                       : offset(target.clip, -target.origin.x, -target.origin.y);
        return regionType(*lprect);
    });
}

extern "C" HRGN WINAPI CreateRectRgn(int x1, int y1, int x2, int y2) {
    return failOnBadAlloc<HRGN>(nullptr, [&]() -> HRGN {
        auto region = std::make_shared<RegionObject>();
        region->box = normalized(x1, y1, x2, y2);
        UiLock lock(uiMutex());
        HGDIOBJ handle = addObject(region);
        if (!handle) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        }
        return static_cast<HRGN>(handle);
    });
}

extern "C" HRGN WINAPI CreateRectRgnIndirect(const RECT* lprect) {
    if (!lprect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateRectRgn(lprect->left, lprect->top, lprect->right, lprect->bottom);
}

extern "C" int WINAPI GetRgnBox(HRGN hrgn, LPRECT lprc) {
    return korutil::detail::failOnBadAlloc(int(ERROR), [&]() -> int {
        UiLock lock(uiMutex());
        RegionObject* region = findObjectAs<RegionObject>(hrgn, GdiKind::Region);
        if (!region || !lprc) {
            SetLastError(ERROR_INVALID_HANDLE);
            return ERROR;
        }
        *lprc = region->box;
        return regionType(region->box);
    });
}

extern "C" HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    return withDc(hdc, static_cast<HGDIOBJ>(nullptr), [&](DcObject& dc) -> HGDIOBJ {
        GdiObject* object = findObject(h);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        switch (object->kind) {
        case GdiKind::Region: {
            const RECT box = static_cast<RegionObject*>(object)->box;
            dc.state.clipped = true;
            dc.state.clip = box;
            return reinterpret_cast<HGDIOBJ>(static_cast<LONG_PTR>(regionType(box)));
        }
        case GdiKind::Bitmap: {
            auto* bitmap = static_cast<BitmapObject*>(object);
            if (dc.dcKind != DcKind::Memory ||
                (bitmap->selectedInto && bitmap->selectedInto != dc.handle)) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
            break;
        }
        case GdiKind::Pen:
        case GdiKind::Brush:
        case GdiKind::Font:
            break;
        default:
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        return dc.select(object);
    });
}

extern "C" BOOL WINAPI DeleteObject(HGDIOBJ ho) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        UiLock lock(uiMutex());
        GdiObject* object = findObject(ho);
        if (!object || object->kind == GdiKind::Dc) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (object->stock) {
            return TRUE;
        }
        // As documented, a bitmap selected into a context (or kept by one of its saved
        // states) is not deleted: the context still draws on it.
        if (object->kind == GdiKind::Bitmap && object->selections > 0) {
            return FALSE;
        }
        if (object->selections > 0) {
            object->deletePending = true;
            return TRUE;
        }
        removeObject(ho);
        return TRUE;
    });
}

extern "C" HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type) {
    return withDc(hdc, static_cast<HGDIOBJ>(nullptr), [type](DcObject& dc) -> HGDIOBJ {
        GdiObject* object = nullptr;
        switch (type) {
        case OBJ_PEN:
            object = dc.state.pen;
            break;
        case OBJ_BRUSH:
            object = dc.state.brush;
            break;
        case OBJ_FONT:
            object = dc.state.font;
            break;
        case OBJ_BITMAP:
            object = dc.state.bitmap;
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            break;
        }
        return object ? object->handle : nullptr;
    });
}

// Colours and modes: each returns the value it replaced.

extern "C" COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
    return withDc(hdc, CLR_INVALID, [color](DcObject& dc) {
        const COLORREF old = dc.state.textColor;
        dc.state.textColor = color;
        return old;
    });
}

extern "C" COLORREF WINAPI GetTextColor(HDC hdc) {
    return withDc(hdc, CLR_INVALID, [](DcObject& dc) { return dc.state.textColor; });
}

extern "C" COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
    return withDc(hdc, CLR_INVALID, [color](DcObject& dc) {
        const COLORREF old = dc.state.bkColor;
        dc.state.bkColor = color;
        return old;
    });
}

extern "C" COLORREF WINAPI GetBkColor(HDC hdc) {
    return withDc(hdc, CLR_INVALID, [](DcObject& dc) { return dc.state.bkColor; });
}

extern "C" int WINAPI SetBkMode(HDC hdc, int mode) {
    return withDc(hdc, 0, [mode](DcObject& dc) -> int {
        if (mode != TRANSPARENT && mode != OPAQUE) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        const int old = dc.state.bkMode;
        dc.state.bkMode = mode;
        return old;
    });
}

extern "C" int WINAPI GetBkMode(HDC hdc) {
    return withDc(hdc, 0, [](DcObject& dc) { return dc.state.bkMode; });
}

extern "C" int WINAPI SetROP2(HDC hdc, int rop2) {
    return withDc(hdc, 0, [rop2](DcObject& dc) -> int {
        if (rop2 < R2_BLACK || rop2 > R2_WHITE) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        const int old = dc.state.rop2;
        dc.state.rop2 = rop2;
        return old;
    });
}

extern "C" int WINAPI GetROP2(HDC hdc) {
    return withDc(hdc, 0, [](DcObject& dc) { return dc.state.rop2; });
}

extern "C" int WINAPI SetStretchBltMode(HDC hdc, int mode) {
    return withDc(hdc, 0, [mode](DcObject& dc) -> int {
        if (mode < BLACKONWHITE || mode > HALFTONE) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        const int old = dc.state.stretchMode;
        dc.state.stretchMode = mode;
        return old;
    });
}

extern "C" int WINAPI GetStretchBltMode(HDC hdc) {
    return withDc(hdc, 0, [](DcObject& dc) { return dc.state.stretchMode; });
}

extern "C" UINT WINAPI SetTextAlign(HDC hdc, UINT align) {
    return withDc(hdc, static_cast<UINT>(GDI_ERROR), [align](DcObject& dc) {
        const UINT old = dc.state.textAlign;
        dc.state.textAlign = align;
        return old;
    });
}

extern "C" UINT WINAPI GetTextAlign(HDC hdc) {
    return withDc(hdc, static_cast<UINT>(GDI_ERROR),
                  [](DcObject& dc) { return dc.state.textAlign; });
}

extern "C" int WINAPI SetTextCharacterExtra(HDC hdc, int extra) {
    return withDc(hdc, static_cast<int>(0x80000000u), [extra](DcObject& dc) {
        const int old = dc.state.charExtra;
        dc.state.charExtra = extra;
        return old;
    });
}

extern "C" BOOL WINAPI SetBrushOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
    return withDc(hdc, FALSE, [&](DcObject& dc) -> BOOL {
        if (lppt) {
            *lppt = dc.state.brushOrigin;
        }
        dc.state.brushOrigin = POINT{x, y};
        return TRUE;
    });
}

extern "C" COLORREF WINAPI GetNearestColor(HDC hdc, COLORREF color) {
    return withDc(hdc, CLR_INVALID, [color](DcObject& dc) -> COLORREF {
        DrawTarget target;
        if (!dc.target(target)) {
            return CLR_INVALID;
        }
        return target.surface->colorOf(target.surface->valueOf(color & 0x00FFFFFFu));
    });
}
