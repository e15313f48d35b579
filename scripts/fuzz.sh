#!/usr/bin/env bash
# fuzz.sh [SECONDS] [res|dib]: fuzzes the resource reader (res, the default) or the
# device-independent bitmap calls (dib) with libFuzzer (Debian's clang) for a while, starting
# from the fixed corpus that every test run replays. Findings land in build/fuzz/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
bash scripts/setup.sh clang libclang-rt-dev
seconds=${1:-60}
which=${2:-res}
corpus=tests/fuzz/corpus
[ "$which" = dib ] && corpus=tests/fuzz/dib_corpus
out="${KORUTIL_BUILD_ROOT:-$root/build}/fuzz"
bash scripts/build.sh "$out" -DKORUTIL_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$out" --target "${which}_fuzzer"
work="$out/${which}_corpus"
mkdir -p "$work"
cp -n "$corpus"/* "$work"/
cd "$out"
exec "$out/tests/fuzz/${which}_fuzzer_bin/${which}_fuzzer" -max_total_time="$seconds" "$work"
