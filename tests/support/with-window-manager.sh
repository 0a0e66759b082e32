#!/usr/bin/env bash
# Runs a command on its own virtual X server (a free display) with a real window manager, then takes
# both down. The offscreen platform has no window manager: frames, placement and restore sizes need one.
# Usage: with-window-manager.sh COMMAND [ARGS...]   (MERAVO_WM_SCREEN: the screen, default 1280x1024x24)
set -euo pipefail

work="$(mktemp -d)"
xvfb=""
wm=""
cleanup() {
  [ -n "$wm" ] && kill "$wm" 2>/dev/null && wait "$wm" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The server picks a free display number and writes it to the pipe.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 "${MERAVO_WM_SCREEN:-1280x1024x24}" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
read -r -t 30 number <"$work/display" || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$number"

# Openbox runs its start-up command once it manages the screen.
openbox --sm-disable --startup "touch $work/wm-ready" >"$work/wm.log" 2>&1 &
wm=$!
for _ in $(seq 300); do [ -e "$work/wm-ready" ] && break; sleep 0.1; done
[ -e "$work/wm-ready" ] || { echo "openbox did not start" >&2; cat "$work/wm.log" >&2; exit 1; }

# The windows must go to this server, whatever the caller's platform is.
export QT_QPA_PLATFORM=xcb
# Under the sanitizers: the X keyboard library copies names without a terminator by strndup, which
# strict_string_checks flags, and the D-Bus library keeps an allocation; both are the system's.
here="$(cd "$(dirname "$0")" && pwd)"
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}strict_string_checks=0"
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$here/lsan-x11.supp:print_suppressions=0"
unset WAYLAND_DISPLAY
"$@"
