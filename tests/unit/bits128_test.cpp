#include <korutil/collections.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<unsigned char> Bytes(const CBits128& b) {
    return std::vector<unsigned char>(b.GetBits(), b.GetBits() + 16);
}

// Flag n is bit n % 8 of byte n / 8; numbers from 128 on are ignored.
TEST(CBits128, FlagLayoutWholeSetOperationsAndCopies) {
    CBits128 b;
    EXPECT_EQ(std::vector<unsigned char>(16, 0), Bytes(b));
    for (unsigned char n : {0, 9, 127, 128, 255}) {
        b.Set(n);
    }
    std::vector<unsigned char> want(16, 0);
    want[0] = 0x01;
    want[1] = 0x02;
    want[15] = 0x80;
    EXPECT_EQ(want, Bytes(b));
    EXPECT_EQ(1, b.Get(9));
    EXPECT_EQ(0, b.Get(8) + b.Get(128));
    b.Clear(9);
    EXPECT_EQ(0, b.Get(9));
    EXPECT_EQ(1, b.Get(127));
    CBits128 c;
    c.SetAll();
    c.Clear(200);
    EXPECT_EQ(std::vector<unsigned char>(16, 0xFF), Bytes(c));
    c = b;
    EXPECT_EQ(Bytes(b), Bytes(c));
    b.ClearAll();
    EXPECT_EQ(std::vector<unsigned char>(16, 0), Bytes(b));
}

} // namespace
