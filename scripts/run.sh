#!/usr/bin/env bash
# Installs what is missing, builds and starts the desktop program.
# Usage: scripts/run.sh            the program, searching the real serial ports
#        scripts/run.sh --demo     the program with a simulated meter (datasets, programs, records)
# Without a display (no DISPLAY or WAYLAND_DISPLAY) the program runs on a virtual X server.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh" "$root/build" >&2
bin="$root/build/bin"

launch=("$bin/meravo")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  launch=(xvfb-run -a "$bin/meravo")
fi

if [ "${1:-}" = "--demo" ]; then
  shift
  demo="$(mktemp -d)"
  sim=""
  cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    rm -rf "$demo"
  }
  trap cleanup EXIT
  "$bin/metersim" --link "$demo/meter" --model "Lumora Turb" --firmware 2.10 --serial 240117 \
    --variant 030909 --datasets 250 --ph-points 3 \
    --program "901,PO4,16,436,0.0,2.0,0.0,1.0,0.01,PO4-P,mg/l,1,1,0" \
    --program "915,NO3,24,525,0.05,1.8,0.012,0.875,0.1,NO3-N,mg/l,0,1,1" > "$demo/ready" &
  sim=$!
  for _ in $(seq 100); do grep -q '^ready' "$demo/ready" 2>/dev/null && break; sleep 0.1; done
  grep -q '^ready' "$demo/ready" || { echo "run.sh: the simulated meter did not start" >&2; exit 1; }
  export MERAVO_PORTS="$demo/meter"
  "${launch[@]}" "$@"
  exit $?
fi
exec "${launch[@]}" "$@"
