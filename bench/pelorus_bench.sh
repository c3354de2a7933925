#!/usr/bin/env bash
# Runs the pelorus.exe minute benchmark in a fresh Wine prefix (no drive Z:)
# and prints its table.
#
#   bench/pelorus_bench.sh [BUILD_DIR]     (default: build/mingw64-bench)
exec "$(dirname "${BASH_SOURCE[0]}")/wine_bench.sh" pelorus_bench "${1:-}"
