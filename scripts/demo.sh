#!/usr/bin/env bash
# Builds korutil and runs the demo host on its embedded defaults.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
bash scripts/build.sh "${KORUTIL_BUILD_ROOT:-$root/build}/demo" -DKORUTIL_BUILD_TESTS=OFF >/dev/null
exec "${KORUTIL_BUILD_ROOT:-$root/build}/demo/examples/korutil-demo" "$@"
