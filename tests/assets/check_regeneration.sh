#!/usr/bin/env bash
# Regenerates the assets into a temporary directory and compares every file
# with the committed one, byte for byte. Every committed data file except
# the song module must come from a generator.
# Usage: tests/assets/check_regeneration.sh GENERATOR_DIR ASSET_DIR
set -uo pipefail
bin=$1
assets=$2
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$here/../../tools/assets/run_generators.sh" "$bin" "$tmp" || exit 1
status=0
for committed in "$assets"/*.bin "$assets"/*.pal; do
  name=$(basename "$committed")
  if [ ! -f "$tmp/$name" ]; then
    echo "no generator writes $name"
    status=1
  fi
done
for generated in "$tmp"/*; do
  name=$(basename "$generated")
  if [ ! -f "$assets/$name" ]; then
    echo "$name is generated but not committed"
    status=1
  elif ! cmp -s "$assets/$name" "$generated"; then
    echo "$name differs from what its generator writes"
    status=1
  fi
done
[ $status -eq 0 ] && echo "all generated assets match the committed files"
exit $status
