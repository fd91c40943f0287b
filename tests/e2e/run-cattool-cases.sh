#!/usr/bin/env bash
# Runs the command cases of cattool/cases/<command>.tsv against one build of
# KorvaCatalogTool and compares standard output plus the exit code with
# cattool/expected/<case>.txt. The Windows build under Wine must print the
# same bytes as the POSIX build. What differs by nature is masked first: the
# work folder, a build's duration, and the host's words for an error.
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
cp -r "$here/cattool/cats" "$work/cats"
: > "$work/empty.cat"
: > "$work/afile"
catroot="$work/System32/CatRoot/{F750E6C3-38EE-11D1-85E5-00C04FC295EE}"
mkdir -p "$catroot"
for name in accepted untrusted_root truncated unsigned revoked; do cp "$here/cattool/cats/$name.cat" "$catroot/"; done
export KORVA_SYSTEM_DIR="$work/System32"
cp "$here/cattool/sample.db" "$work/sample"
cp "$work/sample" "$work/dirty" && printf '\001' | dd of="$work/dirty" bs=1 seek=8 conv=notrunc status=none
head -c -1 "$work/sample" > "$work/cut"
{ cat "$work/sample"; printf '\000'; } > "$work/tag"

passed=0
failed=0
mask() {
    sed -e "s|$work|WORK|g" -e 's/, in [0-9.]* s$/, in T s/' -e 's/"milliseconds":[0-9]*/"milliseconds":T/' \
        -e 's/"error":{"code":\([0-9]*\),"text":"[^"]*"}/"error":{"code":\1,"text":"(host words)"}/g'
}

for table in "$here"/cattool/cases/*.tsv; do
    while IFS=$'\t' read -r name db arguments exit_expected hosts; do
        case $name in '#'*|'') continue ;; esac
        [ -n "${hosts:-}" ] && [ "$hosts" != "$host" ] && continue
        read -r -a words <<< "$arguments"
        command=("${words[0]}")
        holder=
        case $db in
            -) ;;
            held|built) ;;
            grown) cp "$work/sample" "$work/grown" && command+=(grown) ;;
            *) command+=("$db") ;;
        esac
        command+=("${words[@]:1}")
        rm -rf "$work/out" && mkdir "$work/out"
        if [ "$db" = built ]; then
            (cd "$work" && "$exe" build --trust-test-root cats/root.der out > /dev/null 2>&1 </dev/null)
        fi
        if [ "$db" = held ]; then
            ( exec 9>"$work/out/Cat.DB"; flock -x 9; exec sleep 30 ) &
            holder=$!
            sleep 0.2
        fi
        if [ "$host" = wine ]; then
            (cd "$work" && "$wine" "$exe" "${command[@]}" > "$work/stdout" 2>/dev/null </dev/null)
        else
            (cd "$work" && "$exe" "${command[@]}" > "$work/stdout" 2>/dev/null </dev/null)
        fi
        code=$?
        [ -n "$holder" ] && { kill "$holder"; wait "$holder" 2>/dev/null; }
        { mask < "$work/stdout"; printf 'exit %s\n' "$code"; } > "$work/actual"
        expected_file="$here/cattool/expected/$name.txt"
        [ -n "${UPDATE_EXPECTED:-}" ] && mkdir -p "$here/cattool/expected" && cp "$work/actual" "$expected_file"
        if [ "$code" = "$exit_expected" ] && cmp -s "$expected_file" "$work/actual"; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
            echo "FAIL $host $name (exit $code, expected $exit_expected)"
            diff "$expected_file" "$work/actual" | head -20
        fi
    done < "$table"
done

echo "companion tool cases ($host): $passed passed, $failed failed"
[ "$failed" -eq 0 ]
