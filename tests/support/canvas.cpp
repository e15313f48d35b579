#include "support/canvas.h"

#include "support/pictures.h"

#include <gtest/gtest.h>

namespace korutil::test {

Canvas::Canvas(int width, int height, UINT bitsPerPixel)
    : m_dc(CreateCompatibleDC(nullptr)),
      m_bitmap(CreateBitmap(width, height, 1, bitsPerPixel, nullptr)),
      m_old(SelectObject(m_dc, m_bitmap)), m_width(width), m_height(height), m_bits(bitsPerPixel) {
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

void Canvas::clear() {
    HBITMAP fresh = CreateBitmap(m_width, m_height, 1, m_bits, nullptr);
    SelectObject(m_dc, fresh);
    DeleteObject(m_bitmap);
    m_bitmap = fresh;
}

std::vector<COLORREF> Canvas::pixels() const {
    const int saved = SaveDC(m_dc);
    SelectClipRgn(m_dc, nullptr);
    std::vector<COLORREF> out;
    out.reserve(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height));
    for (int y = 0; y < m_height; ++y) {
        for (int x = 0; x < m_width; ++x) {
            out.push_back(GetPixel(m_dc, x, y));
        }
    }
    RestoreDC(m_dc, saved);
    return out;
}

RECT Canvas::box(const std::function<bool(COLORREF)>& keep, const RECT* within) const {
    const RECT area = within ? *within : RECT{0, 0, m_width, m_height};
    RECT r{m_width, m_height, 0, 0};
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            if (keep(at(x, y))) {
                r = RECT{std::min<LONG>(r.left, x), std::min<LONG>(r.top, y),
                         std::max<LONG>(r.right, x + 1), std::max<LONG>(r.bottom, y + 1)};
            }
        }
    }
    return r.right > r.left ? r : RECT{0, 0, 0, 0};
}

int Canvas::differences(const Canvas& other) const {
    int n = 0;
    for (int y = 0; y < m_height; ++y) {
        for (int x = 0; x < m_width; ++x) {
            n += at(x, y) != other.at(x, y) ? 1 : 0;
        }
    }
    return n;
}

RECT Canvas::drawn(const RECT* within) const {
    return box([](COLORREF c) { return c != kWhite; }, within);
}

RECT Canvas::boxOf(COLORREF color) const {
    return box([color](COLORREF c) { return c == color; });
}

int Canvas::textWidth(const std::string& text) const {
    SIZE size{-1, -1};
    EXPECT_TRUE(GetTextExtentPoint32A(m_dc, text.data(), static_cast<int>(text.size()), &size));
    return size.cx;
}

TEXTMETRICA Canvas::metrics() const {
    TEXTMETRICA tm{};
    EXPECT_TRUE(GetTextMetricsA(m_dc, &tm));
    return tm;
}

std::string Canvas::picture(const std::string& label) const {
    return pictureOnFailure(m_bitmap, label);
}

SelectedFont::SelectedFont(HDC dc, int height, const char* face, int weight, BYTE italic,
                           DWORD quality, DWORD pitch, int width, BYTE lines)
    : dc(dc), font(CreateFontA(height, width, 0, 0, weight, italic, lines, lines, ANSI_CHARSET, 0,
                               0, quality, pitch, face)),
      old(SelectObject(dc, font)) {}

SelectedFont::~SelectedFont() {
    SelectObject(dc, old);
    DeleteObject(font);
}

bool checkDrawing(bool ok, const Canvas& canvas, const std::string& label,
                  const std::string& what) {
    // Saved before the failure is recorded: pictureOnFailure would not see it yet.
    if (!ok) {
        ADD_FAILURE() << what << " (picture: " << savePicture(canvas.bitmap(), label) << ")";
    } else {
        pictureOnFailure(canvas.bitmap(), label); // kept when pictures are asked for
    }
    return ok;
}

std::string str(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

} // namespace korutil::test
