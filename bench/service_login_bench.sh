#!/usr/bin/env bash
# Runs the service login benchmark in a fresh Wine prefix (no drive Z:) and prints its
# table.
#
#   bench/service_login_bench.sh [BUILD_DIR]     (default: build/mingw64-bench)
#
# Builds the mingw64 programs it needs with NOX_BUILD_BENCH=ON first.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)
build=${1:-$repo/build/mingw64-bench}
readonly kWine=/usr/lib/wine/wine64

cd "$repo"
cmake --preset mingw64 -B "$build" -DNOX_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target service_login_bench two_start_floor explorer CLASPS tessel NoxService \
  e2e_start_recorder >/dev/null
build=$(cd "$build" && pwd -P)

work=$(mktemp -d "${TMPDIR:-/tmp}/nox-bench.XXXXXX")
prefix=$work/prefix
trap 'NOX_WINEPREFIX=$prefix "$repo/tests/wine/server" stop >/dev/null 2>&1 || true; rm -rf -- "$work"' EXIT
NOX_BUILD_DIR=$build "$repo/tests/wine/prefix" "$prefix" >/dev/null
NOX_WINEPREFIX=$prefix "$repo/tests/wine/server" start
# The programs run from drive C:, through the prefix's link to the build.
(cd "$prefix/drive_c" && USER=pupil WINEPREFIX=$prefix WINEDEBUG=-all \
  "$kWine" 'C:\nox-build\bin\service_login_bench.exe') </dev/null 2>/dev/null | tr -d '\r'
