#!/usr/bin/env bash
# Installs every Debian package that building and testing brevant needs.
# Idempotent: packages already present are skipped. The 32-bit half of Wine is optional: where it
# cannot be installed (or the machine cannot run 32-bit programs) the 32-bit Windows tier is
# reported as not run by scripts/run-tests.sh.
set -uo pipefail

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
export DEBIAN_FRONTEND=noninteractive

packages=(
  # native toolchains and test libraries
  build-essential cmake ninja-build pkg-config clang-14 libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  # Linux port: GLib loop, HTTP, browser control, windows
  libglib2.0-dev libsoup-3.0-dev glib-networking libgtk-3-dev libwebkit2gtk-4.1-dev
  # bundled translation server
  nlohmann-json3-dev libboost1.81-dev libssl-dev
  # Windows cross builds, the wine test tier and the installer
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools libwine-dev
  wine wine64 nsis
  # headless display for GUI tiers
  xvfb xauth
  # page tier: browser and fonts
  chromium fonts-noto-cjk
  curl ca-certificates
)
# Node.js and npm for the page tier, unless the machine already has them (from whatever source:
# Debian's npm cannot be installed beside another vendor's nodejs).
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing_of() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

updated=0
apt_update() {
  # A mirror caught mid-sync fails some index files; the others are still usable, so a failed
  # update is retried once and then tolerated: the install below says whether it was enough.
  local try
  for try in 1 2; do
    if $SUDO apt-get update -qq; then updated=1; return 0; fi
    sleep 5
  done
  updated=1
  echo "install-deps: apt-get update reported errors; going on with the package lists it got" >&2
}

apt_install() {
  $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

mapfile -t missing < <(missing_of "${packages[@]}")
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  apt_update
  if ! apt_install "${missing[@]}"; then
    apt_update
    if ! apt_install "${missing[@]}"; then
      echo "install-deps: could not install: ${missing[*]}" >&2
      exit 1
    fi
  fi
fi

# Wine's 32-bit half: needs the i386 architecture in the package lists.
if [ -z "$(missing_of wine32:i386)" ]; then
  :
else
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    updated=0
  fi
  [ "$updated" -eq 1 ] || apt_update
  if apt_install wine32:i386; then
    echo "install-deps: installed wine32:i386"
  else
    echo "install-deps: wine32:i386 could not be installed; the 32-bit Windows tier will not run" >&2
  fi
fi
echo "install-deps: all required packages present"
