#!/usr/bin/env bash
# Checks the Windows builds that scripts/windows/build.sh made.
#
# Both builds, without running them: the file types (PE32 i386 and PE32+
# x86-64), vorna.exe a GUI program with WinMain, xmplay.exe a console
# program, every program importing only DLLs that Windows itself ships, and
# the zips' contents.
#
# The x64 build under wine64 on Xvfb displays (this machine's kernel runs no
# 32-bit x86 programs, so the x86 build cannot run here):
#   1. Escape held from the start: once DirectInput has seen it, 14 frames
#      (one frame of each of the eight scenes and two white flashes of
#      three, or 15 when the key came while a frame was being drawn), then
#      exit code 0, and no message box.
#   2. A display that cannot take 320 x 200 x 16: the message box "Sorry, I
#      can't set this video mode", closed by a key, then exit code 0.
#   3. A PulseAudio server with a null sink as the sound device, which plays
#      in real time: the song is heard (the sink's monitor is not silent) and
#      moves the show on: a screenshot 10 s in shows the title picture, one
#      46 s in shows scene 2 (the warp).
#   4. xmplay.exe --wav renders every heroes module byte for byte as the
#      Linux xmplay does, and xmplay.exe plays through waveOut.
# Frames and the message box are counted from wine's own trace of the
# DirectDraw and window calls. Logs and screenshots: build-win64/check/.
#
# Every process started here runs under a timeout and is ended by its id
# when the script ends, however it ends.
# Usage: scripts/windows/check.sh   (`make windows-check` builds first)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
linux_build=${BUILD:-build}
out=$root/build-win64/check
rm -rf "$out"
mkdir -p "$out"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

# ---------------------------------------------------------------------------
# What can be checked without running the programs.

# check_program FILE OBJDUMP TYPE SUBSYSTEM
check_program() {
  local file=$1 objdump=$2 type=$3 subsystem=$4
  local description headers dlls
  description=$(file -b "$file")
  headers=$("$objdump" -p "$file")
  if [[ $description != "$type"* ]]; then
    fail "$file is \"$description\", not $type"
  fi
  if ! grep -q "^Subsystem[[:space:]]*0000000$subsystem" <<<"$headers"; then
    fail "$file: subsystem is not $subsystem"
  fi
  # gcc for 64-bit Windows cannot align a stack frame to more than 16
  # bytes, so an aligned move of a 256- or 512-bit value to or from the
  # stack would fault on a CPU that takes the AVX paths.
  local aligned_wide
  aligned_wide=$("$objdump" -d --no-show-raw-insn "$file" |
    grep -cE 'vmov(aps|apd|dqa|dqa32|dqa64)[[:space:]]+([^,]*%[yz]mm[0-9]+,[^,]*\(%r[sb]p\)|[^,]*\(%r[sb]p\),%[yz]mm)' || true)
  if [ "$aligned_wide" -ne 0 ]; then
    fail "$file moves 256- or 512-bit values to or from the stack with aligned moves ($aligned_wide places)"
  fi
  dlls=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$headers" | sort -u | tr '\n' ' ')
  echo "   $file: $(stat -c %s "$file") bytes, imports: $dlls"
  for dll in $dlls; do
    case $dll in
      kernel32.dll | user32.dll | gdi32.dll | ddraw.dll | dinput.dll | winmm.dll | msvcrt.dll | advapi32.dll) ;;
      *) fail "$file imports $dll, which Windows does not ship" ;;
    esac
  done
}

# check_build NAME BUILD_DIR TRIPLE TYPE WINMAIN_SYMBOL
check_build() {
  local name=$1 dir=$2 triple=$3 type=$4 winmain=$5
  local zip_file=dist/vorna-windows-$name.zip before=$failures
  echo "== Windows $name, without running it"
  check_program "$dir/demo/vorna.exe" "$triple-objdump" "$type (GUI)" 2
  check_program "$dir/tools/xmplay/xmplay.exe" "$triple-objdump" "$type (console)" 3
  for program in "$dir/package/vorna.exe" "$dir/package/xmplay.exe"; do
    echo "   $program (stripped, packaged): $(stat -c %s "$program") bytes"
  done
  # The program starts in the C runtime's GUI start-up, which calls the
  # demo's own WinMain.
  local symbols image_base entry start
  symbols=$("$triple-nm" "$dir/demo/vorna.exe")
  image_base=$("$triple-objdump" -p "$dir/demo/vorna.exe" | awk '/^ImageBase/ {print $2}')
  entry=$("$triple-objdump" -p "$dir/demo/vorna.exe" | awk '/^AddressOfEntryPoint/ {print $2}')
  start=$(awk -v name="${winmain%WinMain*}WinMainCRTStartup" '$3 == name {print $1}' <<<"$symbols")
  if ! grep -q " T $winmain\$" <<<"$symbols"; then
    fail "$dir/demo/vorna.exe has no $winmain"
  fi
  if [ -z "$start" ] || [ $((16#$image_base + 16#$entry)) -ne $((16#$start)) ]; then
    fail "$dir/demo/vorna.exe does not start at WinMainCRTStartup"
  fi
  local listing
  listing=$(unzip -Z1 "$zip_file" | sort | tr '\n' ' ')
  if [ "$listing" != "README.txt vorna.exe xmplay.exe " ]; then
    fail "$zip_file holds: $listing"
  fi
  if ! unzip -p "$zip_file" README.txt | grep -q "FLASHING LIGHTS"; then
    fail "$zip_file: README.txt has no warning about flashing lights"
  fi
  if [ "$failures" -eq "$before" ]; then
    pass "Windows $name: types, subsystems, static imports, WinMainCRTStartup calling $winmain, $zip_file"
  fi
}

check_build x86 build-win32 i686-w64-mingw32 "PE32 executable" _WinMain@16
check_build x64 build-win64 x86_64-w64-mingw32 "PE32+ executable" WinMain

# ---------------------------------------------------------------------------
# The x64 build under wine.

vorna_exe=$root/build-win64/demo/vorna.exe
xmplay_exe=$root/build-win64/tools/xmplay/xmplay.exe
started=()  # ids of the processes to end on exit
key_holder=""

stop_process() {
  local pid=$1
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    for _ in 1 2 3 4 5 6 7 8 9 10; do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.2
    done
    # A process still there now is killed with its children: killing only
    # a `timeout` would leave the X server it watches behind.
    if kill -0 "$pid" 2>/dev/null; then
      pkill -KILL -P "$pid" 2>/dev/null || true
      kill -9 "$pid" 2>/dev/null || true
    fi
  fi
  wait "$pid" 2>/dev/null || true
}

cleanup() {
  [ -n "$key_holder" ] && stop_process "$key_holder"
  if [ -n "${wineserver_pid:-}" ]; then
    # Ends the programs and services of this script's own prefix, then the
    # server that this script started for it.
    timeout 20 wineserver -k 2>/dev/null || true
    stop_process "$wineserver_pid"
  fi
  local k
  for ((k = ${#started[@]} - 1; k >= 0; k--)); do
    stop_process "${started[k]}"
  done
  rm -rf "$scratch"
}
scratch=$(mktemp -d /tmp/vorna-wine.XXXXXX)
trap cleanup EXIT

# start_xvfb GEOMETRY: starts an X server on a free display number and sets
# DISPLAY to it.
start_xvfb() {
  local geometry=$1 number_file=$scratch/display.$RANDOM
  : >"$number_file"
  timeout 900 Xvfb -displayfd 3 -screen 0 "$geometry" -nolisten tcp 3>"$number_file" \
    >"$out/xvfb-$geometry.log" 2>&1 &
  started+=($!)
  for _ in $(seq 100); do
    [ -s "$number_file" ] && break
    sleep 0.1
  done
  if [ ! -s "$number_file" ]; then
    echo "Xvfb ($geometry) did not start" >&2
    exit 1
  fi
  export DISPLAY=:$(cat "$number_file")
}

# hold_escape: presses Escape again and again, as a held key repeats, until
# release_escape.
hold_escape() {
  (
    for _ in $(seq 6000); do
      xdotool keydown Escape
      sleep 0.02
    done
  ) &
  key_holder=$!
}
release_escape() {
  stop_process "$key_holder"
  key_holder=""
  xdotool keyup Escape || true
}

# saturation PNG: the mean colour saturation, 0 (grey) to 1. The title
# picture is nearly grey (below 0.15); the warp of scene 2 is above 0.7.
saturation() {
  convert "$1" -colorspace HSL -channel G -separate +channel -format "%[fx:mean]" info:
}

# The prefix is kept between runs; the first start-up takes about half a
# minute. Mono and Gecko are not wanted: no installer dialog may ever wait.
export WINEPREFIX=$root/build-win64/wine-prefix
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEDEBUG=-all
unset PULSE_SERVER
export XDG_RUNTIME_DIR=$scratch/runtime
mkdir -p "$scratch/home" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

start_xvfb 320x200x16
mkdir -p "$WINEPREFIX"
# A server of this prefix left by an earlier run that was killed ends first.
timeout 30 wineserver -k 2>/dev/null || true
timeout 30 wineserver -w 2>/dev/null || true
timeout 900 wineserver -f -p >"$out/wineserver.log" 2>&1 &
wineserver_pid=$!
sleep 0.5
if ! kill -0 "$wineserver_pid" 2>/dev/null; then
  echo "wineserver did not start: see $out/wineserver.log" >&2
  exit 1
fi
echo "== Wine prefix: $WINEPREFIX"
if ! timeout 300 wine wineboot -i >"$out/wineboot.log" 2>&1; then
  echo "wineboot failed: see $out/wineboot.log" >&2
  exit 1
fi

# 1. Escape held from the start, no sound device.
echo "== vorna.exe with Escape held"
# Without a sound device scene 1 runs until Escape, without vsync thousands
# of frames a second, and wine hands the key to DirectInput only after some
# tenths of a second: the frames are counted from the moment DirectInput's
# keyboard hook sets the key (the frame being drawn then may still have read
# the old state).
hold_escape
status=0
WINEDEBUG=-all,trace+ddraw,trace+win,trace+dinput timeout -k 5 120 wine "$vorna_exe" >"$out/escape.log" 2>&1 || status=$?
release_escape
frames=$(grep -c "ddraw_surface1_BltFast" "$out/escape.log" || true)
after_key=$(awk '/dinput_keyboard_hook  setting key 01 to 80/ {seen = 1} seen && /ddraw_surface1_BltFast/ {n++} END {print n + 0}' "$out/escape.log")
boxes=$(grep -c 'set_window_text L"Sorry' "$out/escape.log" || true)
if [ "$status" -ne 0 ] || [ "$after_key" -lt 14 ] || [ "$after_key" -gt 15 ] || [ "$boxes" -ne 0 ]; then
  fail "Escape held: exit code $status, $after_key frames after the key came ($frames in all), $boxes message boxes (want 0, 14 or 15, 0; see $out/escape.log)"
else
  pass "Escape held: exit code 0 after $after_key frames once the key came ($frames in all), no message box"
fi

# 2. The video mode cannot be set.
echo "== vorna.exe on a display without 320 x 200 x 16"
start_xvfb 640x480x24
# Now and then wine's X11 driver dies on an X error of its own (BadWindow
# while unmapping a window of the earlier display) before the box shows;
# such a run is tried again, up to three times in all.
for attempt in 1 2 3; do
  WINEDEBUG=-all,trace+win timeout -k 5 120 wine "$vorna_exe" >"$out/fatal.log" 2>&1 &
  demo=$!
  box=$(timeout 60 xdotool search --sync --name "^VORNA Z-PLORAN V2.2\$" 2>/dev/null | head -n 1 || true)
  if [ -n "$box" ]; then
    sleep 1
    import -window root "$out/fatal.png"
    xdotool key --window "$box" Return
  fi
  status=0
  wait "$demo" || status=$?
  if [ -z "$box" ] && [ "$attempt" -lt 3 ] && grep -q "^X Error of failed request" "$out/fatal.log"; then
    echo "   wine's X11 driver failed before the box showed (see $out/fatal-$attempt.log); again"
    cp "$out/fatal.log" "$out/fatal-$attempt.log"
    continue
  fi
  break
done
if [ -z "$box" ] || [ "$status" -ne 0 ] || ! grep -q "set_window_text L\"Sorry, I can't set this video mode\"" "$out/fatal.log"; then
  fail "no video mode: box ${box:-not found}, exit code $status (see $out/fatal.log, $out/fatal.png)"
else
  pass "no video mode: \"Sorry, I can't set this video mode\" in a box captioned VORNA Z-PLORAN V2.2, closed by Return, exit code 0"
fi

# 3. With a sound device that keeps real time.
echo "== vorna.exe with sound"
before=$failures
socket=$scratch/pulse-native
HOME=$scratch/home timeout 900 pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-exit \
  --disable-shm --log-target=stderr \
  --load="module-null-sink sink_name=vorna_null" \
  --load="module-native-protocol-unix socket=$socket auth-anonymous=1" >"$out/pulseaudio.log" 2>&1 &
started+=($!)
export PULSE_SERVER=unix:$socket
# Wine's feeding thread competes for the two cores with the demo's own busy
# threads; a deeper buffer in the sound server keeps the sink from running
# dry, which would stop the device's clock and with it the song.
export PULSE_LATENCY_MSEC=200
for _ in $(seq 100); do
  pactl info >/dev/null 2>&1 && break
  sleep 0.1
done
pactl info >/dev/null 2>&1 || { echo "PulseAudio did not start: see $out/pulseaudio.log" >&2; exit 1; }
start_xvfb 320x200x16
timeout -k 5 240 wine "$vorna_exe" >"$out/sound.log" 2>&1 &
demo=$!
# The clock starts when the demo's window is shown; the song starts a
# moment later. Scene 2 lasts from about 40.7 s to 57 s of the song.
if timeout 60 xdotool search --sync --onlyvisible --classname '^vorna\.exe$' >/dev/null 2>&1; then
  shown=$(date +%s.%N)
  at() { sleep "$(awk -v shown="$shown" -v t="$1" -v now="$(date +%s.%N)" 'BEGIN {d = shown + t - now; print (d > 0 ? d : 0)}')"; }
  at 10
  import -window root "$out/title.png"
  at 20
  timeout 10 parec --raw -d vorna_null.monitor --format=s16le --rate=44100 --channels=2 \
    >"$out/heard.raw" 2>/dev/null &
  recorder=$!
  sleep 5
  stop_process "$recorder"
  at 46
  import -window root "$out/scene2.png"
  title_saturation=$(saturation "$out/title.png")
  scene2_saturation=$(saturation "$out/scene2.png")
  loudness=$(sox -t raw -r 44100 -e signed -b 16 -c 2 "$out/heard.raw" -n stat 2>&1 |
    awk '/RMS +amplitude/ {print $3}')
  echo "   saturation 10 s in: $title_saturation, 46 s in: $scene2_saturation; RMS of the sound 20-25 s in: ${loudness:-none}"
  if ! awk -v s="$title_saturation" 'BEGIN {exit !(s < 0.3)}'; then
    fail "10 s in the screen is not the title picture (see $out/title.png)"
  fi
  if ! awk -v s="$scene2_saturation" 'BEGIN {exit !(s > 0.5)}'; then
    fail "46 s in the screen is not scene 2 (see $out/scene2.png)"
  fi
  if ! awk -v r="${loudness:-0}" 'BEGIN {exit !(r > 0.01)}'; then
    fail "nothing was heard on the null sink 20 to 25 s in"
  fi
else
  fail "the demo's window did not appear"
fi
hold_escape
status=0
wait "$demo" || status=$?
release_escape
if [ "$status" -ne 0 ]; then
  fail "with sound: exit code $status (see $out/sound.log)"
fi
if [ "$failures" -eq "$before" ]; then
  pass "with sound: title at 10 s, sound heard, scene 2 at 46 s, exit code 0 on Escape"
fi

# 4. xmplay.exe.
echo "== xmplay.exe"
if [ ! -f "$linux_build/build.ninja" ]; then
  cmake -S . -B "$linux_build" -G Ninja >/dev/null
fi
cmake --build "$linux_build" --target xmplay >/dev/null
same=0
for module in /usr/share/games/heroes/mod/*.xm; do
  name=$(basename "$module" .xm)
  "$linux_build/tools/xmplay/xmplay" --wav "$scratch/linux.wav" "$module"
  status=0
  timeout -k 5 300 wine "$xmplay_exe" --wav "$scratch/windows.wav" "$module" >"$out/xmplay-$name.log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    fail "xmplay.exe --wav $name: exit code $status (see $out/xmplay-$name.log)"
  elif ! cmp "$scratch/linux.wav" "$scratch/windows.wav" >"$out/xmplay-$name.cmp" 2>&1; then
    fail "xmplay.exe --wav $name differs from Linux: $(head -n 1 "$out/xmplay-$name.cmp")"
  else
    same=$((same + 1))
  fi
done
if [ "$same" -eq 0 ]; then
  fail "no heroes module found (Debian package heroes-sound-tracks)"
else
  pass "xmplay.exe --wav: $same heroes modules byte for byte as on Linux"
fi
# A module from a pipe ("-" is standard input, which Windows must read as
# binary): the same bytes again.
module=/usr/share/games/heroes/mod/heroes01.xm
"$linux_build/tools/xmplay/xmplay" --wav "$scratch/linux.wav" "$module"
status=0
cat "$module" | timeout -k 5 300 wine "$xmplay_exe" --wav "$scratch/windows.wav" - >"$out/xmplay-pipe.log" 2>&1 ||
  status=$?
if [ "$status" -ne 0 ] || ! cmp -s "$scratch/linux.wav" "$scratch/windows.wav"; then
  fail "xmplay.exe --wav from a pipe: exit code $status, not the Linux bytes (see $out/xmplay-pipe.log)"
else
  pass "xmplay.exe --wav from a pipe: heroes01 byte for byte as on Linux"
fi
# Playing: with --seconds 3 the player stops once the wave device has played
# three seconds of the song, so a run that ends by itself with exit code 0,
# no sooner than that, has played through waveOut. Then a run without a
# limit is ended by Ctrl-C (SIGINT, which wine turns into a console control
# event) and must exit with 0 as well. The first wave device a process opens
# can take wine a while, so the waits are generous.
module=/usr/share/games/heroes/mod/intro.xm
play_began=$(date +%s.%N)
status=0
timeout -k 5 120 wine "$xmplay_exe" --seconds 3 "$module" </dev/null >"$out/xmplay-play.log" 2>&1 || status=$?
took=$(awk -v a="$play_began" -v b="$(date +%s.%N)" 'BEGIN {printf "%.1f", b - a}')
if [ "$status" -ne 0 ] || awk -v t="$took" 'BEGIN {exit !(t < 2.9)}'; then
  fail "xmplay.exe --seconds 3: exit code $status after $took s (see $out/xmplay-play.log)"
else
  pass "xmplay.exe plays 3 s through waveOut and stops by itself: exit code 0 after $took s"
fi
timeout --preserve-status -k 5 120 wine "$xmplay_exe" "$module" </dev/null >"$out/xmplay-interrupt.log" 2>&1 &
player=$!
for _ in $(seq 600); do
  grep -q "intro.xm" "$out/xmplay-interrupt.log" 2>/dev/null && break
  kill -0 "$player" 2>/dev/null || break
  sleep 0.1
done
sleep 3
alive=0
kill -0 "$player" 2>/dev/null && alive=1
kill -INT "$player" 2>/dev/null || true
status=0
wait "$player" || status=$?
if [ "$alive" -ne 1 ] || [ "$status" -ne 0 ]; then
  fail "xmplay.exe and Ctrl-C: still playing $alive, exit code $status (see $out/xmplay-interrupt.log)"
else
  pass "xmplay.exe ends on Ctrl-C with exit code 0"
fi

if [ "$failures" -ne 0 ]; then
  echo "Windows check: $failures failures" >&2
  exit 1
fi
echo "Windows check passed"
