#!/usr/bin/env bash
# wine-tests.sh [BUILD_DIR [cmake options...]]: cross-builds the library's own tests for 64-bit
# Windows with MinGW-w64 (warnings are errors) against a KORUTIL.DLL, and runs them with ctest
# under Wine (Debian's wine64) on Wine's implementation of the Windows API, the window and
# drawing tests on a virtual X display. The Wine prefix is a fresh temporary one, booted once
# and removed at the end. Installs the cross compiler, Wine and Xvfb when missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$(realpath -m "${1:-$root/build/mingw-tests}")
[ $# -gt 0 ] && shift
jobs=${KORUTIL_JOBS:-$(nproc)}
bash "$root/scripts/setup.sh" g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest \
    wine64 xvfb xauth cmake ninja-build

cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64.cmake" -DKORUTIL_WERROR=ON \
    -DKORUTIL_BUILD_TESTS=ON -DKORUTIL_BUILD_BENCH=OFF -DKORUTIL_BUILD_EXAMPLES=OFF "$@" \
    >/dev/null
cmake --build "$dir" -j "$jobs"

prefix=$(mktemp -d "${TMPDIR:-/tmp}/korutil-wine-XXXXXX")
cleanup() {
    WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
}
trap cleanup EXIT
# The first start of a prefix is slow; the tests share this one.
WINEPREFIX="$prefix" WINEDEBUG=-all /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
export KORUTIL_WINEPREFIX="$prefix"
cd "$dir"
ctest --output-on-failure -j "$jobs"
