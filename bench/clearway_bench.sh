#!/usr/bin/env bash
# Runs the uninstaller benchmark in a fresh Wine prefix (no drive Z:) and prints
# its table.
#
#   bench/clearway_bench.sh [BUILD_DIR]     (default: build/mingw64-bench)
exec "$(dirname "${BASH_SOURCE[0]}")/wine_bench.sh" clearway_bench "${1:-}" \
  empty_program explorer Clearway CLASPS tessel e2e_start_recorder
