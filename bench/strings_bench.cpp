// CString beside std::string (copy, assign, append) over a range of text sizes, and cached
// resource strings beside loading the string into a buffer on every use. Names are
// <Operation>_<Implementation>, so that scripts/bench-charts.sh can pair each case with its
// peer.
#include <korutil/strings.h>

#include "tests/support/res_image.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// A text of n characters.
std::string text(std::int64_t n) {
    std::string t;
    for (std::int64_t i = 0; i < n; ++i) {
        t += static_cast<char>('a' + i % 26);
    }
    return t;
}

void Copy_CString(benchmark::State& state) {
    const CString source(text(state.range(0)).c_str());
    for (auto _ : state) {
        CString copy(source);
        benchmark::DoNotOptimize(static_cast<const char*>(copy));
    }
    state.SetItemsProcessed(state.iterations());
}

void Copy_StdString(benchmark::State& state) {
    const std::string source(text(state.range(0)));
    for (auto _ : state) {
        std::string copy(source);
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetItemsProcessed(state.iterations());
}

// Assigning into a string that already holds text: n characters and n/2 by turns.
void Assign_CString(benchmark::State& state) {
    const std::string texts[2] = {text(state.range(0)), text(state.range(0) / 2)};
    CString target(texts[0].c_str());
    unsigned i = 0;
    for (auto _ : state) {
        target = texts[++i & 1].c_str();
        benchmark::DoNotOptimize(static_cast<const char*>(target));
    }
    state.SetItemsProcessed(state.iterations());
}

void Assign_StdString(benchmark::State& state) {
    const std::string texts[2] = {text(state.range(0)), text(state.range(0) / 2)};
    std::string target(texts[0]);
    unsigned i = 0;
    for (auto _ : state) {
        target = texts[++i & 1].c_str();
        benchmark::DoNotOptimize(target.data());
    }
    state.SetItemsProcessed(state.iterations());
}

// Building a text of n pieces of 8 characters by appending.
void Append_CString(benchmark::State& state) {
    const auto pieces = state.range(0);
    for (auto _ : state) {
        CString s;
        for (std::int64_t i = 0; i < pieces; ++i) {
            s += "piece-8 ";
        }
        benchmark::DoNotOptimize(static_cast<const char*>(s));
    }
    state.SetItemsProcessed(state.iterations() * pieces);
}

void Append_StdString(benchmark::State& state) {
    const auto pieces = state.range(0);
    for (auto _ : state) {
        std::string s;
        for (std::int64_t i = 0; i < pieces; ++i) {
            s += "piece-8 ";
        }
        benchmark::DoNotOptimize(s.data());
    }
    state.SetItemsProcessed(state.iterations() * pieces);
}

#ifndef _WIN32
// A module with one string table block, registered under a handle of its own.
HINSTANCE benchModule() {
    static const HINSTANCE module = [] {
        const std::vector<unsigned char> image =
            korutil::test::ResImage().strings(1, {"", "The file could not be saved."}).bytes();
        const auto handle = reinterpret_cast<HINSTANCE>(std::uintptr_t{0x5000});
        PlatRegisterResources(handle, image.data(), static_cast<DWORD>(image.size()));
        return handle;
    }();
    return module;
}
#else
HINSTANCE benchModule() {
    return GetModuleHandleA(nullptr);
}
#endif

void ResourceString_LoadStringPtr(benchmark::State& state) {
    const HINSTANCE module = benchModule();
    LoadStringPtr(module, 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(LoadStringPtr(module, 1));
    }
}

void ResourceString_LoadStringA(benchmark::State& state) {
    const HINSTANCE module = benchModule();
    char buffer[256];
    for (auto _ : state) {
        benchmark::DoNotOptimize(LoadStringA(module, 1, buffer, sizeof buffer));
        benchmark::ClobberMemory();
    }
}

// 14 characters fit std::string's own buffer, 16 do not: the peer's allocation starts there.
void textSizes(benchmark::internal::Benchmark* b) {
    b->ArgName("characters");
    for (int n : {4, 14, 16, 64, 256, 1024, 4096}) {
        b->Arg(n);
    }
}

} // namespace

BENCHMARK(Copy_CString)->Apply(textSizes);
BENCHMARK(Copy_StdString)->Apply(textSizes);
BENCHMARK(Assign_CString)->Apply(textSizes);
BENCHMARK(Assign_StdString)->Apply(textSizes);
BENCHMARK(Append_CString)->ArgName("pieces")->RangeMultiplier(2)->Range(16, 4096);
BENCHMARK(Append_StdString)->ArgName("pieces")->RangeMultiplier(2)->Range(16, 4096);
BENCHMARK(ResourceString_LoadStringPtr);
BENCHMARK(ResourceString_LoadStringA);

BENCHMARK_MAIN();
