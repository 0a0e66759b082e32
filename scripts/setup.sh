#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the program need.
# Does nothing when they are all present, so every other script can call it first.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libqt6serialport6
  libqt6svg6 qt6-svg-dev qt6-charts-dev libqt6opengl6-dev qt6-qpa-plugins libgl-dev
  libxlsxwriter-dev
  # The archive: Qt's SQLite and PostgreSQL drivers; the tests start their own PostgreSQL server and
  # read archives with the sqlite3 tool.
  libqt6sql6-sqlite libqt6sql6-psql libsqlite3-dev libpq-dev postgresql sqlite3
  # The trail's test of a PC clock set back.
  faketime
  # Control charts: their limits and statistics checked against NumPy's.
  python3-numpy
  # Delivery's test of a polling reader of the drop folder, and the profiles read back by Python's csv.
  inotify-tools python3
  clang-14 libclang-rt-14-dev clang-format clang-tidy
  # scripts/lint.sh: Qt-specific checks of the sources, checks of the shell scripts.
  clazy shellcheck
  xvfb xauth poppler-utils openbox
  fonts-dejavu-core
  qt6-translations-l10n
  libreoffice-calc-nogui
  locales
  lintian desktop-file-utils appstream help2man
  # The package: CPack finds the executables for dpkg-shlibdeps with file; the check looks for
  # processes left behind with pgrep.
  file procps
)

# The tests also run under a comma-decimal C library locale, which a fresh system does not have.
test_locale=de_DE.UTF-8
has_locale() { locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; }

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ] && has_locale; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi
if ! has_locale; then
  echo "setup: generating the locale $test_locale" >&2
  # localedef exits with 1 after mere warnings; whether the locale exists afterwards is what counts.
  $SUDO localedef -i de_DE -c -f UTF-8 "$test_locale" || true
  if ! has_locale; then
    echo "setup: the locale $test_locale could not be generated" >&2
    exit 1
  fi
fi
