#!/usr/bin/env bash
# Frames per second and CPU per frame of the SDL demo under Xvfb, counted
# from outside the program: a preload library counts the program's present
# calls, and /proc gives the process's CPU time (user + system, all threads).
#
# Usage: bench/present/fps.sh BUILD_DIR [options]
#   --seconds S       measure S seconds per screen size (default 20)
#   --warm-up S       let the demo start for S seconds before measuring (default 3)
#   --sizes LIST      screen sizes, e.g. 1920x1080,1280x1024 (the default)
#   --min-fps F       fail when a size shows fewer frames per second
#   --max-cpu-ms M    fail when a size uses more CPU milliseconds per frame
#   --attempts N      measure a size up to N times until it meets both limits
#                     (default 1): other work on the machine can hold a run back
# Prints one line per size: frames per second, CPU ms per frame of the demo,
# and of the X server (which copies every frame too).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:?usage: fps.sh BUILD_DIR [options]}
shift
seconds=20
warm_up=3
sizes=1920x1080,1280x1024
min_fps=
max_cpu_ms=
attempts=1
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --warm-up) warm_up=$2; shift 2 ;;
    --sizes) sizes=$2; shift 2 ;;
    --min-fps) min_fps=$2; shift 2 ;;
    --max-cpu-ms) max_cpu_ms=$2; shift 2 ;;
    --attempts) attempts=$2; shift 2 ;;
    *) echo "fps.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
demo=$build/demo/vorna
[ -x "$demo" ] || { echo "fps.sh: no demo at $demo (build the target vorna)" >&2; exit 2; }
command -v Xvfb >/dev/null || { echo "fps.sh: needs Xvfb (apt-get install xvfb)" >&2; exit 2; }

work=$(mktemp -d)
xvfb_pid=
demo_pid=
cleanup() {
  [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

cc -O2 -shared -fPIC -o "$work/count_presents.so" "$root/bench/present/count_presents.c" -ldl

ticks_per_second=$(getconf CLK_TCK)
# User + system time of a process, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# The program that `timeout` started.
child_of() {
  local child=
  for _ in $(seq 50); do
    child=$(ps -o pid= --ppid "$1" | head -n 1 | tr -d ' ')
    [ -n "$child" ] && break
    sleep 0.1
  done
  echo "$child"
}
presents() { od -An -t u8 -N 8 "$work/count" | tr -d ' '; }
now() { date +%s.%N; }

failed=0
for size in ${sizes//,/ }; do
  for attempt in $(seq "$attempts"); do
    met=1
    # Xvfb picks a free display number and writes it to the pipe.
    mkfifo "$work/display"
    timeout $((seconds + warm_up + 60)) Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp \
      3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    read -r -t 20 number <"$work/display" || { echo "fps.sh: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
    rm -f "$work/display"

    DISPLAY=:$number VORNA_PRESENT_COUNTER=$work/count LD_PRELOAD=$work/count_presents.so \
      timeout $((seconds + warm_up + 30)) "$demo" >"$work/demo.log" 2>&1 &
    demo_pid=$!
    sleep "$warm_up"
    if ! kill -0 "$demo_pid" 2>/dev/null || [ ! -s "$work/count" ]; then
      echo "fps.sh: the demo did not start at $size" >&2
      cat "$work/demo.log" >&2
      exit 1
    fi
    demo_process=$(child_of "$demo_pid")
    xvfb_process=$(child_of "$xvfb_pid")
    start=$(now); frames0=$(presents); cpu0=$(cpu_ticks "$demo_process"); x0=$(cpu_ticks "$xvfb_process")
    sleep "$seconds"
    end=$(now); frames1=$(presents); cpu1=$(cpu_ticks "$demo_process"); x1=$(cpu_ticks "$xvfb_process")
    kill "$demo_pid" 2>/dev/null || true
    wait "$demo_pid" 2>/dev/null || true
    demo_pid=
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=

    read -r fps cpu_ms x_ms < <(awk -v f=$((frames1 - frames0)) -v t0="$start" -v t1="$end" \
      -v c=$((cpu1 - cpu0)) -v x=$((x1 - x0)) -v hz="$ticks_per_second" 'BEGIN {
        frames = f > 0 ? f : 1
        printf "%.1f %.2f %.2f\n", f / (t1 - t0), c * 1000 / hz / frames, x * 1000 / hz / frames }')
    printf '%-10s %6.1f frames/s   %6.2f ms CPU per frame (demo)   %6.2f ms (X server)   %d frames in %ss\n' \
      "$size" "$fps" "$cpu_ms" "$x_ms" $((frames1 - frames0)) "$seconds"
    if [ -n "$min_fps" ] && awk -v a="$fps" -v b="$min_fps" 'BEGIN { exit !(a < b) }'; then
      echo "fps.sh: $size: $fps frames per second, below $min_fps" >&2
      met=0
    fi
    if [ -n "$max_cpu_ms" ] && awk -v a="$cpu_ms" -v b="$max_cpu_ms" 'BEGIN { exit !(a > b) }'; then
      echo "fps.sh: $size: $cpu_ms ms of CPU per frame, above $max_cpu_ms" >&2
      met=0
    fi
    [ "$met" = 1 ] && break
  done
  [ "$met" = 1 ] || failed=1
done
exit $failed
