#!/usr/bin/env bash
# A Cut of a 10-minute stretch (25:00 to 35:00) from a 60-minute MP3 and Ogg Vorbis file,
# keeping the source's audio (quillet-engine convert --keep-source-audio, the Cut road with the
# choice on), against ffmpeg -ss S -to E -c copy and against re-encoding the stretch with
# ffmpeg, in the same run; and how many samples each copy is off the source over the stretch.
#   bench/lossless_bench.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" -j2 --target quillet-engine quillet-lossless-offset >/dev/null
engine="$build/bin/quillet-engine"
offset="$build/bin/quillet-lossless-offset"
runs=${RUNS:-3}

work=bench/out/lossless
mkdir -p "$work"
rate=44100
S=1500
E=2100
# Music-like input: two tones and some noise; made once and kept between runs.
src="aevalsrc=0.3*sin(2*PI*220*t)+0.2*sin(2*PI*(330+40*sin(t))*t)+0.05*(random(0)-0.5):s=$rate:c=stereo:d=3600"
[ -f "$work/long.mp3" ] || ffmpeg -v error -y -f lavfi -i "$src" -c:a libmp3lame -b:a 128k "$work/long.mp3"
[ -f "$work/long.ogg" ] || ffmpeg -v error -y -f lavfi -i "$src" -c:a libvorbis -b:a 128k "$work/long.ogg"

# Best wall time of $runs runs of a command, and its peak memory: "<seconds> <peak kB>".
best() {
  local bestS="" bestKb=""
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" ||
      { cat "$work/stderr.txt"; exit 1; }
    read -r s kb <"$work/time.txt"
    if [ -z "$bestS" ] || awk "BEGIN{exit !($s < $bestS)}"; then bestS=$s; bestKb=$kb; fi
  done
  echo "$bestS $bestKb"
}

# How far a cut's audio is off: "lag extra identical" against the source over [S, E).
off() {
  "$offset" "$work/ref.f32" "$1" 2 | sed 's/lag=//;s/extra=//;s/identical=//'
}

printf "%-4s %8s %8s %8s %9s %9s %10s %10s %8s\n" fmt ours_s copy_s reenc_s vs_copy vs_reenc \
  ours_off copy_off ours_MB
for fmt in mp3 ogg; do
  in="$work/long.$fmt"
  codec=$([ "$fmt" = mp3 ] && echo "libmp3lame" || echo "libvorbis")
  read -r qs qkb < <(best "$engine" convert "$in" $((S * rate)) $((E * rate)) "$work/ours.$fmt" \
    --keep-source-audio)
  read -r cs _ < <(best ffmpeg -v error -y -ss $S -to $E -i "$in" -c copy "$work/copy.$fmt")
  read -r rs _ < <(RUNS=1 best ffmpeg -v error -y -ss $S -to $E -i "$in" -c:a "$codec" -b:a 128k \
    "$work/reenc.$fmt")
  # The source's samples over the stretch, and each cut decoded, by ffmpeg. Our Ogg copy marks
  # its leading samples by the first page's granule, which ffmpeg honours only by timestamps.
  ffmpeg -v error -y -i "$in" -af "atrim=start_sample=$((S * rate)):end_sample=$((E * rate))" \
    -f f32le "$work/ref.f32"
  ss=$([ "$fmt" = ogg ] && echo "-ss 0" || echo "")
  # shellcheck disable=SC2086
  ffmpeg -v error -y $ss -i "$work/ours.$fmt" -f f32le "$work/ours.f32"
  ffmpeg -v error -y -i "$work/copy.$fmt" -f f32le "$work/copy.f32"
  read -r olag oextra oid < <(off "$work/ours.f32")
  read -r clag cextra cid < <(off "$work/copy.f32")
  printf "%-4s %8s %8s %8s %9s %8s%% %10s %10s %8s\n" "$fmt" "$qs" "$cs" "$rs" \
    "$(awk "BEGIN{printf \"%.2f\", $qs / $cs}")" "$(awk "BEGIN{printf \"%.1f\", 100 * $qs / $rs}")" \
    "$olag/$oextra" "$clag/$cextra" "$((qkb / 1024))"
  echo "     ours: lag $olag, $oextra samples more or less, bit-identical $oid;" \
    "ffmpeg's copy: lag $clag, $cextra more or less, bit-identical $cid"
done
