#!/bin/sh
# Usage: tests/fuzz/run.sh SECONDS [TARGET...]
#
# Builds the fuzz targets with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer, lets the tests write the seed corpus, and
# fuzzes each target (default: both, fuzz_load_song and fuzz_play_song) for
# SECONDS seconds, one after the other. Exits non-zero on any finding or
# when anything fails to build. A finding's input is left in the build
# directory as crash-*, leak-* or timeout-*: copy it into
# tests/fuzz/regressions/ with a name that says what it did, where the tests
# run it through both targets from then on.
#
# CI runs a minute of each. A long run, at low priority beside other work:
#   nice -n 19 tests/fuzz/run.sh 3600
# Each target keeps its corpus in build-fuzz/corpus-TARGET between runs.
set -eu
seconds=${1:?usage: run.sh SECONDS [TARGET...]}
shift
targets=${*:-fuzz_load_song fuzz_play_song}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${VORNA_FUZZ_BUILD_DIR:-$root/build-fuzz}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DVORNA_FUZZ=ON -DVORNA_SANITIZE=address,undefined \
  -DVORNA_BENCH=OFF -DVORNA_SDL=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# shellcheck disable=SC2086
ninja -C "$build" -j2 $targets test_music

seeds=$build/fuzz-seeds
rm -rf "$seeds"
mkdir -p "$seeds"
VORNA_FUZZ_SEEDS=$seeds "$build/tests/music/test_music" --gtest_filter='FuzzSeeds.*'

cd "$build"
for target in $targets; do
  corpus=$build/corpus-$target
  mkdir -p "$corpus"
  echo "== $target, $seconds s"
  ./tests/fuzz/"$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 "$corpus" "$seeds" "$root/tests/fuzz/regressions"
done
