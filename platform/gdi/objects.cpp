#include "gdi/objects.h"

#include "gdi/dc.h"
#include "gdi/lock.h"
#include "kernel/handle_map.h"
#include "kernel/no_throw.h"

#include <korutil/platform/errors.h>

#include <cstring>

namespace korutil::detail {
namespace {

HandleMap<GdiObject>& table() {
    static auto* objects = new HandleMap<GdiObject>; // outlives every static destructor
    return *objects;
}

std::uintptr_t valueOf(HGDIOBJ handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

std::shared_ptr<GdiObject> makeStockPen(int style, COLORREF color) {
    auto pen = std::make_shared<PenObject>();
    pen->pen = LOGPEN{static_cast<UINT>(style), POINT{0, 0}, color};
    return pen;
}

std::shared_ptr<GdiObject> makeStockBrush(UINT style, COLORREF color) {
    auto brush = std::make_shared<BrushObject>();
    brush->brush = LOGBRUSH{style, color, 0};
    return brush;
}

std::shared_ptr<GdiObject> makeStockFont(LONG height, LONG weight, BYTE charSet, BYTE pitch,
                                         const char* face) {
    auto font = std::make_shared<FontObject>();
    font->font.lfHeight = height;
    font->font.lfWeight = weight;
    font->font.lfCharSet = charSet;
    font->font.lfPitchAndFamily = pitch;
    std::strncpy(font->font.lfFaceName, face, LF_FACESIZE - 1);
    return font;
}

std::shared_ptr<GdiObject> makeStock(int index) {
    switch (index) {
    case WHITE_BRUSH:
        return makeStockBrush(BS_SOLID, RGB(255, 255, 255));
    case LTGRAY_BRUSH:
        return makeStockBrush(BS_SOLID, RGB(192, 192, 192));
    case GRAY_BRUSH:
        return makeStockBrush(BS_SOLID, RGB(128, 128, 128));
    case DKGRAY_BRUSH:
        return makeStockBrush(BS_SOLID, RGB(64, 64, 64));
    case BLACK_BRUSH:
        return makeStockBrush(BS_SOLID, RGB(0, 0, 0));
    case NULL_BRUSH:
        return makeStockBrush(BS_NULL, 0);
    case WHITE_PEN:
        return makeStockPen(PS_SOLID, RGB(255, 255, 255));
    case BLACK_PEN:
        return makeStockPen(PS_SOLID, RGB(0, 0, 0));
    case NULL_PEN:
        return makeStockPen(PS_NULL, 0);
    case OEM_FIXED_FONT:
        return makeStockFont(12, FW_NORMAL, OEM_CHARSET, FIXED_PITCH | FF_MODERN, "Terminal");
    case ANSI_FIXED_FONT:
        return makeStockFont(12, FW_NORMAL, ANSI_CHARSET, FIXED_PITCH | FF_MODERN, "Courier");
    case ANSI_VAR_FONT:
        return makeStockFont(12, FW_NORMAL, ANSI_CHARSET, VARIABLE_PITCH | FF_SWISS,
                             "MS Sans Serif");
    case SYSTEM_FONT: {
        // Windows describes its System font with the 7-pixel average width it has.
        std::shared_ptr<GdiObject> font =
            makeStockFont(16, FW_BOLD, ANSI_CHARSET, VARIABLE_PITCH | FF_SWISS, "System");
        static_cast<FontObject*>(font.get())->font.lfWidth = 7;
        return font;
    }
    case DEVICE_DEFAULT_FONT:
        return makeStockFont(16, FW_BOLD, ANSI_CHARSET, VARIABLE_PITCH | FF_SWISS, "System");
    case SYSTEM_FIXED_FONT:
        return makeStockFont(16, FW_NORMAL, ANSI_CHARSET, FIXED_PITCH | FF_MODERN, "Fixedsys");
    case DEFAULT_GUI_FONT:
        return makeStockFont(-11, FW_NORMAL, DEFAULT_CHARSET, VARIABLE_PITCH | FF_SWISS,
                             "MS Shell Dlg");
    case DC_BRUSH: {
        auto brush = std::make_shared<BrushObject>();
        brush->brush = LOGBRUSH{BS_SOLID, RGB(255, 255, 255), 0};
        brush->dcBrush = true;
        return brush;
    }
    case DC_PEN: {
        auto pen = std::make_shared<PenObject>();
        pen->dcPen = true;
        return pen;
    }
    default:
        return nullptr;
    }
}

constexpr int kStockCount = DC_PEN + 1;
constexpr int kSysColorCount = COLOR_MENUBAR + 1;

} // namespace

HGDIOBJ addObject(const std::shared_ptr<GdiObject>& object) {
    const std::uintptr_t value = table().insert(object);
    if (value == 0) {
        return nullptr;
    }
    object->handle = reinterpret_cast<HGDIOBJ>(value);
    return object->handle;
}

GdiObject* findObject(HGDIOBJ handle) {
    const auto* found = table().find(valueOf(handle));
    if (!found || (*found)->deletePending) {
        return nullptr;
    }
    return found->get();
}

std::shared_ptr<GdiObject> removeObject(HGDIOBJ handle) {
    return table().remove(valueOf(handle));
}

void holdObject(GdiObject* object) {
    if (object) {
        ++object->selections;
    }
}

void releaseObject(GdiObject* object) {
    if (!object) {
        return;
    }
    --object->selections;
    if (object->selections == 0 && object->deletePending) {
        removeObject(object->handle);
    }
}

GdiObject* stockObject(int index) {
    static GdiObject* stock[kStockCount] = {};
    if (index < 0 || index >= kStockCount) {
        return nullptr;
    }
    if (!stock[index]) {
        std::shared_ptr<GdiObject> object = makeStock(index);
        if (!object || !addObject(object)) {
            return nullptr;
        }
        object->stock = true;
        stock[index] = object.get();
    }
    return stock[index];
}

BitmapObject* defaultBitmap() {
    static BitmapObject* bitmap = nullptr;
    if (!bitmap) {
        auto object = std::make_shared<BitmapObject>();
        object->surface = Surface::create(1, 1, 1);
        if (!object->surface || !addObject(object)) {
            return nullptr;
        }
        object->stock = true;
        bitmap = object.get();
    }
    return bitmap;
}

BrushObject* sysColorBrush(int index) {
    static BrushObject* brushes[kSysColorCount] = {};
    if (index < 0 || index >= kSysColorCount) {
        return nullptr;
    }
    if (!brushes[index]) {
        auto brush = std::make_shared<BrushObject>();
        brush->sysColor = index;
        if (!addObject(brush)) {
            return nullptr;
        }
        brush->stock = true;
        brushes[index] = brush.get();
    }
    return brushes[index];
}

BrushObject* brushFromValue(HBRUSH value) {
    const std::uintptr_t raw = valueOf(value);
    if (raw >= 1 && raw <= kSysColorCount) {
        return sysColorBrush(static_cast<int>(raw) - 1);
    }
    return findObjectAs<BrushObject>(value, GdiKind::Brush);
}

} // namespace korutil::detail

using namespace korutil::detail;

extern "C" HGDIOBJ WINAPI GetStockObject(int i) {
    return failOnBadAlloc<HGDIOBJ>(nullptr, [&]() -> HGDIOBJ {
        UiLock lock(uiMutex());
        GdiObject* object = stockObject(i);
        return object ? object->handle : nullptr;
    });
}

extern "C" HBRUSH WINAPI GetSysColorBrush(int nIndex) {
    return failOnBadAlloc<HBRUSH>(nullptr, [&]() -> HBRUSH {
        UiLock lock(uiMutex());
        BrushObject* brush = sysColorBrush(nIndex);
        return brush ? static_cast<HBRUSH>(brush->handle) : nullptr;
    });
}

extern "C" DWORD WINAPI GetObjectType(HGDIOBJ h) {
    return korutil::detail::failOnBadAlloc(DWORD(0), [&]() -> DWORD {
        UiLock lock(uiMutex());
        GdiObject* object = findObject(h);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        switch (object->kind) {
        case GdiKind::Pen:
            return OBJ_PEN;
        case GdiKind::Brush:
            return OBJ_BRUSH;
        case GdiKind::Font:
            return OBJ_FONT;
        case GdiKind::Bitmap:
            return OBJ_BITMAP;
        case GdiKind::Region:
            return OBJ_REGION;
        case GdiKind::Palette:
            return OBJ_PAL;
        case GdiKind::Dc:
            return static_cast<DcObject*>(object)->dcKind == DcKind::Memory ? OBJ_MEMDC : OBJ_DC;
        }
        return 0;
    });
}

extern "C" HPEN WINAPI CreatePenIndirect(const LOGPEN* plpen) {
    if (!plpen) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return failOnBadAlloc<HPEN>(nullptr, [&]() -> HPEN {
        auto pen = std::make_shared<PenObject>();
        pen->pen = *plpen;
        if (pen->pen.lopnStyle > PS_INSIDEFRAME) {
            pen->pen.lopnStyle = PS_SOLID;
        }
        UiLock lock(uiMutex());
        HGDIOBJ handle = addObject(pen);
        if (!handle) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        }
        return static_cast<HPEN>(handle);
    });
}

extern "C" HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color) {
    const LOGPEN pen{static_cast<UINT>(iStyle), POINT{cWidth < 0 ? -cWidth : cWidth, 0}, color};
    return CreatePenIndirect(&pen);
}
