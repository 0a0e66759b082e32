#!/usr/bin/env bash
# Fails when a source file under src/ includes a header of a folder that is not below its own, so the
# dependencies point down only and no two folders include each other. Layers, bottom to top:
#   base < link < measvals, programs, calrecords (siblings: none includes another) < output < archive
#   < qc, delivery (siblings) < session < windows < app
# tools/, tests/, bench/ and fuzz/ sit outside and may include anything.
# Usage: scripts/check-layers.sh [SOURCE_ROOT]
set -euo pipefail
root="${1:-$(cd "$(dirname "$0")/.." && pwd)}"
src="$root/src"

declare -A rank=([base]=0 [link]=1 [measvals]=2 [programs]=2 [calrecords]=2 [output]=3 [archive]=4
  [qc]=5 [delivery]=5 [session]=6 [windows]=7 [app]=8)

# Header name -> folder (includes are by file name: every folder is on the include path). Table
# fragments (.inc) are included like headers.
declare -A folderOf=()
failed=0
while IFS= read -r file; do
  relative="${file#"$src"/}"
  folder="${relative%%/*}"
  if [ -z "${rank[$folder]:-}" ]; then
    echo "check-layers: src/$relative: folder src/$folder has no place in the layers" >&2
    failed=1
  elif [ "${relative%.h}" != "$relative" ] || [ "${relative%.inc}" != "$relative" ]; then
    name="${relative##*/}"
    if [ -n "${folderOf[$name]:-}" ]; then
      echo "check-layers: $name is in both src/${folderOf[$name]} and src/$folder" >&2
      failed=1
    fi
    folderOf[$name]="$folder"
  fi
done < <(find "$src" -mindepth 2 -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.inc' \) | sort)

# One grep over every source: FILE:LINE:INCLUDED-NAME.
while IFS=: read -r file line include; do
  relative="${file#"$src"/}"
  folder="${relative%%/*}"
  own="${rank[$folder]:-}"
  [ -n "$own" ] || continue # reported above
  target="${folderOf[${include##*/}]:-}"
  if [ -z "$target" ]; then
    echo "check-layers: src/$relative:$line includes \"$include\", which is no header under src/" >&2
    failed=1
  elif [ "$target" != "$folder" ] && [ "${rank[$target]}" -ge "$own" ]; then
    echo "check-layers: src/$relative:$line includes \"$include\" of src/$target, not below src/$folder" >&2
    failed=1
  fi
done < <(grep -rn --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$src" |
  sed 's/^\([^:]*\):\([0-9]*\):[^"]*"\([^"]*\)".*/\1:\2:\3/')

if [ "$failed" -ne 0 ]; then
  exit 1
fi
echo "check-layers: every include points down"
