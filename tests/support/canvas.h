// A memory context with a fresh bitmap, for drawing tests: what was drawn reads back as one
// COLORREF per pixel, row by row.
#pragma once

#include "support/pictures.h"

#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korutil::test {

class Canvas {
public:
    // A zero-filled (black) bitmap of 1 or 32 bits per pixel.
    Canvas(int width, int height, int bits = 32)
        : m_width(width), m_height(height), m_bits(bits), m_dc(CreateCompatibleDC(nullptr)) {
        clear();
    }
    ~Canvas() {
        DeleteDC(m_dc);
        DeleteObject(m_bitmap);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return m_dc; }
    HBITMAP bitmap() const { return m_bitmap; }
    int width() const { return m_width; }
    int height() const { return m_height; }

    // Starts again on a new black bitmap; the context keeps its state.
    void clear() {
        HBITMAP fresh = CreateBitmap(m_width, m_height, 1, static_cast<UINT>(m_bits), nullptr);
        SelectObject(m_dc, fresh);
        DeleteObject(m_bitmap);
        m_bitmap = fresh;
    }
    // Every pixel, whatever the context's clip.
    std::vector<COLORREF> pixels() const {
        const int saved = SaveDC(m_dc);
        SelectClipRgn(m_dc, nullptr);
        std::vector<COLORREF> out;
        for (int y = 0; y < m_height; ++y) {
            for (int x = 0; x < m_width; ++x) {
                out.push_back(GetPixel(m_dc, x, y));
            }
        }
        RestoreDC(m_dc, saved);
        return out;
    }

private:
    int m_width, m_height, m_bits;
    HDC m_dc;
    HBITMAP m_bitmap = nullptr;
};

// Fails with `what` and the picture of what was drawn when `ok` is false (the picture is saved
// before the failure is reported, so that pictureOnFailure's rule cannot miss it).
inline bool checkDrawing(bool ok, const Canvas& canvas, const std::string& label,
                         const std::string& what) {
    if (!ok) {
        ADD_FAILURE() << what << " (picture: " << savePicture(canvas.bitmap(), label) << ")";
    }
    return ok;
}

} // namespace korutil::test
