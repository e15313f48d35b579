#!/usr/bin/env bash
# Installs the Debian packages that building, testing and benchmarking korutil need.
# Does nothing when they are all present, so it also works offline on a prepared machine.
# setup.sh PACKAGE... installs the named packages instead (fuzzing and cross-building use it).
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config dpkg-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev libboost-dev
    libsqlite3-dev sqlite3
    libfreetype-dev libfontconfig-dev libpng-dev fonts-liberation2 fonts-dejavu-core
    binutils-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix
    binutils-mingw-w64-i686 g++-mingw-w64-i686-posix
    wine64 xvfb xauth
)

if [ $# -gt 0 ]; then
    packages=("$@")
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
