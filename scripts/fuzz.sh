#!/usr/bin/env bash
# Builds a libFuzzer harness with clang 14 and fuzzes it.
# Usage: scripts/fuzz.sh [SECONDS] [HARNESS]   (defaults: 60, fuzz_answers)
# New inputs go into the scratch corpus fuzz/corpus-new-NAME (ignored by git), which is named first so
# libFuzzer never writes into the committed seeds fuzz/seeds/NAME. Crashes land in build-fuzz/artifacts/;
# add a fixed crash to the seeds by hand.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
seconds="${1:-60}"
harness="${2:-fuzz_answers}"
name="${harness#fuzz_}"
build="$root/build-fuzz"
seeds="$root/fuzz/seeds/$name"
scratch="$root/fuzz/corpus-new-$name"
artifacts="$build/artifacts/$name"

if [ ! -d "$seeds" ]; then
  echo "fuzz.sh: no seed folder $seeds for harness $harness" >&2
  exit 2
fi
generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
# No -Werror here: clang may warn about code that gcc accepts, and the fuzz build is not the gate.
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" "${generator[@]}" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMERAVO_FUZZ=ON >/dev/null
cmake --build "$build" --target "$harness" --parallel 2

mkdir -p "$scratch" "$artifacts"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
exec "$build/bin/$harness" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$artifacts/" "$scratch" "$seeds"
