#!/usr/bin/env bash
# bench-charts.sh [BENCHMARK ARGS...]: builds and runs the benchmarks of the containers, the
# range set and the strings with JSON output, then draws docs/benchmarks/<program>.png (each
# structure's time against its peer's as the size grows, and their ratio) and prints the
# figures as Markdown tables. Arguments go to every benchmark program (default: medians of 3
# repetitions of 0.2 s). The benchmarks are built in $KORUTIL_BENCH_BUILD (an existing build
# directory keeps its options; default $KORUTIL_BUILD_ROOT/bench, else build/bench), and the
# JSON results (--benchmark_format=json) are kept there. Installs matplotlib when missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
bash scripts/setup.sh python3-matplotlib
out="${KORUTIL_BENCH_BUILD:-${KORUTIL_BUILD_ROOT:-$root/build}/bench}"
programs=(containers ranges strings)
if [ ! -f "$out/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKORUTIL_BUILD_TESTS=OFF -DKORUTIL_BUILD_EXAMPLES=OFF >/dev/null
fi
cmake -S "$root" -B "$out" -DKORUTIL_BUILD_BENCH=ON >/dev/null
cmake --build "$out" --target "${programs[@]/%/_bench}" >/dev/null
args=("$@")
if [ ${#args[@]} -eq 0 ]; then
    args=(--benchmark_min_time=0.2 --benchmark_repetitions=3 --benchmark_report_aggregates_only=true)
fi
results=()
for p in "${programs[@]}"; do
    "$out/bench/${p}_bench" "${args[@]}" --benchmark_format=json >"$out/$p.json"
    results+=("$out/$p.json")
done
# Debian's interpreter, which the installed matplotlib belongs to.
/usr/bin/python3 scripts/bench_charts.py docs/benchmarks "${results[@]}"
