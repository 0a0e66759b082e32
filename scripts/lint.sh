#!/usr/bin/env bash
# Formatting and static analysis over every source; both must be clean (CI runs this).
# Usage: scripts/lint.sh [BUILD_DIR]   (the build's compile_commands.json feeds clang-tidy)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
cd "$root"
"$root/scripts/setup.sh"
find src tools tests bench fuzz \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format --dry-run -Werror
[ -f "$build/compile_commands.json" ] || "$root/scripts/build.sh" "$build"
# The checks and the header filter are in .clang-tidy; every finding is an error.
run-clang-tidy -quiet -p "$build" -j "$(nproc)" "$root/(src|tools)/.*\.cpp\$" > "$build/clang-tidy.log" 2>&1 || {
  grep -E "(warning|error):" "$build/clang-tidy.log" | sort -u >&2
  echo "lint: clang-tidy found the faults above" >&2
  exit 1
}
echo "lint: clean"
