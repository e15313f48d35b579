// The pointer containers beside the peers a host would otherwise pick: sorted lookups against
// Boost's flat containers (the same sorted-array idea) and the node-based std::set/std::map,
// appends against std::vector.
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

constexpr int kKeys = 1 << 20;

// Distinct random pointer values over the whole range, top bit included, in ascending
// signed order (so that the sorted containers fill by appending), and the same keys shuffled
// as the lookup order.
struct Keys {
    std::vector<void*> sorted;
    std::vector<void*> queries;
    Keys() {
        std::mt19937_64 rng(42);
        std::vector<std::intptr_t> raw(kKeys);
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

const Keys& keys() {
    static const Keys k;
    return k;
}

template <class Probe> void lookups(benchmark::State& state, Probe probe) {
    const auto& q = keys().queries;
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
    for (void* p : keys().sorted) {
        set.Add(p);
    }
    lookups(state, [&](void* p) { return set.Contains(p); });
}

void SetContains_BoostFlatSet(benchmark::State& state) {
    std::vector<std::intptr_t> v;
    for (void* p : keys().sorted) {
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
    for (void* p : keys().sorted) {
        set.insert(set.end(), reinterpret_cast<std::intptr_t>(p));
    }
    lookups(state, [&](void* p) { return set.count(reinterpret_cast<std::intptr_t>(p)) ? 1 : 0; });
}

void DictLookup_CPtrToPtrDict(benchmark::State& state) {
    CPtrToPtrDict dict(1024, 0);
    for (void* p : keys().sorted) {
        dict.Add(p, p);
    }
    lookups(state, [&](void* p) {
        void* value = nullptr;
        return dict.Lookup(p, &value) && value == p ? 1 : 0;
    });
}

void DictLookup_BoostFlatMap(benchmark::State& state) {
    std::vector<std::pair<std::intptr_t, void*>> v;
    for (void* p : keys().sorted) {
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
    for (void* p : keys().sorted) {
        map.emplace_hint(map.end(), reinterpret_cast<std::intptr_t>(p), p);
    }
    lookups(state, [&](void* p) {
        auto it = map.find(reinterpret_cast<std::intptr_t>(p));
        return it != map.end() && it->second == p ? 1 : 0;
    });
}

// Appending 1M pointers, default grow-by step against the vector's doubling.
void Append_CPtrArray(benchmark::State& state) {
    for (auto _ : state) {
        CPtrArray array;
        for (int i = 0; i < kKeys; ++i) {
            array.InsertAt(-1, reinterpret_cast<void*>(static_cast<std::intptr_t>(i)));
        }
        benchmark::DoNotOptimize(array.GetAt(kKeys - 1));
    }
    state.SetItemsProcessed(state.iterations() * kKeys);
}

// The same with a step a host would choose for a large array: far fewer reallocations.
void Append_CPtrArray_GrowBy1024(benchmark::State& state) {
    for (auto _ : state) {
        CPtrArray array(1024, 0);
        for (int i = 0; i < kKeys; ++i) {
            array.InsertAt(-1, reinterpret_cast<void*>(static_cast<std::intptr_t>(i)));
        }
        benchmark::DoNotOptimize(array.GetAt(kKeys - 1));
    }
    state.SetItemsProcessed(state.iterations() * kKeys);
}

void Append_StdVector(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<void*> vector;
        for (int i = 0; i < kKeys; ++i) {
            vector.push_back(reinterpret_cast<void*>(static_cast<std::intptr_t>(i)));
        }
        benchmark::DoNotOptimize(vector.back());
    }
    state.SetItemsProcessed(state.iterations() * kKeys);
}

BENCHMARK(SetContains_CPtrSet);
BENCHMARK(SetContains_BoostFlatSet);
BENCHMARK(SetContains_StdSet);
BENCHMARK(DictLookup_CPtrToPtrDict);
BENCHMARK(DictLookup_BoostFlatMap);
BENCHMARK(DictLookup_StdMap);
BENCHMARK(Append_CPtrArray)->Unit(benchmark::kMillisecond);
BENCHMARK(Append_CPtrArray_GrowBy1024)->Unit(benchmark::kMillisecond);
BENCHMARK(Append_StdVector)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
