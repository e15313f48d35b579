#include "support/canvas.h"

#include "support/pictures.h"

namespace korutil::test {

Canvas::Canvas(int width, int height, UINT bitsPerPixel)
    : m_dc(CreateCompatibleDC(nullptr)),
      m_bitmap(CreateBitmap(width, height, 1, bitsPerPixel, nullptr)),
      m_old(SelectObject(m_dc, m_bitmap)), m_width(width), m_height(height) {
    fill();
}

Canvas::~Canvas() {
    SelectObject(m_dc, m_old);
    DeleteDC(m_dc);
    DeleteObject(m_bitmap);
}

void Canvas::fill(COLORREF color) {
    const RECT all{0, 0, m_width, m_height};
    const COLORREF old = SetBkColor(m_dc, color);
    ExtTextOutA(m_dc, 0, 0, ETO_OPAQUE, &all, "", 0, nullptr);
    SetBkColor(m_dc, old);
}

std::string Canvas::picture(const std::string& label) const {
    return pictureOnFailure(m_bitmap, label);
}

std::string str(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

} // namespace korutil::test
