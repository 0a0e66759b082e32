#!/usr/bin/env bash
# Installs what is missing, builds and starts the desktop program.
# Usage: scripts/run.sh            the program, searching the real serial ports
#        scripts/run.sh --demo     the program with a simulated meter (datasets, programs, records):
#                                  meravo --demo, which starts and ends the simulator itself
# Without a display (no DISPLAY or WAYLAND_DISPLAY) the program runs on a virtual X server.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh" "$root/build" >&2
bin="$root/build/bin"

launch=("$bin/meravo")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  launch=(xvfb-run -a "$bin/meravo")
fi

exec "${launch[@]}" "$@"
