#include <korutil/buffers.h>

#include "frame/heap.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using korutil::detail::heapFailureFired;
using korutil::detail::HeapFailureScope;

// Opens the protected state, so that the cases can check room and block as well as contents.
class Probe : public CHugeGrowBuf {
public:
    using CHugeGrowBuf::CHugeGrowBuf;
    using CHugeGrowBuf::resize;
    int Allocated() const { return m_nAllocated; }
    const unsigned char* Block() const { return m_pBlock; }

    // Elements of size 1 written and read as letters.
    std::string Text() const {
        return std::string(reinterpret_cast<const char*>(Block()), GetLength());
    }
    void Write(int at, const char* letters) {
        std::memcpy(PtrTo(at), letters, std::strlen(letters));
    }
    bool ZeroFrom(int element) const {
        for (unsigned long i = SizeOf(element); i < SizeOf(m_nAllocated); ++i) {
            if (m_pBlock[i] != 0) {
                return false;
            }
        }
        return true;
    }
};

Probe Abc() {
    return Probe(1, 8, 0);
}

TEST(CHugeGrowBuf, InitialCapacityIsZeroedRoomThatLastsUntilTheFirstInsertion) {
    Probe buf(4, 8, 10);
    EXPECT_EQ(16, buf.Allocated());
    EXPECT_EQ(0, buf.GetLength());
    EXPECT_EQ(0u, buf.GetSize());
    EXPECT_TRUE(buf.ZeroFrom(0));
    ASSERT_EQ(1, buf.InsertAt(0, 1));
    EXPECT_EQ(8, buf.Allocated());

    Probe none(4, 8, -3);
    EXPECT_EQ(nullptr, none.Block());
    EXPECT_EQ(0, none.Allocated());
}

TEST(CHugeGrowBuf, RoomFollowsTheLengthInWholeStepsBothWays) {
    Probe buf(1, 8, 0);
    ASSERT_EQ(1, buf.InsertAt(0, 1));
    EXPECT_EQ(8, buf.Allocated());
    ASSERT_EQ(1, buf.InsertAt(1, 8));
    EXPECT_EQ(16, buf.Allocated());
    ASSERT_EQ(1, buf.RemoveAt(0, 1));
    EXPECT_EQ(8, buf.Allocated());
    ASSERT_EQ(1, buf.RemoveAt(0, 7));
    EXPECT_EQ(8, buf.Allocated());
    ASSERT_EQ(1, buf.RemoveAt(0, 1));
    EXPECT_EQ(0, buf.GetLength());
    EXPECT_EQ(0, buf.Allocated());
    EXPECT_EQ(nullptr, buf.Block());
}

TEST(CHugeGrowBuf, InsertionMovesTheTailAndLeavesTheGapUncleared) {
    Probe buf = Abc();
    ASSERT_EQ(1, buf.InsertAt(0, 3));
    buf.Write(0, "ABC");
    ASSERT_EQ(1, buf.InsertAt(1, 2));
    EXPECT_EQ("ABCBC", buf.Text());

    Probe end = Abc();
    ASSERT_EQ(1, end.InsertAt(0, 3));
    end.Write(0, "ABC");
    ASSERT_EQ(1, end.InsertAt(3, 1));
    end.Write(3, "D");
    EXPECT_EQ("ABCD", end.Text());
}

TEST(CHugeGrowBuf, RemovalClosesTheGapAndRefusesBadArguments) {
    Probe buf = Abc();
    ASSERT_EQ(1, buf.InsertAt(0, 3));
    buf.Write(0, "ABC");
    EXPECT_EQ(0, buf.RemoveAt(3, 0));
    EXPECT_EQ(0, buf.RemoveAt(2, 2));
    EXPECT_EQ(0, buf.RemoveAt(-1, 1));
    EXPECT_EQ(0, buf.RemoveAt(0, -1));
    EXPECT_EQ(0, buf.InsertAt(4, 1));
    EXPECT_EQ(0, buf.InsertAt(-1, 1));
    EXPECT_EQ(0, buf.InsertAt(0, -1));
    EXPECT_EQ(0, buf.InsertAt(1, INT_MAX)); // the length would overflow
    EXPECT_EQ("ABC", buf.Text());
    EXPECT_EQ(8, buf.Allocated());

    ASSERT_EQ(1, buf.RemoveAt(1, 1));
    EXPECT_EQ("AC", buf.Text());
    ASSERT_EQ(1, buf.RemoveAt(0, 2));
    EXPECT_EQ(nullptr, buf.Block());
}

TEST(CHugeGrowBuf, OnlyMemoryGainedByGrowingIsCleared) {
    Probe buf = Abc();
    ASSERT_EQ(1, buf.InsertAt(0, 8));
    buf.Write(0, "ABCDEFGH");
    ASSERT_EQ(1, buf.RemoveAt(5, 3));
    ASSERT_EQ(1, buf.InsertAt(5, 3));
    EXPECT_EQ("ABCDEFGH", buf.Text()); // re-exposed, not cleared
    ASSERT_EQ(1, buf.InsertAt(8, 1));
    EXPECT_TRUE(buf.ZeroFrom(8)); // the new step is zero
}

TEST(CHugeGrowBuf, SizesAreInBytes) {
    Probe buf(8, 4, 0);
    EXPECT_EQ(24u, buf.SizeOf(3));
    ASSERT_EQ(1, buf.InsertAt(0, 5));
    EXPECT_EQ(40u, buf.GetSize());
    EXPECT_EQ(buf.Block() + 16, buf.PtrTo(2));
}

TEST(CHugeGrowBuf, RefusedGrowthChangesNothing) {
    {
        HeapFailureScope fail(1);
        Probe buf(4, 8, 10);
        EXPECT_TRUE(heapFailureFired());
        EXPECT_EQ(nullptr, buf.Block());
        EXPECT_EQ(0, buf.Allocated());
    }
    Probe buf = Abc();
    {
        HeapFailureScope fail(1);
        EXPECT_EQ(0, buf.InsertAt(0, 1));
        EXPECT_EQ(nullptr, buf.Block());
        EXPECT_EQ(0, buf.GetLength());
    }
    ASSERT_EQ(1, buf.InsertAt(0, 8));
    buf.Write(0, "ABCDEFGH");
    const unsigned char* block = buf.Block();
    {
        HeapFailureScope fail(1, true);
        EXPECT_EQ(0, buf.InsertAt(4, 1));
        EXPECT_EQ(block, buf.Block());
        EXPECT_EQ(8, buf.Allocated());
        EXPECT_EQ("ABCDEFGH", buf.Text());
        // Room already held needs no heap.
        ASSERT_EQ(1, buf.RemoveAt(0, 1));
        EXPECT_EQ(1, buf.InsertAt(0, 1));
        EXPECT_EQ(0, buf.resize(9));
        EXPECT_EQ(8, buf.GetLength());
    }
}

TEST(CHugeGrowBuf, RefusedShrinkKeepsTheLargerBlockAndStillRemoves) {
    Probe buf = Abc();
    ASSERT_EQ(1, buf.InsertAt(0, 20));
    buf.Write(0, "ABCDEFGHIJKLMNOPQRST");
    {
        HeapFailureScope fail(1, true);
        EXPECT_EQ(1, buf.RemoveAt(2, 14));
        EXPECT_TRUE(heapFailureFired());
        EXPECT_EQ("ABQRST", buf.Text());
        EXPECT_EQ(24, buf.Allocated()); // the block really still has room for 24
        // Growing again within the kept block needs no heap.
        EXPECT_EQ(1, buf.InsertAt(6, 18));
        EXPECT_EQ(24, buf.GetLength());
    }
    EXPECT_EQ(1, buf.RemoveAt(1, 23));
    EXPECT_EQ(8, buf.Allocated());
    EXPECT_EQ("A", buf.Text());
    EXPECT_EQ(1, buf.RemoveAt(0, 1));
    EXPECT_EQ(nullptr, buf.Block());
}

// The model: the whole block, byte for byte, including room beyond the length, so that the
// zeroing and non-clearing rules are checked too.
struct Model {
    Model(int size, int step) : elementSize(size), growBy(step) {}
    int elementSize, growBy;
    int length = 0;
    std::vector<unsigned char> block; // allocated elements x element size
    bool hasBlock = false;

    int Allocated() const { return static_cast<int>(block.size()) / elementSize; }

    // Mirrors the fitting of the block; false when a larger block is refused.
    bool Resize(int n, bool heapRefuses) {
        if (n <= 0) {
            block.clear();
            hasBlock = false;
            length = 0;
            return true;
        }
        const int target = (n + growBy - 1) / growBy * growBy;
        if (target != Allocated()) {
            const bool grows = !hasBlock || target > Allocated();
            if (heapRefuses && grows) {
                return false;
            }
            if (!heapRefuses) {
                block.resize(static_cast<std::size_t>(target) * elementSize, 0);
                hasBlock = true;
            }
        }
        length = n;
        return true;
    }
};

void RunModel(unsigned seed, int elementSize, int growBy, int initial) {
    std::mt19937 rng(seed);
    Probe buf(elementSize, growBy, initial);
    Model model(elementSize, growBy);
    model.Resize(initial, false);
    model.length = 0;
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

    for (int step = 0; step < 4000; ++step) {
        const bool refuse = pick(0, 9) == 0;
        const bool insert = model.length < 3 * growBy + 8 ? pick(0, 2) != 0 : pick(0, 2) == 0;
        const int pos = pick(-1, model.length + 1);
        const int count = pick(-1, 2 * growBy + 1);
        int got, expected;
        {
            HeapFailureScope fail(refuse ? 1 : 0);
            if (insert) {
                got = buf.InsertAt(pos, count);
                expected = 0;
                if (pos >= 0 && pos <= model.length && count >= 0) {
                    const int tail = model.length - pos;
                    if (model.Resize(model.length + count, refuse)) {
                        expected = 1;
                        std::memmove(model.block.data() + (pos + count) * elementSize,
                                     model.block.data() + pos * elementSize,
                                     static_cast<std::size_t>(tail) * elementSize);
                    }
                }
            } else {
                got = buf.RemoveAt(pos, count);
                expected = 0;
                if (pos >= 0 && pos < model.length && count >= 0 && count <= model.length - pos) {
                    const int tail = model.length - pos - count;
                    std::memmove(model.block.data() + pos * elementSize,
                                 model.block.data() + (pos + count) * elementSize,
                                 static_cast<std::size_t>(tail) * elementSize);
                    expected = model.Resize(model.length - count, refuse) ? 1 : 0;
                }
            }
        }
        ASSERT_EQ(expected, got) << "step " << step;
        if (got && insert) {
            for (unsigned long i = buf.SizeOf(pos); i < buf.SizeOf(pos + count); ++i) {
                const auto byte = static_cast<unsigned char>(pick(0, 255));
                buf.PtrTo(0)[i] = byte;
                model.block[i] = byte;
            }
        }
        ASSERT_EQ(model.length, buf.GetLength()) << "step " << step;
        ASSERT_EQ(model.Allocated(), buf.Allocated()) << "step " << step;
        ASSERT_EQ(model.hasBlock, buf.Block() != nullptr) << "step " << step;
        if (model.hasBlock) {
            ASSERT_EQ(0, std::memcmp(model.block.data(), buf.Block(), model.block.size()))
                << "step " << step;
        }
    }
}

TEST(CHugeGrowBuf, MatchesAByteModel) {
    RunModel(1, 1, 1, 0);
    RunModel(2, 3, 5, 7);
    RunModel(3, 8, 16, 100);
    RunModel(4, 16, 4, 0);
}

} // namespace
