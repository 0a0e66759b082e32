#!/usr/bin/env bash
# Renders every window of the desktop program (offscreen) into PNG files.
# Usage: scripts/screenshots.sh [OUTPUT_FOLDER]   (default: out/screenshots)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/out/screenshots}"
"$root/scripts/build.sh" "$root/build" >&2
mkdir -p "$out"
QT_QPA_PLATFORM=offscreen MERAVO_PROGRAM_DIR="$root/build/bin" "$root/build/bin/meravo-screenshots" "$out"
echo "screenshots in $out" >&2
