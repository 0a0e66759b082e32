#!/usr/bin/env bash
# Installs what is missing, builds and starts the program (for now the command-line companion).
# Usage: scripts/run.sh [meravo-cli arguments...]      e.g. scripts/run.sh identify
#        scripts/run.sh --demo [meravo-cli arguments]  the same against a simulated meter
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/build.sh" "$root/build" >&2
bin="$root/build/bin"
if [ "${1:-}" = "--demo" ]; then
  shift
  demo="$(mktemp -d)"
  trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -rf "$demo"' EXIT
  "$bin/metersim" --link "$demo/meter" > "$demo/ready" &
  sim=$!
  for _ in $(seq 50); do grep -q ready "$demo/ready" 2>/dev/null && break; sleep 0.1; done
  export MERAVO_PORTS="$demo/meter"
  [ $# -gt 0 ] || set -- identify
  "$bin/meravo-cli" "$@"
  exit $?
fi
[ $# -gt 0 ] || set -- --help
exec "$bin/meravo-cli" "$@"
