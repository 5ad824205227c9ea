#!/usr/bin/env bash
# Runs every asset generator of a build into one directory.
# Usage: tools/assets/run_generators.sh GENERATOR_DIR OUTPUT_DIR
set -euo pipefail
bin=$1
out=$2
# Each writes its own files; none reads another's.
generators="make_tables make_captions make_texture make_sprite make_mask make_font make_pictures"
for generator in $generators; do
  if [ ! -x "$bin/$generator" ]; then
    echo "run_generators: $bin/$generator is missing (the font and picture generators need libfreetype-dev and fonts-dejavu-core)" >&2
    exit 1
  fi
  "$bin/$generator" "$out"
done
