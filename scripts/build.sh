#!/usr/bin/env bash
# build.sh DIR [cmake options...]: configures (once) and builds korutil in DIR.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
shift
jobs=${KORUTIL_JOBS:-$(nproc)}
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$dir" -j "$jobs"
