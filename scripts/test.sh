#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test.
# Usage: scripts/test.sh [--sanitize] [ctest options...]
#   --sanitize  a separate build under AddressSanitizer and UndefinedBehaviorSanitizer
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
options=(-DMERAVO_WERROR=ON)
if [ "${1:-}" = "--sanitize" ]; then
  shift
  build="$root/build-sanitize"
  options+=(-DMERAVO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
"$root/scripts/build.sh" "$build" "${options[@]}"
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure --parallel "$(nproc)" "$@"
