#!/usr/bin/env bash
# Formatting and static analysis over every source (clang-tidy, clazy) and every shell script
# (shellcheck); all must be clean (CI runs this).
# Usage: scripts/lint.sh [BUILD_DIR]   (the build's compile_commands.json feeds clang-tidy)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
cd "$root"
"$root/scripts/setup.sh"
find src tools tests bench fuzz \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format --dry-run -Werror
[ -f "$build/compile_commands.json" ] || "$root/scripts/build.sh" "$build"
# The checks and the header filter are in .clang-tidy; every finding is an error. clang-tidy falls back
# to its defaults when it cannot read that file, so a broken file would pass silently: refuse it first.
if clang-tidy -p "$build" --dump-config "$root/src/base/CIni.cpp" 2>&1 | grep -q "Error parsing"; then
  echo "lint: .clang-tidy cannot be read" >&2
  exit 1
fi
run-clang-tidy -quiet -p "$build" -j "$(nproc)" "$root/(src|tools)/.*\.cpp\$" > "$build/clang-tidy.log" 2>&1 || {
  grep -E "(warning|error):" "$build/clang-tidy.log" | sort -u >&2
  echo "lint: clang-tidy found the faults above" >&2
  exit 1
}
# Qt-specific faults: clazy's level-1 checks over the same sources; every finding is an error. Left out:
# non-pod-global-static, which flags every file-scope text constant; those are QStrings from literals
# (no allocation, no order among them) that only code after main reads.
clazy_checks="level1,no-non-pod-global-static"
find src tools -name '*.cpp' -print0 |
  xargs -0 -n 4 -P "$(nproc)" clazy-standalone -p "$build" --checks="$clazy_checks" \
    --header-filter="$root/(src|tools)/.*" --ignore-dirs='.*_autogen.*' > "$build/clazy.log" 2>&1 || true
if grep -qE "(warning|error):" "$build/clazy.log"; then
  grep -E "(warning|error):" "$build/clazy.log" | sort -u >&2
  echo "lint: clazy found the faults above" >&2
  exit 1
fi
# The shell scripts, with the checks of shellcheck.
shellcheck scripts/*.sh .ci/run tests/*.sh tests/support/*.sh
echo "lint: clean"
