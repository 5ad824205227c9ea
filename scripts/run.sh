#!/usr/bin/env bash
# Runs the demo: in a window where there is a display, otherwise as a
# captured video. Usage: scripts/run.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$build/demo/vorna"
fi
mkdir -p "$root/out"
video="$root/out/vorna.mp4"
echo "No display here: capturing the show to $video instead (this takes a minute or two)."
"$build/tools/capture/vorna-capture" --video "$video"
echo "The demo, with its sound, is in $video"
