// Rectangle arithmetic of the window manager. Rectangles include left and top and exclude
// right and bottom; a rectangle whose right is not past its left (or bottom past its top) is
// empty. The calls only compute; any thread may make them.
#pragma once

#include <korutil/platform/types.h>

extern "C" {
KORPLATFORM_API BOOL WINAPI SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom);
KORPLATFORM_API BOOL WINAPI SetRectEmpty(LPRECT lprc);
KORPLATFORM_API BOOL WINAPI CopyRect(LPRECT lprcDst, const RECT* lprcSrc);
KORPLATFORM_API BOOL WINAPI IsRectEmpty(const RECT* lprc);
KORPLATFORM_API BOOL WINAPI EqualRect(const RECT* lprc1, const RECT* lprc2);
KORPLATFORM_API BOOL WINAPI PtInRect(const RECT* lprc, POINT pt);
KORPLATFORM_API BOOL WINAPI OffsetRect(LPRECT lprc, int dx, int dy);
KORPLATFORM_API BOOL WINAPI InflateRect(LPRECT lprc, int dx, int dy);
// Both give an empty (all-zero) result and FALSE when the intersection or union is empty.
KORPLATFORM_API BOOL WINAPI IntersectRect(LPRECT lprcDst, const RECT* lprcSrc1,
                                          const RECT* lprcSrc2);
KORPLATFORM_API BOOL WINAPI UnionRect(LPRECT lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2);
KORPLATFORM_API BOOL WINAPI SubtractRect(LPRECT lprcDst, const RECT* lprcSrc1,
                                         const RECT* lprcSrc2);
}
