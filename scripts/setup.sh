#!/usr/bin/env bash
# Installs the Debian packages that building, testing and benchmarking korutil need.
# Does nothing when they are all present, so it also works offline on a prepared machine.
# KORUTIL_EXTRA_PACKAGES names more packages for scripts that need them (fuzzing: clang).
set -euo pipefail

packages=(${KORUTIL_EXTRA_PACKAGES:-}
    build-essential cmake ninja-build pkg-config
    googletest libgtest-dev libgmock-dev libbenchmark-dev libboost-dev
    libsqlite3-dev sqlite3
    binutils-mingw-w64-x86-64
)

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
