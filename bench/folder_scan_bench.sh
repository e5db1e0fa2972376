#!/usr/bin/env bash
# Files per second of "Add Path" without a window: quillet-scan walks a folder of short files of
# the four formats and opens each through Quillet's engine to take its length. The peer is
# ffprobe reading the durations of the same files in the same run, one process per file (its
# start-up cost is estimated and shown apart). Also checks that both agree on every length.
#   bench/folder_scan_bench.sh [build-dir] [files]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
files=${2:-1000}
cmake --build "$build" -j2 --target quillet-scan >/dev/null
scan="$build/bin/quillet-scan"

work=bench/out/folder_scan
rm -rf "$work"
mkdir -p "$work/seed" "$work/tree"

# A few seed files per format (0.5 to 2.5 s), copied into ten sub-folders up to the count.
fmts=(mp3 wav ogg wma)
declare -A codec=([mp3]="-c:a libmp3lame -b:a 128k" [wav]="-c:a pcm_s16le"
                  [ogg]="-c:a libvorbis -q:a 3" [wma]="-c:a wmav2 -b:a 128k")
for f in "${fmts[@]}"; do
  for d in 0.5 1.2 2.5; do
    # shellcheck disable=SC2086
    ffmpeg -v error -y -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$d" \
      -ac 2 ${codec[$f]} "$work/seed/s$d.$f"
  done
done
seeds=("$work"/seed/*)
for ((i = 0; i < files; i++)); do
  dir="$work/tree/d$((i % 10))"
  mkdir -p "$dir"
  seed=${seeds[$((i % ${#seeds[@]}))]}
  cp "$seed" "$dir/track $i.${seed##*.}"
done
mapfile -d '' all < <(find "$work/tree" -type f -print0)
sync

now() { date +%s.%N; }

# Warm the page cache once so that neither side pays for the first read.
cat "${all[@]}" >/dev/null

t0=$(now)
"$scan" --list "$work/tree" >"$work/quillet.txt"
t1=$(now)
for p in "${all[@]}"; do
  printf '%s\t' "$p"
  ffprobe -v error -show_entries format=duration -of csv=p=0 "$p"
done >"$work/ffprobe.txt"
t2=$(now)
# ffprobe's own start-up, from 100 runs that read no file, scaled to the file count.
for ((i = 0; i < 100; i++)); do ffprobe -v error -version >/dev/null; done
t3=$(now)

summary=$(tail -n 1 "$work/quillet.txt")
added=$(awk '{print $2}' <<<"$summary")
peak=$(awk '{print $10}' <<<"$summary")

# Same files, same lengths (ffprobe's container duration, to within 60 ms).
mismatch=$(awk -F'\t' '
  NR == FNR { if (NF == 2) ms[$2] = $1; next }
  { q = ms[$1]; if (q == "" || (q - $2 * 1000) > 60 || ($2 * 1000 - q) > 60) bad++ }
  END { print bad + 0 }' "$work/quillet.txt" "$work/ffprobe.txt")

awk -v n="${#all[@]}" -v added="$added" -v t0="$t0" -v t1="$t1" -v t2="$t2" -v t3="$t3" \
    -v peak="$peak" -v bad="$mismatch" 'BEGIN {
  q = t1 - t0; p = t2 - t1; s = (t3 - t2) * n / 100
  printf "files                      %d (added %d, lengths differing from ffprobe: %d)\n", n, added, bad
  printf "quillet-scan               %.2f s  %.0f files/s  peak %.1f MB\n", q, n / q, peak / 1024
  printf "ffprobe, one per file      %.2f s  %.0f files/s\n", p, n / p
  printf "  of which process starts  %.2f s\n", s
  printf "ratio ffprobe/quillet      %.2f (%.2f without ffprobe start-up)\n", p / q, (p - s) / q
}'
