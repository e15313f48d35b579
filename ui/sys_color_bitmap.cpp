#include <korutil/ui.h>

#include "frame/heap.h"

#include <atomic>
#include <cstdint>
#include <cstring>

using korutil::detail::heapAllocate;
using korutil::detail::heapRelease;

namespace {

// The four key greys as colour-table entries (blue in the low byte), and the system colour
// that each one shows; the colours are rewritten by every load.
struct ColorKey {
    DWORD entry;
    std::atomic<int> sysColor;
};

ColorKey g_keys[4] = {
    {0x000000, {COLOR_BTNTEXT}},
    {0x808080, {COLOR_BTNSHADOW}},
    {0xC0C0C0, {COLOR_BTNFACE}},
    {0xFFFFFF, {COLOR_BTNHIGHLIGHT}},
};

// A system colour (red in the low byte) as a colour-table entry.
DWORD tableEntry(int sysColor) {
    const COLORREF color = GetSysColor(sysColor);
    return static_cast<DWORD>(GetBValue(color)) | (static_cast<DWORD>(GetGValue(color)) << 8) |
           (static_cast<DWORD>(GetRValue(color)) << 16);
}

DWORD read32(const std::uint8_t* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) |
           (static_cast<DWORD>(p[2]) << 16) | (static_cast<DWORD>(p[3]) << 24);
}

WORD read16(const std::uint8_t* p) {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

// What the loader reads of a picture: 1, 4 or 8 bits per pixel, uncompressed, with a colour
// table, under a header of the 40-byte form or one of its longer successors (whose extra
// fields are not needed), rows bottom-up or top-down.
struct Picture {
    BITMAPINFOHEADER header;
    DWORD colors;              // entries in the colour table
    const std::uint8_t* table; // the resource's colour table
    const std::uint8_t* bits;  // the resource's pixel rows
};

bool readPicture(const std::uint8_t* data, DWORD size, Picture& out) {
    if (size < sizeof(BITMAPINFOHEADER)) {
        return false;
    }
    const DWORD headerSize = read32(data);
    if (headerSize != 40 && headerSize != 108 && headerSize != 124) {
        return false;
    }
    std::memcpy(&out.header, data, sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER& h = out.header;
    const WORD bits = read16(data + 14);
    if (read16(data + 12) != 1 || (bits != 1 && bits != 4 && bits != 8) ||
        h.biCompression != BI_RGB || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) {
        return false;
    }
    const DWORD fullTable = 1u << bits;
    out.colors = h.biClrUsed != 0 ? h.biClrUsed : fullTable;
    if (out.colors > fullTable) {
        return false;
    }
    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(h.biWidth) * bits + 31) / 32 * 4;
    const std::uint64_t rows = h.biHeight < 0 ? -static_cast<std::int64_t>(h.biHeight)
                                              : static_cast<std::uint64_t>(h.biHeight);
    const std::uint64_t needed = headerSize + std::uint64_t{out.colors} * 4 + rowBytes * rows;
    if (needed > size) {
        return false;
    }
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biClrUsed = out.colors;
    out.table = data + headerSize;
    out.bits = out.table + std::size_t{out.colors} * 4;
    return true;
}

void recolor(DWORD* table, DWORD count, int silhouette) {
    for (DWORD i = 0; i < count; ++i) {
        if (silhouette) {
            table[i] = tableEntry(table[i] == g_keys[2].entry ? g_keys[2].sysColor.load()
                                                              : g_keys[1].sysColor.load());
            continue;
        }
        for (const ColorKey& key : g_keys) {
            if (table[i] == key.entry) {
                table[i] = tableEntry(key.sysColor.load());
                break;
            }
        }
    }
}

HBITMAP convert(const Picture& picture, const BITMAPINFO* info) {
    const int width = picture.header.biWidth;
    const int height =
        picture.header.biHeight < 0 ? -picture.header.biHeight : picture.header.biHeight;
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    if (bitmap) {
        HDC memory = CreateCompatibleDC(screen);
        HGDIOBJ old = SelectObject(memory, bitmap);
        StretchDIBits(memory, 0, 0, width, height, 0, 0, width, height, picture.bits, info,
                      DIB_RGB_COLORS, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
    }
    ReleaseDC(nullptr, screen);
    return bitmap;
}

} // namespace

HBITMAP LoadSysColorBitmap(HINSTANCE instance, const char* name, int silhouette, int colorForBlack,
                           int colorForDarkGrey, int colorForLightGrey, int colorForWhite) {
    g_keys[0].sysColor = colorForBlack;
    g_keys[1].sysColor = colorForDarkGrey;
    g_keys[2].sysColor = colorForLightGrey;
    g_keys[3].sysColor = colorForWhite;

    HRSRC resource = FindResourceA(instance, name, RT_BITMAP);
    HGLOBAL loaded = resource ? LoadResource(instance, resource) : nullptr;
    const auto* data = loaded ? static_cast<const std::uint8_t*>(LockResource(loaded)) : nullptr;
    Picture picture{};
    if (!data || !readPicture(data, SizeofResource(instance, resource), picture)) {
        return nullptr;
    }
    // The header and colour table are recoloured in a private copy; the resource stays as it is.
    const std::size_t tableBytes = std::size_t{picture.colors} * 4;
    auto* info = static_cast<BITMAPINFO*>(heapAllocate(sizeof(BITMAPINFOHEADER) + tableBytes));
    if (!info) {
        return nullptr;
    }
    info->bmiHeader = picture.header;
    auto* table =
        reinterpret_cast<DWORD*>(reinterpret_cast<std::uint8_t*>(info) + sizeof(BITMAPINFOHEADER));
    std::memcpy(table, picture.table, tableBytes);
    recolor(table, picture.colors, silhouette);

    HBITMAP bitmap = convert(picture, info);
    heapRelease(info);
    FreeResource(loaded);
    return bitmap;
}
