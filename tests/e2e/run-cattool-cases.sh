#!/usr/bin/env bash
# Runs the command cases of cattool-cases.tsv against one build of
# KorvaCatalogTool and compares standard output plus the exit code with
# cattool/expected/<case>.txt. The Windows build under Wine must print the
# same bytes as the POSIX build.
#
#   run-cattool-cases.sh posix <KorvaCatalogTool>
#   run-cattool-cases.sh wine  <KorvaCatalogTool.exe>      (WINEPREFIX must be set)
#   UPDATE_EXPECTED=1 ...  rewrites the expectations instead of comparing.
set -uo pipefail

host=$1
exe=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
wine=${WINE:-/usr/lib/wine/wine64}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The files every case sees, by relative path, in the case's directory.
cp "$here/cattool/driver.sys" "$here/cattool/driver-odd.sys" "$here/cattool/driver.inf" "$work/"
cp "$here/cattool/sample.db" "$work/sample"
cp "$work/sample" "$work/dirty" && printf '\001' | dd of="$work/dirty" bs=1 seek=8 conv=notrunc status=none
head -c -1 "$work/sample" > "$work/cut"
{ cat "$work/sample"; printf '\000'; } > "$work/tag"

passed=0
failed=0
while IFS=$'\t' read -r name db arguments exit_expected; do
    case $name in '#'*|'') continue ;; esac
    read -r -a words <<< "$arguments"
    command=("${words[0]}")
    [ "$db" != - ] && command+=("$db")
    command+=("${words[@]:1}")
    if [ "$host" = wine ]; then
        (cd "$work" && "$wine" "$exe" "${command[@]}" > "$work/stdout" 2>/dev/null </dev/null)
    else
        (cd "$work" && "$exe" "${command[@]}" > "$work/stdout" 2>/dev/null </dev/null)
    fi
    code=$?
    { cat "$work/stdout"; printf 'exit %s\n' "$code"; } > "$work/actual"
    expected_file="$here/cattool/expected/$name.txt"
    [ -n "${UPDATE_EXPECTED:-}" ] && mkdir -p "$here/cattool/expected" && cp "$work/actual" "$expected_file"
    if [ "$code" = "$exit_expected" ] && cmp -s "$expected_file" "$work/actual"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL $host $name (exit $code, expected $exit_expected)"
        diff "$expected_file" "$work/actual" | head -20
    fi
done < "$here/cattool-cases.tsv"

echo "companion tool cases ($host): $passed passed, $failed failed"
[ "$failed" -eq 0 ]
