#!/usr/bin/env bash
# Builds Cat.DB with the tool from a System32 tree holding every catalog of
# ../shared/realcats (where present) and the sample's generated ones, and
# checks it with an independent reader against expected.jsonl; then checks
# that a rerun parses nothing and leaves the bytes alone, and that touching
# one catalog appends for that one only.
#
#   run-engine-cases.sh <KorvaCatalogDB>
set -uo pipefail

exe=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
realcats=$root/../shared/realcats
work=$(mktemp -d "${TMPDIR:-/tmp}/korva-engine-$$.XXXXXX")
trap 'rm -rf "$work"' EXIT

first="$work/System32/CatRoot/{127D0A1D-4EF2-11D1-8608-00C04FC295EE}"
second="$work/System32/CatRoot/{F750E6C3-38EE-11D1-85E5-00C04FC295EE}"
mkdir -p "$first" "$second" "$work/out"
if [ ! -f "$realcats/expected.jsonl" ]; then
    [ "${CI:-}" = true ] && { echo "missing $realcats"; exit 1; }
    echo "skipped: no $realcats"
    exit 77
fi
cp "$realcats"/*.cat "$second/"
expected=$realcats/expected.jsonl
cp "$root"/tools/sample/System32/CatRoot/*/generated_*.cat "$first/"
names=$(cd "$work/System32/CatRoot" && ls ./*/*.cat | xargs -n1 basename)

status=0
fail() { echo "FAIL: $*"; status=1; }
run() {  # trace file
    KORVA_SYSTEM_DIR="$work/System32" KORVA_TRACE="$1" "$exe" /p "$work/out" >"$work/stdout" || fail "exit code $?"
    grep -q "catalog database created at" "$work/stdout" || fail "no success message"
}
content() { python3 "$here/read-catdb.py" "$work/out/Cat.DB" >"$1" || fail "Cat.DB refused by the reader"; }
count() { grep -c -E "$2" "$1" || true; }
# Refused catalogs are not recorded, so every run walks them again; a
# recorded one is walked only when its last-write time changed.
walks() { count "$1" '^asn1 26 '; }

run "$work/trace1"
content "$work/content1.json"
# shellcheck disable=SC2086
python3 "$here/check-catdb.py" "$work/content1.json" "$expected" $names || fail "content disagrees with expected.jsonl"
cp "$work/out/Cat.DB" "$work/first.db"
refused=$(( $(echo "$names" | wc -l) - $(count "$work/trace1" '^store 29 ') ))

run "$work/trace2"
cmp -s "$work/out/Cat.DB" "$work/first.db" || fail "an unchanged rerun changed Cat.DB"
[ "$(count "$work/trace2" '^store 29 ')" = 0 ] && [ "$(walks "$work/trace2")" = "$refused" ] ||
    fail "an unchanged rerun walked $(walks "$work/trace2") catalogs, not the $refused refused ones"

touched=$(python3 -c 'import json,sys; print(next(json.loads(l)["file"] for l in open(sys.argv[1]) if "\"accepted\"" in l))' "$expected")
touch -d '2030-01-01' "$second/$touched"
run "$work/trace3"
[ "$(count "$work/trace3" '^store 29 ')" = 1 ] && [ "$(walks "$work/trace3")" = $((refused + 1)) ] ||
    fail "touching $touched did not rescan it alone"
size=$(stat -c %s "$work/first.db")
[ "$(stat -c %s "$work/out/Cat.DB")" -gt "$size" ] || fail "touching $touched appended nothing"
cmp -s -n $((size - 12)) <(tail -c +13 "$work/first.db") <(tail -c +13 "$work/out/Cat.DB") || fail "the append rewrote earlier entries"

# A re-signed package: ../shared/resigned holds one package's catalogs under
# two signers, the same member hashes in both. With the real catalogs, built
# at once and with the older one arriving after a full build, each saved file
# passes the engine's own load, a rerun leaves it alone, and every member hash
# is recorded.
resigned=$root/../shared/resigned
older=tidepool_tidepoolvcp_20230619.cat
stays() {  # what
    cp "$work/out/Cat.DB" "$work/before.db"
    run "$work/trace-again"
    grep -q '^engine 28 ' "$work/trace-again" && fail "$1: Cat.DB refused by its own load"
    cmp -s "$work/out/Cat.DB" "$work/before.db" || fail "$1: a rerun changed Cat.DB"
    content "$work/resigned.json"
    python3 -c 'import json,sys
hashes = json.load(open(sys.argv[1]))["hashes"]
missing = [m for l in open(sys.argv[2]) for m in json.loads(l)["member_hashes"] if m not in hashes]
sys.exit(1 if missing else 0)' "$work/resigned.json" "$resigned/expected.jsonl" || fail "$1: member hashes missing"
}
if [ -d "$resigned" ]; then
    rm -f "$work/out/Cat.DB"
    cp "$resigned"/*.cat "$second/"
    run "$work/trace-resigned"
    stays "real and re-signed catalogs"
    rm -f "$work/out/Cat.DB" "$second/$older"
    run "$work/trace-full"
    cp "$resigned/$older" "$second/"
    run "$work/trace-late"
    stays "the older catalog after a full build"
fi

[ $status = 0 ] && echo "engine cases passed ($(echo "$names" | wc -l) catalogs)"
exit $status
