#include "gdi/dc.h"
#include "gdi/desktop.h"
#include "gdi/window_target.h"

#include <korutil/platform/errors.h>

#include <png.h>

#include <cstdio>
#include <vector>

using namespace korutil::detail;

namespace {

struct PngWrite {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::FILE* file = nullptr;
    ~PngWrite() {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        if (file) {
            std::fclose(file);
        }
    }
};

// Writes the surface as 8-bit RGB. libpng reports errors by longjmp; no C++ object with a
// destructor lives between setjmp and the calls that may jump.
bool writeRows(PngWrite& out, const std::vector<png_bytep>& rows, int width, int height) {
    if (setjmp(png_jmpbuf(out.png))) {
        return false;
    }
    png_init_io(out.png, out.file);
    png_set_IHDR(out.png, out.info, static_cast<png_uint_32>(width),
                 static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(out.png, out.info);
    png_write_image(out.png, const_cast<png_bytepp>(rows.data()));
    png_write_end(out.png, out.info);
    return true;
}

BOOL savePng(const Surface& surface, const char* path) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int width = surface.width();
    const int height = surface.height();
    std::vector<png_byte> pixels(static_cast<std::size_t>(width) * height * 3);
    std::vector<png_bytep> rows(static_cast<std::size_t>(height));
    std::vector<std::uint32_t> values(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        png_bytep row = pixels.data() + static_cast<std::size_t>(y) * width * 3;
        rows[static_cast<std::size_t>(y)] = row;
        surface.readRow(0, y, width, values.data());
        for (int x = 0; x < width; ++x) {
            const COLORREF color = surface.colorOf(values[static_cast<std::size_t>(x)]);
            row[x * 3] = GetRValue(color);
            row[x * 3 + 1] = GetGValue(color);
            row[x * 3 + 2] = GetBValue(color);
        }
    }
    PngWrite out;
    out.file = std::fopen(path, "wb");
    if (!out.file) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    out.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    out.info = out.png ? png_create_info_struct(out.png) : nullptr;
    if (!out.info || !writeRows(out, rows, width, height)) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    if (std::fclose(out.file) != 0) {
        out.file = nullptr;
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    out.file = nullptr;
    return TRUE;
}

} // namespace

extern "C" BOOL WINAPI PlatSaveBitmapPng(HBITMAP hbm, const char* path) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        UiLock lock(uiMutex());
        BitmapObject* bitmap = findObjectAs<BitmapObject>(hbm, GdiKind::Bitmap);
        if (!bitmap || !bitmap->surface) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        return savePng(*bitmap->surface, path);
    });
}

extern "C" BOOL WINAPI PlatSaveScreenPng(const char* path) {
    return failOnBadAlloc<BOOL>(FALSE, [&]() -> BOOL {
        UiLock lock(uiMutex());
        composeScreen();
        Surface* screen = screenSurface();
        if (!screen) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        return savePng(*screen, path);
    });
}
