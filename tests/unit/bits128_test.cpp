#include <korutil/collections.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<unsigned char> Bytes(const CBits128& b) {
    return std::vector<unsigned char>(b.GetBits(), b.GetBits() + 16);
}

TEST(CBits128, FlagNIsBitNMod8OfByteNDiv8) {
    CBits128 b;
    EXPECT_EQ(std::vector<unsigned char>(16, 0), Bytes(b));
    b.Set(0);
    b.Set(127);
    b.Set(9);
    EXPECT_EQ(0x01, b.GetBits()[0]);
    EXPECT_EQ(0x02, b.GetBits()[1]);
    EXPECT_EQ(0x80, b.GetBits()[15]);
    EXPECT_EQ(1, b.Get(9));
    EXPECT_EQ(0, b.Get(8));
    b.Clear(9);
    EXPECT_EQ(0, b.Get(9));
    EXPECT_EQ(1, b.Get(127));
    b.Set(128); // outside the set: ignored
    b.Set(255);
    EXPECT_EQ(0, b.Get(128));
    EXPECT_EQ(0x80, b.GetBits()[15]);
}

TEST(CBits128, WholeSetOperationsAndCopies) {
    CBits128 a;
    a.SetAll();
    EXPECT_EQ(std::vector<unsigned char>(16, 0xFF), Bytes(a));
    a.Clear(200);
    EXPECT_EQ(std::vector<unsigned char>(16, 0xFF), Bytes(a));
    a.ClearAll();
    a.Set(3);
    a.Set(100);
    CBits128 b;
    b.Set(50);
    b = a;
    EXPECT_EQ(Bytes(a), Bytes(b));
    CBits128 c(b);
    EXPECT_EQ(Bytes(a), Bytes(c));
}

} // namespace
