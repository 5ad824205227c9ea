#!/usr/bin/env bash
# Regenerates every committed asset file from its generator, byte for byte.
# Usage: scripts/make_assets.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
cmake --build "$build" --target make_tables
"$build/tools/assets/make_tables" "$root/assets"
