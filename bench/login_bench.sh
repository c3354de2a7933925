#!/usr/bin/env bash
# Runs the login benchmark in a fresh Wine prefix (no drive Z:) and prints its
# table.
#
#   bench/login_bench.sh [BUILD_DIR]     (default: build/mingw64-bench)
exec "$(dirname "${BASH_SOURCE[0]}")/wine_bench.sh" login_bench "${1:-}" \
  empty_program two_start_floor explorer CLASPS tessel noxadmin e2e_start_recorder
