#!/usr/bin/env bash
# Installs whatever the build and the tests need that this Debian machine
# does not have yet. Usage: scripts/setup.sh [--ci] [--windows] [--web]
#   --ci       also what CI uses beyond `make test`: clang for fuzzing and the
#              sanitizers' runtime, clang-format and clang-tidy for the
#              format and lint checks, the asset generators' libraries, and
#              tools to look at and listen to the output.
#   --windows  also the Windows cross build (mingw-w64's posix-thread
#              compilers, zip) and its checks: 64-bit wine, an X server with
#              xdotool and imagemagick, and a PulseAudio server as the sound
#              device.
#   --web      also the WebAssembly build and its browser check: emscripten
#              (with the parser its compiler needs), Chromium, Python.
set -euo pipefail

packages=(
  g++ cmake ninja-build make pkg-config
  libsdl2-dev libpng-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  heroes-sound-tracks   # real XM songs the player's tests load
  ffmpeg                # the capture's video
)
for option in "$@"; do
  case $option in
    --ci) packages+=(clang clang-format-14 clang-tidy-14 libclang-rt-14-dev libfreetype-dev fonts-dejavu-core sox xvfb xauth imagemagick) ;;
    --windows) packages+=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix zip unzip file
                          wine wine64 xvfb xdotool imagemagick pulseaudio pulseaudio-utils sox) ;;
    --web) packages+=(emscripten node-acorn chromium python3) ;;
    *) echo "usage: scripts/setup.sh [--ci] [--windows] [--web]" >&2; exit 2 ;;
  esac
done

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
run_as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    run_as_root=(sudo)
  else
    echo "These packages are missing and this user cannot install them: ${missing[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
"${run_as_root[@]}" apt-get update -qq
"${run_as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
