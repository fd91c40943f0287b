#!/usr/bin/env bash
# Runs the command-line cases of frontend-cases.tsv against one build of the
# tool and compares standard output (with host paths replaced by @OUT@ and
# @EXEDIR@) and the exit code with expected/<case>.txt. The same expectations
# serve the POSIX build and the Windows build under Wine, so passing on both
# proves that the hosts print the same bytes.
#
#   run-frontend-cases.sh posix <KorvaCatalogDB>
#   run-frontend-cases.sh wine  <KorvaCatalogDB.exe>      (WINEPREFIX must be set)
#   UPDATE_EXPECTED=1 ...  rewrites the expectations instead of comparing.
set -uo pipefail

host=$1
exe=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
wine=${WINE:-$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)}
silo='{6D2A57C4-3B1E-4F60-9A8B-2C7D1E0F4A93}'
work=$(mktemp -d "${TMPDIR:-/tmp}/korva-e2e-$$.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Host path of a directory as the tool sees it.
tool_path() {
    if [ "$host" = wine ]; then printf 'Z:%s' "${1//\//\\}"; else printf '%s' "$1"; fi
}

reg_escape() { printf '%s' "${1//\\/\\\\}"; }

# The registry facts of one case, as a .reg file.
write_reg() {  # out_dir value_name value_type value_data
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_LOCAL_MACHINE\\%s]\r\n\r\n' "$silo_key"
        printf '[HKEY_LOCAL_MACHINE\\%s\\Shared Kit\\PathExpansionMap]\r\n' "$silo_key"
        printf '"TARNDRIVERS64"="%s"\r\n\r\n' "$(reg_escape "$1")"
        printf '[HKEY_LOCAL_MACHINE\\%s\\ProductInfo]\r\n' "$silo_key"
        if [ "$2" != - ] && [ "$host" = posix ]; then
            case $3 in
                REG_DWORD) printf '"%s"=dword:%08x\r\n' "$2" "$4" ;;
                REG_SZ) printf '"%s"="%s"\r\n' "$2" "$4" ;;
                REG_QWORD) printf '"%s"=hex(b):%02x,00,00,00,00,00,00,00\r\n' "$2" "$4" ;;
            esac
        fi
    } > "$work/case.reg"
}

load_registry() {  # value_name value_type value_data
    if [ "$host" = wine ]; then
        "$wine" reg delete "HKLM\\Software\\Tarnwick" /f </dev/null >/dev/null 2>&1
        "$wine" reg delete "HKLM\\Software\\Wow6432Node\\Tarnwick" /f </dev/null >/dev/null 2>&1
        "$wine" reg import "$work/case.reg" </dev/null >/dev/null 2>&1 || { echo "reg import failed"; return 1; }
        if [ "$1" != - ]; then
            "$wine" reg add "HKLM\\$silo_key\\ProductInfo" /v "$1" /t "$2" /d "$3" /f </dev/null >/dev/null 2>&1 \
                || { echo "reg add failed"; return 1; }
        fi
    else
        export KORVA_REGISTRY_FILE="$work/case.reg"
    fi
}

run_tool() {  # exe_copy args...
    if [ "$host" = wine ]; then "$wine" "$@"; else "$@"; fi
}

passed=0
failed=0
while IFS=$'\t' read -r name native64 view value_name value_type value_data arguments exit_expected; do
    case $name in ''|'#'*) continue ;; esac
    case_dir="$work/$name"
    mkdir -p "$case_dir/bin" "$case_dir/out"
    cp "$exe" "$case_dir/bin/"
    out_path=$(tool_path "$case_dir/out")
    exe_dir=$(tool_path "$case_dir/bin")
    if [ "$native64" != no ]; then
        printf '[isolation]\r\nsilo=%s\r\nNative64=%s\r\n' "$silo" "$native64" > "$case_dir/bin/isolate.ini"
    fi
    # The 32-bit view of HKLM\Software lives below Software\Wow6432Node on both hosts.
    silo_key="Software\\Tarnwick\\Isolation\\$silo"
    [ "$view" = 32 ] && silo_key="Software\\Wow6432Node\\Tarnwick\\Isolation\\$silo"
    write_reg "$out_path" "$value_name" "$value_type" "$value_data"
    load_registry "$value_name" "$value_type" "$value_data" || { failed=$((failed + 1)); continue; }

    args=()
    if [ "$arguments" != - ]; then
        for word in $arguments; do args+=("${word//@OUT@/$out_path}"); done
    fi
    run_tool "$case_dir/bin/$(basename "$exe")" "${args[@]}" < /dev/null > "$case_dir/stdout"
    code=$?
    sep=/
    [ "$host" = wine ] && sep='\'
    # Byte-exact apart from the host paths; the exit code is the last line.
    OUT="$out_path" EXEDIR="$exe_dir$sep" perl -pe 's/\Q$ENV{EXEDIR}\E/\@EXEDIR\@/g; s/\Q$ENV{OUT}\E/\@OUT\@/g' \
        < "$case_dir/stdout" > "$case_dir/actual"
    printf 'exit %s\n' "$code" >> "$case_dir/actual"

    expected_file="$here/expected/$name.txt"
    [ -n "${UPDATE_EXPECTED:-}" ] && cp "$case_dir/actual" "$expected_file"
    if [ "$code" = "$exit_expected" ] && cmp -s "$expected_file" "$case_dir/actual"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL $host $name (exit $code, expected $exit_expected)"
        diff "$expected_file" "$case_dir/actual" | head -20
    fi
done < "$here/frontend-cases.tsv"

echo "frontend cases ($host): $passed passed, $failed failed"
[ "$failed" -eq 0 ]
