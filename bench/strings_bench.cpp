// CString beside std::string (copy, assign, append), and cached resource strings beside
// loading the string into a buffer on every use.
#include <korutil/strings.h>

#include "tests/support/res_image.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

const char kShort[] = "Settings saved";
const std::string kLong(200, 'x');

void BM_CStringCopy_Short(benchmark::State& state) {
    const CString source(kShort);
    for (auto _ : state) {
        CString copy(source);
        benchmark::DoNotOptimize(static_cast<const char*>(copy));
    }
}

void BM_StdStringCopy_Short(benchmark::State& state) {
    const std::string source(kShort);
    for (auto _ : state) {
        std::string copy(source);
        benchmark::DoNotOptimize(copy.data());
    }
}

void BM_CStringCopy_Long(benchmark::State& state) {
    const CString source(kLong.c_str());
    for (auto _ : state) {
        CString copy(source);
        benchmark::DoNotOptimize(static_cast<const char*>(copy));
    }
}

void BM_StdStringCopy_Long(benchmark::State& state) {
    const std::string source(kLong);
    for (auto _ : state) {
        std::string copy(source);
        benchmark::DoNotOptimize(copy.data());
    }
}

// Assigning into a string that already holds text of the same length.
void BM_CStringAssign(benchmark::State& state) {
    CString target(kLong.c_str());
    const char* texts[2] = {kLong.c_str(), kShort};
    unsigned i = 0;
    for (auto _ : state) {
        target = texts[++i & 1];
        benchmark::DoNotOptimize(static_cast<const char*>(target));
    }
}

void BM_StdStringAssign(benchmark::State& state) {
    std::string target(kLong);
    const char* texts[2] = {kLong.c_str(), kShort};
    unsigned i = 0;
    for (auto _ : state) {
        target = texts[++i & 1];
        benchmark::DoNotOptimize(target.data());
    }
}

// Building a text of n pieces of 8 characters by appending.
void BM_CStringAppend(benchmark::State& state) {
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

void BM_StdStringAppend(benchmark::State& state) {
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

void BM_LoadStringPtr_Cached(benchmark::State& state) {
    const HINSTANCE module = benchModule();
    LoadStringPtr(module, 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(LoadStringPtr(module, 1));
    }
}

void BM_LoadStringA_EachTime(benchmark::State& state) {
    const HINSTANCE module = benchModule();
    char buffer[256];
    for (auto _ : state) {
        benchmark::DoNotOptimize(LoadStringA(module, 1, buffer, sizeof buffer));
        benchmark::ClobberMemory();
    }
}

} // namespace

BENCHMARK(BM_CStringCopy_Short);
BENCHMARK(BM_StdStringCopy_Short);
BENCHMARK(BM_CStringCopy_Long);
BENCHMARK(BM_StdStringCopy_Long);
BENCHMARK(BM_CStringAssign);
BENCHMARK(BM_StdStringAssign);
BENCHMARK(BM_CStringAppend)->Arg(16)->Arg(128)->Arg(1024);
BENCHMARK(BM_StdStringAppend)->Arg(16)->Arg(128)->Arg(1024);
BENCHMARK(BM_LoadStringPtr_Cached);
BENCHMARK(BM_LoadStringA_EachTime);

BENCHMARK_MAIN();
