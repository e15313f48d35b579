// Drawing objects (pens, brushes, fonts, bitmaps, regions, device contexts) and the table that
// their handles name. Callers hold the layer's lock (gdi/lock.h) for every call here and for as
// long as they use an object they found.
#pragma once

#include "gdi/surface.h"

#include <korutil/platform/gdi.h>

#include <memory>

namespace korutil::detail {

enum class GdiKind { Pen, Brush, Font, Bitmap, Region, Dc, Palette };

struct GdiObject {
    explicit GdiObject(GdiKind k) : kind(k) {}
    virtual ~GdiObject() = default;
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    const GdiKind kind;
    HGDIOBJ handle = nullptr;
    bool stock = false;
    // Contexts, and saved states of contexts, that hold the object selected. A deleted object
    // stays in the table, unusable for new selections, until the last of them lets go.
    int selections = 0;
    bool deletePending = false;
};

struct PenObject : GdiObject {
    PenObject() : GdiObject(GdiKind::Pen) {}
    LOGPEN pen{PS_SOLID, POINT{0, 0}, 0};
    bool dcPen = false; // the stock DC_PEN: draws in the context's pen colour
};

struct BrushObject : GdiObject {
    BrushObject() : GdiObject(GdiKind::Brush) {}
    LOGBRUSH brush{BS_SOLID, 0, 0};
    int sysColor = -1;    // 0..30: a system colour brush, drawn in that colour's current value
    bool dcBrush = false; // the stock DC_BRUSH: draws in the context's brush colour
    // BS_PATTERN: a private copy of the pattern bitmap's pixels (1-bit patterns draw in the
    // context's text and background colours).
    std::shared_ptr<Surface> pattern;
};

struct FontFace; // the realised font of the text code (gdi/text)

struct FontObject : GdiObject {
    FontObject() : GdiObject(GdiKind::Font) {}
    LOGFONTA font{};
    std::shared_ptr<FontFace> face; // realised on first use
};

struct BitmapObject : GdiObject {
    BitmapObject() : GdiObject(GdiKind::Bitmap) {}
    std::shared_ptr<Surface> surface;
    bool dibSection = false;
    BITMAPINFOHEADER dib{};     // a DIB section's header as created
    HDC selectedInto = nullptr; // the one memory context that holds it (none for stock)
};

struct RegionObject : GdiObject {
    RegionObject() : GdiObject(GdiKind::Region) {}
    RECT box{0, 0, 0, 0}; // rectangular regions only; empty is the null region
};

// Registers an object and returns its handle (also stored in object->handle); null when memory
// is short.
HGDIOBJ addObject(const std::shared_ptr<GdiObject>& object);
// The live object behind a handle (null for unknown, deleted or of another kind).
GdiObject* findObject(HGDIOBJ handle);
template <class T> T* findObjectAs(HGDIOBJ handle, GdiKind kind) {
    GdiObject* object = findObject(handle);
    return object && object->kind == kind ? static_cast<T*>(object) : nullptr;
}
// Takes the handle out of the table now; the object lives on while `keep` (or anyone else)
// holds it.
std::shared_ptr<GdiObject> removeObject(HGDIOBJ handle);

// Selection counting: a context takes and lets go of the objects it selects.
void holdObject(GdiObject* object);
void releaseObject(GdiObject* object);

// Stock objects by their GetStockObject index, made on first use; null for an unknown index.
GdiObject* stockObject(int index);
// The 1 by 1 monochrome bitmap that every memory context starts with.
BitmapObject* defaultBitmap();
// The brush a FillRect or class brush value names: a brush handle, or a system colour given as
// (HBRUSH)(COLOR_x + 1). Null when it names neither.
BrushObject* brushFromValue(HBRUSH value);

} // namespace korutil::detail
