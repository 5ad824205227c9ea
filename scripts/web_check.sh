#!/usr/bin/env bash
# The web build's check: builds dist/web, serves it on 127.0.0.1 and drives
# headless Chromium through it (tests/web/check.mjs):
#   - the capture of the whole show in the browser equals the native
#     capture and the whole-run record, frame by frame and in sound;
#   - the demo's page starts from its button, presents frames, its song
#     advances in real time, Escape ends the scene in progress, and the
#     canvas shows a picture;
#   - the player's page loads a module and reports the length xmplay gives;
#   - the per-scene timings in the browser are printed beside the native ones.
# Screenshots and logs go to out/web-check/. Every step has a time limit,
# and the server and the browser are ended by their process ids.
set -euo pipefail
cd "$(dirname "$0")/.."
out=out/web-check
mkdir -p "$out"

step() { echo "== $*"; }

step "Installing what the web build and the check need"
scripts/setup.sh --web
(cd tests/web && timeout 300 npm install --no-audit --no-fund --loglevel=error)

step "Building the web site (dist/web)"
start=$(date +%s)
timeout 3600 scripts/web_build.sh
echo "web build: $(( $(date +%s) - start )) s"

step "The native programs' results to compare with"
cmake -S . -B build -G Ninja >/dev/null
timeout 1800 cmake --build build -j "$(nproc)" --target vorna-capture xmplay vorna-scene-bench
timeout 300 build/tools/capture/vorna-capture --log "$out/native_whole_run.tsv" --sound-hash
timeout 300 build/tools/capture/vorna-capture --hold-escape --log "$out/native_escape.tsv" --sound-hash
module=/usr/share/games/heroes/mod/heroes01.xm
timeout 120 build/tools/xmplay/xmplay --info "$module" >"$out/native_module_info.txt"
timeout 300 build/tools/xmplay/xmplay --wav "$out/native_module.wav" "$module"
timeout 600 build/bench/demo/vorna-scene-bench >"$out/native_scene_times.txt"

server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

step "Serving dist/web"
rm -f "$out/server.txt"  # the address is read from it: none of an earlier run
timeout 1800 python3 scripts/web_serve.py --dir dist/web --port 0 --quiet >"$out/server.txt" 2>&1 &
server_pid=$!
url=""
for _ in $(seq 1 50); do
  url=$(grep -o 'http://127.0.0.1:[0-9]*/' "$out/server.txt" || true)
  [ -n "$url" ] && break
  sleep 0.1
done
if [ -z "$url" ]; then
  echo "the server did not start:"; cat "$out/server.txt"; exit 1
fi
echo "at $url"

step "Checking in headless Chromium"
timeout 900 node tests/web/check.mjs --url "$url" --out "$out" \
  --golden tests/demo/golden/whole_run.tsv \
  --native-log "$out/native_whole_run.tsv" \
  --native-escape-log "$out/native_escape.tsv" \
  --module "$module" --module-info "$out/native_module_info.txt" --module-wav "$out/native_module.wav" \
  --native-bench "$out/native_scene_times.txt"
