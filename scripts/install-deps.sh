#!/usr/bin/env bash
# Installs every Debian package that building and testing brevant needs.
# Idempotent: packages already present are skipped quickly by apt.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
export DEBIAN_FRONTEND=noninteractive

# Wine's 32-bit half needs the i386 architecture before the package lists are read.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi

packages=(
  # native toolchains and test libraries
  build-essential cmake ninja-build pkg-config clang-14 libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  # Linux port: GLib loop, HTTP, browser control, windows
  libglib2.0-dev libsoup-3.0-dev glib-networking libgtk-3-dev libwebkit2gtk-4.1-dev
  # bundled translation server
  libcpp-httplib-dev nlohmann-json3-dev
  # Windows cross builds and the wine test tier
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools libwine-dev
  wine wine64 wine32:i386
  # headless display for GUI tiers
  xvfb xauth
  # page tier: browser and node
  chromium fonts-noto-cjk
  curl ca-certificates
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
echo "install-deps: all packages present"
