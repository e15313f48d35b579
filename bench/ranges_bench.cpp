// The range set beside boost::icl::interval_set<long> on the same random mix of operations,
// and the pointer list's positional walk beside iterating a std::list, each over a range of
// sizes. Names are <Operation>_<Implementation>, so that scripts/bench-charts.sh can pair
// each case with its peer.
#include <korutil/buffers.h>
#include <korutil/collections.h>

#include <benchmark/benchmark.h>
#include <boost/icl/interval_set.hpp>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <list>
#include <vector>

namespace {

using IclSet = boost::icl::interval_set<long>;
using IclInterval = boost::icl::interval<long>;

enum class Kind { Include, Exclude, Contains, Slide };

struct Op {
    Kind kind;
    long a;
    long b; // upTo, or the slide distance
};

// Ranges [10k, 10k + 5): n of them over positions 0 to 10n. Spans of 1 to 6 positions keep
// the count near n as the mix goes on, and slides of -5 to 5 keep the axis where it is. The
// operations are drawn as the run goes (the same sequence for both sets), since replaying a
// fixed list would soon include what is already there and exclude what is already gone.
class OpSource {
public:
    OpSource(long n, bool slides)
        : m_n(n), m_kinds(slides ? 4 : 3), m_state(0x9e3779b97f4a7c15ull) {}

    Op next() {
        const long a = static_cast<long>(draw() % static_cast<std::uint64_t>(10 * m_n + 1));
        const long len = static_cast<long>(draw() % 6) + 1;
        switch (draw() % m_kinds) {
        case 0:
            return {Kind::Include, a, a + len};
        case 1:
            return {Kind::Exclude, a, a + len};
        case 2:
            return {Kind::Contains, a, 0};
        default: {
            const long d = static_cast<long>(draw() % 5) + 1;
            return {Kind::Slide, a, draw() % 2 ? d : -d};
        }
        }
    }

private:
    // xorshift64: a few cycles per draw, the same for both sets.
    std::uint64_t draw() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }

    long m_n;
    std::uint64_t m_kinds;
    std::uint64_t m_state;
};

void fill(CRangeSet& s, long n) {
    for (long k = 0; k < n; ++k) {
        s.Include(10 * k, 10 * k + 5);
    }
}

void fill(IclSet& s, long n) {
    auto hint = s.end();
    for (long k = 0; k < n; ++k) {
        hint = s.add(hint, IclInterval::right_open(10 * k, 10 * k + 5));
    }
}

std::size_t rangesIn(const CRangeSet& s) {
    return static_cast<std::size_t>(s.GetCount());
}

std::size_t rangesIn(const IclSet& s) {
    return s.iterative_size();
}

int runOp(CRangeSet& s, const Op& op) {
    switch (op.kind) {
    case Kind::Include:
        return s.Include(op.a, op.b);
    case Kind::Exclude:
        return s.Exclude(op.a, op.b);
    case Kind::Contains:
        return s.Contains(op.a);
    default:
        return s.Slide(op.a, op.b);
    }
}

// An interval set cannot move its keys: a slide takes out everything from the position on
// and adds it back shifted, appending with a hint.
void slide(IclSet& s, long pos, long distance) {
    const long end = distance < 0 ? pos - distance : pos;
    std::vector<std::pair<long, long>> moved;
    for (auto it = s.lower_bound(IclInterval::right_open(end, end + 1)); it != s.end(); ++it) {
        moved.emplace_back(std::max(boost::icl::lower(*it), end), boost::icl::upper(*it));
    }
    s -= IclInterval::right_open(pos, LONG_MAX);
    auto hint = s.end();
    for (const auto& [from, upTo] : moved) {
        hint = s.add(hint, IclInterval::right_open(from + distance, upTo + distance));
    }
}

int runOp(IclSet& s, const Op& op) {
    switch (op.kind) {
    case Kind::Include:
        s += IclInterval::right_open(op.a, op.b);
        return 1;
    case Kind::Exclude:
        s -= IclInterval::right_open(op.a, op.b);
        return 1;
    case Kind::Contains:
        return boost::icl::contains(s, op.a) ? 1 : 0;
    default:
        slide(s, op.a, op.b);
        return 1;
    }
}

template <class Set> void mix(benchmark::State& state, bool slides) {
    const long n = state.range(0);
    OpSource ops(n, slides);
    Set s;
    fill(s, n);
    for (auto _ : state) {
        benchmark::DoNotOptimize(runOp(s, ops.next()));
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["ranges"] = static_cast<double>(rangesIn(s));
}

void Mix_CRangeSet(benchmark::State& state) {
    mix<CRangeSet>(state, true);
}
void Mix_IclIntervalSet(benchmark::State& state) {
    mix<IclSet>(state, true);
}
void MixNoSlide_CRangeSet(benchmark::State& state) {
    mix<CRangeSet>(state, false);
}
void MixNoSlide_IclIntervalSet(benchmark::State& state) {
    mix<IclSet>(state, false);
}

BENCHMARK(Mix_CRangeSet)->ArgName("ranges")->Arg(100)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(Mix_IclIntervalSet)->ArgName("ranges")->Arg(100)->Arg(1000)->Arg(10000)->Arg(100000);
// Without slides the interval set's logarithmic insertions meet the list's block moves; the
// sizes between 1k and 10k locate the crossover.
BENCHMARK(MixNoSlide_CRangeSet)
    ->ArgName("ranges")
    ->Arg(100)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(3000)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(100000);
BENCHMARK(MixNoSlide_IclIntervalSet)
    ->ArgName("ranges")
    ->Arg(100)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(3000)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(100000);

void Walk_CPtrList(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    CPtrList list;
    for (int i = 0; i < n; ++i) {
        list.InsertAt(-1, reinterpret_cast<void*>(static_cast<std::intptr_t>(i)));
    }
    for (auto _ : state) {
        std::uintptr_t sum = 0;
        for (int i = 0; i < n; ++i) {
            sum += reinterpret_cast<std::uintptr_t>(list.GetAt(i));
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void Walk_StdList(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::list<void*> list;
    for (int i = 0; i < n; ++i) {
        list.push_back(reinterpret_cast<void*>(static_cast<std::intptr_t>(i)));
    }
    for (auto _ : state) {
        std::uintptr_t sum = 0;
        for (void* p : list) {
            sum += reinterpret_cast<std::uintptr_t>(p);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * n);
}

BENCHMARK(Walk_CPtrList)->ArgName("elements")->RangeMultiplier(4)->Range(1 << 10, 1 << 20);
BENCHMARK(Walk_StdList)->ArgName("elements")->RangeMultiplier(4)->Range(1 << 10, 1 << 20);

// Both sets must agree on the mix before their speeds mean anything.
bool sameResults() {
    const long n = 1000;
    OpSource ops(n, true);
    CRangeSet ours;
    IclSet peer;
    fill(ours, n);
    fill(peer, n);
    for (int k = 0; k < 20000; ++k) {
        const Op op = ops.next();
        if (runOp(ours, op) != runOp(peer, op)) {
            return false;
        }
    }
    if (static_cast<std::size_t>(ours.GetCount()) != peer.iterative_size()) {
        return false;
    }
    int i = 0;
    for (const auto& iv : peer) {
        if (ours[i]->from != boost::icl::lower(iv) || ours[i]->upTo != boost::icl::upper(iv)) {
            return false;
        }
        ++i;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (!sameResults()) {
        std::fprintf(stderr, "CRangeSet and interval_set disagree on the mix\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
