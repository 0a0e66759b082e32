#!/usr/bin/env bash
# Renders every window of the desktop program (offscreen) into PNG files.
# Usage: scripts/screenshots.sh [--lang en|de|fr|es] [OUTPUT_FOLDER]
#   (default folder: out/screenshots, or out/screenshots/LANG with --lang)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
lang=""
if [ "${1:-}" = "--lang" ]; then
  lang="${2:?--lang needs a language: en, de, fr or es}"
  shift 2
fi
out="${1:-$root/out/screenshots${lang:+/$lang}}"
"$root/scripts/build.sh" "$root/build" >&2
mkdir -p "$out"
QT_QPA_PLATFORM=offscreen MERAVO_PROGRAM_DIR="$root/build/bin" \
  "$root/build/bin/meravo-screenshots" ${lang:+--lang "$lang"} "$out"
echo "screenshots in $out" >&2
