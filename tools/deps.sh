#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; installs only
# what dpkg-query reports missing, so a second run installs nothing.
set -euo pipefail
pkgs=(
  build-essential cmake ninja-build pkg-config ccache
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev
  unixodbc unixodbc-dev odbcinst libsqliteodbc sqlite3 libsqlite3-dev
  libfltk1.3-dev libpng-dev xvfb xauth locales
  mdbtools-dev
)
missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "deps: all packages present"
  exit 0
fi
echo "deps: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
