#include "kernel/case_fold.h"

#include "kernel/text_encoding.h"

#include <vector>

namespace korutil::detail {
namespace {

// A byte that is not well-formed UTF-8 stands for itself, above every code point, so that it
// equals nothing but the same byte.
constexpr char32_t kRawByte = 0x110000;

char32_t asciiCapital(char32_t c) {
    return c >= 'a' && c <= 'z' ? c - 0x20 : c;
}

char32_t capital(char32_t c) {
    if (c < 0x80) {
        return asciiCapital(c);
    }
    if (c < 0x100) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
            return c - 0x20;
        }
        return c == 0xFF ? 0x178 : c;
    }
    if (c < 0x180) {
        // Pairs of capital and small letter, the capital even, except in the two runs where
        // the pairs are shifted by one, and the letters that have no pair here.
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
            return (c & 1) ? c : c - 1;
        }
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x178 || c == 0x17F) {
            return c;
        }
        return c & ~char32_t(1);
    }
    if (c >= 0x3AC && c <= 0x3CE) {
        if (c >= 0x3B1 && c <= 0x3CB) {
            return c == 0x3C2 ? 0x3A3 : c - 0x20; // final sigma is a sigma
        }
        if (c == 0x3AC) {
            return 0x386;
        }
        if (c <= 0x3AF) {
            return c - 0x25;
        }
        if (c == 0x3CC) {
            return 0x38C;
        }
        return c >= 0x3CD ? c - 0x3F : c;
    }
    if (c >= 0x430 && c <= 0x44F) {
        return c - 0x20;
    }
    if (c >= 0x450 && c <= 0x45F) {
        return c - 0x50;
    }
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F)) {
        return c & ~char32_t(1);
    }
    if (c >= 0x4C1 && c <= 0x4CE) {
        return (c & 1) ? c : c - 1;
    }
    return c;
}

char32_t nextFolded(const char*& p, const char* end) {
    const char32_t c = nextUtf8(p, end);
    return c == kInvalidUtf8 ? kRawByte + static_cast<unsigned char>(p[-1]) : capital(c);
}

std::vector<char32_t> folded(std::string_view text) {
    std::vector<char32_t> out;
    out.reserve(text.size());
    for (const char *p = text.data(), *end = p + text.size(); p < end;) {
        out.push_back(nextFolded(p, end));
    }
    return out;
}

} // namespace

bool sameWithoutCase(std::string_view a, std::string_view b) {
    // Every capital here is encoded in as many bytes as its small letter, so names of
    // different lengths never match.
    if (a.size() != b.size()) {
        return false;
    }
    const char *p = a.data(), *pEnd = p + a.size();
    const char *q = b.data(), *qEnd = q + b.size();
    while (p < pEnd && q < qEnd) {
        const auto x = static_cast<unsigned char>(*p);
        const auto y = static_cast<unsigned char>(*q);
        if ((x | y) < 0x80) {
            if (x != y && asciiCapital(x) != asciiCapital(y)) {
                return false;
            }
            ++p;
            ++q;
        } else if (nextFolded(p, pEnd) != nextFolded(q, qEnd)) {
            return false;
        }
    }
    return p == pEnd && q == qEnd;
}

bool wildcardMatchWithoutCase(std::string_view pattern, std::string_view name) {
    const std::vector<char32_t> pat = folded(pattern);
    const std::vector<char32_t> text = folded(name);
    std::size_t p = 0;
    std::size_t t = 0;
    std::size_t star = std::string_view::npos;
    std::size_t resume = 0;
    while (t < text.size()) {
        if (p < pat.size() && pat[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pat.size() && (pat[p] == '?' || pat[p] == text[t])) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pat.size() && pat[p] == '*') {
        ++p;
    }
    return p == pat.size();
}

std::string caseFoldKey(std::string_view name) {
    std::string key;
    key.reserve(name.size());
    for (const char *p = name.data(), *end = p + name.size(); p < end;) {
        const char32_t c = nextFolded(p, end);
        if (c >= kRawByte) {
            key += static_cast<char>(c - kRawByte);
        } else {
            char bytes[4];
            key.append(bytes, static_cast<std::size_t>(encodeUtf8(c, bytes)));
        }
    }
    return key;
}

} // namespace korutil::detail
