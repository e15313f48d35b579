#!/usr/bin/env bash
# check-exports.sh KORUTIL.DLL [TRIPLET]: lists the DLL's imports and exported names and fails
# when it imports from anything but system DLLs (the runtimes must be linked in) or when a
# class, function or data item of scripts/korutil-exports.txt is missing from its exports.
# TRIPLET (default x86_64-w64-mingw32) names the MinGW-w64 binutils to read it with.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dll=$1
triplet=${2:-x86_64-w64-mingw32}
expected=$root/scripts/korutil-exports.txt
headers=$root/include/korutil

dump=$("$triplet-objdump" -p "$dll")
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump")
# The export table's names, demangled, one a line.
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
    sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | "$triplet-c++filt" --no-strip-underscore)

echo "check-exports: $(basename "$dll") imports from:" $imports
echo "check-exports: $(wc -l <<<"$exports") exported names"

failures=0
while read -r name; do
    # Windows' own DLLs and the C runtime's: the system's, present on every machine.
    if ! grep -qiE '^(kernel32|user32|gdi32|advapi32|comctl32|shell32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$' <<<"$name"; then
        echo "check-exports: imports from $name, which is no system DLL" >&2
        failures=$((failures + 1))
    fi
done <<<"$imports"

# Exported names without the decorations of special members.
plain=$(sed -E 's/^(vtable|typeinfo|typeinfo name|VTT) for //; s/^(non-)?virtual thunk to //' <<<"$exports")
while read -r kind name; do
    case "$kind" in
    '' | '#'*) continue ;;
    class) grep -qF -- "$name::" <<<"$plain" && grep -q -- "^$name::" <<<"$plain" ;;
    function) grep -qE -- "^$name(\(|$)" <<<"$plain" ;;
    data) grep -qxF -- "$name" <<<"$plain" ;;
    record) grep -qE -- "^(struct|class) KORUTIL_API $name\b" "$headers"/*.h ;;
    *) echo "check-exports: unknown kind '$kind' in $expected" >&2; false ;;
    esac || {
        echo "check-exports: $(basename "$dll") lacks $kind $name" >&2
        failures=$((failures + 1))
    }
done <"$expected"

if [ "$failures" -ne 0 ]; then
    echo "check-exports: $failures problems in $dll" >&2
    exit 1
fi
echo "check-exports: $(basename "$dll") has every expected name and only system imports"
