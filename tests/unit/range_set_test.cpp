#include <korutil/buffers.h>

#include "frame/heap.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using korutil::detail::HeapFailureScope;

struct Probe : CRangeSet {
    int Room() const { return m_nAllocated; }
};

std::string text(const CRangeSet& s) {
    std::ostringstream out;
    for (int i = 0; i < s.GetCount(); ++i) {
        out << "[" << s[i]->from << "," << s[i]->upTo << ")";
    }
    return out.str();
}

// "[a,b)[c,d)" into a set.
void build(CRangeSet& s, const std::string& ranges) {
    ASSERT_EQ(1, s.Flush());
    std::istringstream in(ranges);
    char c;
    long from, upTo;
    while (in >> c >> from >> c >> upTo >> c) {
        ASSERT_EQ(1, s.Include(from, upTo));
    }
}

TEST(CRangeSet, IncludeExcludeAndSlideGiveTheShortestDescription) {
    struct Case {
        const char* before;
        char op; // I include, E exclude, S slide
        long a, b;
        int result;
        const char* after;
    };
    const Case cases[] = {
        {"", 'I', 3, 7, 1, "[3,7)"},
        {"[3,7)", 'I', 7, 9, 1, "[3,9)"},
        {"[3,7)", 'I', 0, 3, 1, "[0,7)"},
        {"[3,9)", 'I', 10, 12, 1, "[3,9)[10,12)"},
        {"[3,9)[10,12)", 'I', 9, 10, 1, "[3,12)"},
        {"[3,7)[20,30)", 'I', 8, 25, 1, "[3,7)[8,30)"},
        {"[3,7)[20,30)", 'I', 10, 12, 1, "[3,7)[10,12)[20,30)"},
        {"[1,2)[4,5)[8,9)", 'I', 0, 100, 1, "[0,100)"},
        {"[3,7)", 'I', 5, 5, 1, "[3,7)"},
        {"[3,7)", 'I', 6, 5, 0, "[3,7)"},
        {"[0,10)", 'E', 4, 6, 1, "[0,4)[6,10)"},
        {"[0,10)", 'E', 0, 4, 1, "[4,10)"},
        {"[0,10)", 'E', 6, 10, 1, "[0,6)"},
        {"[0,10)", 'E', 0, 10, 1, ""},
        {"[0,10)", 'E', 10, 20, 1, "[0,10)"},
        {"[0,10)", 'E', 5, 5, 0, "[0,10)"},
        {"", 'E', 1, 2, 1, ""},
        {"[0,5)[10,15)", 'E', 3, 12, 1, "[0,3)[12,15)"},
        {"[0,5)[10,15)[20,25)", 'E', 2, 30, 1, "[0,2)"},
        {"[3,7)[10,12)", 'S', 5, 3, 1, "[3,5)[8,10)[13,15)"},
        {"[3,7)", 'S', 3, 2, 1, "[5,9)"},
        {"[3,7)", 'S', 7, 2, 1, "[3,7)"},
        {"[3,7)[10,12)", 'S', 5, -3, 1, "[3,5)[7,9)"},
        {"[0,6)[8,12)", 'S', 4, -6, 1, "[0,6)"},
        {"[0,3)[5,10)", 'S', 3, -4, 1, "[0,6)"},
        {"[5,8)[12,15)", 'S', 5, -5, 1, "[7,10)"},
        {"[5,10)", 'S', 5, -5, 1, ""},
        {"[0,20)", 'S', 5, -5, 1, "[0,15)"},
        {"[20,30)", 'S', 5, -5, 1, "[15,25)"},
        {"[0,3)", 'S', 5, -5, 1, "[0,3)"},
        {"[0,2)[4,6)[8,10)[12,14)", 'S', 3, -7, 1, "[0,2)[5,7)"},
        {"[3,7)", 'S', 0, 0, 1, "[3,7)"},
        {"", 'S', 0, -5, 1, ""},
    };
    for (const Case& c : cases) {
        CRangeSet s;
        build(s, c.before);
        const int result = c.op == 'I'   ? s.Include(Range{c.a, c.b})
                           : c.op == 'E' ? s.Exclude(Range{c.a, c.b})
                                         : s.Slide(c.a, c.b);
        EXPECT_EQ(c.result, result) << c.before << " " << c.op << " " << c.a << "," << c.b;
        EXPECT_EQ(c.after, text(s)) << c.before << " " << c.op << " " << c.a << "," << c.b;
    }
}

TEST(CRangeSet, RefusedGrowthChangesNothingAndShrinkingCannotFail) {
    Probe s;
    build(s, "[0,10)[20,30)[40,50)[60,70)");
    EXPECT_EQ(4, s.Room());
    {
        HeapFailureScope fail(1, true);
        EXPECT_EQ(0, s.Include(80, 90));
        EXPECT_EQ(0, s.Exclude(3, 5));
        EXPECT_EQ(0, s.Slide(25, 4));
        EXPECT_EQ("[0,10)[20,30)[40,50)[60,70)", text(s));
        EXPECT_EQ(1, s.Slide(20, 4)); // no range to split, so no growth
    }
    ASSERT_EQ(1, s.Include(80, 90));
    EXPECT_EQ(8, s.Room());
    HeapFailureScope fail(1, true);
    ASSERT_EQ(1, s.Include(5, 45));
    EXPECT_EQ("[0,54)[64,74)[80,90)", text(s));
    EXPECT_EQ(8, s.Room());
    ASSERT_EQ(1, s.Exclude(0, 100));
    EXPECT_EQ(0, s.Room());
}

TEST(CRangeSet, SlidesThatWouldLeaveTheRangeOfLongAreRefused) {
    CRangeSet s;
    build(s, "[0,10)");
    ASSERT_EQ(1, s.Include(LONG_MAX - 5, LONG_MAX - 1));
    const std::string before = text(s);
    EXPECT_EQ(0, s.Slide(5, 10));
    EXPECT_EQ(0, s.Slide(LONG_MAX - 2, LONG_MIN));
    EXPECT_EQ(1, s.Slide(LONG_MAX, 100));
    EXPECT_EQ(before, text(s));
}

// The set against the plain set of its positions, with the heap refusing now and then: a
// refused operation leaves the set as it was, any other gives the model's result. The
// expected answers of the index queries come from the model's runs by linear search.
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
            const long d = pick(-30, 12);
            const int op = static_cast<int>(pick(0, 2));
            const bool failing = pick(0, 7) == 0;
            std::set<long> want;
            int result;
            {
                HeapFailureScope fail(failing ? 1 : 0);
                result = op == 0 ? s.Include(a, b) : op == 1 ? s.Exclude(a, b) : s.Slide(a, d);
            }
            for (long p : model) {
                const bool inSpan = p >= a && p < b;
                if (op == 0 || (op == 1 && !inSpan)) {
                    want.insert(p);
                } else if (op == 2 && (p < a || p >= a + (d < 0 ? -d : 0))) {
                    want.insert(p < a ? p : p + d);
                }
            }
            for (long p = a; op == 0 && p < b; ++p) {
                want.insert(p);
            }
            const int expect = op == 2 || b > a || (op == 0 && b == a) ? 1 : 0;
            ASSERT_TRUE(result == expect || (failing && result == 0))
                << "seed " << seed << " step " << step;
            if (result == 1) {
                model = want;
            }
            std::vector<Range> runs;
            for (long p : model) {
                if (!runs.empty() && runs.back().upTo == p) {
                    ++runs.back().upTo;
                } else {
                    runs.push_back({p, p + 1});
                }
            }
            const int n = static_cast<int>(runs.size());
            ASSERT_EQ(n, s.GetCount()) << "seed " << seed << " step " << step;
            for (int i = 0; i < n; ++i) {
                ASSERT_TRUE(s[i]->from == runs[i].from && s[i]->upTo == runs[i].upTo)
                    << "seed " << seed << " step " << step << ": " << text(s);
            }
            for (long p = a - 2; p < a + 2; ++p) {
                int upToGE = n == 0 ? -1 : n;
                int fromLE = -1;
                for (int i = n - 1; i >= 0; --i) {
                    upToGE = runs[i].upTo >= p ? i : upToGE;
                    fromLE = fromLE == -1 && runs[i].from <= p ? i : fromLE;
                }
                ASSERT_EQ(upToGE, s.IndexWithUpToGE(p)) << p;
                ASSERT_EQ(fromLE, s.IndexWithFromLE(p)) << p;
                ASSERT_EQ(model.count(p) ? fromLE : -1, s.IndexContaining(p)) << p;
                ASSERT_EQ(model.count(p) ? 1 : 0, s.Contains(p)) << p;
            }
            // Keep the positions within reach of the spans.
            if (!model.empty() && *model.rbegin() > 400) {
                ASSERT_EQ(1, s.Exclude(400, LONG_MAX));
                model.erase(model.lower_bound(400), model.end());
            }
        }
    }
}

} // namespace
