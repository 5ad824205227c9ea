#!/usr/bin/env bash
# Runs the demo: in a window where there is a display, otherwise as a
# captured video. Usage: scripts/run.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  if reason=$("$build/platform/vorna-display-check" 2>/dev/null); then
    echo "Starting the demo full screen (Escape ends the scene in progress; Alt+Enter: window or full screen)."
    exec "$build/demo/vorna"
  fi
  echo "A display is named, but it cannot be opened: ${reason:-no reason given}."
  why="no display could be opened"
else
  why="no display here (DISPLAY is not set)"
fi
mkdir -p "$root/out"
video="$root/out/vorna.mp4"
echo "Capturing the show to $video instead: $why."
"$build/tools/capture/vorna-capture" --video "$video"
echo "The demo, with its sound, is in $video"
