#!/usr/bin/env bash
# Engine benchmark: quillet-engine convert against the ffmpeg command line on the same
# transcodes, run side by side. Prints, per transcode and source length, the ratio of wall
# times (ours / ffmpeg's; lower is better, target <= 1.0), the ratio of CPU times (user + sys,
# steadier on a loaded machine) and the peak memory of both. Each pair runs RUNS times
# (default 3 for 1 minute, 1 for 10 minutes), alternating, and the best of each counts.
# Usage: bench/engine_bench.sh [build-dir]   (default: build; builds quillet-engine if needed)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -x /usr/bin/time ] || { echo "needs GNU time (/usr/bin/time, Debian package 'time')" >&2; exit 2; }
if [ ! -x "$build/bin/quillet-engine" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j2 --target quillet-engine >/dev/null
fi
engine=$(realpath "$build/bin/quillet-engine")
out=bench/out
mkdir -p "$out"
ff() { ffmpeg -y -hide_banner -loglevel error -nostdin "$@"; }

# Runs a command under GNU time; prints "<wall s> <cpu s> <peak KiB>".
measure() {
  local log
  log=$(mktemp)
  /usr/bin/time -f "%e %U %S %M" -o "$log" "$@" >/dev/null
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$log"
  rm -f "$log"
}
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a + 0 < b + 0) ? a : b }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

for minutes in 1 10; do
  frames=$((minutes * 60 * 44100))
  src=$out/src_${minutes}m
  # A source with music-like content: two tones and some noise, stereo 44.1 kHz 16-bit.
  [ -f "$src.ogg" ] || {
  ff -f lavfi -i "sine=f=440:sample_rate=44100" -f lavfi -i "sine=f=660:sample_rate=44100" \
     -f lavfi -i "anoisesrc=sample_rate=44100:amplitude=0.05:seed=3" \
     -filter_complex "[0][1][2]amix=inputs=3,atrim=end_sample=$frames,aformat=channel_layouts=stereo" \
     -c:a pcm_s16le "$src.wav"
  # Inputs of the other kinds, made once by ffmpeg (not timed).
  ff -i "$src.wav" -c:a libmp3lame -b:a 128k "$src.mp3"
  ff -i "$src.wav" -c:a wmav2 -b:a 128k "$src.wma"
  ff -i "$src.wav" -c:a libvorbis -b:a 128k "$src.ogg"
  }

  # name | input | our output and option | ffmpeg's output options
  while IFS='|' read -r name input ours option theirs; do
    read -r -a opt <<<"$option"
    read -r -a ffopt <<<"$theirs"
    runs=${RUNS:-$([ "$minutes" = 1 ] && echo 3 || echo 1)}
    w_ours=""; c_ours=""; m_ours=0; w_ff=""; c_ff=""; m_ff=0
    for _ in $(seq "$runs"); do
      read -r w c m < <(measure "$engine" convert "$input" 0 "$frames" "$out/ours_$ours" "${opt[@]}")
      w_ours=$(min "$w" "$w_ours"); c_ours=$(min "$c" "$c_ours"); m_ours=$m
      read -r w c m < <(measure ffmpeg -y -hide_banner -loglevel error -nostdin -i "$input" \
                          -map_metadata 0 "${ffopt[@]}" "$out/ff_$ours")
      w_ff=$(min "$w" "$w_ff"); c_ff=$(min "$c" "$c_ff"); m_ff=$m
    done
    printf '%-9s %2s min  wall ours %6.2f s ffmpeg %6.2f s ratio %s  cpu ours %6.2f s ffmpeg %6.2f s ratio %s  peak ours %6d KiB ffmpeg %6d KiB\n' \
      "$name" "$minutes" "$w_ours" "$w_ff" "$(ratio "$w_ours" "$w_ff")" \
      "$c_ours" "$c_ff" "$(ratio "$c_ours" "$c_ff")" "$m_ours" "$m_ff"
  done <<EOT
wav->mp3|$src.wav|${minutes}m.mp3|--mp3 44100,128,2,5|-c:a libmp3lame -b:a 128k -compression_level 5
mp3->ogg|$src.mp3|${minutes}m.ogg|--ogg 44100,2,128,128,128,-1|-c:a libvorbis -b:a 128k -maxrate 128k -minrate 128k
wma->wav|$src.wma|${minutes}m.wav|--wav 44100,2,16|-c:a pcm_s16le
ogg->wma|$src.ogg|${minutes}m.wma|--wma 10|-c:a wmav2 -b:a 128k
EOT
done
