#!/usr/bin/env bash
# The login through NoxService beside the direct login and the two-start
# floor, and the idle service's memory, in a fresh Wine prefix.
#
#   bench/service_login_bench.sh [BUILD_DIR]     (default: build/mingw64-bench)
exec "$(dirname "${BASH_SOURCE[0]}")/wine_bench.sh" service_login_bench "${1:-}" \
  two_start_floor explorer CLASPS tessel NoxService e2e_start_recorder
