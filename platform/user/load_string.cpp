#include <korutil/platform/errors.h>
#include <korutil/platform/resources.h>

#include "kernel/no_throw.h"
#include "kernel/res_reader.h"
#include "kernel/resource_registry.h"
#include "kernel/text_encoding.h"

#include <cstdint>

namespace {

using korutil::detail::encodeUtf8;
using korutil::detail::kStringsPerBlock;
using korutil::detail::nextUtf16;

std::uint16_t unitAt(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// Copies string `index` of a block as UTF-8, at most `room` bytes and whole characters only.
// The reader has checked the block; the bounds are kept here all the same.
int copyString(const unsigned char* data, DWORD size, unsigned index, char* out, std::size_t room) {
    std::size_t at = 0;
    std::size_t units = 0;
    for (unsigned i = 0;; ++i) {
        if (size - at < 2) {
            return 0;
        }
        units = unitAt(data + at);
        at += 2;
        if (2 * units > size - at) {
            return 0;
        }
        if (i == index) {
            break;
        }
        at += 2 * units;
    }
    std::size_t length = 0;
    char utf8[4];
    for (std::size_t i = 0; i < units;) {
        // Two units at most, so that a surrogate pair becomes one character.
        const std::uint16_t pair[2] = {unitAt(data + at + 2 * i),
                                       i + 1 < units ? unitAt(data + at + 2 * i + 2)
                                                     : std::uint16_t{0}};
        const std::uint16_t* p = pair;
        const char32_t c = nextUtf16(p, pair + (i + 1 < units ? 2 : 1));
        const auto n = static_cast<std::size_t>(encodeUtf8(c, utf8));
        if (length + n > room) {
            break;
        }
        for (std::size_t k = 0; k < n; ++k) {
            out[length++] = utf8[k];
        }
        i += static_cast<std::size_t>(p - pair);
    }
    out[length] = '\0';
    return static_cast<int>(length);
}

} // namespace

extern "C" int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    return korutil::detail::failOnBadAlloc(0, [&]() -> int {
        if (!lpBuffer || cchBufferMax <= 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        lpBuffer[0] = '\0';
        // Strings live in blocks of 16: string n in block n / 16 + 1, at place n % 16.
        const WORD id = LOWORD(uID);
        int length = 0;
        korutil::detail::readResource(hInstance, MAKEINTRESOURCEA((id >> 4) + 1), RT_STRING,
                                      [&](const unsigned char* data, DWORD size) {
                                          length = copyString(
                                              data, size, id & (kStringsPerBlock - 1), lpBuffer,
                                              static_cast<std::size_t>(cchBufferMax - 1));
                                      });
        return length;
    });
}
