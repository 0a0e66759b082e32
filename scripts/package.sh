#!/usr/bin/env bash
# Builds the Debian package out/meravo_<version>_<arch>.deb from the build tree the tests use (build/,
# RelWithDebInfo, brought up to date here): CPack installs it stripped and dpkg-shlibdeps finds the
# dependencies. Prints the package's path. Usage: scripts/package.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
"$root/scripts/build.sh" "$build" >&2
staging="$build/package"
rm -rf "$staging"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$staging" >&2
debs=("$staging"/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "package.sh: CPack made no single package in $staging" >&2
  exit 1
fi
mkdir -p "$root/out"
deb="$root/out/$(basename "${debs[0]}")"
mv "${debs[0]}" "$deb"
echo "$deb"
