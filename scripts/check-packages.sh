#!/usr/bin/env bash
# check-packages.sh BUILD_DIR: makes the Debian package of a Linux build (cpack -G DEB), checks
# its control data and file list, extracts it into a private tree and builds and runs the
# package test's hosts against that tree alone. Fails on any error.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$(realpath "$1")
work=$dir/package-check
rm -rf "$work" "$dir"/_CPack_Packages "$dir"/korutil_*.deb
mkdir -p "$work"
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/korutil_*.deb)
echo "check-packages: $(basename "$deb")"

fail() {
    echo "check-packages: $*" >&2
    exit 1
}
depends=$(dpkg-deb -f "$deb" Depends)
echo "check-packages: Depends: $depends"
for wanted in libc6 libstdc++6 libsqlite3 libfreetype libfontconfig libpng fonts-dejavu-core; do
    grep -q "$wanted" <<<"$depends" || fail "the package does not depend on $wanted"
done

dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' >"$work/files"
lib=$(sed -n 's|^\(/usr/lib[^ ]*\)/libkorutil\.so$|\1|p' "$work/files")
[ -n "$lib" ] || fail "the package has no libkorutil.so"
for required in "$lib/libkorutil.so.0" "$lib/libkorplatform.so.0" "$lib/libkorplatform.so" \
    /usr/include/korutil/korutil.h /usr/include/korutil/platform.h \
    /usr/include/korutil/platform/types.h "$lib/cmake/korutil/korutilConfig.cmake" \
    "$lib/cmake/korutil/korutilConfigVersion.cmake" "$lib/cmake/korutil/korutilTargets.cmake" \
    "$lib/cmake/korutil/KorutilResources.cmake" "$lib/pkgconfig/korutil.pc" /usr/bin/korutil-reg; do
    grep -qxF "$required" "$work/files" || fail "the package lacks $required"
done
# Nothing of the build or the tests may ride along.
if grep -E 'gtest|gmock|_test|bench|\.a$' "$work/files"; then
    fail "the package carries files that are not the library's"
fi

dpkg-deb -x "$deb" "$work/root"
# The pkg-config file finds the tree wherever it lies.
read -r cflags < <(PKG_CONFIG_PATH="$work/root$lib/pkgconfig" pkg-config --cflags korutil)
[ "$(realpath -m "${cflags#-I}")" = "$work/root/usr/include" ] ||
    fail "pkg-config gives '$cflags' for the extracted tree"
cmake -S "$root/tests/package/host" -B "$work/host" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$work/root/usr" >/dev/null
cmake --build "$work/host" >/dev/null
for program in package_host pedantic_host from_rc from_res; do
    "$work/host/$program"
done
# The tool runs from the tree on a registry of its own.
export LD_LIBRARY_PATH="$work/root$lib" KORUTIL_REGISTRY="$work/registry.sqlite"
"$work/root/usr/bin/korutil-reg" set 'HKCU\Software\korutil-package' Check REG_DWORD 7
"$work/root/usr/bin/korutil-reg" query 'HKCU\Software\korutil-package' Check | grep -q 7 ||
    fail "korutil-reg from the package does not read back what it wrote"
unset LD_LIBRARY_PATH KORUTIL_REGISTRY
rm -rf "$work"
echo "check-packages: the Debian package installs, and the package hosts build and run on it"
