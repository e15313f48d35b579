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

// Room, zeroing and the refused shrink are checked by the model below; here the byte sizes,
// a refused initial block and a length that would overflow.
TEST(CHugeGrowBuf, SizesRefusedInitialBlockAndOverflow) {
    Probe buf(8, 4, 0);
    ASSERT_EQ(1, buf.InsertAt(0, 5));
    EXPECT_EQ(40u, buf.GetSize());
    EXPECT_EQ(24u, buf.SizeOf(3));
    EXPECT_EQ(0, buf.InsertAt(1, INT_MAX));
    HeapFailureScope fail(1);
    Probe refused(4, 8, 10);
    EXPECT_EQ(nullptr, refused.Block());
    EXPECT_EQ(0, refused.Allocated());
}

// The model holds the whole block byte for byte, room beyond the length included, so that
// growth steps, the initial room, zeroing of gained memory, the absence of any other
// clearing, and a refused shrink that keeps the larger block are all checked.
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
