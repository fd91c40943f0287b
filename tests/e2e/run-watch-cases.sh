#!/usr/bin/env bash
# KorvaCatalogTool watch on a System32 tree of published catalogs: it builds
# Cat.DB at start, then takes in a catalog that arrives, one that is replaced
# and notices one that is deleted, each within a second; SIGINT and SIGTERM
# end it with a Cat.DB that loads.
#
#   run-watch-cases.sh <KorvaCatalogTool>
set -uo pipefail

tool=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
realcats=$(cd "$here/../.." && pwd)/../shared/realcats
work=$(mktemp -d "${TMPDIR:-/tmp}/korva-watch-$$.XXXXXX")
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; [ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
if [ ! -f "$realcats/expected.jsonl" ]; then
    [ "${CI:-}" = true ] && { echo "missing $realcats"; exit 1; }
    echo "skipped: no $realcats"
    exit 77
fi

catalogs="$work/System32/CatRoot/{F750E6C3-38EE-11D1-85E5-00C04FC295EE}"
mkdir -p "$catalogs" "$work/System32/CatRoot/{127D0A1D-4EF2-11D1-8608-00C04FC295EE}" "$work/out"
export KORVA_SYSTEM_DIR="$work/System32"
status=0
fail() { echo "FAIL: $*"; status=1; }
# The first member hash of an accepted catalog.
member() { python3 -c 'import json,sys
print(next(json.loads(l)["member_hashes"][0] for l in open(sys.argv[1]) if json.loads(l)["file"] == sys.argv[2]))' \
    "$realcats/expected.jsonl" "$1"; }
found() { "$tool" lookup "$work/out/Cat.DB" "$1" >/dev/null 2>&1; }
cycles() { grep -c '^cycle ' "$work/stdout" || true; }
# Polls `what` (a command) for up to a second.
within_a_second() {
    for _ in $(seq 20); do "$@" && return 0; sleep 0.05; done
    return 1
}
start() {
    : >"$work/stdout"  # a background job's own redirection may come after the first grep
    "$tool" watch "$work/out" >"$work/stdout" 2>"$work/stderr" &
    pid=$!
    within_a_second grep -q '^cycle 1: ' "$work/stdout" || within_a_second grep -q '^cycle 1: ' "$work/stdout" ||
        fail "no first cycle"
}
stop() {  # signal
    kill -"$1" "$pid"
    wait "$pid" || fail "SIG$1: exit code $?"
    pid=
    "$tool" check "$work/out/Cat.DB" >/dev/null || fail "SIG$1 left a Cat.DB that does not load"
    grep -q '^stopped; Cat.DB: ' "$work/stdout" || fail "SIG$1: no closing line"
}

cp "$realcats/arduino_430cdc.cat" "$catalogs/a.cat"
start
found "$(member arduino_430cdc.cat)" || fail "the first cycle did not take a.cat in"

cp "$realcats/arduino_ftdibus_20101004.cat" "$catalogs/b.cat"
within_a_second found "$(member arduino_ftdibus_20101004.cat)" || fail "an added catalog did not show within a second"

cp "$realcats/arduinostm32_stlinkdbgwinusb_x64.cat" "$catalogs/a.cat"
within_a_second found "$(member arduinostm32_stlinkdbgwinusb_x64.cat)" || fail "a replaced catalog did not show within a second"

before=$(cycles)
cp "$work/out/Cat.DB" "$work/before.db"
rm "$catalogs/b.cat"
# Cat.DB keeps what it recorded: the deletion only brings a cycle that adds nothing.
within_a_second test "$(cycles)" -gt "$before" || fail "a deleted catalog brought no cycle within a second"
cmp -s "$work/out/Cat.DB" "$work/before.db" || fail "a deletion changed Cat.DB"
stop INT
grep -q '^cycle 1: 1 added, 0 refused, ' "$work/stdout" || fail "unexpected first line: $(head -1 "$work/stdout")"

start
cp "$realcats/arduino_ftdibus_20110514.cat" "$catalogs/c.cat"
stop TERM

[ $status = 0 ] && echo "watch cases passed"
exit $status
