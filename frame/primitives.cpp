#include <korutil/frame.h>

// The block primitives promise word-wise loops and no runtime calls, so the compiler must not
// recognise the loops and turn them back into memcpy or memset.
#if defined(__clang__)
#define KORUTIL_NO_LIBCALLS __attribute__((no_builtin))
#elif defined(__GNUC__)
#define KORUTIL_NO_LIBCALLS __attribute__((optimize("no-tree-loop-distribute-patterns")))
#else
#define KORUTIL_NO_LIBCALLS
#endif

namespace {

// A four-byte word that may sit at any address.
#if defined(_MSC_VER)
typedef std::uint32_t UnalignedWord;
#else
typedef std::uint32_t __attribute__((aligned(1), may_alias)) UnalignedWord;
#endif

} // namespace

extern "C" KORUTIL_NO_LIBCALLS void GMemMove(void* dest, const void* src, std::uint32_t count) {
    unsigned char* d = static_cast<unsigned char*>(dest);
    const unsigned char* s = static_cast<const unsigned char*>(src);
    if (d == s) {
        return;
    }
    const std::uint32_t words = count / 4;
    const std::uint32_t tail = count % 4;
    if (reinterpret_cast<std::uintptr_t>(d) < reinterpret_cast<std::uintptr_t>(s)) {
        for (std::uint32_t i = 0; i < words; ++i) {
            reinterpret_cast<UnalignedWord*>(d)[i] = reinterpret_cast<const UnalignedWord*>(s)[i];
        }
        for (std::uint32_t i = words * 4; i < count; ++i) {
            d[i] = s[i];
        }
        return;
    }
    // Downwards: the word ending at the last byte first, then the bytes at the bottom.
    for (std::uint32_t i = words; i > 0; --i) {
        const std::uint32_t offset = tail + (i - 1) * 4;
        *reinterpret_cast<UnalignedWord*>(d + offset) =
            *reinterpret_cast<const UnalignedWord*>(s + offset);
    }
    for (std::uint32_t i = tail; i > 0; --i) {
        d[i - 1] = s[i - 1];
    }
}

extern "C" KORUTIL_NO_LIBCALLS void GMemSet(void* dest, std::uint32_t pattern,
                                            std::uint32_t count) {
    unsigned char* d = static_cast<unsigned char*>(dest);
    const std::uint32_t words = count / 4;
    // The pattern is laid down least significant byte first whatever the host's byte order.
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(pattern), static_cast<unsigned char>(pattern >> 8),
        static_cast<unsigned char>(pattern >> 16), static_cast<unsigned char>(pattern >> 24)};
    const std::uint32_t word = *reinterpret_cast<const UnalignedWord*>(bytes);
    for (std::uint32_t i = 0; i < words; ++i) {
        reinterpret_cast<UnalignedWord*>(d)[i] = word;
    }
    for (std::uint32_t i = 0; i < count % 4; ++i) {
        d[words * 4 + i] = bytes[i];
    }
}

extern "C" std::int32_t MulDiv32(std::int32_t number, std::int32_t numerator,
                                 std::int32_t denominator) {
    // Outside the contract (a zero divisor, a quotient beyond 32 bits) the result is defined
    // anyway: 0 for a zero divisor, the low 32 bits of the quotient otherwise.
    if (denominator == 0) {
        return 0;
    }
    const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(product / denominator));
}
