#!/usr/bin/env bash
# Builds a Wine benchmark and the programs it times, runs it in a fresh Wine
# prefix (no drive Z:) with the logon name "pupil", and prints its table.
#
#   bench/wine_bench.sh BENCH BUILD_DIR [TARGET...]
#
# BENCH is the benchmark's target (BENCH.exe); BUILD_DIR empty means
# build/mingw64-bench, configured with NOX_BUILD_BENCH=ON.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)
bench=${1:?usage: wine_bench.sh BENCH BUILD_DIR [TARGET...]}
build=${2:-$repo/build/mingw64-bench}
shift 2
readonly kWine=/usr/lib/wine/wine64

cd "$repo"
cmake --preset mingw64 -B "$build" -DNOX_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target "$bench" "$@" >/dev/null
build=$(cd "$build" && pwd -P)

work=$(mktemp -d "${TMPDIR:-/tmp}/nox-bench.XXXXXX")
prefix=$work/prefix
trap 'NOX_WINEPREFIX=$prefix "$repo/tests/wine/server" stop >/dev/null 2>&1 || true; rm -rf -- "$work"' EXIT
NOX_BUILD_DIR=$build "$repo/tests/wine/prefix" "$prefix" >/dev/null
NOX_WINEPREFIX=$prefix "$repo/tests/wine/server" start
# The programs run from drive C:, through the prefix's link to the build.
(cd "$prefix/drive_c" && USER=pupil WINEPREFIX=$prefix WINEDEBUG=-all \
  "$kWine" "C:\\nox-build\\bin\\$bench.exe") </dev/null 2>/dev/null | tr -d '\r'
