#!/usr/bin/env bash
# Builds Cat.DB with the Windows build under Wine from the published catalogs
# placed in the prefix's own CatRoot folders, builds it natively from the same
# files (same last-write times), and compares the content both hold: every
# name with its record fields and signer values, every hash with its name.
# Enumeration order may differ between the hosts, so record indexes do not
# count.
#
#   run-engine-wine.sh <KorvaCatalogDB.exe> <native KorvaCatalogDB>   (WINEPREFIX set)
set -uo pipefail

exe=$(realpath "$1")
native=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
realcats=$root/../shared/realcats
wine=${WINE:-$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)}
if [ ! -f "$realcats/expected.jsonl" ]; then
    [ "${CI:-}" = true ] && { echo "missing $realcats"; exit 1; }
    echo "skipped: no $realcats"
    exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/korva-engine-wine-$$.XXXXXX")
catroot="$WINEPREFIX/drive_c/windows/system32/CatRoot"
trap 'rm -rf "$work" "$catroot"' EXIT

for tree in "$catroot" "$work/System32/CatRoot"; do
    mkdir -p "$tree/{127D0A1D-4EF2-11D1-8608-00C04FC295EE}" "$tree/{F750E6C3-38EE-11D1-85E5-00C04FC295EE}" 
    cp -p "$realcats"/*.cat "$tree/{F750E6C3-38EE-11D1-85E5-00C04FC295EE}/"
    cp -p "$root"/tools/sample/System32/CatRoot/*/generated_*.cat "$tree/{127D0A1D-4EF2-11D1-8608-00C04FC295EE}/"
done
mkdir -p "$work/wine" "$work/native"

status=0
"$wine" "$exe" /p "Z:${work//\//\\}\\wine" >"$work/wine.txt" 2>/dev/null || { echo "FAIL: wine exit code $?"; status=1; }
KORVA_SYSTEM_DIR="$work/System32" "$native" /p "$work/native" >/dev/null || { echo "FAIL: native exit code $?"; status=1; }
python3 "$here/read-catdb.py" "$work/wine/Cat.DB" >"$work/wine.json" || { echo "FAIL: the Wine Cat.DB is refused"; status=1; }
python3 "$here/read-catdb.py" "$work/native/Cat.DB" >"$work/native.json" || status=1
if ! cmp -s "$work/wine.json" "$work/native.json"; then
    echo "FAIL: the Wine and native Cat.DB differ in content"
    diff "$work/wine.json" "$work/native.json" | head -20
    status=1
fi
[ $status = 0 ] && echo "Wine and native Cat.DB agree ($(grep -c '"signer_flags"' "$work/native.json") catalogs)"
exit $status
