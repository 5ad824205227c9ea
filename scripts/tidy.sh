#!/usr/bin/env bash
# Runs clang-tidy-14 with the checks in .clang-tidy over the program's
# folders, on the compile commands of a build directory (configured here
# with CMAKE_EXPORT_COMPILE_COMMANDS). Usage: scripts/tidy.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-tidy}

tidy=clang-tidy-14
command -v "$tidy" >/dev/null 2>&1 || { echo "$tidy is missing: scripts/setup.sh --ci installs it" >&2; exit 1; }
[ -f .clang-tidy ] || { echo ".clang-tidy is missing" >&2; exit 1; }

cmake -S . -B "$build" -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DVORNA_BENCH=OFF -DVORNA_TESTS=OFF -DVORNA_SDL=OFF >/dev/null
mapfile -t files < <(git ls-files -- 'cpu/*.cpp' 'assets/*.cpp' 'shell/*.cpp' 'fx2d/*.cpp' 'music/*.cpp' \
                                       'render3d/*.cpp' 'demo/*.cpp')
[ ${#files[@]} -gt 0 ] || { echo "no sources found" >&2; exit 1; }
failed=0
for file in "${files[@]}"; do
  "$tidy" -p "$build" --quiet "$file" || failed=1
done
[ $failed -eq 0 ] || { echo "clang-tidy found problems" >&2; exit 1; }
echo "clang-tidy: ${#files[@]} files clean."
