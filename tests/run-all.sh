#!/usr/bin/env bash
# The project's test command: installs what it needs, builds, and runs every
# test: native (with the benchmarks built and the catalog-tree benchmark's
# engine/libcrypto agreement checked on a small tree), AddressSanitizer+UBSan,
# ThreadSanitizer over the engine tests with several walking threads, the Windows build under Wine (unit tests and the command-line cases compared
# with the native output), and a short run of every fuzz target. Build trees go to out/.
#
#   tests/run-all.sh            everything
#   KORVA_STAGES="native asan" tests/run-all.sh   a subset (native asan tsan windows fuzz)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/out"
stages=${KORVA_STAGES:-native asan tsan windows fuzz}
jobs=$(nproc 2>/dev/null || echo 2)
fuzz_seconds=${KORVA_FUZZ_SECONDS:-10}
summary=()
failures=0

log() { printf '\n=== %s\n' "$*"; }

apt_install() {  # packages not yet installed
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

install_packages() {
    apt_install cmake ninja-build g++ clang libgtest-dev libgmock-dev googletest libbenchmark-dev libssl-dev \
        g++-mingw-w64-x86-64-posix wine64 perl python3 osslsigncode
    # The sanitizer and fuzzer runtimes of the clang that is installed.
    local clang_major
    clang_major=$(clang --version | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -1)
    [ -n "$clang_major" ] && apt_install "libclang-rt-$clang_major-dev"
}

# A Wine program: on PATH, or where distributions keep it out of PATH.
find_wine_program() {  # names...
    local name dir
    for name in "$@"; do
        command -v "$name" 2>/dev/null && return 0
        for dir in /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine /usr/lib64/wine /opt/wine-stable/bin /opt/wine-devel/bin; do
            [ -x "$dir/$name" ] && { echo "$dir/$name"; return 0; }
        done
    done
    return 1
}

# record <stage> <command...>: runs a stage and remembers its verdict.
record() {
    local stage=$1
    shift
    if "$@"; then
        summary+=("$stage: ok")
    else
        summary+=("$stage: FAILED")
        failures=$((failures + 1))
    fi
}

configure_and_build() {  # dir cmake-args...
    local dir=$1
    shift
    cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null && cmake --build "$dir" -j "$jobs"
}

# A script over the published catalogs; 77 means ../shared is missing.
shared_cases() {  # script program
    local rc=0
    "$1" "$2" || rc=$?
    [ $rc = 0 ] || [ $rc = 77 ]
}
engine_cases() { shared_cases "$root/tests/e2e/run-engine-cases.sh" "$1"; }

stage_native() {
    log "native build and tests"
    configure_and_build "$out/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVA_BUILD_BENCH=ON &&
        (cd "$out/native" && ctest --output-on-failure -j "$jobs") &&
        "$root/tests/e2e/run-cattool-cases.sh" posix "$out/native/tools/cattool/KorvaCatalogTool" &&
        engine_cases "$out/native/frontend/KorvaCatalogDB" &&
        shared_cases "$root/tests/e2e/run-watch-cases.sh" "$out/native/tools/cattool/KorvaCatalogTool" &&
        "$out/native/bench/catalog_tree_bench" --catalogs 60 --package-members 2000 --check-only
}

stage_asan() {
    log "AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
    CC=clang CXX=clang++ configure_and_build "$out/asan" -DCMAKE_BUILD_TYPE=Debug -DKORVA_SANITIZE=ON &&
        (cd "$out/asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
            ctest --output-on-failure -j "$jobs") &&
        "$root/tests/e2e/run-cattool-cases.sh" posix "$out/asan/tools/cattool/KorvaCatalogTool" &&
        engine_cases "$out/asan/frontend/KorvaCatalogDB" &&
        shared_cases "$root/tests/e2e/run-watch-cases.sh" "$out/asan/tools/cattool/KorvaCatalogTool"
}

# Only the engine's test programs and what they link: the threads that walk
# catalogs run in the update cycle, and a small tree keeps the stage short.
stage_tsan() {
    log "ThreadSanitizer build of the engine tests, run with several walking threads"
    local tests=(fast_path_tests update_cycle_tests engine_tests)
    CC=clang CXX=clang++ cmake -S "$root" -B "$out/tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVA_TSAN=ON \
        >/dev/null &&
        cmake --build "$out/tsan" -j "$jobs" --target "${tests[@]}" &&
        (cd "$out/tsan" && KORVA_WORKERS=4 TSAN_OPTIONS=halt_on_error=1 \
            ctest --output-on-failure -j "$jobs" -R "^($(IFS='|'; echo "${tests[*]}"))\$")
}

stage_windows() {
    log "Windows build (mingw-w64) and tests under Wine"
    export WINEPREFIX="$out/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    local wine wineserver
    wine=$(find_wine_program wine64 wine) || { echo "no wine64 or wine found"; return 1; }
    wineserver=$(find_wine_program wineserver64 wineserver) || wineserver=
    configure_and_build "$out/windows" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release || return 1
    [ -d "$WINEPREFIX" ] || "$wine" wineboot -i >/dev/null 2>&1
    [ -n "$wineserver" ] && { "$wineserver" -p 60 >/dev/null 2>&1 || true; }  # keep one server for all the runs
    local status=0
    (cd "$out/windows" && ctest --output-on-failure) || status=1
    WINE="$wine" "$root/tests/e2e/run-frontend-cases.sh" wine "$out/windows/frontend/KorvaCatalogDB.exe" || status=1
    # Compared with the native stage's build, when that stage ran.
    if [ -x "$out/native/frontend/KorvaCatalogDB" ]; then
        local rc=0
        WINE="$wine" "$root/tests/e2e/run-engine-wine.sh" "$out/windows/frontend/KorvaCatalogDB.exe" \
            "$out/native/frontend/KorvaCatalogDB" || rc=$?
        [ $rc = 0 ] || [ $rc = 77 ] || status=1
    fi
    WINE="$wine" "$root/tests/e2e/run-cattool-cases.sh" wine "$out/windows/tools/cattool/KorvaCatalogTool.exe" || status=1
    return $status
}

stage_fuzz() {
    log "fuzz targets, ${fuzz_seconds}s each"
    CC=clang CXX=clang++ configure_and_build "$out/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKORVA_BUILD_FUZZ=ON -DKORVA_BUILD_TESTS=OFF || return 1
    local status=0 target
    for target in "$out"/fuzz/fuzz/*_fuzz; do
        [ -x "$target" ] || continue
        local name corpus work
        name=$(basename "$target")
        corpus="$root/fuzz/corpus/${name%_fuzz}"
        work=$(mktemp -d "${TMPDIR:-/tmp}/korva-fuzz-$name-$$.XXXXXX")
        [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
        # fuzz/<target>.options holds further libFuzzer flags, such as a
        # -max_len big enough for the inputs that make a parser slow, and the
        # -dict= of the tokens the target's parser knows.
        local options=()
        [ -f "$root/fuzz/$name.options" ] && read -r -a options < "$root/fuzz/$name.options"
        options=("${options[@]/#-dict=/-dict=$root/}")  # dictionaries are named from the source root
        echo "-- $name"
        "$target" -max_total_time="$fuzz_seconds" -print_final_stats=0 "${options[@]}" "$work" 2>"$work.log" || {
            status=1
            tail -40 "$work.log"
        }
        rm -rf "$work" "$work.log"
    done
    return $status
}

install_packages
for stage in $stages; do
    record "$stage" "stage_$stage"
done

log "summary"
printf '%s\n' "${summary[@]}"
passed=$(( ${#summary[@]} - failures ))
echo "stages: $passed passed, $failures failed"
[ "$failures" -eq 0 ]
