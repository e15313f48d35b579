#include <korutil/buffers.h>

#include "frame/heap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using korutil::detail::HeapFailureScope;

// Opens the protected state so that the tests can check the block rules.
struct Probe : CGrowBuf {
    using CGrowBuf::CGrowBuf;
    int Room() const { return m_nAllocated; }
    const unsigned char* Block() const { return m_pBlock; }
};

// One byte per element, written as letters; "0" is a zero byte.
std::string text(const CGrowBuf& b) {
    std::string s(static_cast<const char*>(b.GetElement(0)), b.IsEmpty() ? 0 : b.GetLength());
    std::replace(s.begin(), s.end(), '\0', '0');
    return s;
}

void fill(CGrowBuf& b, const std::string& letters) {
    ASSERT_EQ(1, b.SetLength(static_cast<int>(letters.size())));
    std::memcpy(b.GetElement(0), letters.data(), letters.size());
}

TEST(CGrowBuf, BlockGrowsInStepsAndShrinksOnlyWithTheFlag) {
    for (int shrink : {0, 1}) {
        Probe b(1, 16, shrink);
        fill(b, std::string(17, 'x'));
        EXPECT_EQ(32, b.Room());
        ASSERT_EQ(1, b.SetLength(5));
        EXPECT_EQ(shrink ? 16 : 32, b.Room());
        ASSERT_EQ(1, b.SetLength(20)); // lengthening within the room zeroes what was there
        EXPECT_EQ("xxxxx000000000000000", text(b));
        ASSERT_EQ(1, b.Flush());
        EXPECT_EQ(1, b.IsEmpty());
        EXPECT_EQ(shrink != 0, b.Block() == nullptr);
        EXPECT_EQ(1, b.Flush());
    }
    Probe exact(4, 1, 1);
    ASSERT_EQ(1, exact.SetLength(3));
    EXPECT_EQ(3, exact.Room());
}

// Refused growth changes nothing; a refused shrink keeps the larger block with the data.
TEST(CGrowBuf, RefusedGrowthChangesNothingAndShrinkingCannotFail) {
    Probe b(1, 4, 1);
    fill(b, "ABCDEF");
    HeapFailureScope fail(1, true);
    EXPECT_EQ(0, b.SetLength(9) + b.Insert(1, 3) + b.Copy(5, &b, 0, 6));
    EXPECT_EQ("ABCDEF", text(b));
    EXPECT_EQ(1, b.Delete(1, 3));
    EXPECT_EQ("AEF", text(b));
    EXPECT_EQ(8, b.Room());
    EXPECT_EQ(1, b.SetLength(3)); // same length: not even a retry of the shrink
    EXPECT_EQ(8, b.Room());
    EXPECT_EQ(1, b.Flush());
    EXPECT_EQ(nullptr, b.Block());
}

// Arguments outside the buffers and elements of another size are refused.
TEST(CGrowBuf, RefusesArgumentsOutsideTheBuffers) {
    CGrowBuf b(1, 2, 1);
    CGrowBuf src(1, 4, 0);
    CGrowBuf wide(2, 4, 0);
    fill(src, "XYZ");
    ASSERT_EQ(1, wide.SetLength(3));
    fill(b, "AB");
    EXPECT_EQ(0, b.Insert(3, 1) + b.Delete(1, 2) + b.SetLength(-1));
    EXPECT_EQ(0, b.Copy(0, &src, 2, 4) + b.Copy(-1, &src, 0, 1) + b.Copy(0, &wide, 0, 3));
    EXPECT_EQ("AB", text(b));
    ASSERT_EQ(1, b.Copy(5, &src, 0, 1));
    EXPECT_EQ("AB000X", text(b));
}

// A whole copy takes the elements, element size and shrink flag but keeps the step; across
// element sizes the kept block is re-counted so that it still holds m_nAllocated elements.
TEST(CGrowBuf, WholeCopy) {
    Probe b(1, 8, 1);
    Probe src(1, 4, 0);
    fill(src, "XYZ");
    fill(b, "ABCDEFGHIJ");
    ASSERT_EQ(1, b.Copy(src));
    EXPECT_EQ("XYZ", text(b));
    EXPECT_EQ(16, b.Room()); // no shrink flag now, and still steps of 8
    EXPECT_EQ(1, b.Copy(b));
    EXPECT_EQ("XYZ", text(b));
    // Four bytes of room cannot hold one step of 4-byte elements: the block goes, and the
    // copy allocates what it needs instead of writing 12 bytes into 4.
    Probe small(1, 4, 0);
    fill(small, "ABCD");
    CGrowBuf wide(4, 4, 1);
    ASSERT_EQ(1, wide.SetLength(3));
    const std::uint32_t values[3] = {0x01010101u, 0x02020202u, 0x03030303u};
    std::memcpy(wide.GetElement(0), values, sizeof values);
    ASSERT_EQ(1, small.Copy(wide));
    EXPECT_EQ(4, small.Room());
    EXPECT_EQ(0, std::memcmp(small.GetElement(0), values, sizeof values));
    Probe big(1, 2, 0); // 32 bytes in steps of 2 elements of 4 bytes, and back
    ASSERT_EQ(1, big.SetLength(32));
    ASSERT_EQ(1, big.Copy(CGrowBuf(4, 1, 0)));
    EXPECT_EQ(8, big.Room());
    ASSERT_EQ(1, big.Copy(CGrowBuf(1, 1, 0)));
    EXPECT_EQ(32, big.Room());
    // When the copy cannot grow, the buffer is left empty.
    fill(src, std::string(20, 'Q'));
    HeapFailureScope fail(1);
    EXPECT_EQ(0, b.Copy(src));
    EXPECT_EQ(0, b.GetLength());
}

// Every length change of the non-virtual operations is seen by an override.
struct Recorder : CGrowBuf {
    Recorder() : CGrowBuf(1, 4, 1) {}
    int SetLength(int n) override {
        log += "L" + std::to_string(n);
        return CGrowBuf::SetLength(n);
    }
    int Insert(int pos, int count) override {
        log += "I";
        return CGrowBuf::Insert(pos, count);
    }
    int Copy(int dest, const CGrowBuf* src, int first, int end) override {
        log += "C";
        return CGrowBuf::Copy(dest, src, first, end);
    }
    using CGrowBuf::Copy;
    std::string log;
};

TEST(CGrowBuf, OperationsReachTheVirtualSlots) {
    Recorder r;
    CGrowBuf other(1, 4, 0);
    ASSERT_EQ(1, other.SetLength(5));
    ASSERT_EQ(1, r.Insert(0, 3));
    ASSERT_EQ(1, r.Delete(0, 1));
    ASSERT_EQ(1, r.Copy(other));
    ASSERT_EQ(1, r.Flush());
    EXPECT_EQ("IL3CL2L0CL5L0", r.log);
}

// The buffer against a vector of bytes, with three-byte elements, random steps and shrink
// flags, and the heap refusing now and then: a refused operation must change nothing.
// Copies from another buffer are checked above.
TEST(CGrowBuf, MatchesAVectorModel) {
    constexpr int kSize = 3;
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        std::mt19937 rng(seed);
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        const int growBy = pick(1, 9);
        const int shrink = pick(0, 1);
        Probe b(kSize, growBy, shrink);
        std::vector<unsigned char> model;
        for (int step = 0; step < 3000; ++step) {
            const int n = b.GetLength();
            const bool failing = pick(0, 9) == 0;
            const int pos = pick(0, n), count = pick(0, 6), first = pick(0, n),
                      end = pick(first, n);
            std::vector<unsigned char> want = model;
            auto at = [&](int element) { return want.begin() + element * kSize; };
            int result;
            {
                HeapFailureScope fail(failing ? 1 : 0);
                switch (pick(0, 4)) {
                case 0:
                    result = b.SetLength(count * 8);
                    want.resize(std::size_t(count) * 8 * kSize, 0);
                    break;
                case 1:
                    result = b.Insert(pos, count);
                    want.insert(at(pos), std::size_t(count) * kSize, 0);
                    break;
                case 2:
                    result = b.Delete(first, end - first);
                    want.erase(at(first), at(end));
                    break;
                case 3: { // within the buffer: the ranges may overlap and reach past the end
                    const int dest = pos + count / 2;
                    result = b.Copy(dest, &b, first, end);
                    const std::vector<unsigned char> part(at(first), at(end));
                    if (end > first) {
                        want.resize(std::max(want.size(), std::size_t(dest + end - first) * kSize));
                    }
                    std::copy(part.begin(), part.end(), at(dest));
                    break;
                }
                default:
                    result = b.Flush();
                    want.clear();
                    break;
                }
            }
            ASSERT_TRUE(result == 1 || failing) << "seed " << seed << " step " << step;
            if (result == 1) {
                model = want;
            }
            // Scribble over a live byte so that zero-filling is checked for real.
            if (!model.empty()) {
                const int byte = pick(0, int(model.size()) - 1);
                model[byte] = static_cast<unsigned char>(step | 1);
                static_cast<unsigned char*>(b.GetElement(0))[byte] = model[byte];
            }
            const int len = int(model.size()) / kSize;
            ASSERT_EQ(len, b.GetLength()) << "seed " << seed << " step " << step;
            ASSERT_TRUE(b.Room() % growBy == 0 && len <= b.Room());
            // A length change with the flag resizes exactly, unless the heap refused.
            if (shrink && !failing && len != n) {
                ASSERT_EQ((len + growBy - 1) / growBy * growBy, b.Room());
            }
            ASSERT_TRUE(len == 0 || std::memcmp(b.GetElement(0), model.data(), model.size()) == 0)
                << "seed " << seed << " step " << step;
        }
    }
}

} // namespace
