#!/usr/bin/env bash
# Builds and runs every test: a normal build, a build with AddressSanitizer and
# UndefinedBehaviorSanitizer, and a ThreadSanitizer build for the threaded tests; then
# cross-builds the library for Windows (64-bit and 32-bit), so that the same sources keep
# building there, and runs the library's tests built for Windows under Wine.
# Warnings are errors. Installs what it needs first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh

out=${KORUTIL_BUILD_ROOT:-$root/build}
jobs=${KORUTIL_JOBS:-$(nproc)}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

passed=0
failed=0
# Adds a ctest log's counts to the totals; stops the run with the totals when it failed.
count_ctest() {
    local log=$1 rc=$2 total bad
    total=$(sed -n 's/.* tests failed out of \([0-9]*\)$/\1/p' "$log" | tail -n 1)
    bad=$(sed -n 's/.* \([0-9]*\) tests failed out of .*/\1/p' "$log" | tail -n 1)
    passed=$((passed + ${total:-0} - ${bad:-0}))
    failed=$((failed + ${bad:-0}))
    if [ "$rc" -ne 0 ]; then
        echo "$passed passed, $failed failed"
        exit "$rc"
    fi
}
run_suite() {
    local name=$1 label=$2
    shift 2
    echo "== $name build"
    bash scripts/build.sh "$out/$name" -DKORUTIL_WERROR=ON "$@"
    echo "== $name tests"
    local log="$out/$name/ctest.log" rc=0
    (cd "$out/$name" && ctest --output-on-failure -j "$jobs" $label) 2>&1 | tee "$log" || rc=$?
    count_ctest "$log" "$rc"
}

run_suite normal "" -DKORUTIL_BUILD_BENCH=ON
echo "== debian package"
bash scripts/check-packages.sh "$out/normal"
run_suite asan-ubsan "" -DKORUTIL_SANITIZE=address,undefined -DKORUTIL_BUILD_EXAMPLES=OFF
run_suite tsan "-L threads" -DKORUTIL_SANITIZE=thread -DKORUTIL_BUILD_EXAMPLES=OFF
echo "== windows cross-build, 64-bit"
bash scripts/check-windows-build.sh "$out/mingw"
# This machine cannot run 32-bit Windows code: the 32-bit build is built and checked only.
echo "== windows cross-build, 32-bit"
KORUTIL_MINGW_TRIPLET=i686-w64-mingw32 bash scripts/check-windows-build.sh "$out/mingw32"
echo "== windows tests under wine"
mkdir -p "$out/mingw-tests"
rc=0
bash scripts/wine-tests.sh "$out/mingw-tests" 2>&1 | tee "$out/mingw-tests.log" || rc=$?
count_ctest "$out/mingw-tests.log" "$rc"
echo "== all suites passed"
echo "$passed passed, $failed failed"
