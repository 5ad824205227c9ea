#!/usr/bin/env bash
# Size, quality and speed of the capture's video of the whole show.
#
# Usage: bench/video/quality.sh BUILD_DIR [options]
#   --quality Q       the capture's --video-quality (default share)
#   --every N         compare every N-th frame of the show (default 30: 309 frames over all scenes)
#   --max-mb-per-s M  fail when the file is larger than M MB per second of show
#   --min-ssim S      fail when the mean SSIM in the video's own 4:2:0 is below S
#
# The capture runs once with --video and with PNGs of every N-th frame.
# Those frames go through the video's own scale (3 x 4 nearest-neighbour,
# then linearly to 960 x 720, in RGB) losslessly, and ffmpeg's ssim filter compares
# them with the same frames decoded from the video: in 4:4:4 against the
# scaled RGB frames (what a viewer loses, chroma subsampling included) and
# in 4:2:0 against the frames converted as the video was (what the encoder
# loses; the figure --min-ssim checks, as the video is delivered in 4:2:0).
# The 4:2:0 figure is also given per scene (the frames are assigned to
# scenes by the song position each scene runs to). Speed is the show's
# length over the capture's wall-clock time, and the CPU time of the
# capture and its ffmpeg per second of show (at most 2 keeps up with the
# show on two free cores).
set -euo pipefail
build=${1:?usage: quality.sh BUILD_DIR [options]}
shift
quality=share
every=30
max_mb=
min_ssim=
while [ $# -gt 0 ]; do
  case $1 in
    --quality) quality=$2; shift 2 ;;
    --every) every=$2; shift 2 ;;
    --max-mb-per-s) max_mb=$2; shift 2 ;;
    --min-ssim) min_ssim=$2; shift 2 ;;
    *) echo "quality.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
capture=$build/tools/capture/vorna-capture
[ -x "$capture" ] || { echo "quality.sh: no capture at $capture" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -n "${VORNA_QUALITY_REUSE:-}" ]; then  # measure an earlier run's files again (a directory)
  trap - EXIT
  work=$VORNA_QUALITY_REUSE
fi

start=$(date +%s.%N)
times >"$work/times0"  # not in $(...): a subshell would count only its own children
[ -f "$work/show.mp4" ] || timeout 1800 "$capture" --no-progress --video "$work/show.mp4" --video-quality "$quality" --png "$work/frames" \
  --every "$every" --log "$work/log.tsv" 2>"$work/capture.log" || { cat "$work/capture.log" >&2; exit 1; }
end=$(date +%s.%N)
times >"$work/times1"
# CPU seconds of the children (the capture, and the ffmpeg it waited for)
# from the second line of `times`: "1m2.500s 0m0.300s".
seconds() { awk '{ t = 0; for (i = 1; i <= NF; ++i) { split($i, p, "m"); t += p[1] * 60 + p[2] } print t }'; }
cpu=$(awk -v a="$(tail -n 1 "$work/times0" | seconds)" -v b="$(tail -n 1 "$work/times1" | seconds)" 'BEGIN { print b - a }')
frames=$(wc -l <"$work/log.tsv")
bytes=$(stat -c %s "$work/show.mp4")
video_rate=$(ffprobe -v error -select_streams v -show_entries stream=r_frame_rate -of csv=p=0 "$work/show.mp4")
video_size=$(ffprobe -v error -select_streams v -show_entries stream=width,height -of csv=s=x:p=0 "$work/show.mp4")
# Every frame a PNG was written for is in the video when the video keeps
# every k-th frame and k divides N.
step=$(awk -v r="$video_rate" 'BEGIN { split(r, f, "/"); rate = f[1] / (f[2] ? f[2] : 1); printf "%d", 60 / rate + 0.5 }')
if [ $((every % step)) -ne 0 ]; then
  echo "quality.sh: --every $every is not a multiple of the video's frame step $step" >&2
  exit 2
fi
scale="format=rgb24,scale=960:800:flags=neighbor,format=rgb24,scale=960:720:flags=bilinear,format=rgb24"
picked="select='not(mod(n\\,$((every / step))))',setpts=N/TB"
reference=(-framerate 1 -pattern_type glob -i "$work/frames/frame_*.png")
ssim() {  # ssim PIXEL_FORMAT REFERENCE_CHAIN STATS_FILE
  ffmpeg -loglevel info -nostdin -i "$work/show.mp4" "${reference[@]}" \
    -lavfi "[0:v]$picked,format=$1[a];[1:v]setpts=N/TB,$2,format=$1[b];[a][b]ssim=stats_file=$3" -f null - 2>&1 |
    grep -o 'All:[0-9.]*' | tail -n 1 | cut -d: -f2
}
ssim444=$(ssim yuv444p "$scale" "$work/ssim444.txt")
ssim420=$(ssim yuv420p "${scale%,format=rgb24},scale=flags=bilinear+full_chroma_int+accurate_rnd,format=yuv420p" "$work/ssim420.txt")
# The n-th compared frame is the n-th PNG; its song position is in the log.
# A scene runs until the position reaches its end (order:row, hexadecimal).
ls "$work/frames" | sed 's/[^0-9]//g; s/^0*//' >"$work/compared.txt"
scenes=$(awk -v ends="0500 0700 0800 0900 0b00 0e00 1200" '
  function hex(t,  v, i) { v = 0; for (i = 1; i <= length(t); ++i) v = v * 16 + index("0123456789abcdef", tolower(substr(t, i, 1))) - 1; return v }
  FILENAME ~ /log/ { position[$1] = hex($2); next }
  FILENAME ~ /compared/ { frame[FNR] = $1; next }
  { split($1, n, ":"); split($5, a, ":"); p = position[frame[n[2]]]
    k = split(ends, e, " "); scene = k + 1
    for (i = k; i >= 1; --i) if (p < hex(e[i])) scene = i
    sum[scene] += a[2]; count[scene]++ }
  END { worst = 2
    for (s = 1; s <= 8; ++s) if (count[s]) { m = sum[s] / count[s]; printf "%d:%.4f ", s, m; if (m < worst) { worst = m; ws = s } }
    printf "(worst: scene %d)", ws }' "$work/log.tsv" "$work/compared.txt" "$work/ssim420.txt")
awk -v f="$frames" -v b="$bytes" -v t0="$start" -v t1="$end" -v q="$quality" -v r="$video_rate" -v s="$video_size" \
  -v a="$ssim444" -v c="$ssim420" -v n=$(ls "$work/frames" | wc -l) -v cpu="$cpu" -v sc="$scenes" 'BEGIN {
  show = f / 60
  printf "%s: %s at %s frames/s, %.1f MB for %.1f s of show = %.3f MB/s; mean SSIM %.4f (4:2:0) %.4f (4:4:4) over %d frames; encoded at %.2fx real time (%.0f s), %.2f CPU-s per s of show\n",
    q, s, r, b / 1e6, show, b / 1e6 / show, c, a, n, show / (t1 - t0), t1 - t0, cpu / show
  printf "mean SSIM (4:2:0) per scene: %s\n", sc }' | tee "$work/result"
failed=0
if [ -n "$max_mb" ] && awk -v b="$bytes" -v f="$frames" -v m="$max_mb" 'BEGIN { exit !(b / 1e6 / (f / 60) > m) }'; then
  echo "quality.sh: larger than $max_mb MB per second of show" >&2
  failed=1
fi
if [ -n "$min_ssim" ] && awk -v a="$ssim420" -v m="$min_ssim" 'BEGIN { exit !(a < m) }'; then
  echo "quality.sh: mean SSIM (4:2:0) $ssim420 below $min_ssim" >&2
  failed=1
fi
exit $failed
