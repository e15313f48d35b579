#include <korutil/buffers.h>

#include "frame/heap.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using korutil::detail::heapFailureFired;
using korutil::detail::HeapFailureScope;

class Probe : public CRangeSet {
public:
    int Room() const { return m_nAllocated; }
    const unsigned char* Block() const { return m_pBlock; }
};

std::string text(const CRangeSet& s) {
    std::string out;
    for (int i = 0; i < s.GetCount(); ++i) {
        out += "[" + std::to_string(s[i]->from) + "," + std::to_string(s[i]->upTo) + ")";
    }
    return out;
}

// A set from its ranges, written "[a,b)[c,d)".
void build(CRangeSet& s, std::vector<Range> ranges) {
    ASSERT_EQ(1, s.Flush());
    for (const Range& r : ranges) {
        ASSERT_EQ(1, s.Include(r));
    }
}

TEST(CRangeSet, IncludeMergesTouchingAndOverlappingRanges) {
    CRangeSet s;
    ASSERT_EQ(1, s.Include(3, 7));
    EXPECT_EQ("[3,7)", text(s));
    ASSERT_EQ(1, s.Include(7, 9));
    EXPECT_EQ("[3,9)", text(s));
    ASSERT_EQ(1, s.Include(10, 12));
    EXPECT_EQ("[3,9)[10,12)", text(s));
    ASSERT_EQ(1, s.Include(9, 10));
    EXPECT_EQ("[3,12)", text(s));
    build(s, {{3, 7}});
    ASSERT_EQ(1, s.Include(0, 3));
    EXPECT_EQ("[0,7)", text(s));

    build(s, {{3, 7}, {20, 30}});
    ASSERT_EQ(1, s.Include(8, 25));
    EXPECT_EQ("[3,7)[8,30)", text(s));
    build(s, {{3, 7}, {20, 30}});
    ASSERT_EQ(1, s.Include(10, 12));
    EXPECT_EQ("[3,7)[10,12)[20,30)", text(s));
    ASSERT_EQ(1, s.Include(-5, -4));
    EXPECT_EQ("[-5,-4)[3,7)[10,12)[20,30)", text(s));
    build(s, {{1, 2}, {4, 5}, {8, 9}});
    ASSERT_EQ(1, s.Include(0, 100));
    EXPECT_EQ("[0,100)", text(s));

    EXPECT_EQ(1, s.Include(5, 5));
    EXPECT_EQ(0, s.Include(6, 5));
    EXPECT_EQ(1, s.Include(Range{200, 200}));
    EXPECT_EQ("[0,100)", text(s));
}

TEST(CRangeSet, ExcludeCutsSplitsAndRemoves) {
    CRangeSet s;
    const std::vector<Range> ten = {{0, 10}};
    build(s, ten);
    ASSERT_EQ(1, s.Exclude(4, 6));
    EXPECT_EQ("[0,4)[6,10)", text(s));
    build(s, ten);
    ASSERT_EQ(1, s.Exclude(0, 4));
    EXPECT_EQ("[4,10)", text(s));
    build(s, ten);
    ASSERT_EQ(1, s.Exclude(Range{6, 10}));
    EXPECT_EQ("[0,6)", text(s));
    build(s, ten);
    ASSERT_EQ(1, s.Exclude(0, 10));
    EXPECT_EQ("", text(s));

    build(s, ten);
    EXPECT_EQ(1, s.Exclude(10, 20));
    EXPECT_EQ(1, s.Exclude(-5, 0));
    EXPECT_EQ(0, s.Exclude(5, 5));
    EXPECT_EQ(0, s.Exclude(6, 5));
    EXPECT_EQ("[0,10)", text(s));
    CRangeSet empty;
    EXPECT_EQ(1, empty.Exclude(1, 2));

    build(s, {{0, 5}, {10, 15}});
    ASSERT_EQ(1, s.Exclude(3, 12));
    EXPECT_EQ("[0,3)[12,15)", text(s));
    build(s, {{0, 5}, {10, 15}, {20, 25}});
    ASSERT_EQ(1, s.Exclude(2, 30));
    EXPECT_EQ("[0,2)", text(s));
    build(s, {{0, 5}, {10, 15}, {20, 25}});
    ASSERT_EQ(1, s.Exclude(5, 20));
    EXPECT_EQ("[0,5)[20,25)", text(s));
}

TEST(CRangeSet, IndexQueries) {
    CRangeSet s;
    for (long p : {0L, 5L}) {
        EXPECT_EQ(-1, s.IndexWithUpToGE(p));
        EXPECT_EQ(-1, s.IndexWithFromLE(p));
        EXPECT_EQ(-1, s.IndexContaining(p));
        EXPECT_EQ(0, s.Contains(p));
    }
    build(s, {{3, 7}, {10, 12}});
    const std::vector<std::pair<long, int>> upToGE = {{0, 0}, {3, 0},  {7, 0},
                                                      {8, 1}, {12, 1}, {13, 2}};
    for (auto [p, want] : upToGE) {
        EXPECT_EQ(want, s.IndexWithUpToGE(p)) << p;
    }
    const std::vector<std::pair<long, int>> fromLE = {{2, -1}, {3, 0}, {9, 0}, {10, 1}, {100, 1}};
    for (auto [p, want] : fromLE) {
        EXPECT_EQ(want, s.IndexWithFromLE(p)) << p;
    }
    const std::vector<std::pair<long, int>> containing = {{3, 0},  {6, 0},  {10, 1}, {11, 1},
                                                          {2, -1}, {7, -1}, {9, -1}, {12, -1}};
    for (auto [p, want] : containing) {
        EXPECT_EQ(want, s.IndexContaining(p)) << p;
        EXPECT_EQ(want != -1 ? 1 : 0, s.Contains(p)) << p;
    }
}

TEST(CRangeSet, SlideOpensAGap) {
    CRangeSet s;
    build(s, {{3, 7}, {10, 12}});
    ASSERT_EQ(1, s.Slide(5, 3));
    EXPECT_EQ("[3,5)[8,10)[13,15)", text(s));
    build(s, {{3, 7}});
    ASSERT_EQ(1, s.Slide(3, 2));
    EXPECT_EQ("[5,9)", text(s));
    ASSERT_EQ(1, s.Slide(9, 2));
    EXPECT_EQ("[5,9)", text(s));
    ASSERT_EQ(1, s.Slide(0, 0));
    EXPECT_EQ("[5,9)", text(s));
    CRangeSet empty;
    EXPECT_EQ(1, empty.Slide(0, 5));
    EXPECT_EQ(1, empty.Slide(0, -5));
    EXPECT_EQ(0, empty.GetCount());
}

TEST(CRangeSet, SlideClosesAGapAndJoinsTheRemnants) {
    struct Case {
        std::vector<Range> before;
        long pos;
        long distance;
        const char* after;
    };
    const std::vector<Case> cases = {
        {{{3, 7}, {10, 12}}, 5, -3, "[3,5)[7,9)"},
        {{{0, 6}, {8, 12}}, 4, -6, "[0,6)"},
        {{{0, 3}, {5, 10}}, 3, -4, "[0,6)"},
        {{{5, 8}, {12, 15}}, 5, -5, "[7,10)"},
        {{{5, 10}}, 5, -5, ""},
        {{{0, 20}}, 5, -5, "[0,15)"},
        {{{20, 30}}, 5, -5, "[15,25)"},
        {{{0, 3}}, 5, -5, "[0,3)"},
        {{{0, 2}, {4, 6}, {8, 10}, {12, 14}}, 3, -7, "[0,2)[5,7)"},
        {{{0, 5}, {7, 9}}, 5, -2, "[0,7)"},
        {{{2, 5}}, 2, -2, "[2,3)"},
    };
    for (const Case& c : cases) {
        CRangeSet s;
        build(s, c.before);
        ASSERT_EQ(1, s.Slide(c.pos, c.distance));
        EXPECT_EQ(c.after, text(s)) << "slide by " << c.distance << " at " << c.pos;
    }
}

TEST(CRangeSet, BlockFollowsTheCountInStepsOfFour) {
    Probe s;
    EXPECT_EQ(nullptr, s.Block());
    for (long k = 0; k < 5; ++k) {
        ASSERT_EQ(1, s.Include(10 * k, 10 * k + 1));
    }
    EXPECT_EQ(8, s.Room());
    ASSERT_EQ(1, s.Exclude(0, 11));
    EXPECT_EQ(4, s.Room());
    ASSERT_EQ(1, s.Exclude(0, 100));
    EXPECT_EQ(nullptr, s.Block());
    EXPECT_EQ(0, s.Room());
}

TEST(CRangeSet, RefusedGrowthLeavesTheSetAsItWas) {
    Probe s;
    build(s, {{0, 10}, {20, 30}, {40, 50}, {60, 70}});
    const std::string before = text(s);
    HeapFailureScope fail(1, true);
    EXPECT_EQ(0, s.Include(80, 90));
    EXPECT_EQ(0, s.Exclude(3, 5));
    EXPECT_EQ(0, s.Slide(25, 4));
    EXPECT_TRUE(heapFailureFired());
    EXPECT_EQ(before, text(s));
    // Without a new range the list need not grow.
    EXPECT_EQ(1, s.Slide(20, 4));
    EXPECT_EQ("[0,10)[24,34)[44,54)[64,74)", text(s));
}

TEST(CRangeSet, RefusedShrinkStillGivesTheRightSet) {
    Probe s;
    build(s, {{0, 10}, {20, 30}, {40, 50}, {60, 70}, {80, 90}});
    HeapFailureScope fail(1, true);
    ASSERT_EQ(1, s.Include(5, 45));
    EXPECT_EQ("[0,50)[60,70)[80,90)", text(s));
    EXPECT_EQ(8, s.Room());
    ASSERT_EQ(1, s.Exclude(60, 70));
    EXPECT_EQ("[0,50)[80,90)", text(s));
    ASSERT_EQ(1, s.Slide(50, -30));
    EXPECT_EQ("[0,60)", text(s));
    EXPECT_EQ(8, s.Room());
    // Releasing the last block needs nothing from the heap.
    ASSERT_EQ(1, s.Exclude(0, 60));
    EXPECT_EQ(nullptr, s.Block());
}

TEST(CRangeSet, SlidesThatWouldLeaveTheRangeOfLongAreRefused) {
    CRangeSet s;
    build(s, {{0, 10}, {LONG_MAX - 5, LONG_MAX - 1}});
    EXPECT_EQ(0, s.Slide(5, 10));
    EXPECT_EQ(0, s.Slide(LONG_MAX - 2, LONG_MIN));
    EXPECT_EQ(0, s.Slide(LONG_MAX, -1));
    EXPECT_EQ(1, s.Slide(LONG_MAX, 100));
    EXPECT_EQ(1, s.Slide(LONG_MAX - 1, 1));
    EXPECT_EQ("[0,10)[" + std::to_string(LONG_MAX - 5) + "," + std::to_string(LONG_MAX - 1) + ")",
              text(s));
}

// The runs of a set of positions, as ranges.
std::vector<Range> runs(const std::set<long>& positions) {
    std::vector<Range> out;
    for (long p : positions) {
        if (!out.empty() && out.back().upTo == p) {
            ++out.back().upTo;
        } else {
            out.push_back({p, p + 1});
        }
    }
    return out;
}

void checkAgainst(const CRangeSet& s, const std::set<long>& model, std::mt19937& rng) {
    const std::vector<Range> want = runs(model);
    ASSERT_EQ(static_cast<int>(want.size()), s.GetCount());
    for (int i = 0; i < s.GetCount(); ++i) {
        ASSERT_LT(s[i]->from, s[i]->upTo);
        if (i > 0) {
            ASSERT_LT(s[i - 1]->upTo, s[i]->from);
        }
        ASSERT_EQ(want[i].from, s[i]->from);
        ASSERT_EQ(want[i].upTo, s[i]->upTo);
    }
    const int n = s.GetCount();
    for (int probe = 0; probe < 8; ++probe) {
        const long p = std::uniform_int_distribution<long>(-60, 360)(rng);
        int upToGE = n == 0 ? -1 : n;
        for (int i = n - 1; i >= 0; --i) {
            if (want[i].upTo >= p) {
                upToGE = i;
            }
        }
        int fromLE = -1;
        for (int i = 0; i < n; ++i) {
            if (want[i].from <= p) {
                fromLE = i;
            }
        }
        ASSERT_EQ(upToGE, s.IndexWithUpToGE(p)) << p;
        ASSERT_EQ(fromLE, s.IndexWithFromLE(p)) << p;
        ASSERT_EQ(model.count(p) ? fromLE : -1, s.IndexContaining(p)) << p;
        ASSERT_EQ(model.count(p) ? 1 : 0, s.Contains(p)) << p;
    }
}

// The set against the plain set of its positions, with the heap refusing now and then: a
// refused operation leaves the set as it was, any other gives the model's result.
TEST(CRangeSet, MatchesASetOfPositions) {
    for (unsigned seed : {11u, 12u, 13u, 14u, 15u}) {
        std::mt19937 rng(seed);
        auto pick = [&](long lo, long hi) {
            return std::uniform_int_distribution<long>(lo, hi)(rng);
        };
        CRangeSet s;
        std::set<long> model;
        for (int step = 0; step < 4000; ++step) {
            const long a = pick(-40, 300);
            const long b = a + pick(-3, 25);
            const bool failing = pick(0, 7) == 0;
            std::set<long> expect = model;
            int result;
            int want;
            {
                HeapFailureScope fail(failing ? 1 : 0);
                switch (pick(0, 3)) {
                case 0:
                    result = s.Include(a, b);
                    want = b >= a ? 1 : 0;
                    for (long p = a; p < b; ++p) {
                        expect.insert(p);
                    }
                    break;
                case 1:
                    result = s.Exclude(a, b);
                    want = b > a ? 1 : 0;
                    for (long p = a; p < b; ++p) {
                        expect.erase(p);
                    }
                    break;
                case 2: {
                    const long d = pick(0, 12);
                    result = s.Slide(a, d);
                    want = 1;
                    expect.clear();
                    for (long p : model) {
                        expect.insert(p < a ? p : p + d);
                    }
                    break;
                }
                default: {
                    const long d = -pick(1, 30);
                    result = s.Slide(a, d);
                    want = 1;
                    expect.clear();
                    for (long p : model) {
                        if (p < a) {
                            expect.insert(p);
                        } else if (p >= a - d) {
                            expect.insert(p + d);
                        }
                    }
                    break;
                }
                }
            }
            if (result == 0 && want == 1) {
                ASSERT_TRUE(failing) << "seed " << seed << " step " << step;
            } else {
                ASSERT_EQ(want, result) << "seed " << seed << " step " << step;
                if (want == 1) {
                    model = expect;
                }
            }
            // Keep the positions within reach of the spans.
            if (!model.empty() && *model.rbegin() > 400) {
                ASSERT_EQ(1, s.Exclude(400, LONG_MAX));
                model.erase(model.lower_bound(400), model.end());
            }
            ASSERT_NO_FATAL_FAILURE(checkAgainst(s, model, rng))
                << "seed " << seed << " step " << step;
        }
    }
}

} // namespace
