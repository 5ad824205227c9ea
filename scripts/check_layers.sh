#!/usr/bin/env bash
# The layer rule, checked on the sources: a folder of the program includes
# headers of the folders below it only (ARCHITECTURE.md draws the graph).
# The build already refuses most upward includes (each folder's library
# hands its include root only to the libraries that link it); this also
# catches a link added by mistake, and the private headers: a subsystem's
# kernel table (kernels.h) is its own, and the player's internals
# (music/internal.h) belong to the player, its tools and its tests.
set -euo pipefail
cd "$(dirname "$0")/.."

# folder -> the folders whose headers it may include ("x/name.h"), besides
# its own. platform's backends reach one another's shared parts as
# "common/...", and <windows.h> and the other platform headers are the
# bottom of every layer.
declare -A allowed=(
  [platform]="common headless sdl web"
  [cpu]=""
  [assets]=""
  [shell]=""
  [fx2d]="shell assets cpu"
  [music]="cpu"
  [render3d]="shell fx2d music assets cpu"
  [demo]="shell fx2d music render3d assets cpu"
  [tools]="shell fx2d music render3d demo assets cpu tools headless common"
  [tests]="*"
  [bench]="*"
)
# header -> the path prefixes that may include it.
declare -A private=(
  [fx2d/kernels.h]="fx2d/ tests/ bench/"
  [render3d/kernels.h]="render3d/ tests/ bench/"
  [music/kernels.h]="music/ tests/ bench/"
  [music/internal.h]="music/ tests/ bench/ tools/xmplay/ tools/web/"
)

failures=0
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] || { echo "check_layers: folder $folder is missing" >&2; exit 1; }
  while IFS=: read -r file line text; do
    header=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]+"([^"]+)".*/\1/' <<<"$text")
    target=${header%%/*}
    [ "$target" = "$header" ] && continue  # a header beside the file
    if [ "$target" != "$folder" ] && [ "${allowed[$folder]}" != "*" ] &&
       ! grep -qw -- "$target" <<<"${allowed[$folder]}"; then
      echo "$file:$line: $folder/ includes $header, from a folder it may not use" >&2
      failures=$((failures + 1))
    fi
    if [ -n "${private[$header]-}" ]; then
      ok=0
      for prefix in ${private[$header]}; do
        [[ $file == "$prefix"* ]] && ok=1
      done
      if [ $ok -eq 0 ]; then
        echo "$file:$line: includes $header, which is private to ${private[$header]}" >&2
        failures=$((failures + 1))
      fi
    fi
  done < <(git grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]+"' -- "$folder" || true)
done

if [ $failures -gt 0 ]; then
  echo "check_layers: $failures include(s) break the layer rule" >&2
  exit 1
fi
echo "Layers: every include points down."
