#!/usr/bin/env bash
# The main job: the stand-in messenger with the plug-in and the bundled translation server.
#   scripts/run-messenger.sh [messenger-sim options]
# Installs what is missing (scripts/install-deps.sh), builds the messenger and the server
# (build/linux-release), and starts the messenger, which starts the server on a free loopback
# port and prepares its plug-in folder. On a display the messenger opens for use by hand;
# without one the demo runs under Xvfb: the conversation is printed as text and screenshots
# and a JSON transcript are written to build/messenger-demo/.
set -euo pipefail
cd "$(dirname "$0")/.."

# What building and running the messenger needs (scripts/install-deps.sh installs it all).
needed=(build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
        libglib2.0-dev libsoup-3.0-dev libgtk-3-dev libwebkit2gtk-4.1-dev nlohmann-json3-dev
        libboost1.81-dev libssl-dev xvfb xauth fonts-noto-cjk)
have_everything() {
  local p
  for p in "${needed[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || return 1
  done
}
if ! have_everything; then
  bash scripts/install-deps.sh
fi

build=build/linux-release
if [ ! -f "$build/build.ninja" ]; then
  cmake --preset linux-release >/dev/null
fi
cmake --build "$build" --target messenger-sim trans-server -j"$(nproc)"
messenger=$build/tools/messenger-sim/messenger-sim

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [[ " $* " != *" --demo "* ]]; then
  exec "$messenger" "$@"
fi
out=build/messenger-demo
mkdir -p "$out"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$messenger" --out "$out" "$@"
fi
echo "No display: running the demo under Xvfb."
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$messenger" --demo --out "$out" "$@"
