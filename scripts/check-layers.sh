#!/usr/bin/env bash
# Fails when a file of the plug-in includes a header of a layer above its own. The layers, top
# to bottom (docs/architecture.md): plugin, chatwin, translate, net, config, platform. com/,
# tools/, tests/, bench/ and fuzz/ sit on top and may include any of them.
set -uo pipefail
cd "$(dirname "$0")/.."

layers=(platform config net translate chatwin plugin)
rank() {
  local i
  for i in "${!layers[@]}"; do
    [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }
  done
  echo -1
}

status=0
for layer in "${layers[@]}"; do
  own=$(rank "$layer")
  while IFS=: read -r file line text; do
    target=$(sed -E 's/.*#include "([a-z_-]+)\/.*/\1/' <<<"$text")
    up=$(rank "$target")
    if [ "$up" -gt "$own" ]; then
      echo "$file:$line: $layer/ includes $target/, a layer above it"
      status=1
    fi
  done < <(grep -rn --include='*.h' --include='*.cpp' '^#include "[a-z_-]*/' "$layer")
done
[ "$status" -eq 0 ] && echo "layers: every include runs downward"
exit "$status"
