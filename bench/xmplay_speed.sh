#!/bin/sh
# xmplay against xmp, as a user runs them: the whole process of rendering
# heroes05.xm (Debian's heroes-sound-tracks) to a WAV file, best of several
# runs each, and the ratio; then the CPU that live play takes, read from
# /proc/PID/stat while it plays on a terminal (tmux) with its live view.
#
#   bench/xmplay_speed.sh [XMPLAY] [RUNS] [LIVE_SECONDS]
#
# Live play uses SDL's dummy driver unless SDL_AUDIODRIVER says otherwise.
# Exits 1 when rendering is less than 3 times as fast as xmp's, or live play
# takes 2 % of a core or more.
set -eu
xmplay=${1:-build/tools/xmplay/xmplay}
runs=${2:-7}
live_seconds=${3:-20}
module=$(dpkg -L heroes-sound-tracks 2>/dev/null | grep '/heroes05\.xm$' || true)
[ -n "$module" ] || { echo "heroes05.xm not found: install the Debian package heroes-sound-tracks" >&2; exit 2; }
command -v xmp >/dev/null || { echo "xmp is not installed (Debian package xmp)" >&2; exit 2; }
[ -x "$xmplay" ] || { echo "$xmplay is not built" >&2; exit 2; }
work=$(mktemp -d)
session=xmplay_bench_$$
# The live player loops for ever: its session ends with the script, however
# the script ends.
trap 'tmux kill-session -t "$session" 2>/dev/null; rm -rf "$work"' EXIT

# The best wall time and the best CPU time (user and system) of a command
# over the runs, in seconds: "wall cpu". On a busy machine the CPU times
# say more.
best_of() {
  best_wall=1e9
  best_cpu=1e9
  i=0
  while [ "$i" -lt "$runs" ]; do
    timeout 300 /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >/dev/null 2>&1
    read -r wall user system <"$work/time"
    best_wall=$(echo "$wall $best_wall" | awk '{ print ($1 < $2 ? $1 : $2) }')
    best_cpu=$(echo "$user $system $best_cpu" | awk '{ t = $1 + $2; print (t < $3 ? t : $3) }')
    i=$((i + 1))
  done
  echo "$best_wall $best_cpu"
}

[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing (Debian package time)" >&2; exit 2; }
ours=$(best_of "$xmplay" --wav "$work/xmplay.wav" "$module")
theirs=$(best_of xmp -q -i linear -o "$work/xmp.wav" "$module")
ratio=$(echo "$ours $theirs" | awk '{ printf "%.2f", $3 / ($1 > 0 ? $1 : 0.01) }')
cpu_ratio=$(echo "$ours $theirs" | awk '{ printf "%.2f", $4 / ($2 > 0 ? $2 : 0.01) }')
echo "render heroes05.xm (best of $runs, whole process; wall s, CPU s):"
echo "  xmplay --wav          $ours"
echo "  xmp -i linear -o      $theirs"
echo "  xmplay is ${ratio}x as fast (wall), ${cpu_ratio}x (CPU time)"
status=0
awk -v r="$ratio" 'BEGIN { exit !(r >= 3) }' || { echo "  FAIL: less than 3x"; status=1; }

# Live play: CPU ticks of the process over live_seconds, after a second to
# settle.
command -v tmux >/dev/null || { echo "tmux is not installed: live CPU not measured"; exit "$status"; }
export SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}"
tmux new-session -d -s "$session" -x 100 -y 30 "exec timeout --foreground $((live_seconds + 30)) '$xmplay' --loop '$module'"
sleep 1
# The pane runs timeout; the player is its child.
pid=$(pgrep -P "$(tmux list-panes -t "$session" -F '#{pane_pid}')" | head -n 1)
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
before=$(ticks)
sleep "$live_seconds"
after=$(ticks)
tmux kill-session -t "$session"
hertz=$(getconf CLK_TCK)
cpu=$(echo "$before $after $hertz $live_seconds" | awk '{ printf "%.2f", ($2 - $1) / $3 / $4 * 100 }')
echo "live play with the view on a terminal ($SDL_AUDIODRIVER driver, ${live_seconds} s): ${cpu} % of one core"
awk -v c="$cpu" 'BEGIN { exit !(c < 2) }' || { echo "  FAIL: 2 % or more"; status=1; }
exit "$status"
