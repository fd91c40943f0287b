#!/usr/bin/env bash
# Builds the tool natively and runs it on the bundled sample configuration:
# a silo described by tools/sample/isolate.ini, registry facts from
# tools/sample/registry.reg, and a sample system directory whose CatRoot
# folders the engine scans. Everything it writes goes to out/sample/; it ends
# with the companion tool's build report and why one catalog was refused.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
sample="$root/tools/sample"
build="$root/out/tool"
run="$root/out/sample"

if ! command -v cmake >/dev/null || ! command -v ninja >/dev/null || ! command -v g++ >/dev/null; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends cmake ninja-build g++ >/dev/null
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target KorvaCatalogDB KorvaCatalogTool

# The tool finds isolate.ini beside its executable, so run a copy from out/sample/bin.
# The sample maps %TARNDRIVERS64% to the silo's local data folder, which the
# POSIX host places below KORVA_CSIDL_28 (local application data).
silo=$(sed -n 's/^silo=\([^\r]*\).*/\1/p' "$sample/isolate.ini")
rm -rf "$run"
mkdir -p "$run/bin" "$run/local/Tarnwick/$silo"
cp "$build/frontend/KorvaCatalogDB" "$sample/isolate.ini" "$run/bin/"

export KORVA_REGISTRY_FILE="$sample/registry.reg"
export KORVA_SYSTEM_DIR="$sample/System32"
export KORVA_CSIDL_28="$run/local"
export KORVA_TRACE="$run/trace.txt"
status=0
"$run/bin/KorvaCatalogDB" /d "$@" || status=$?
echo "(exit code $status; the database directory is $run/local/Tarnwick/$silo)"

ls -l "$run/local/Tarnwick/$silo/Cat.DB" 2>/dev/null || true
[ $status -eq 0 ] || exit $status

# The same cycle through the companion tool, which says what it did and why
# each refused catalog was refused, then one refusal explained in full.
tool="$build/tools/cattool/KorvaCatalogTool"
unset KORVA_TRACE  # the trace file stays the run's own
mkdir -p "$run/report"
echo
echo "\$ KorvaCatalogTool build out/sample/report"
"$tool" build "$run/report" || status=$?
refused="$sample/System32/CatRoot/{F750E6C3-38EE-11D1-85E5-00C04FC295EE}/generated_untrusted_root.cat"
echo
echo "\$ KorvaCatalogTool explain generated_untrusted_root.cat"
"$tool" explain "$refused" || true
exit $status
