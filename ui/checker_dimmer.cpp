#include <korutil/ui.h>

namespace {

// The non-negative remainder, so that a negative phase sum still names a pattern position.
int phaseOf(long long value, int period) {
    const long long r = value % period;
    return static_cast<int>(r < 0 ? r + period : r);
}

} // namespace

CCheckerDimmer::CCheckerDimmer(HDC context, int cx, int cy, int xPhase, int yPhase, EStyle style)
    : m_cx(cx), m_cy(cy), m_xPhase(xPhase), m_yPhase(yPhase), m_xPeriod(1), m_yPeriod(1),
      m_hBitmap(nullptr) {
    int xPeriod = 0, yPeriod = 0, rowStep = 0;
    switch (style) {
    case styleChecker:
        xPeriod = 2;
        yPeriod = 2;
        rowStep = 1;
        break;
    case styleSparse:
        xPeriod = 3;
        yPeriod = 2;
        rowStep = 2;
        break;
    default:
        return;
    }
    // A pattern narrower or lower than one period could not be stepped through.
    if (cx < xPeriod || cy < yPeriod) {
        return;
    }
    m_hBitmap = CreateBitmap(cx, cy, 1, 1, nullptr);
    HDC memory = CreateCompatibleDC(context);
    HGDIOBJ old = SelectObject(memory, m_hBitmap);
    m_xPeriod = xPeriod;
    m_yPeriod = yPeriod;
    RECT all;
    SetRect(&all, 0, 0, cx, cy);
    FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    int start = 0;
    for (int y = 0; y < cy; y += rowStep) {
        for (int x = start; x < cx; x += m_xPeriod) {
            SetPixel(memory, x, y, RGB(0, 0, 0));
        }
        start = (start + 1) % m_xPeriod;
    }
    SelectObject(memory, old);
    DeleteDC(memory);
}

CCheckerDimmer::~CCheckerDimmer() {
    if (m_hBitmap) {
        DeleteObject(m_hBitmap);
    }
}

void CCheckerDimmer::Draw(HDC context, const RECT& rect) {
    if (!m_hBitmap) {
        return;
    }
    HDC memory = CreateCompatibleDC(context);
    HGDIOBJ old = SelectObject(memory, m_hBitmap);
    const COLORREF oldText = SetTextColor(context, RGB(0, 0, 0));
    // Positions run in 64 bits: a rectangle near the end of the coordinate range must not
    // wrap around.
    for (long long x = rect.left; x < rect.right;) {
        const int sx = phaseOf(m_xPhase + x, m_xPeriod);
        const long long w = rect.right - x < m_cx - sx ? rect.right - x : m_cx - sx;
        for (long long y = rect.top; y < rect.bottom;) {
            const int sy = phaseOf(m_yPhase + y, m_yPeriod);
            const long long h = rect.bottom - y < m_cy - sy ? rect.bottom - y : m_cy - sy;
            BitBlt(context, static_cast<int>(x), static_cast<int>(y), static_cast<int>(w),
                   static_cast<int>(h), memory, sx, sy, SRCAND);
            y += m_cy - sy;
        }
        x += m_cx - sx;
    }
    SetTextColor(context, oldText);
    SelectObject(memory, old);
    DeleteDC(memory);
}
