#!/usr/bin/env bash
# wine-test.sh [--display] PROGRAM [ARGS...]: ctest's runner for the Windows test programs.
# Runs PROGRAM under Wine (Debian's wine64) in the prefix $KORUTIL_WINEPREFIX, which the
# caller boots once per run (wineboot -i); with --display on a virtual X display
# (xvfb-run -a), for the window and drawing tests. The program's exit code is the result.
set -euo pipefail
display=false
if [ "${1:-}" = --display ]; then
    display=true
    shift
fi
export WINEPREFIX=${KORUTIL_WINEPREFIX:?the Wine prefix to run in} WINEDEBUG=-all
if $display; then
    exec xvfb-run -a /usr/lib/wine/wine64 "$@"
fi
exec /usr/lib/wine/wine64 "$@"
