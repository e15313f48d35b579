#!/usr/bin/env bash
# fuzz.sh [SECONDS]: fuzzes the resource reader with libFuzzer (Debian's clang) for a while,
# starting from the fixed corpus that every test run replays. Findings land in build/fuzz/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
bash scripts/setup.sh clang libclang-rt-dev
seconds=${1:-60}
out="${KORUTIL_BUILD_ROOT:-$root/build}/fuzz"
bash scripts/build.sh "$out" -DKORUTIL_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$out" --target res_fuzzer
work="$out/corpus"
mkdir -p "$work"
cp -n tests/fuzz/corpus/* "$work"/
cd "$out"
exec "$out/tests/fuzz/res_fuzzer_bin/res_fuzzer" -max_total_time="$seconds" "$work"
