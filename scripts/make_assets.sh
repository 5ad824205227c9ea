#!/usr/bin/env bash
# Regenerates every committed asset file from its generator, byte for byte.
# The song module (assets/tolvanes.xm) is built from its score by build_song.
# Usage: scripts/make_assets.sh BUILD_DIR [OUTPUT_DIR]
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
out=${2:-$root/assets}
cmake --build "$build" --target make_tables make_captions make_texture make_sprite make_mask make_font make_pictures
"$root/tools/assets/run_generators.sh" "$build/tools/assets" "$out"
cmake --build "$build" --target build_song
"$build/tools/song/build_song" "$root/tools/song/score" "$out/tolvanes.xm"
