#include <korutil/platform/rects.h>

namespace {

bool empty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

} // namespace

extern "C" BOOL WINAPI SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom) {
    if (!lprc) {
        return FALSE;
    }
    *lprc = RECT{xLeft, yTop, xRight, yBottom};
    return TRUE;
}

extern "C" BOOL WINAPI SetRectEmpty(LPRECT lprc) {
    return SetRect(lprc, 0, 0, 0, 0);
}

extern "C" BOOL WINAPI CopyRect(LPRECT lprcDst, const RECT* lprcSrc) {
    if (!lprcDst || !lprcSrc) {
        return FALSE;
    }
    *lprcDst = *lprcSrc;
    return TRUE;
}

extern "C" BOOL WINAPI IsRectEmpty(const RECT* lprc) {
    return !lprc || empty(*lprc);
}

extern "C" BOOL WINAPI EqualRect(const RECT* a, const RECT* b) {
    return a && b && a->left == b->left && a->top == b->top && a->right == b->right &&
           a->bottom == b->bottom;
}

extern "C" BOOL WINAPI PtInRect(const RECT* lprc, POINT pt) {
    return lprc && pt.x >= lprc->left && pt.x < lprc->right && pt.y >= lprc->top &&
           pt.y < lprc->bottom;
}

// Coordinates wrap as 32-bit values do on Windows instead of overflowing.
extern "C" BOOL WINAPI OffsetRect(LPRECT lprc, int dx, int dy) {
    if (!lprc) {
        return FALSE;
    }
    auto add = [](LONG v, int d) {
        return static_cast<LONG>(static_cast<std::uint32_t>(v) + static_cast<std::uint32_t>(d));
    };
    *lprc =
        RECT{add(lprc->left, dx), add(lprc->top, dy), add(lprc->right, dx), add(lprc->bottom, dy)};
    return TRUE;
}

extern "C" BOOL WINAPI InflateRect(LPRECT lprc, int dx, int dy) {
    if (!lprc) {
        return FALSE;
    }
    auto add = [](LONG v, int d) {
        return static_cast<LONG>(static_cast<std::uint32_t>(v) + static_cast<std::uint32_t>(d));
    };
    *lprc = RECT{add(lprc->left, -dx), add(lprc->top, -dy), add(lprc->right, dx),
                 add(lprc->bottom, dy)};
    return TRUE;
}

extern "C" BOOL WINAPI IntersectRect(LPRECT lprcDst, const RECT* a, const RECT* b) {
    if (!lprcDst || !a || !b) {
        return FALSE;
    }
    RECT r{a->left > b->left ? a->left : b->left, a->top > b->top ? a->top : b->top,
           a->right < b->right ? a->right : b->right,
           a->bottom < b->bottom ? a->bottom : b->bottom};
    if (empty(*a) || empty(*b) || empty(r)) {
        *lprcDst = RECT{0, 0, 0, 0};
        return FALSE;
    }
    *lprcDst = r;
    return TRUE;
}

extern "C" BOOL WINAPI UnionRect(LPRECT lprcDst, const RECT* a, const RECT* b) {
    if (!lprcDst || !a || !b) {
        return FALSE;
    }
    if (empty(*a) && empty(*b)) {
        *lprcDst = RECT{0, 0, 0, 0};
        return FALSE;
    }
    if (empty(*a)) {
        *lprcDst = *b;
    } else if (empty(*b)) {
        *lprcDst = *a;
    } else {
        *lprcDst = RECT{a->left < b->left ? a->left : b->left, a->top < b->top ? a->top : b->top,
                        a->right > b->right ? a->right : b->right,
                        a->bottom > b->bottom ? a->bottom : b->bottom};
    }
    return TRUE;
}

// The first rectangle less the second, where the second cuts off a whole side of it;
// otherwise the first unchanged.
extern "C" BOOL WINAPI SubtractRect(LPRECT lprcDst, const RECT* a, const RECT* b) {
    if (!lprcDst || !a || !b) {
        return FALSE;
    }
    RECT r = *a;
    RECT cut;
    if (IntersectRect(&cut, a, b)) {
        if (cut.top == r.top && cut.bottom == r.bottom) {
            if (cut.left == r.left) {
                r.left = cut.right;
            } else if (cut.right == r.right) {
                r.right = cut.left;
            }
        } else if (cut.left == r.left && cut.right == r.right) {
            if (cut.top == r.top) {
                r.top = cut.bottom;
            } else if (cut.bottom == r.bottom) {
                r.bottom = cut.top;
            }
        }
    }
    if (empty(r)) {
        *lprcDst = RECT{0, 0, 0, 0};
        return FALSE;
    }
    *lprcDst = r;
    return TRUE;
}
