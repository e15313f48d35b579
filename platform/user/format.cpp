#include <korutil/platform/format.h>

#include "kernel/text_encoding.h"

#include <cstring>
#include <cwchar>

namespace {

using korutil::detail::encodeUtf8;
using korutil::detail::utf8CutPoint;

constexpr std::size_t kOutputLimit = 1024; // bytes, the terminator included

// Collects output up to the limit. It keeps one byte beyond the last one that may be kept,
// so that the final cut can tell whether it would split a UTF-8 sequence.
class Output {
public:
    void put(char c) {
        if (m_length < kOutputLimit) {
            m_text[m_length] = c;
        }
        ++m_length;
    }
    void put(const char* text, std::size_t length) {
        for (std::size_t i = 0; i < length && m_length <= kOutputLimit; ++i) {
            put(text[i]);
        }
    }
    void pad(char c, std::size_t count) {
        for (std::size_t i = 0; i < count && m_length <= kOutputLimit; ++i) {
            put(c);
        }
    }
    int finish(char* out) const {
        const std::size_t kept = utf8CutPoint(
            m_text, m_length < kOutputLimit ? m_length : kOutputLimit, kOutputLimit - 1);
        std::memcpy(out, m_text, kept);
        out[kept] = '\0';
        return static_cast<int>(kept);
    }

private:
    char m_text[kOutputLimit];
    std::size_t m_length = 0;
};

enum class Size { Default, Short, Long, Wide, Int64 };

struct Spec {
    bool left = false;
    bool hexPrefix = false;
    bool zeroPad = false;
    std::size_t width = 0;
    std::size_t precision = 0; // 0: none given (or given as 0)
    Size size = Size::Default;
    char type = '\0';
};

// "%[-][#][0][width][.precision][size]type", the flags in this order only.
const char* parseSpec(const char* p, Spec& spec) {
    if (*p == '-') {
        spec.left = true;
        ++p;
    }
    if (*p == '#') {
        spec.hexPrefix = true;
        ++p;
    }
    if (*p == '0') {
        spec.zeroPad = true;
        ++p;
    }
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (spec.width < kOutputLimit) {
            spec.width = spec.width * 10 + static_cast<std::size_t>(*p - '0');
        }
    }
    if (*p == '.') {
        for (++p; *p >= '0' && *p <= '9'; ++p) {
            if (spec.precision < kOutputLimit) {
                spec.precision = spec.precision * 10 + static_cast<std::size_t>(*p - '0');
            }
        }
    }
    if (*p == 'l') {
        spec.size = Size::Long;
        ++p;
    } else if (*p == 'h') {
        spec.size = Size::Short;
        ++p;
    } else if (*p == 'w') {
        spec.size = Size::Wide;
        ++p;
    } else if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
        spec.size = Size::Int64;
        p += 3;
    }
    spec.type = *p;
    return *p ? p + 1 : p;
}

void putPadded(Output& out, const Spec& spec, const char* text, std::size_t length) {
    const std::size_t fill = spec.width > length ? spec.width - length : 0;
    if (!spec.left) {
        out.pad(' ', fill);
    }
    out.put(text, length);
    if (spec.left) {
        out.pad(' ', fill);
    }
}

void putNumber(Output& out, const Spec& spec, unsigned long long magnitude, bool negative,
               unsigned base, bool upper, std::size_t minDigits) {
    char digits[24];
    std::size_t count = 0;
    const char* alphabet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
        digits[count++] = alphabet[magnitude % base];
        magnitude /= base;
    } while (magnitude != 0);

    char prefix[2];
    std::size_t prefixLength = 0;
    if (negative) {
        prefix[prefixLength++] = '-';
    } else if (base == 16 && spec.hexPrefix) {
        prefix[prefixLength++] = '0';
        prefix[prefixLength++] = upper ? 'X' : 'x';
    }
    const std::size_t precisionZeros = minDigits > count ? minDigits - count : 0;
    const std::size_t length = prefixLength + precisionZeros + count;
    const std::size_t fill = spec.width > length ? spec.width - length : 0;

    if (!spec.left && !spec.zeroPad) {
        out.pad(' ', fill);
    }
    out.put(prefix, prefixLength);
    if (!spec.left && spec.zeroPad) {
        out.pad('0', fill);
    }
    out.pad('0', precisionZeros);
    while (count > 0) {
        out.put(digits[--count]);
    }
    if (spec.left) {
        out.pad(' ', fill);
    }
}

void putNarrowString(Output& out, const Spec& spec, const char* text) {
    if (!text) {
        text = "(null)";
    }
    std::size_t length = std::strlen(text);
    if (spec.precision != 0) {
        length = utf8CutPoint(text, length, spec.precision);
    }
    putPadded(out, spec, text, length);
}

void putWideString(Output& out, const Spec& spec, const WCHAR* text) {
    if (!text) {
        putNarrowString(out, spec, nullptr);
        return;
    }
    std::size_t characters = std::wcslen(text);
    if (spec.precision != 0 && characters > spec.precision) {
        characters = spec.precision;
    }
    std::size_t length = 0;
    char scratch[4];
    for (std::size_t i = 0; i < characters; ++i) {
        length += static_cast<std::size_t>(encodeUtf8(static_cast<char32_t>(text[i]), scratch));
    }
    const std::size_t fill = spec.width > length ? spec.width - length : 0;
    if (!spec.left) {
        out.pad(' ', fill);
    }
    for (std::size_t i = 0; i < characters; ++i) {
        out.put(scratch,
                static_cast<std::size_t>(encodeUtf8(static_cast<char32_t>(text[i]), scratch)));
    }
    if (spec.left) {
        out.pad(' ', fill);
    }
}

// One conversion. Returns false for a type the formatter does not know, whose character the
// caller then prints as it stands.
bool convert(Output& out, const Spec& spec, va_list& args) {
    const bool wide = spec.size == Size::Long || spec.size == Size::Wide;
    const std::size_t minDigits = spec.precision == 0 ? 1 : spec.precision;
    switch (spec.type) {
    case 'c':
    case 'C': {
        const int value = va_arg(args, int);
        const bool wideChar = spec.size == Size::Short ? false : (wide || spec.type == 'C');
        if ((spec.size == Size::Short || wide) && value == 0) {
            return true; // "hc" and "lc" drop a zero character
        }
        char text[4];
        const int length = wideChar
                               ? encodeUtf8(static_cast<char32_t>(static_cast<WCHAR>(value)), text)
                               : (text[0] = static_cast<char>(value), 1);
        putPadded(out, spec, text, static_cast<std::size_t>(length));
        return true;
    }
    case 's':
    case 'S':
        if (spec.size == Size::Short || (!wide && spec.type == 's')) {
            putNarrowString(out, spec, va_arg(args, const char*));
        } else {
            putWideString(out, spec, va_arg(args, const WCHAR*));
        }
        return true;
    case 'd':
    case 'i': {
        long long value;
        if (spec.size == Size::Int64) {
            value = va_arg(args, long long);
        } else if (spec.size == Size::Short) {
            value = static_cast<short>(va_arg(args, int));
        } else {
            value = va_arg(args, int);
        }
        const unsigned long long magnitude = value < 0
                                                 ? 0ULL - static_cast<unsigned long long>(value)
                                                 : static_cast<unsigned long long>(value);
        putNumber(out, spec, magnitude, value < 0, 10, false, minDigits);
        return true;
    }
    case 'u':
    case 'x':
    case 'X': {
        unsigned long long value;
        if (spec.size == Size::Int64) {
            value = va_arg(args, unsigned long long);
        } else if (spec.size == Size::Short) {
            value = static_cast<unsigned short>(va_arg(args, unsigned int));
        } else {
            value = va_arg(args, unsigned int);
        }
        putNumber(out, spec, value, false, spec.type == 'u' ? 10 : 16, spec.type == 'X', minDigits);
        return true;
    }
    case 'p': {
        const auto value = reinterpret_cast<std::uintptr_t>(va_arg(args, void*));
        Spec pointer = spec;
        pointer.hexPrefix = false;
        putNumber(out, pointer, value, false, 16, true, 2 * sizeof(void*));
        return true;
    }
    default:
        return false;
    }
}

} // namespace

extern "C" int WINAPI wvsprintfA(LPSTR lpOutput, LPCSTR lpFormat, va_list arglist) {
    if (!lpOutput) {
        return 0;
    }
    if (!lpFormat) {
        lpOutput[0] = '\0';
        return 0;
    }
    Output out;
    va_list args;
    va_copy(args, arglist);
    for (const char* p = lpFormat; *p;) {
        if (*p != '%') {
            out.put(*p++);
            continue;
        }
        Spec spec;
        p = parseSpec(p + 1, spec);
        if (spec.type == '\0') {
            break; // a lone "%" at the end prints nothing
        }
        if (!convert(out, spec, args)) {
            out.put(spec.type);
        }
    }
    va_end(args);
    return out.finish(lpOutput);
}

extern "C" int WINAPIV wsprintfA(LPSTR lpOutput, LPCSTR lpFormat, ...) {
    va_list args;
    va_start(args, lpFormat);
    const int result = wvsprintfA(lpOutput, lpFormat, args);
    va_end(args);
    return result;
}
