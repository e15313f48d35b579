// The pointer containers beside the peers a host would otherwise pick, from 1k to 1M
// elements: sorted lookups against Boost's flat containers (the same sorted-array idea) and
// the node-based std::set/std::map, appends against std::vector. Names are
// <Operation>_<Implementation>, so that scripts/bench-charts.sh can pair each case with its
// peer.
#include <korutil/collections.h>

#include <benchmark/benchmark.h>
#include <boost/container/flat_map.hpp>
#include <boost/container/flat_set.hpp>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <vector>

namespace {

// Distinct random pointer values over the whole range, top bit included, in ascending
// signed order (so that the sorted containers fill by appending), and the same keys shuffled
// as the lookup order.
struct Keys {
    std::vector<void*> sorted;
    std::vector<void*> queries;
    explicit Keys(std::int64_t n) {
        std::mt19937_64 rng(42);
        std::vector<std::intptr_t> raw(static_cast<std::size_t>(n));
        for (auto& k : raw) {
            k = static_cast<std::intptr_t>(rng());
        }
        std::sort(raw.begin(), raw.end());
        raw.erase(std::unique(raw.begin(), raw.end()), raw.end());
        for (auto k : raw) {
            sorted.push_back(reinterpret_cast<void*>(k));
        }
        queries = sorted;
        std::shuffle(queries.begin(), queries.end(), rng);
    }
};

// The keys for the benchmark's size, made once per size.
const Keys& keys(const benchmark::State& state) {
    static std::map<std::int64_t, Keys> made;
    const std::int64_t n = state.range(0);
    return made.try_emplace(n, n).first->second;
}

template <class Probe> void lookups(benchmark::State& state, Probe probe) {
    const auto& q = keys(state).queries;
    std::size_t i = 0;
    long hits = 0;
    for (auto _ : state) {
        hits += probe(q[i]);
        if (++i == q.size()) {
            i = 0;
        }
    }
    benchmark::DoNotOptimize(hits);
    state.SetItemsProcessed(state.iterations());
}

void SetContains_CPtrSet(benchmark::State& state) {
    CPtrSet set(1024, 0);
    for (void* p : keys(state).sorted) {
        set.Add(p);
    }
    lookups(state, [&](void* p) { return set.Contains(p); });
}

void SetContains_BoostFlatSet(benchmark::State& state) {
    std::vector<std::intptr_t> v;
    for (void* p : keys(state).sorted) {
        v.push_back(reinterpret_cast<std::intptr_t>(p));
    }
    boost::container::flat_set<std::intptr_t> set(boost::container::ordered_unique_range, v.begin(),
                                                  v.end());
    lookups(state, [&](void* p) {
        return set.find(reinterpret_cast<std::intptr_t>(p)) != set.end() ? 1 : 0;
    });
}

void SetContains_StdSet(benchmark::State& state) {
    std::set<std::intptr_t> set;
    for (void* p : keys(state).sorted) {
        set.insert(set.end(), reinterpret_cast<std::intptr_t>(p));
    }
    lookups(state, [&](void* p) { return set.count(reinterpret_cast<std::intptr_t>(p)) ? 1 : 0; });
}

void DictLookup_CPtrToPtrDict(benchmark::State& state) {
    CPtrToPtrDict dict(1024, 0);
    for (void* p : keys(state).sorted) {
        dict.Add(p, p);
    }
    lookups(state, [&](void* p) {
        void* value = nullptr;
        return dict.Lookup(p, &value) && value == p ? 1 : 0;
    });
}

void DictLookup_BoostFlatMap(benchmark::State& state) {
    std::vector<std::pair<std::intptr_t, void*>> v;
    for (void* p : keys(state).sorted) {
        v.emplace_back(reinterpret_cast<std::intptr_t>(p), p);
    }
    boost::container::flat_map<std::intptr_t, void*> map(boost::container::ordered_unique_range,
                                                         v.begin(), v.end());
    lookups(state, [&](void* p) {
        auto it = map.find(reinterpret_cast<std::intptr_t>(p));
        return it != map.end() && it->second == p ? 1 : 0;
    });
}

void DictLookup_StdMap(benchmark::State& state) {
    std::map<std::intptr_t, void*> map;
    for (void* p : keys(state).sorted) {
        map.emplace_hint(map.end(), reinterpret_cast<std::intptr_t>(p), p);
    }
    lookups(state, [&](void* p) {
        auto it = map.find(reinterpret_cast<std::intptr_t>(p));
        return it != map.end() && it->second == p ? 1 : 0;
    });
}

// Appending n pointers, default grow-by step against the vector's doubling.
void Append_CPtrArray(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        CPtrArray array;
        for (int i = 0; i < n; ++i) {
            array.InsertAt(-1, reinterpret_cast<void*>(static_cast<std::intptr_t>(i)));
        }
        benchmark::DoNotOptimize(array.GetAt(n - 1));
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// The same with a step a host would choose for a large array: far fewer reallocations.
void Append_CPtrArray_GrowBy1024(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        CPtrArray array(1024, 0);
        for (int i = 0; i < n; ++i) {
            array.InsertAt(-1, reinterpret_cast<void*>(static_cast<std::intptr_t>(i)));
        }
        benchmark::DoNotOptimize(array.GetAt(n - 1));
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void Append_StdVector(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::vector<void*> vector;
        for (int i = 0; i < n; ++i) {
            vector.push_back(reinterpret_cast<void*>(static_cast<std::intptr_t>(i)));
        }
        benchmark::DoNotOptimize(vector.back());
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// 1k to 1M elements: from all in the first-level cache to far beyond the last.
void sizes(benchmark::internal::Benchmark* b) {
    b->ArgName("elements")->RangeMultiplier(4)->Range(1 << 10, 1 << 20);
}

BENCHMARK(SetContains_CPtrSet)->Apply(sizes);
BENCHMARK(SetContains_BoostFlatSet)->Apply(sizes);
BENCHMARK(SetContains_StdSet)->Apply(sizes);
BENCHMARK(DictLookup_CPtrToPtrDict)->Apply(sizes);
BENCHMARK(DictLookup_BoostFlatMap)->Apply(sizes);
BENCHMARK(DictLookup_StdMap)->Apply(sizes);
BENCHMARK(Append_CPtrArray)->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(Append_CPtrArray_GrowBy1024)->Apply(sizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(Append_StdVector)->Apply(sizes)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
