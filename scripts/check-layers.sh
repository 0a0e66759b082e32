#!/usr/bin/env bash
# Fails when a source file under src/ includes a header of a folder that is not below its own, so the
# dependencies point down only and no two folders include each other. Layers, bottom to top:
#   base < link < measvals, programs, calrecords (siblings: none includes another) < output < session
#   < windows < app
# tools/, tests/, bench/ and fuzz/ sit outside and may include anything.
# Usage: scripts/check-layers.sh [SOURCE_ROOT]
set -euo pipefail
root="${1:-$(cd "$(dirname "$0")/.." && pwd)}"
src="$root/src"

rank() {
  case "$1" in
    base) echo 0 ;;
    link) echo 1 ;;
    measvals | programs | calrecords) echo 2 ;;
    output) echo 3 ;;
    session) echo 4 ;;
    windows) echo 5 ;;
    app) echo 6 ;;
    *) echo -1 ;;
  esac
}

# Header name -> folder (includes are by file name: every folder is on the include path).
declare -A folderOf=()
failed=0
while IFS= read -r header; do
  relative="${header#"$src"/}"
  folder="${relative%%/*}"
  name="${relative##*/}"
  if [ -n "${folderOf[$name]:-}" ]; then
    echo "check-layers: $name is in both src/${folderOf[$name]} and src/$folder" >&2
    failed=1
  fi
  folderOf[$name]="$folder"
done < <(find "$src" -name '*.h' -type f | sort)

while IFS= read -r file; do
  relative="${file#"$src"/}"
  folder="${relative%%/*}"
  if [ "$folder" = "$relative" ]; then
    continue # src/CMakeLists.txt and the like
  fi
  own=$(rank "$folder")
  if [ "$own" -lt 0 ]; then
    echo "check-layers: src/$relative: folder src/$folder has no place in the layers" >&2
    failed=1
    continue
  fi
  while IFS=: read -r line include; do
    target="${folderOf[${include##*/}]:-}"
    if [ -z "$target" ]; then
      echo "check-layers: src/$relative:$line includes \"$include\", which is no header under src/" >&2
      failed=1
    elif [ "$target" != "$folder" ] && [ "$(rank "$target")" -ge "$own" ]; then
      echo "check-layers: src/$relative:$line includes \"$include\" of src/$target, not below src/$folder" >&2
      failed=1
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
    sed 's/^\([0-9]*\):[^"]*"\([^"]*\)".*/\1:\2/')
done < <(find "$src" -type f \( -name '*.h' -o -name '*.cpp' \) | sort)

if [ "$failed" -ne 0 ]; then
  exit 1
fi
echo "check-layers: every include points down"
