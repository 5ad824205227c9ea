#!/usr/bin/env bash
# Cross-builds the demo and xmplay for Windows with mingw-w64 and packages
# them, for 32-bit x86 (the demo's designed target) and for x64:
#   build-win32/, build-win64/      the builds (cmake/<triple>.cmake)
#   dist/vorna-windows-x86.zip      vorna.exe, xmplay.exe and README.txt
#   dist/vorna-windows-x64.zip
# The programs in the zips are stripped; the builds keep their symbols.
# Usage: scripts/windows/build.sh   (`make windows` installs the tools first)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
jobs=${JOBS:-$(nproc)}
mkdir -p dist
# The packaged programs and the zips carry the time of the last commit, not
# the time of the build: the same sources give the same zips.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 946684800)}
export SOURCE_DATE_EPOCH

# build_and_package NAME TRIPLE DIR
build_and_package() {
  local name=$1 triple=$2 dir=$3
  echo "== Windows $name: $dir"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$triple.cmake"
  cmake --build "$dir" -j "$jobs" --target vorna xmplay

  local stage=$dir/package
  rm -rf "$stage"
  mkdir -p "$stage"
  "$triple-strip" -o "$stage/vorna.exe" "$dir/demo/vorna.exe"
  "$triple-strip" -o "$stage/xmplay.exe" "$dir/tools/xmplay/xmplay.exe"
  # Windows line ends, so that every text viewer shows the lines.
  sed -e "s/@ARCH@/$name/" -e 's/$/\r/' scripts/windows/README.txt > "$stage/README.txt"
  touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*
  local zip_file=$root/dist/vorna-windows-$name.zip
  rm -f "$zip_file"
  (cd "$stage" && zip -q -X "$zip_file" vorna.exe xmplay.exe README.txt)
  ls -l "$zip_file"
}

build_and_package x86 i686-w64-mingw32 build-win32
build_and_package x64 x86_64-w64-mingw32 build-win64
