#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

// Formats through the variadic entry point into a buffer guarded by canary bytes, so that a
// write past the 1024-byte output limit shows.
struct Formatted {
    std::string text;
    int result;
};

template <class... Args> Formatted format(const char* formatText, Args... args) {
    char buffer[1024 + 16];
    std::memset(buffer, '#', sizeof buffer);
    const int result = wsprintfA(buffer, formatText, args...);
    for (std::size_t i = 1024; i < sizeof buffer; ++i) {
        EXPECT_EQ('#', buffer[i]) << "written past the limit for " << formatText;
    }
    return {std::string(buffer), result};
}

#define EXPECT_FORMAT(expected, ...)                                                               \
    do {                                                                                           \
        const Formatted f = format(__VA_ARGS__);                                                   \
        EXPECT_EQ(std::string(expected), f.text);                                                  \
        EXPECT_EQ(static_cast<int>(std::strlen(expected)), f.result);                              \
    } while (0)

// Each line: the Windows output, then the format and its arguments.
TEST(Format, ConversionsSizesFlagsWidthsAndPrecisions) {
    EXPECT_FORMAT("-2147483648 2147483647", "%i %d", INT_MIN, INT_MAX);
    EXPECT_FORMAT("4294967295", "%u", -1);
    EXPECT_FORMAT("-1 65535", "%hd %hu", 65535, -1);
    EXPECT_FORMAT("-2147483648 4294967295 ffffffff", "%ld %lu %lx", LONG(INT32_MIN),
                  DWORD(0xFFFFFFFF), DWORD(0xFFFFFFFF));
    EXPECT_FORMAT("-9223372036854775808 18446744073709551615 FFFFFFFFFFFFFFFF", "%I64d %I64u %I64X",
                  INT64_MIN, UINT64_MAX, UINT64_MAX);
    EXPECT_FORMAT("ff FF 0xff 0XFF 0x0", "%x %X %#x %#X %#x", 255, 255, 255, 255, 0);
    EXPECT_FORMAT("   42|42   |", "%5d|%-5d|", 42, 42);
    EXPECT_FORMAT("-0042 00042", "%05d %05u", -42, 42);
    EXPECT_FORMAT("007 0 -007", "%.3d %.0d %.3d", 7, 0, -7);
    EXPECT_FORMAT("  007", "%5.3d", 7);
    EXPECT_FORMAT("0x00ff", "%#06x", 255);
    EXPECT_FORMAT("12345", "%3d", 12345); // a width never cuts
    EXPECT_FORMAT("001", "%03d", 1);      // the numbered-backup extension
    EXPECT_FORMAT("A  A|B  |", "%c%3c|%-3c|", 'A', 'A', 'B');
    EXPECT_FORMAT("ab", "a%hcb", 0); // "hc" and "lc" drop a zero character
    EXPECT_FORMAT("ab", "a%lcb", 0);
    EXPECT_FORMAT("\xC3\xA9|\xE2\x82\xAC", "%lc|%C", L'\u00e9', L'\u20ac');
    EXPECT_FORMAT("(null)|(null)", "%s|%ls", static_cast<const char*>(nullptr),
                  static_cast<const WCHAR*>(nullptr));
    EXPECT_FORMAT("ab|  ab|ab  |", "%.2s|%4s|%-4s|", "abcdef", "ab", "ab");
    EXPECT_FORMAT("wide wide w\xC3\xA9", "%ls %S %ws", L"wide", L"wide", L"w\u00e9");
    EXPECT_FORMAT("narrow", "%hs", "narrow");
    // A precision never splits a UTF-8 sequence: "é" is two bytes.
    EXPECT_FORMAT("a", "%.2s", "a\xC3\xA9");
    EXPECT_FORMAT("100%", "100%%");
    EXPECT_FORMAT("y f", "%y %f", 1.5); // no floating point
    EXPECT_FORMAT("y", "%5y");
    EXPECT_FORMAT("*d", "%*d", 5, 42); // no '*' width: nothing is consumed
    EXPECT_FORMAT("100", "100%");      // a lone '%' at the end prints nothing
    EXPECT_FORMAT("", "");
    // A pointer is upper-case hex, zero-padded to its width.
    const Formatted f = format("%p", reinterpret_cast<void*>(std::uintptr_t{0xBEEF}));
    EXPECT_EQ(std::string(2 * sizeof(void*) - 4, '0') + "BEEF", f.text);
}

TEST(Format, OutputStopsAt1023BytesWithoutSplittingACharacterAndNullArguments) {
    const std::string longText(2000, 'a');
    Formatted f = format("%s", longText.c_str());
    EXPECT_EQ(1023, f.result);
    EXPECT_EQ(std::string(1023, 'a'), f.text);

    f = format("%2000d", 5);
    EXPECT_EQ(1023, f.result);

    // 1022 'a' then a two-byte character that would straddle the limit: it is left out.
    const std::string straddling = std::string(1022, 'a') + "\xC3\xA9" + "tail";
    f = format("%s", straddling.c_str());
    EXPECT_EQ(1022, f.result);
    EXPECT_EQ(std::string(1022, 'a'), f.text);

    char buffer[16] = "unchanged";
    EXPECT_EQ(0, wsprintfA(nullptr, "%d", 1));
    EXPECT_EQ(0, wsprintfA(buffer, nullptr));
    EXPECT_STREQ("", buffer);
}

} // namespace
