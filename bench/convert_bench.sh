#!/usr/bin/env bash
# Cut of a 10-minute file and Join of ten 1-minute files into each output format, through
# Quillet's own Cut and Join code (quillet-convert-bench, which pumps the event loop as the
# window does), against the ffmpeg command line doing the same work in the same run: decode,
# convert to the output rate and channels, encode with the same settings (the conversion
# defaults of an empty quillet.ini).
#   bench/convert_bench.sh [build-dir]
# BUSY=n runs n competing busy processes (shell loops) for the whole run, one per core with
# BUSY=$(nproc), so that both sides share the machine with other work.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" -j2 --target quillet-convert-bench >/dev/null
driver="$build/bin/quillet-convert-bench"

work=bench/out/convert
rm -rf "$work"
mkdir -p "$work/in" "$work/config" "$work/ours" "$work/peer"
export XDG_CONFIG_HOME="$PWD/$work/config"  # no quillet.ini: the conversion defaults
export QT_QPA_PLATFORM=offscreen

# Music-like input: two tones and some noise, so the encoders have real work.
src() {
  echo "aevalsrc=0.3*sin(2*PI*220*t)+0.2*sin(2*PI*(330+40*sin(t))*t)+0.05*(random(0)-0.5):s=44100:c=stereo:d=$1"
}
ffmpeg -v error -y -f lavfi -i "$(src 600)" -metadata title=Long -c:a libmp3lame -b:a 192k \
  "$work/in/long.mp3"
parts=()
for i in $(seq 0 9); do
  ffmpeg -v error -y -f lavfi -i "$(src 60)" -c:a libmp3lame -b:a 192k "$work/in/part$i.mp3"
  parts+=("$work/in/part$i.mp3")
  echo "file '$PWD/$work/in/part$i.mp3'" >>"$work/in/list.txt"
done

# What each output format is with no settings file: MP3 48000 Hz 128 kbit/s CBR quality 9;
# WAV 44100 Hz 16 bits; WMA profile 10 (44100 Hz 128 kbit/s); OGG 48000 Hz 128 kbit/s managed.
names=(mp3 wav wma ogg)
peer_opts=("-ar 48000 -ac 2 -c:a libmp3lame -b:a 128k -compression_level 9"
           "-ar 44100 -ac 2 -c:a pcm_s16le"
           "-ar 44100 -ac 2 -c:a wmav2 -b:a 128k"
           "-ar 48000 -ac 2 -c:a libvorbis -b:a 128k -minrate 128k -maxrate 128k")

busy_pids=()
stop_busy() { for p in "${busy_pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap stop_busy EXIT
for _ in $(seq 1 "${BUSY:-0}"); do
  sh -c 'while :; do :; done' &
  busy_pids+=($!)
done

# Runs a command under GNU time; prints "<seconds> <peak kB>" and keeps its stdout in $1.
timed() {
  local out=$1
  shift
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >"$out"
  cat "$work/time.txt"
}

printf "%-5s %-4s %9s %9s %7s %14s %11s %11s\n" op fmt quillet_s ffmpeg_s ratio longest_wait_ms quillet_MB ffmpeg_MB
for f in 0 1 2 3; do
  ext=${names[$f]}
  for op in cut join; do
    if [ "$op" = cut ]; then
      read -r qs qkb < <(timed "$work/driver.txt" "$driver" cut "$f" "$PWD/$work/ours" "$work/in/long.mp3")
      # shellcheck disable=SC2086
      read -r fs fkb < <(timed /dev/null ffmpeg -v error -y -i "$work/in/long.mp3" ${peer_opts[$f]} \
        "$work/peer/long.$ext")
    else
      read -r qs qkb < <(timed "$work/driver.txt" "$driver" join "$f" "$PWD/$work/ours/joined.$ext" "${parts[@]}")
      # shellcheck disable=SC2086
      read -r fs fkb < <(timed /dev/null ffmpeg -v error -y -f concat -safe 0 -i "$work/in/list.txt" \
        ${peer_opts[$f]} "$work/peer/joined.$ext")
    fi
    wait_ms=$(awk '/longest_wait_ms/ {print $2}' "$work/driver.txt")
    awk -v op="$op" -v ext="$ext" -v qs="$qs" -v fs="$fs" -v w="$wait_ms" -v qkb="$qkb" -v fkb="$fkb" \
      'BEGIN { printf "%-5s %-4s %9.2f %9.2f %7.2f %14s %11.1f %11.1f\n", op, ext, qs, fs,
               (fs > 0 ? qs / fs : 0), w, qkb / 1024, fkb / 1024 }'
  done
done
echo "ratio = Quillet's time / ffmpeg's time (lower is better); longest_wait_ms: the longest gap"
echo "between ticks of a 1 ms timer while the command ran (target < 20 ms)."
echo "busy processes: ${BUSY:-0}; load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
