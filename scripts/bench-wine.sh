#!/usr/bin/env bash
# bench-wine.sh [FILTER]: runs the cross-platform benchmarks (bench/cross) on the Linux layer
# and, built with MinGW-w64, under Wine (Debian's wine64) on Wine's own implementation of the
# same calls, in one run; prints one row per case with both times and their ratio. Installs
# the cross compiler, Wine and Xvfb (Wine's window manager needs a display) when missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
bash scripts/setup.sh g++-mingw-w64-x86-64-posix wine64 xvfb xauth
out="${KORUTIL_BUILD_ROOT:-$root/build}/bench-wine"
bash scripts/build.sh "$out/linux" -DKORUTIL_BUILD_TESTS=OFF -DKORUTIL_BUILD_EXAMPLES=OFF \
    -DKORUTIL_BUILD_BENCH=ON >/dev/null
cmake --build "$out/linux" --target cross_bench >/dev/null
mkdir -p "$out/windows"
# The library sources that some cases call are compiled in, as the benchmark needs no DLL.
x86_64-w64-mingw32-g++-posix -std=c++17 -O2 -DKORUTIL_STATIC_BENCH -I"$root/include" -I"$root" \
    bench/cross/*.cpp ${KORUTIL_CROSS_SOURCES:-} -o "$out/windows/cross_bench.exe" \
    -static -lgdi32 -luser32 -lcomctl32
filter=${1:-}
"$out/linux/bench/cross_bench" $filter >"$out/linux.tsv"
export WINEPREFIX="$out/wineprefix" WINEDEBUG=-all
xvfb-run -a /usr/lib/wine/wine64 "$out/windows/cross_bench.exe" $filter 2>/dev/null |
    tr -d '\r' >"$out/wine.tsv"
/usr/lib/wine/wineserver -w || true
printf '%-40s %14s %14s %8s\n' case "linux ns" "wine ns" "wine/linux"
join -t $'\t' <(sort "$out/linux.tsv") <(sort "$out/wine.tsv") |
    awk -F'\t' '{ printf "%-40s %14.1f %14.1f %8.2f\n", $1, $2, $3, $3 / $2 }'
