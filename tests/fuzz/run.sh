#!/bin/sh
# Usage: tests/fuzz/run.sh SECONDS
#
# Builds the module loader's fuzz target with clang under AddressSanitizer
# and UndefinedBehaviorSanitizer, lets the tests write the seed corpus, and
# fuzzes for SECONDS seconds. Exits non-zero on any finding (the crashing
# input is left in the build directory) or when anything fails to build.
set -eu
seconds=${1:?usage: run.sh SECONDS}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${VORNA_FUZZ_BUILD_DIR:-$root/build-fuzz}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DVORNA_FUZZ=ON -DVORNA_SANITIZE=address,undefined \
  -DVORNA_BENCH=OFF -DVORNA_SDL=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" -j2 fuzz_load_song test_music

seeds=$build/fuzz-seeds
corpus=$build/fuzz-corpus
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus"
VORNA_FUZZ_SEEDS=$seeds "$build/tests/music/test_music" --gtest_filter='FuzzSeeds.*'

cd "$build"
exec ./tests/fuzz/fuzz_load_song -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -max_len=65536 \
  -print_final_stats=1 "$corpus" "$seeds"
