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

have_everything() {
  command -v cmake >/dev/null && command -v ninja >/dev/null && command -v g++ >/dev/null &&
    command -v xvfb-run >/dev/null && command -v xauth >/dev/null &&
    pkg-config --exists gtk+-3.0 webkit2gtk-4.1 libsoup-3.0 2>/dev/null &&
    [ -f /usr/include/nlohmann/json.hpp ] && [ -d /usr/include/boost/beast ] &&
    fc-list 2>/dev/null | grep -qi 'noto sans cjk'
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
