#!/usr/bin/env bash
# The layer check against small trees: each case plants one include and expects the check's verdict
# (0 passes, 1 fails naming the include).
# Usage: tests/check_layers_plants.sh SOURCE_ROOT
set -uo pipefail
check="$1/scripts/check-layers.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# case: file that includes | header it includes | expected exit code
cases=(
  "link/Down.cpp|base/Low.h|0"
  "windows/Same.cpp|windows/Peer.h|0"
  "output/Down.cpp|calrecords/Rec.h|0"
  "app/Top.cpp|windows/Win.h|0"
  "base/Up.cpp|link/Link.h|1"
  "windows/Up.cpp|app/Frame.h|1"
  "measvals/Side.cpp|programs/Prog.h|1"
  "calrecords/Up.h|output/Out.h|1"
  "session/Up.cpp|missing/Nowhere.h|1"
  "extra/Any.cpp|base/Low.h|1"
)
failed=0
for entry in "${cases[@]}"; do
  IFS='|' read -r file header expected <<<"$entry"
  tree="$work/$RANDOM$RANDOM"
  mkdir -p "$tree/src/$(dirname "$file")"
  [ "${header%%/*}" = missing ] || { mkdir -p "$tree/src/$(dirname "$header")" && : >"$tree/src/$header"; }
  printf '#include "%s"\n' "$(basename "$header")" >"$tree/src/$file"
  output="$(bash "$check" "$tree" 2>&1)"
  actual=$?
  if [ "$actual" -ne "$expected" ]; then
    echo "FAIL $file including $header: exit $actual, expected $expected: $output"
    failed=1
  elif [ "$expected" -ne 0 ] && ! grep -q "src/$file:1 " <<<"$output" &&
    ! grep -q "src/${file%%/*} has no place" <<<"$output"; then
    echo "FAIL $file including $header: the message does not name the include: $output"
    failed=1
  fi
done
exit "$failed"
