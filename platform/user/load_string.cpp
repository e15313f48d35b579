#include <korutil/platform/errors.h>
#include <korutil/platform/resources.h>

#include "kernel/res_reader.h"
#include "kernel/text_encoding.h"

#include <cstdint>

using korutil::detail::encodeUtf8;
using korutil::detail::kStringsPerBlock;
using korutil::detail::nextUtf16;

extern "C" int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    if (!lpBuffer || cchBufferMax <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    lpBuffer[0] = '\0';
    // Strings live in blocks of 16: string n in block n / 16 + 1, at place n % 16.
    const WORD id = LOWORD(uID);
    HRSRC block = FindResourceA(hInstance, MAKEINTRESOURCEA((id >> 4) + 1), RT_STRING);
    if (!block) {
        return 0;
    }
    const DWORD size = SizeofResource(hInstance, block);
    const auto* data =
        static_cast<const unsigned char*>(LockResource(LoadResource(hInstance, block)));
    if (!data) {
        return 0;
    }
    // The reader has checked the block; the bounds are kept here all the same.
    std::size_t at = 0;
    std::size_t units = 0;
    for (unsigned i = 0;; ++i) {
        if (size - at < 2) {
            return 0;
        }
        units = static_cast<std::size_t>(data[at] | (data[at + 1] << 8));
        at += 2;
        if (2 * units > size - at) {
            return 0;
        }
        if (i == (id & (kStringsPerBlock - 1))) {
            break;
        }
        at += 2 * units;
    }
    // Decoded two units at a time so that a surrogate pair becomes one character.
    auto unit = [&](std::size_t i) {
        return static_cast<std::uint16_t>(data[at + 2 * i] | (data[at + 2 * i + 1] << 8));
    };
    const auto room = static_cast<std::size_t>(cchBufferMax - 1);
    std::size_t length = 0;
    char utf8[4];
    for (std::size_t i = 0; i < units;) {
        const std::uint16_t pair[2] = {unit(i), i + 1 < units ? unit(i + 1) : std::uint16_t{0}};
        const std::uint16_t* p = pair;
        const char32_t c = nextUtf16(p, pair + (i + 1 < units ? 2 : 1));
        const auto n = static_cast<std::size_t>(encodeUtf8(c, utf8));
        if (length + n > room) {
            break;
        }
        for (std::size_t k = 0; k < n; ++k) {
            lpBuffer[length++] = utf8[k];
        }
        i += static_cast<std::size_t>(p - pair);
    }
    lpBuffer[length] = '\0';
    return static_cast<int>(length);
}
