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

using korutil::detail::heapFailureFired;
using korutil::detail::HeapFailureScope;

// Opens the protected state so that the tests can check the block rules.
class Probe : public CGrowBuf {
public:
    using CGrowBuf::CGrowBuf;
    int Room() const { return m_nAllocated; }
    int ElementSize() const { return m_nElementSize; }
    int GrowBy() const { return m_nGrowBy; }
    int ShrinkFlag() const { return m_bShrink; }
    const unsigned char* Block() const { return m_pBlock; }
};

// One byte per element, written as letters; "0" is a zero byte.
std::string text(const CGrowBuf& b) {
    std::string s;
    for (int i = 0; i < b.GetLength(); ++i) {
        const char c = *static_cast<const char*>(b.GetElement(i));
        s += c == 0 ? '0' : c;
    }
    return s;
}

void fill(CGrowBuf& b, const char* letters) {
    ASSERT_EQ(1, b.SetLength(static_cast<int>(std::strlen(letters))));
    for (int i = 0; letters[i] != 0; ++i) {
        *static_cast<char*>(b.GetElement(i)) = letters[i];
    }
}

TEST(CGrowBuf, GrowsInStepsAndKeepsTheBlockWithoutTheShrinkFlag) {
    Probe b(1, 16, 0);
    EXPECT_EQ(nullptr, b.Block());
    EXPECT_EQ(1, b.IsEmpty());
    ASSERT_EQ(1, b.SetLength(1));
    EXPECT_EQ(16, b.Room());
    EXPECT_EQ("0", text(b));
    ASSERT_EQ(1, b.SetLength(17));
    EXPECT_EQ(32, b.Room());
    std::memset(b.GetElement(0), 'x', 17);
    ASSERT_EQ(1, b.SetLength(5));
    EXPECT_EQ(32, b.Room());
    // Lengthening within the room zeroes what was there before.
    ASSERT_EQ(1, b.SetLength(20));
    EXPECT_EQ(32, b.Room());
    EXPECT_EQ("xxxxx000000000000000", text(b));
    ASSERT_EQ(1, b.SetLength(0));
    EXPECT_NE(nullptr, b.Block());
    EXPECT_EQ(1, b.IsEmpty());
    EXPECT_EQ(1, b.Flush());
    EXPECT_NE(nullptr, b.Block());
}

TEST(CGrowBuf, FollowsTheLengthBothWaysWithTheShrinkFlag) {
    Probe b(1, 16, 1);
    ASSERT_EQ(1, b.SetLength(17));
    EXPECT_EQ(32, b.Room());
    ASSERT_EQ(1, b.SetLength(5));
    EXPECT_EQ(16, b.Room());
    ASSERT_EQ(1, b.Flush());
    EXPECT_EQ(0, b.Room());
    EXPECT_EQ(nullptr, b.Block());

    Probe exact(4, 1, 1);
    ASSERT_EQ(1, exact.SetLength(3));
    EXPECT_EQ(3, exact.Room());
    ASSERT_EQ(1, exact.SetLength(2));
    EXPECT_EQ(2, exact.Room());
}

TEST(CGrowBuf, RefusedGrowthChangesNothingAndShrinkingCannotFail) {
    Probe b(1, 4, 1);
    {
        HeapFailureScope fail(1);
        EXPECT_EQ(0, b.SetLength(1));
    }
    EXPECT_EQ(0, b.GetLength());
    EXPECT_EQ(nullptr, b.Block());

    fill(b, "ABCDEF");
    const unsigned char* block = b.Block();
    {
        HeapFailureScope fail(1, true);
        EXPECT_EQ(0, b.SetLength(9));
        EXPECT_EQ(0, b.Insert(1, 3));
        EXPECT_EQ(0, b.Copy(5, &b, 0, 6));
        EXPECT_TRUE(heapFailureFired());
        EXPECT_EQ("ABCDEF", text(b));
        EXPECT_EQ(8, b.Room());
        EXPECT_EQ(block, b.Block());

        // The heap refuses the smaller block too: the larger one stays, and so does its data.
        EXPECT_EQ(1, b.Delete(1, 3));
        EXPECT_EQ("AEF", text(b));
        EXPECT_EQ(8, b.Room());
        // The length is already 3: nothing at all happens, not even a retry of the shrink.
        EXPECT_EQ(1, b.SetLength(3));
        EXPECT_EQ(8, b.Room());
        // Releasing needs nothing from the heap.
        EXPECT_EQ(1, b.Flush());
        EXPECT_EQ(nullptr, b.Block());
    }
}

TEST(CGrowBuf, InsertAndDeleteMoveTheLaterElements) {
    CGrowBuf b(1, 2, 1);
    fill(b, "ABC");
    ASSERT_EQ(1, b.Insert(1, 2));
    EXPECT_EQ("A00BC", text(b));
    fill(b, "ABC");
    ASSERT_EQ(1, b.Insert(3, 1));
    EXPECT_EQ("ABC0", text(b));
    ASSERT_EQ(1, b.Insert(0, 0));
    EXPECT_EQ("ABC0", text(b));
    fill(b, "ABC");
    ASSERT_EQ(1, b.Delete(1, 1));
    EXPECT_EQ("AC", text(b));
    fill(b, "ABC");
    ASSERT_EQ(1, b.Delete(0, 3));
    EXPECT_EQ("", text(b));

    // Outside the buffer: refused, nothing changed.
    fill(b, "ABC");
    EXPECT_EQ(0, b.Insert(4, 1));
    EXPECT_EQ(0, b.Insert(-1, 1));
    EXPECT_EQ(0, b.Insert(1, -1));
    EXPECT_EQ(0, b.Delete(2, 2));
    EXPECT_EQ(0, b.Delete(-1, 1));
    EXPECT_EQ(0, b.SetLength(-1));
    EXPECT_EQ("ABC", text(b));
}

TEST(CGrowBuf, CopiesARangeFromAnotherBufferOrItself) {
    CGrowBuf b(1, 4, 0);
    CGrowBuf src(1, 4, 0);
    fill(src, "XYZ");
    fill(b, "AB");
    ASSERT_EQ(1, b.Copy(2, &src, 0, 3));
    EXPECT_EQ("ABXYZ", text(b));
    fill(b, "AB");
    ASSERT_EQ(1, b.Copy(0, &src, 1, 3));
    EXPECT_EQ("YZ", text(b));
    fill(b, "AB");
    ASSERT_EQ(1, b.Copy(5, &src, 0, 1));
    EXPECT_EQ("AB000X", text(b));
    ASSERT_EQ(1, b.Copy(0, &src, 2, 2));
    EXPECT_EQ("AB000X", text(b));

    // Overlapping copies within one buffer, both ways, and one that moves the block while it
    // reads from it.
    fill(b, "ABCDEF");
    ASSERT_EQ(1, b.Copy(2, &b, 0, 4));
    EXPECT_EQ("ABABCD", text(b));
    ASSERT_EQ(1, b.Copy(0, &b, 1, 6));
    EXPECT_EQ("BABCDD", text(b));
    ASSERT_EQ(1, b.Copy(6, &b, 0, 6));
    EXPECT_EQ("BABCDDBABCDD", text(b));

    // Out of the source, or elements of another size: refused, nothing changed.
    CGrowBuf wide(2, 4, 0);
    ASSERT_EQ(1, wide.SetLength(3));
    fill(b, "AB");
    EXPECT_EQ(0, b.Copy(0, &src, 2, 4));
    EXPECT_EQ(0, b.Copy(0, &src, 2, 1));
    EXPECT_EQ(0, b.Copy(-1, &src, 0, 1));
    EXPECT_EQ(0, b.Copy(0, nullptr, 0, 0));
    EXPECT_EQ(0, b.Copy(0, &wide, 0, 3));
    EXPECT_EQ("AB", text(b));
}

TEST(CGrowBuf, CopiesAWholeBuffer) {
    Probe b(1, 8, 1);
    Probe src(1, 4, 0);
    fill(src, "XYZ");
    fill(b, "ABCDEFGHIJ");
    ASSERT_EQ(1, b.Copy(src));
    EXPECT_EQ("XYZ", text(b));
    EXPECT_EQ(0, b.ShrinkFlag());
    EXPECT_EQ(8, b.GrowBy());
    // Without the shrink flag taken over, the block of two steps stays.
    EXPECT_EQ(16, b.Room());
    EXPECT_EQ(1, b.Copy(b));
    EXPECT_EQ("XYZ", text(b));
}

TEST(CGrowBuf, WholeCopyAcrossElementSizesKeepsTheBlockBigEnough) {
    // Four bytes of room become one element of 4 bytes: less than one step of 4, so the block
    // goes and the copy allocates what it needs.
    Probe b(1, 4, 0);
    fill(b, "ABCD");
    Probe wide(4, 4, 1);
    ASSERT_EQ(1, wide.SetLength(3));
    for (int i = 0; i < 3; ++i) {
        *static_cast<std::uint32_t*>(wide.GetElement(i)) = 0x01010101u * (i + 1);
    }
    ASSERT_EQ(1, b.Copy(wide));
    EXPECT_EQ(4, b.ElementSize());
    EXPECT_EQ(3, b.GetLength());
    EXPECT_EQ(4, b.Room());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(0x01010101u * (i + 1), *static_cast<std::uint32_t*>(b.GetElement(i)));
    }

    // 32 bytes of room re-counted as whole steps of 2 elements of 4 bytes: 8 elements.
    Probe big(1, 2, 0);
    ASSERT_EQ(1, big.SetLength(32));
    Probe empty(4, 1, 0);
    ASSERT_EQ(1, big.Copy(empty));
    EXPECT_EQ(8, big.Room());
    ASSERT_EQ(1, big.SetLength(8));
    std::memset(big.GetElement(0), 0x5a, 32);

    // And back to smaller elements: the room grows in count, not in bytes.
    Probe narrow(1, 2, 0);
    ASSERT_EQ(1, big.Copy(narrow));
    EXPECT_EQ(32, big.Room());
}

TEST(CGrowBuf, WholeCopyThatCannotGrowLeavesTheBufferEmpty) {
    Probe b(1, 4, 1);
    fill(b, "AB");
    CGrowBuf src(1, 4, 0);
    fill(src, "VWXYZ");
    {
        HeapFailureScope fail(1);
        EXPECT_EQ(0, b.Copy(src));
    }
    EXPECT_EQ(0, b.GetLength());
    EXPECT_EQ(4, b.Room());
}

// Every length change of the non-virtual operations is seen by an override.
class Recorder : public CGrowBuf {
public:
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
    ASSERT_EQ(1, r.Insert(0, 3));
    EXPECT_EQ("IL3", r.log);
    r.log.clear();
    ASSERT_EQ(1, r.Delete(0, 1));
    EXPECT_EQ("CL2", r.log);
    r.log.clear();
    CGrowBuf other(1, 4, 0);
    ASSERT_EQ(1, other.SetLength(5));
    ASSERT_EQ(1, r.Copy(other));
    EXPECT_EQ("L0CL5", r.log);
    r.log.clear();
    ASSERT_EQ(1, r.Flush());
    EXPECT_EQ("L0", r.log);
}

// The buffer against a vector of bytes, with three-byte elements and failures injected now
// and then: a refused operation must leave everything as it was.
TEST(CGrowBuf, MatchesAVectorModel) {
    constexpr int kSize = 3;
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        std::mt19937 rng(seed);
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        const int growBy = pick(1, 9);
        const int shrink = pick(0, 1);
        Probe b(kSize, growBy, shrink);
        Probe other(kSize, pick(1, 5), 0);
        std::vector<unsigned char> model;
        std::vector<unsigned char> otherModel;
        int stamp = 0;
        for (int step = 0; step < 3000; ++step) {
            const int n = static_cast<int>(model.size()) / kSize;
            const int before = b.GetLength();
            const bool failing = pick(0, 9) == 0;
            std::vector<unsigned char> expect = model;
            int result = 0;
            {
                HeapFailureScope fail(failing ? 1 : 0);
                switch (pick(0, 6)) {
                case 0: {
                    const int len = pick(0, 60);
                    result = b.SetLength(len);
                    expect.resize(static_cast<std::size_t>(len) * kSize, 0);
                    break;
                }
                case 1: {
                    const int pos = pick(0, n);
                    const int count = pick(0, 6);
                    result = b.Insert(pos, count);
                    expect.insert(expect.begin() + pos * kSize,
                                  static_cast<std::size_t>(count) * kSize, 0);
                    break;
                }
                case 2: {
                    const int pos = pick(0, n);
                    const int count = pick(0, n - pos);
                    result = b.Delete(pos, count);
                    expect.erase(expect.begin() + pos * kSize,
                                 expect.begin() + (pos + count) * kSize);
                    break;
                }
                case 3: {
                    const int first = pick(0, n);
                    const int end = pick(first, n);
                    const int dest = pick(0, n + 3);
                    result = b.Copy(dest, &b, first, end);
                    std::vector<unsigned char> part(expect.begin() + first * kSize,
                                                    expect.begin() + end * kSize);
                    if (!part.empty()) {
                        if ((dest + end - first) * kSize > int(expect.size())) {
                            expect.resize(static_cast<std::size_t>(dest + end - first) * kSize, 0);
                        }
                        std::copy(part.begin(), part.end(), expect.begin() + dest * kSize);
                    }
                    break;
                }
                case 4: {
                    const int on = static_cast<int>(otherModel.size()) / kSize;
                    const int first = pick(0, on);
                    const int end = pick(first, on);
                    const int dest = pick(0, n);
                    result = b.Copy(dest, &other, first, end);
                    if (first < end && (dest + end - first) * kSize > int(expect.size())) {
                        expect.resize(static_cast<std::size_t>(dest + end - first) * kSize, 0);
                    }
                    std::copy(otherModel.begin() + first * kSize, otherModel.begin() + end * kSize,
                              expect.begin() + dest * kSize);
                    break;
                }
                case 5: {
                    // Rewrite the other buffer with fresh bytes.
                    const int len = pick(0, 20);
                    HeapFailureScope none(0);
                    ASSERT_EQ(1, other.SetLength(len));
                    otherModel.resize(static_cast<std::size_t>(len) * kSize);
                    for (auto& byte : otherModel) {
                        byte = static_cast<unsigned char>(++stamp | 1);
                    }
                    if (len > 0) {
                        std::memcpy(other.GetElement(0), otherModel.data(), otherModel.size());
                    }
                    result = 1;
                    break;
                }
                default: {
                    result = b.Flush();
                    expect.clear();
                    break;
                }
                }
            }
            if (result == 0) {
                ASSERT_TRUE(failing) << "seed " << seed << " step " << step;
            } else {
                model = expect;
            }
            // Scribble over the live elements so that zero-filling is checked for real.
            if (step % 3 == 0 && !model.empty()) {
                const int at = pick(0, static_cast<int>(model.size()) - 1);
                model[at] = static_cast<unsigned char>(++stamp | 0x80);
                *(static_cast<unsigned char*>(b.GetElement(0)) + at) = model[at];
            }
            const int len = static_cast<int>(model.size()) / kSize;
            ASSERT_EQ(len, b.GetLength()) << "seed " << seed << " step " << step;
            ASSERT_EQ(len == 0, b.IsEmpty() == 1);
            ASSERT_EQ(0, b.Room() % growBy);
            ASSERT_LE(len, b.Room());
            // A length change with the shrink flag resizes to the rounded length, unless the heap
            // refused a smaller block.
            if (shrink && !failing && len != before) {
                ASSERT_EQ((len + growBy - 1) / growBy * growBy, b.Room());
            }
            if (len > 0) {
                ASSERT_EQ(0, std::memcmp(b.GetElement(0), model.data(), model.size()))
                    << "seed " << seed << " step " << step;
            }
        }
    }
}

} // namespace
