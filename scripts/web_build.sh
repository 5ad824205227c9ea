#!/usr/bin/env bash
# Builds the WebAssembly programs into build-web/ and collects the site in
# dist/web/: the demo's page, the music player's page, their programs, and
# the check pages the browser tests use (in dist/web/check/).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --web
source scripts/web_env.sh

emcmake cmake -S . -B build-web -G Ninja -C cmake/web.cmake >/dev/null
cmake --build build-web -j "$(nproc)" --target vorna_web xmplay_web vorna-capture vorna-scene-bench

site=dist/web
rm -rf "$site"
mkdir -p "$site/check"
program() {  # program BUILD_DIR NAME DESTINATION: a program's script, module and worker
  for suffix in js wasm worker.js; do
    cp "build-web/$1/$2.$suffix" "$3/"
  done
}
program tools/web vorna "$site"
program tools/web xmplay "$site"
cp tools/web/index.html tools/web/demo_page.js tools/web/player.html tools/web/player_page.js tools/web/style.css \
  "$site/"
cp platform/web/js/vorna_page.js platform/web/js/ring_worklet.js "$site/"
program tools/capture vorna-capture "$site/check"
program bench/demo vorna-scene-bench "$site/check"
cp tests/web/hash.html tests/web/bench.html tests/web/fatal.html tests/web/run_program.js "$site/check/"
echo "The site is in $site ($(du -sh "$site" | cut -f1)); make serve serves it."
