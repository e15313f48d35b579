// Device contexts: the drawing state of a context and the target it draws on. Callers hold the
// layer's lock (gdi/lock.h).
#pragma once

#include "gdi/lock.h"
#include "gdi/objects.h"
#include "kernel/no_throw.h"

#include <vector>

namespace korutil::detail {

enum class DcKind {
    Memory,      // CreateCompatibleDC: draws on its selected bitmap
    Screen,      // GetDC(NULL), CreateDCA("DISPLAY"): the composed desktop
    Client,      // GetDC(hwnd), BeginPaint: the window's client area
    WholeWindow, // GetWindowDC: the whole window, frame included
};

// What a context selects and the modes it draws with; SaveDC keeps copies of it.
struct DcState {
    PenObject* pen = nullptr;
    BrushObject* brush = nullptr;
    FontObject* font = nullptr;
    BitmapObject* bitmap = nullptr; // memory contexts only
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    int rop2 = R2_COPYPEN;
    int stretchMode = BLACKONWHITE;
    UINT textAlign = TA_LEFT | TA_TOP | TA_NOUPDATECP;
    int charExtra = 0;
    POINT position{0, 0};
    POINT brushOrigin{0, 0};
    COLORREF dcBrushColor = RGB(255, 255, 255);
    COLORREF dcPenColor = RGB(0, 0, 0);
    bool clipped = false;
    RECT clip{0, 0, 0, 0}; // logical coordinates; used when `clipped`
};

// Where a context's drawing lands: logical (x, y) is pixel (x + origin.x, y + origin.y) of the
// surface, and only pixels inside `clip` (surface coordinates, within the surface) change.
struct DrawTarget {
    Surface* surface = nullptr;
    POINT origin{0, 0};
    RECT clip{0, 0, 0, 0};

    // A logical rectangle in surface coordinates, computed without overflow and clamped to the
    // range of a LONG; not yet clipped.
    RECT toSurface(long long left, long long top, long long right, long long bottom) const;
    // The same, intersected with the clip.
    RECT clipped(long long left, long long top, long long right, long long bottom) const {
        return intersect(toSurface(left, top, right, bottom), clip);
    }
};

struct DcObject : GdiObject {
    DcObject() : GdiObject(GdiKind::Dc) {}
    ~DcObject() override;

    DcKind dcKind = DcKind::Memory;
    bool fromCreateDc = false; // CreateDCA's screen context: DeleteDC, not ReleaseDC, frees it
    HWND window = nullptr;     // Client and WholeWindow contexts
    // A clip the window manager sets (BeginPaint's update area), in the same logical
    // coordinates as state.clip.
    bool systemClipped = false;
    RECT systemClip{0, 0, 0, 0};

    DcState state;
    std::vector<DcState> saved;

    // Resolves the target for drawing now; false when there is none (a window that died).
    bool target(DrawTarget& out);
    // Selects an object into the state, holding it and releasing what it replaces; returns the
    // replaced object's handle (the object itself is gone when it was deleted while selected).
    HGDIOBJ select(GdiObject* object);
};

// A new context of the given kind with the default state; null when memory is short.
DcObject* createDc(DcKind kind, HWND window);
// The live context behind a handle; null (with ERROR_INVALID_HANDLE) for anything else.
DcObject* findDc(HDC hdc);
// Frees a context: releases what its states hold and removes its handle.
void destroyDc(DcObject* dc);

// The colour a pen draws with in this context (resolving DC_PEN).
COLORREF penColor(const DcObject& dc, const PenObject& pen);

// The shape of every call on a context: takes the lock, finds the context and runs `body` on
// it. A handle that names no context gives `failure` with ERROR_INVALID_HANDLE; memory running
// short inside the C++ library gives `failure` with ERROR_NOT_ENOUGH_MEMORY.
template <class Result, class Body> Result withDc(HDC hdc, Result failure, Body body) {
    return failOnBadAlloc<Result>(failure, [&]() -> Result {
        UiLock lock(uiMutex());
        DcObject* dc = findDc(hdc);
        if (!dc) {
            return failure;
        }
        return body(*dc);
    });
}

} // namespace korutil::detail
