// Where the library cuts 8-bit text at a byte count. On Linux the 8-bit code page is UTF-8
// and a cut never splits a sequence: it steps back (at most 3 bytes) to the start of the
// sequence that the limit would split, and text that is not well-formed there is cut where
// asked. On Windows the code page's bytes are cut where asked.
//
// The platform layer cuts by the same rule (utf8CutPoint, platform/kernel/text_encoding.h).
// This is the library's one copy of it: the layer is a shared library of its own that exports
// nothing but its calls, and a Windows build has no layer at all.
#pragma once

#include <cstddef>

namespace korutil::detail {

// The largest length up to `limit` at which `text`, `length` bytes long, may be cut.
inline std::size_t textCutPoint(const char* text, std::size_t length, std::size_t limit) {
    if (length <= limit) {
        return length;
    }
#ifdef _WIN32
    (void)text;
    return limit;
#else
    auto continues = [text](std::size_t i) {
        return (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
    };
    std::size_t n = limit;
    for (int step = 0; step < 3 && n > 0 && continues(n); ++step) {
        --n;
    }
    return continues(n) ? limit : n;
#endif
}

} // namespace korutil::detail
