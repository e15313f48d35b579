#include <korutil/frame.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

TEST(GMemMove, OverlapUpByOneKeepsSourceHeadAndTouchesNothingElse) {
    unsigned char buf[8] = {'A', 'B', 'C', 'D', 'E', 'x', 'y', 'z'};
    GMemMove(buf + 1, buf, 5);
    const unsigned char want[8] = {'A', 'A', 'B', 'C', 'D', 'E', 'y', 'z'};
    EXPECT_EQ(0, std::memcmp(buf, want, sizeof want));
}

TEST(GMemMove, OverlapDownByOne) {
    unsigned char buf[9] = {'x', '1', '2', '3', '4', '5', '6', '7', 'z'};
    GMemMove(buf, buf + 1, 7);
    const unsigned char want[9] = {'1', '2', '3', '4', '5', '6', '7', '7', 'z'};
    EXPECT_EQ(0, std::memcmp(buf, want, sizeof want));
}

TEST(GMemMove, SameAddressOrZeroCountChangesNothing) {
    unsigned char buf[6] = {1, 2, 3, 4, 5, 6};
    GMemMove(buf, buf, 6);
    GMemMove(buf + 2, buf, 0);
    const unsigned char want[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(0, std::memcmp(buf, want, sizeof want));
}

// Every distance and length up to a few words, both directions, at odd alignments,
// against memmove.
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

TEST(GMemSet, RepeatsPatternLittleEndian) {
    unsigned char buf[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    GMemSet(buf, 0x44434241u, 6);
    const unsigned char want[8] = {0x41, 0x42, 0x43, 0x44, 0x41, 0x42, 9, 9};
    EXPECT_EQ(0, std::memcmp(buf, want, sizeof want));
}

TEST(GMemSet, ZeroPatternShortCountAndUnalignedStart) {
    unsigned char buf[12];
    std::memset(buf, 0x77, sizeof buf);
    GMemSet(buf + 1, 0, 3);
    EXPECT_EQ(0x77, buf[0]);
    EXPECT_EQ(0, buf[1]);
    EXPECT_EQ(0, buf[3]);
    EXPECT_EQ(0x77, buf[4]);
    GMemSet(buf + 3, 0x41414141u, 9);
    for (int i = 3; i < 12; ++i) {
        EXPECT_EQ(0x41, buf[i]);
    }
    GMemSet(buf, 0x12345678u, 0);
    EXPECT_EQ(0x77, buf[0]);
}

TEST(MulDiv32, ExactProductTruncatedTowardZero) {
    EXPECT_EQ(0x20000000, MulDiv32(0x40000000, 4, 8));
    EXPECT_EQ(-10, MulDiv32(-7, 3, 2));
    EXPECT_EQ(3, MulDiv32(7, 1, 2));
    EXPECT_EQ(-3, MulDiv32(-7, 1, 2));
    EXPECT_EQ(-3, MulDiv32(7, 1, -2));
    EXPECT_EQ(2147483647, MulDiv32(2147483647, 2147483647, 2147483647));
    EXPECT_EQ(-2147483647 - 1, MulDiv32(-2147483647 - 1, 3, 3));
}

TEST(MulDiv32, OutsideTheContractStaysDefined) {
    EXPECT_EQ(0, MulDiv32(5, 5, 0));
    EXPECT_EQ(static_cast<std::int32_t>(0x80000000u), MulDiv32(0x40000000, 4, 2));
}

} // namespace
