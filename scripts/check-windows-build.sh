#!/usr/bin/env bash
# check-windows-build.sh [BUILD_DIR [cmake options...]]: cross-builds KORUTIL.DLL for 64-bit
# Windows with MinGW-w64 (warnings are errors), checks its imports and exports
# (scripts/check-exports.sh), installs it into BUILD_DIR/install (default build/mingw), and
# builds against the installed package the package test's hosts and a host
# built for wide characters (tests/windows), so that the sources, the export macro, the module
# entry, the package files and the resource helper keep working on Windows. Where Wine is
# installed (Debian package wine64), the hosts also run against the DLL.
# KORUTIL_MINGW_TRIPLET=i686-w64-mingw32 builds for 32-bit Windows instead.
# Installs the cross compiler through apt-get when it is missing. Fails on any error.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$(realpath -m "${1:-$root/build/mingw}")
[ $# -gt 0 ] && shift
jobs=${KORUTIL_JOBS:-$(nproc)}
toolchain=$root/cmake/toolchains/mingw-w64.cmake
triplet=${KORUTIL_MINGW_TRIPLET:-x86_64-w64-mingw32}
arch=${triplet%%-*}

debarch=${arch//_/-}
packages=("g++-mingw-w64-$debarch-posix" "binutils-mingw-w64-$debarch" cmake ninja-build)
bash "$root/scripts/setup.sh" "${packages[@]}"

cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DKORUTIL_MINGW_TRIPLET="$triplet" -DKORUTIL_WERROR=ON \
    -DKORUTIL_BUILD_TESTS=OFF -DKORUTIL_BUILD_BENCH=OFF -DKORUTIL_BUILD_EXAMPLES=OFF "$@" \
    >/dev/null
cmake --build "$dir" -j "$jobs"

rm -rf "$dir/install" "$dir/host" "$dir/wide_host"
cmake --install "$dir" --prefix "$dir/install" >/dev/null
# The package test's hosts, and a host built for wide characters.
hosts=("$root/tests/package/host:$dir/host" "$root/tests/windows/host:$dir/wide_host")
for pair in "${hosts[@]}"; do
    cmake -S "${pair%%:*}" -B "${pair#*:}" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DKORUTIL_MINGW_TRIPLET="$triplet" \
        -Dkorutil_DIR="$dir/install/lib/cmake/korutil" \
        -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" >/dev/null
    cmake --build "${pair#*:}" -j "$jobs"
done

# Both resource hosts must carry their strings in the image's resource section.
for exe in from_rc from_res; do
    if ! "$triplet-objdump" -h "$dir/host/$exe.exe" | grep -q '\.rsrc'; then
        echo "check-windows-build: $exe.exe has no resources" >&2
        exit 1
    fi
done
bash "$root/scripts/check-exports.sh" "$dir/KORUTIL.DLL" "$triplet"

# The Windows package: a zip of the DLL, its import library, the headers and the CMake package.
rm -f "$dir"/korutil-*.zip
(cd "$dir" && cpack -G ZIP >/dev/null)
zip=$(ls "$dir"/korutil-*.zip)
listing=$(cmake -E tar tf "$zip" | sed 's|^[^/]*/||')
for required in bin/KORUTIL.DLL lib/KORUTIL.lib include/korutil/korutil.h \
    include/korutil/platform.h lib/cmake/korutil/korutilConfig.cmake \
    lib/cmake/korutil/korutilTargets.cmake lib/cmake/korutil/KorutilResources.cmake; do
    if ! grep -qxF "$required" <<<"$listing"; then
        echo "check-windows-build: $(basename "$zip") lacks $required" >&2
        exit 1
    fi
done
echo "check-windows-build: $(basename "$zip") has the DLL, its import library, headers and CMake files"
echo "check-windows-build: $dir/KORUTIL.DLL and the package hosts build for Windows"

wine=/usr/lib/wine/wine64
if [ "$arch" = x86_64 ] && [ -x "$wine" ]; then
    # The hosts find the DLL and the MinGW runtime DLLs on Wine's search path.
    runtime=$(dirname "$("$triplet-g++-posix" -print-file-name=libstdc++-6.dll)")
    winpath=""
    for d in "$dir/install/bin" "$runtime" "/usr/$triplet/lib"; do
        winpath+="Z:${d//\//\\};"
    done
    for exe in host/package_host host/pedantic_host host/from_rc host/from_res wide_host/wide_host; do
        WINEPREFIX="$dir/wine" WINEDEBUG=-all WINEPATH="$winpath" \
            timeout 300 "$wine" "$dir/$exe.exe" 2>/dev/null
    done
    # Wine's server lingers a few seconds after its last program; wait for it to go.
    WINEPREFIX="$dir/wine" /usr/lib/wine/wineserver -w
    echo "check-windows-build: the package hosts run under Wine"
fi
