#include <korutil/frame.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

// Every distance and length up to a few words, both directions, at odd alignments, against
// memmove; the guard bytes around the areas must stay as they were. This covers the
// one-byte overlaps up and down, equal addresses and a count of 0.
TEST(GMemMove, MatchesMemmoveForAllSmallOverlaps) {
    std::mt19937 rng(7);
    for (int len = 0; len <= 19; ++len) {
        for (int from = 0; from <= 8; ++from) {
            for (int to = 0; to <= 8; ++to) {
                std::vector<unsigned char> a(40), b;
                for (auto& c : a) {
                    c = static_cast<unsigned char>(rng());
                }
                b = a;
                GMemMove(a.data() + 3 + to, a.data() + 3 + from, static_cast<std::uint32_t>(len));
                std::memmove(b.data() + 3 + to, b.data() + 3 + from, len);
                ASSERT_EQ(a, b) << "len " << len << " from " << from << " to " << to;
            }
        }
    }
}

TEST(GMemSet, RepeatsThePatternLittleEndian) {
    unsigned char buf[12];
    std::memset(buf, 9, sizeof buf);
    GMemSet(buf + 1, 0x44434241u, 6);
    GMemSet(buf + 8, 0, 3);
    GMemSet(buf, 0x12345678u, 0);
    const unsigned char want[12] = {9, 0x41, 0x42, 0x43, 0x44, 0x41, 0x42, 9, 0, 0, 0, 9};
    EXPECT_EQ(0, std::memcmp(buf, want, sizeof want));
}

TEST(MulDiv32, ExactProductTruncatedTowardZero) {
    EXPECT_EQ(0x20000000, MulDiv32(0x40000000, 4, 8));
    EXPECT_EQ(-10, MulDiv32(-7, 3, 2));
    EXPECT_EQ(-3, MulDiv32(7, 1, -2));
    EXPECT_EQ(2147483647, MulDiv32(2147483647, 2147483647, 2147483647));
    EXPECT_EQ(-2147483647 - 1, MulDiv32(-2147483647 - 1, 3, 3));
    // Outside the contract the result is still defined.
    EXPECT_EQ(0, MulDiv32(5, 5, 0));
    EXPECT_EQ(static_cast<std::int32_t>(0x80000000u), MulDiv32(0x40000000, 4, 2));
}

} // namespace
