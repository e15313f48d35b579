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

char32_t nextUtf8(const char*& p, const char* end) {
    const auto lead = static_cast<unsigned char>(*p);
    if (lead < 0x80) {
        ++p;
        return lead;
    }
    std::ptrdiff_t extra = 0;
    char32_t c = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        c = lead & 0x1Fu;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        c = lead & 0x0Fu;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        c = lead & 0x07u;
        least = 0x10000;
    } else {
        ++p;
        return kInvalidUtf8;
    }
    if (end - p <= extra) {
        ++p;
        return kInvalidUtf8;
    }
    for (std::ptrdiff_t i = 1; i <= extra; ++i) {
        const auto next = static_cast<unsigned char>(p[i]);
        if ((next & 0xC0) != 0x80) {
            ++p;
            return kInvalidUtf8;
        }
        c = (c << 6) | (next & 0x3Fu);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++p;
        return kInvalidUtf8;
    }
    p += extra + 1;
    return c;
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
