#include "kernel/text_encoding.h"

namespace korutil::detail {

int encodeUtf8(char32_t c, char* out) {
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
        c = 0xFFFD;
    }
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

char32_t nextUtf16(const std::uint16_t*& p, const std::uint16_t* end) {
    const char32_t unit = *p++;
    if (unit < 0xD800 || unit > 0xDFFF) {
        return unit;
    }
    if (unit <= 0xDBFF && p < end && *p >= 0xDC00 && *p <= 0xDFFF) {
        const char32_t low = *p++;
        return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    return 0xFFFD;
}

std::size_t utf8CutPoint(const char* text, std::size_t length, std::size_t limit) {
    if (length <= limit) {
        return length;
    }
    auto continues = [text](std::size_t i) {
        return (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
    };
    // Step back to the start of the sequence that would be split; a sequence is at most four
    // bytes, so a longer run of continuation bytes is malformed text, cut where asked.
    std::size_t n = limit;
    for (int step = 0; step < 3 && n > 0 && continues(n); ++step) {
        --n;
    }
    return continues(n) ? limit : n;
}

} // namespace korutil::detail
