// Update regions are kept per window in client coordinates, as a few rectangles. A window's
// surface keeps its pixels while other windows cover it, so only what the window itself
// changes (showing, growing, invalidating) needs painting; BeginPaint clips drawing to the
// bounding box of the update region.
#include "user/paint.h"

#include "gdi/dc.h"
#include "gdi/lock.h"
#include "kernel/no_throw.h"
#include "user/messages.h"
#include "user/queue.h"

#include <korutil/platform/errors.h>

#include <vector>

namespace korutil::detail {
namespace {

RECT clientArea(const Window* w) {
    return RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
}

bool needsPaint(const Window* w) {
    return !w->update.empty() || w->internalPaint || w->frameNeeded;
}

// A context for the window's client area, clipped to `clip` (client coordinates); null when
// memory is short.
HDC clippedDc(Window* w, const RECT& clip) {
    DcObject* dc = createDc(DcKind::Client, w->handle);
    if (!dc) {
        return nullptr;
    }
    dc->systemClipped = true;
    dc->systemClip = clip;
    return static_cast<HDC>(dc->handle);
}

void validate(Window* w, const RECT* area) {
    if (area) {
        w->update.subtract(*area);
    } else {
        w->update.clear();
    }
    if (w->update.empty()) {
        w->eraseNeeded = false;
    }
}

struct Pending {
    std::vector<HWND> erase;
    std::vector<HWND> paint;
};

// RedrawWindow's work on one window and, as the flags say, its children; `area` is in the
// window's client coordinates (null: all of it).
void redraw(Window* w, const RECT* area, UINT flags, Pending& pending) {
    if (flags & RDW_INVALIDATE) {
        invalidateWindow(w, area, (flags & RDW_ERASE) != 0, (flags & RDW_FRAME) != 0);
    }
    if ((flags & RDW_INTERNALPAINT) && visibleWithAncestors(w)) {
        w->internalPaint = true;
        if (w->queue) {
            wakeQueue(*w->queue, QS_PAINT);
        }
    }
    if (flags & RDW_VALIDATE) {
        validate(w, area);
        if (flags & RDW_NOFRAME) {
            w->frameNeeded = false;
        }
        if (flags & RDW_NOINTERNALPAINT) {
            w->internalPaint = false;
        }
    }
    if (flags & RDW_NOERASE) {
        w->eraseNeeded = false;
    }
    if ((flags & RDW_UPDATENOW) && needsPaint(w)) {
        pending.paint.push_back(w->handle);
    } else if ((flags & (RDW_ERASENOW | RDW_UPDATENOW)) && (w->eraseNeeded || w->frameNeeded)) {
        pending.erase.push_back(w->handle);
    }
    const bool children =
        (flags & RDW_ALLCHILDREN) || (!(flags & RDW_NOCHILDREN) && !(w->style & WS_CLIPCHILDREN));
    if (!children) {
        return;
    }
    const POINT origin = clientOrigin(w);
    for (Window* child : w->children) {
        if (area) {
            const POINT childOrigin = clientOrigin(child);
            const RECT mine = offset(*area, origin.x - childOrigin.x, origin.y - childOrigin.y);
            redraw(child, &mine, flags, pending);
        } else {
            redraw(child, nullptr, flags, pending);
        }
    }
}

void runPending(const Pending& pending) {
    for (HWND hwnd : pending.erase) {
        paintFrameAndBackgroundNow(hwnd);
    }
    for (HWND hwnd : pending.paint) {
        bool due = false;
        {
            UiLock lock(uiMutex());
            Window* w = findWindow(hwnd);
            due = w && needsPaint(w) && visibleWithAncestors(w);
        }
        if (due) {
            sendMessage(hwnd, WM_PAINT, 0, 0);
            UiLock lock(uiMutex());
            if (Window* w = findWindow(hwnd)) {
                w->internalPaint = false;
            }
        }
    }
}

BOOL redrawWindow(HWND hwnd, const RECT* area, HRGN region, UINT flags) {
    Pending pending;
    {
        UiLock lock(uiMutex());
        Window* w = hwnd ? windowOrFail(hwnd) : desktop();
        if (!w) {
            return FALSE;
        }
        RECT box{};
        const RECT* where = area;
        if (region) {
            if (GetRgnBox(region, &box) == ERROR) {
                SetLastError(ERROR_INVALID_HANDLE);
                return FALSE;
            }
            where = &box;
        }
        if (!w->parent) {
            // The desktop stands for every window on it.
            for (Window* top : w->children) {
                redraw(top, nullptr, flags | RDW_ALLCHILDREN, pending);
            }
        } else {
            redraw(w, where, flags, pending);
        }
    }
    runPending(pending);
    return TRUE;
}

} // namespace

void invalidateWindow(Window* w, const RECT* area, bool erase, bool frame) {
    if (!w->parent || !visibleWithAncestors(w) || w->destroying) {
        return;
    }
    const RECT whole = clientArea(w);
    const RECT part = area ? intersect(*area, whole) : whole;
    if (!isEmpty(part)) {
        w->update.add(part);
        w->eraseNeeded = w->eraseNeeded || erase;
    }
    w->frameNeeded = w->frameNeeded || frame;
    if (needsPaint(w) && w->queue) {
        wakeQueue(*w->queue, QS_PAINT);
    }
}

void invalidateTree(Window* w, bool erase, bool frame) {
    invalidateWindow(w, nullptr, erase, frame);
    for (Window* child : w->children) {
        invalidateTree(child, erase, frame);
    }
}

void paintFrameAndBackgroundNow(HWND hwnd) {
    bool frame = false;
    {
        UiLock lock(uiMutex());
        Window* w = findWindow(hwnd);
        if (!w) {
            return;
        }
        frame = w->frameNeeded;
        w->frameNeeded = false;
    }
    if (frame) {
        sendMessage(hwnd, WM_NCPAINT, 1, 0);
    }
    HDC hdc = nullptr;
    {
        UiLock lock(uiMutex());
        Window* w = findWindow(hwnd);
        if (!w || !w->eraseNeeded) {
            return;
        }
        hdc = clippedDc(w, w->update.bounds());
        if (!hdc) {
            return;
        }
    }
    const LRESULT erased = sendMessage(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    ReleaseDC(hwnd, hdc);
    UiLock lock(uiMutex());
    if (Window* w = findWindow(hwnd); w && erased) {
        w->eraseNeeded = false;
    }
}

} // namespace korutil::detail

using namespace korutil::detail;

extern "C" BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        if (!hWnd) {
            return redrawWindow(nullptr, nullptr, nullptr,
                                RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ERASENOW);
        }
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hWnd);
        if (!w) {
            return FALSE;
        }
        invalidateWindow(w, lpRect, bErase != FALSE, false);
        return TRUE;
    });
}

extern "C" BOOL WINAPI ValidateRect(HWND hWnd, const RECT* lpRect) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        if (!hWnd) {
            // As documented: a null window invalidates and redraws every window.
            return redrawWindow(nullptr, nullptr, nullptr,
                                RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ERASENOW);
        }
        UiLock lock(uiMutex());
        Window* w = windowOrFail(hWnd);
        if (!w) {
            return FALSE;
        }
        validate(w, lpRect);
        return TRUE;
    });
}

extern "C" BOOL WINAPI GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL bErase) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        bool erase = false;
        {
            UiLock lock(uiMutex());
            Window* w = windowOrFail(hWnd);
            if (!w) {
                return FALSE;
            }
            if (lpRect) {
                *lpRect = w->update.bounds();
            }
            if (w->update.empty()) {
                return FALSE;
            }
            erase = bErase && w->eraseNeeded;
        }
        if (erase) {
            paintFrameAndBackgroundNow(hWnd);
        }
        return TRUE;
    });
}

extern "C" BOOL WINAPI UpdateWindow(HWND hWnd) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        if (!hWnd) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        return redrawWindow(hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    });
}

extern "C" BOOL WINAPI RedrawWindow(HWND hWnd, const RECT* lprcUpdate, HRGN hrgnUpdate,
                                    UINT flags) {
    return failOnBadAlloc<BOOL>(
        FALSE, [&]() -> BOOL { return redrawWindow(hWnd, lprcUpdate, hrgnUpdate, flags); });
}

extern "C" HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    if (!lpPaint) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return failOnBadAlloc<HDC>(nullptr, [&]() -> HDC {
        bool frame = false;
        {
            UiLock lock(uiMutex());
            Window* w = windowOrFail(hWnd);
            if (!w) {
                return nullptr;
            }
            frame = w->frameNeeded;
            w->frameNeeded = false;
        }
        if (frame) {
            sendMessage(hWnd, WM_NCPAINT, 1, 0);
        }
        HDC hdc = nullptr;
        bool erase = false;
        RECT paint{};
        {
            UiLock lock(uiMutex());
            Window* w = windowOrFail(hWnd);
            if (!w) {
                return nullptr;
            }
            paint = w->update.bounds();
            erase = w->eraseNeeded;
            w->update.clear();
            w->eraseNeeded = false;
            w->internalPaint = false;
            hdc = clippedDc(w, paint);
            if (!hdc) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return nullptr;
            }
        }
        BOOL unerased = FALSE;
        if (erase) {
            unerased = sendMessage(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) == 0;
        }
        *lpPaint = PAINTSTRUCT{hdc, unerased, paint, FALSE, FALSE, {}};
        return hdc;
    });
}

extern "C" BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) {
    if (!lpPaint) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ReleaseDC(hWnd, lpPaint->hdc);
    return TRUE;
}
