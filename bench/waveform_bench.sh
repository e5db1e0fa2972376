#!/usr/bin/env bash
# Waveform benchmark: the stretch editor's peaks of a 60-minute WAV and a 60-minute MP3 against
# ffmpeg drawing the whole file (showwavespic) in the same run. Prints, per file, the wall and
# CPU times of both and their ratios (ours / ffmpeg's; target <= 1.0), the peak memory of both,
# the longest wait of a 1 ms timer on the thread that receives the peaks while they are computed
# (target < 50 ms), and the time of a second opening from the cache (target < 100 ms); then the
# redraw time of the waveform (1600 x 400, offscreen) at several zoom levels of the 60-minute
# WAV (target < 16 ms). RUNS=n repeats each pair (default 1) and keeps the best.
# Usage: bench/waveform_bench.sh [build-dir]   (default: build; builds the bench tool if needed)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -x /usr/bin/time ] || { echo "needs GNU time (/usr/bin/time, Debian package 'time')" >&2; exit 2; }
if [ ! -x "$build/bin/quillet-waveform-bench" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j2 --target quillet-waveform-bench >/dev/null
fi
tool=$(realpath "$build/bin/quillet-waveform-bench")
out=bench/out
mkdir -p "$out"
export QT_QPA_PLATFORM=offscreen
ff() { ffmpeg -y -hide_banner -loglevel error -nostdin "$@"; }

# Runs a command under GNU time; prints "<wall s> <cpu s> <peak KiB>", its output in $log.out.
measure() {
  local log=$1; shift
  /usr/bin/time -f "%e %U %S %M" -o "$log.time" "$@" >"$log.out"
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$log.time"
}
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a + 0 < b + 0) ? a : b }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
field() { sed -n "s/.*$1 \([0-9.]*\).*/\1/p" "$2"; }

frames=$((60 * 60 * 44100))
src=$out/wave_60m
# Music-like content that changes over the hour: two tones under a slow swell, and noise.
[ -f "$src.mp3" ] || {
  ff -f lavfi -i "aevalsrc='0.5*sin(2*PI*220*t)*abs(sin(2*PI*t/90))|0.4*sin(2*PI*330*t)*abs(cos(2*PI*t/70))':s=44100:d=3600" \
     -f lavfi -i "anoisesrc=color=pink:amplitude=0.05:sample_rate=44100:duration=3600" \
     -filter_complex "[1]aformat=channel_layouts=stereo[n];[0][n]amix=inputs=2:normalize=0,atrim=end_sample=$frames" \
     -c:a pcm_s16le "$src.wav"
  ff -i "$src.wav" -c:a libmp3lame -b:a 128k "$src.mp3"
}

printf '%-4s %-6s %8s %8s %6s %8s %8s %6s %9s %9s %8s %9s\n' file side wall_s ffmpeg_s ratio cpu_s ffcpu_s ratio peak_KiB ff_KiB wait_ms cached_ms
for kind in wav mp3; do
  input=$src.$kind
  cache=$out/peaks_cache_$kind
  w_ours=""; c_ours=""; m_ours=0; w_ff=""; c_ff=""; m_ff=0; wait=""
  for _ in $(seq "${RUNS:-1}"); do
    read -r w c m < <(measure "$out/ours_$kind" "$tool" peaks "$input" "$cache")
    w_ours=$(min "$w" "$w_ours"); c_ours=$(min "$c" "$c_ours"); m_ours=$m
    wait=$(min "$(field longest_wait_ms "$out/ours_$kind.out")" "$wait")
    read -r w c m < <(measure "$out/ff_$kind" ffmpeg -y -hide_banner -loglevel error -nostdin \
                        -i "$input" -filter_complex "showwavespic=s=1600x400:split_channels=1" \
                        -frames:v 1 "$out/ff_$kind.png")
    w_ff=$(min "$w" "$w_ff"); c_ff=$(min "$c" "$c_ff"); m_ff=$m
  done
  "$tool" cached "$input" "$cache" >"$out/cached_$kind.out"
  cached=$(awk '{ printf "%.1f", $2 * 1000 }' "$out/cached_$kind.out")
  printf '%-4s %-6s %8.2f %8.2f %6s %8.2f %8.2f %6s %9d %9d %8s %9s\n' "$kind" 60min \
    "$w_ours" "$w_ff" "$(ratio "$w_ours" "$w_ff")" "$c_ours" "$c_ff" "$(ratio "$c_ours" "$c_ff")" \
    "$m_ours" "$m_ff" "$wait" "$cached"
done
echo
echo "Redraw of the 60-minute WAV, 1600 x 400, 30 paints per zoom:"
"$tool" redraw "$src.wav" "$out/peaks_cache_wav" 2>/dev/null
