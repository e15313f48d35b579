#include <korutil/buffers.h>

#include "frame/heap.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <vector>

namespace {

using korutil::detail::HeapFailureScope;

// Opens the protected state, so that the cases can check room and block as well as contents.
class Probe : public CHugeGrowBuf {
public:
    using CHugeGrowBuf::CHugeGrowBuf;
    int Allocated() const { return m_nAllocated; }
    const unsigned char* Block() const { return m_pBlock; }
};

TEST(CHugeGrowBuf, InitialCapacityIsZeroedRoomThatLastsUntilTheFirstInsertion) {
    Probe buf(4, 8, 10);
    EXPECT_EQ(16, buf.Allocated());
    EXPECT_EQ(0u, buf.GetSize());
    EXPECT_EQ(std::vector<unsigned char>(64, 0),
              std::vector<unsigned char>(buf.Block(), buf.Block() + 64));
    ASSERT_EQ(1, buf.InsertAt(0, 5));
    EXPECT_EQ(8, buf.Allocated());
    EXPECT_EQ(20u, buf.GetSize());
    EXPECT_EQ(12u, buf.SizeOf(3));
    {
        HeapFailureScope fail(1);
        Probe refused(4, 8, 10);
        EXPECT_EQ(nullptr, refused.Block());
        EXPECT_EQ(0, refused.Allocated());
    }
    EXPECT_EQ(0, buf.InsertAt(1, INT_MAX)); // the length would overflow
}

// Shrinking needs no memory: when the heap refuses the smaller block, the larger one stays
// (and is counted as it is), and the removal still succeeds.
TEST(CHugeGrowBuf, RefusedShrinkKeepsTheLargerBlockAndStillRemoves) {
    Probe buf(1, 8, 0);
    ASSERT_EQ(1, buf.InsertAt(0, 20));
    std::memcpy(buf.PtrTo(0), "ABCDEFGHIJKLMNOPQRST", 20);
    {
        HeapFailureScope fail(1, true);
        EXPECT_EQ(1, buf.RemoveAt(2, 14));
        EXPECT_EQ(0, std::memcmp(buf.PtrTo(0), "ABQRST", 6));
        EXPECT_EQ(6, buf.GetLength());
        EXPECT_EQ(24, buf.Allocated());
        EXPECT_EQ(1, buf.InsertAt(6, 18)); // the kept room needs no heap
        EXPECT_EQ(0, buf.InsertAt(0, 1));
    }
    EXPECT_EQ(1, buf.RemoveAt(1, 23));
    EXPECT_EQ(8, buf.Allocated());
    EXPECT_EQ(1, buf.RemoveAt(0, 1));
    EXPECT_EQ(nullptr, buf.Block());
}

// The model holds the whole block byte for byte, room beyond the length included, so that
// growth steps, zeroing of gained memory and the absence of any other clearing are checked.
struct Model {
    Model(int elementSize, int growBy) : size(elementSize), step(growBy) {}
    int size, step, length = 0;
    bool hasBlock = false;
    std::vector<unsigned char> block;

    int Allocated() const { return static_cast<int>(block.size()) / size; }
    void Move(int to, int from, int count) {
        if (count > 0) {
            std::memmove(&block[std::size_t(to) * size], &block[std::size_t(from) * size],
                         std::size_t(count) * size);
        }
    }
    // False when a larger block is refused; a refused smaller one is kept.
    bool Resize(int n, bool refused) {
        const int target = n <= 0 ? 0 : (n + step - 1) / step * step;
        if (target == 0) {
            block.clear();
            hasBlock = false;
        } else if (target != Allocated()) {
            if (refused && (!hasBlock || target > Allocated())) {
                return false;
            }
            if (!refused) {
                block.resize(std::size_t(target) * size, 0);
                hasBlock = true;
            }
        }
        length = n < 0 ? 0 : n;
        return true;
    }
};

void RunModel(unsigned seed, int size, int step, int initial) {
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Probe buf(size, step, initial);
    Model model(size, step);
    model.Resize(initial, false);
    model.length = 0;
    for (int i = 0; i < 4000; ++i) {
        const bool refuse = pick(0, 9) == 0;
        const bool insert = pick(0, 2) != (model.length < 3 * step + 8 ? 0 : 1);
        const int pos = pick(-1, model.length + 1);
        const int count = pick(-1, 2 * step + 1);
        int expected = 0;
        int got;
        {
            HeapFailureScope fail(refuse ? 1 : 0);
            if (insert) {
                got = buf.InsertAt(pos, count);
                const int tail = model.length - pos;
                if (pos >= 0 && tail >= 0 && count >= 0 &&
                    model.Resize(model.length + count, refuse)) {
                    expected = 1;
                    model.Move(pos + count, pos, tail);
                }
            } else {
                got = buf.RemoveAt(pos, count);
                const int tail = model.length - pos - count;
                if (pos >= 0 && pos < model.length && count >= 0 && tail >= 0) {
                    model.Move(pos, pos + count, tail);
                    expected = model.Resize(model.length - count, refuse);
                }
            }
        }
        ASSERT_EQ(expected, got) << i;
        for (unsigned long b = buf.SizeOf(pos); got && insert && b < buf.SizeOf(pos + count); ++b) {
            model.block[b] = buf.PtrTo(0)[b] = static_cast<unsigned char>(pick(0, 255));
        }
        ASSERT_EQ(model.length, buf.GetLength()) << i;
        ASSERT_EQ(model.Allocated(), buf.Allocated()) << i;
        ASSERT_EQ(model.hasBlock, buf.Block() != nullptr) << i;
        ASSERT_TRUE(!model.hasBlock ||
                    std::memcmp(model.block.data(), buf.Block(), model.block.size()) == 0)
            << i;
    }
}

TEST(CHugeGrowBuf, MatchesAByteModel) {
    RunModel(1, 1, 1, 0);
    RunModel(2, 3, 5, 7);
    RunModel(3, 8, 16, 100);
    RunModel(4, 16, 4, 0);
}

} // namespace
