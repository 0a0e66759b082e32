#!/usr/bin/env bash
# Checks the Debian package as a user gets it: lintian, then installs it with apt-get, runs the installed
# programs (versions, identify against the installed simulator, the edition switch in the conffile, an
# offscreen `meravo --demo` that imports datasets and saves the main window as a PNG picture), purges it
# and checks that nothing of it is left behind. Also on failure the package is purged again.
# Usage: scripts/package-check.sh [PACKAGE.deb]   (default: builds it with scripts/package.sh)
# The picture of the main window is left in out/package-check-main.png.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

fail() {
  echo "package-check: $*" >&2
  exit 1
}
installed() { dpkg-query -W -f='${Status}' meravo 2>/dev/null | grep -q "ok installed"; }

deb="${1:-$("$root/scripts/package.sh")}"
deb="$(realpath "$deb")"
# Somebody else's installation is not ours to purge.
if installed; then fail "meravo is installed already; purge it first"; fi

work="$(mktemp -d)"
sim=""
ours=0
cleanup() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
  if [ "$ours" = 1 ] && installed; then $SUDO apt-get purge -y -qq meravo >/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "package-check: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"
lintian --fail-on error,warning "$deb" || fail "lintian reports errors or warnings"
version="$(dpkg-deb -f "$deb" Version)"
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|; s|/$||' | grep -v '^$' > "$work/paths"

ours=1
$SUDO apt-get install -y -qq "$deb" >/dev/null
installed || fail "the package did not install"
dpkg-query -W -f='${Conffiles}\n' meravo | grep -q '/etc/meravo/Settings.ini' ||
  fail "/etc/meravo/Settings.ini is no conffile"
[ "$(readlink /usr/lib/meravo/Settings.ini)" = /etc/meravo/Settings.ini ] ||
  fail "the program folder's Settings.ini does not link to /etc/meravo"
desktop-file-validate /usr/share/applications/meravo.desktop
appstreamcli validate --no-net /usr/share/metainfo/*.metainfo.xml >/dev/null ||
  fail "the installed metainfo is not valid"
for program in meravo meravo-cli /usr/lib/meravo/metersim; do
  [ "$("$program" --version)" = "$(basename "$program") $version" ] || fail "$program --version is not $version"
done

# The installed programs in a home of their own: nothing they write stays behind.
export HOME="$work/home" TMPDIR="$work/tmp" XDG_RUNTIME_DIR="$work/runtime"
unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME
mkdir -p "$HOME" "$TMPDIR" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
/usr/lib/meravo/metersim --link "$work/meter" --model "Lumora" --serial 190412 > "$work/ready" &
sim=$!
for _ in $(seq 100); do grep -q '^ready' "$work/ready" 2>/dev/null && break; sleep 0.1; done
grep -q '^ready' "$work/ready" || fail "the installed simulator did not start"
identify="$(MERAVO_PORTS="$work/meter" meravo-cli identify)" || fail "identify failed: $identify"
grep -qx 'Meter: Lumora' <<< "$identify" || fail "identify did not recognise the simulator: $identify"
# The edition switch in the conffile reaches the program through the program folder's link.
$SUDO sed -i 's/^OnlyKlaro7=.*/OnlyKlaro7=True/' /etc/meravo/Settings.ini
status=0
MERAVO_PORTS="$work/meter" meravo-cli identify > /dev/null || status=$?
$SUDO sed -i 's/^OnlyKlaro7=.*/OnlyKlaro7=False/' /etc/meravo/Settings.ini
[ "$status" = 1 ] || fail "identify ignored OnlyKlaro7=True in /etc/meravo/Settings.ini (exit $status)"
kill "$sim"
wait "$sim" || true
sim=""

picture="$work/main.png"
QT_QPA_PLATFORM=offscreen timeout 120 meravo --demo --screenshot "$picture" ||
  fail "the offscreen demo did not import and save the main window"
[ "$(head -c 8 "$picture" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$picture is no PNG picture"
mkdir -p "$root/out"
cp "$picture" "$root/out/package-check-main.png"
# The demo's simulator ended with the program, its line and folder went with it.
if pgrep -f "$TMPDIR" > /dev/null; then fail "a simulator of the demo is still running"; fi
[ -z "$(ls -A "$TMPDIR")" ] || fail "the demo left $(ls -A "$TMPDIR") in its temporary folder"

$SUDO apt-get purge -y -qq meravo >/dev/null
installed && fail "the package did not purge"
ours=0
left=()
while IFS= read -r path; do
  # Folders such as /usr/bin belong to other packages too; only the package's own ones must go.
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    case "$path" in /usr/lib/meravo* | /etc/meravo* | /usr/share/doc/meravo*) left+=("$path") ;; esac
  elif [ -e "$path" ] || [ -L "$path" ]; then
    left+=("$path")
  fi
done < "$work/paths"
for path in /etc/meravo /var/lib/dpkg/info/meravo.list /var/lib/dpkg/info/meravo.conffiles; do
  if [ -e "$path" ]; then left+=("$path"); fi
done
[ ${#left[@]} -eq 0 ] || fail "left behind after purge: ${left[*]}"
echo "package-check: installed, checked and purged; nothing left behind"
