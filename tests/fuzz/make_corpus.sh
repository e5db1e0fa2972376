#!/usr/bin/env bash
# Seed corpus for decoder_fuzzer: short real files of every format the decoder reads, each with
# the fuzzer's 9-byte trailer (seek positions, extension) appended. Usage: make_corpus.sh DIR
set -euo pipefail
out=${1:?usage: make_corpus.sh DIR}
mkdir -p "$out"
make() {  # name extension-index rate channels ffmpeg-options...
  local name=$1 ext=$2 rate=$3 channels=$4; shift 4
  local exts=(mp3 wav wma ogg) tmp
  tmp=$(mktemp --suffix=".${exts[$ext]}")
  ffmpeg -v error -y -f lavfi -i "anoisesrc=sample_rate=$rate:amplitude=0.3:seed=3" \
    -af "atrim=end_sample=$((rate / 5))" -ac "$channels" -ar "$rate" "$@" "$tmp"
  { cat "$tmp"; printf '\x00\x00\xff\x7f\xff\xff\x00\x40'; printf "\\x0$ext"; } >"$out/$name"
  rm -f "$tmp"
}
make mp3-cbr-xing 0 44100 2 -c:a libmp3lame -b:a 64k
make mp3-vbr-xing 0 48000 1 -c:a libmp3lame -q:a 6
make mp3-mpeg2-noxing 0 22050 2 -c:a libmp3lame -b:a 32k -write_xing 0
make mp3-mpeg25-noxing 0 11025 1 -c:a libmp3lame -q:a 8 -write_xing 0
make mp3-tagged 0 32000 1 -c:a libmp3lame -b:a 48k -metadata title=Seed -write_id3v1 1
make mp2 0 32000 1 -c:a mp2 -b:a 64k -f mp2
make wav-u8 1 8000 1 -c:a pcm_u8
make wav-s16 1 11025 2 -c:a pcm_s16le
make wav-s24 1 8000 2 -c:a pcm_s24le
make wav-f32 1 8000 1 -c:a pcm_f32le
make wav-adpcm 1 8000 1 -c:a adpcm_ms
make wma-v1 2 22050 1 -c:a wmav1 -b:a 32k
make wma-v2 2 22050 2 -c:a wmav2 -b:a 48k
make ogg-vorbis 3 22050 2 -c:a libvorbis -q:a 0 -page_duration 20000
make ogg-vorbis-mono 3 8000 1 -c:a libvorbis -q:a 2
make wav-quad 1 8000 4 -c:a pcm_s16le -channel_layout quad
make wav-3.0 1 8000 3 -c:a pcm_s24le -channel_layout 3.0
make wav-s32-stereo 1 8000 2 -c:a pcm_s32le
make ogg-vorbis-3.0 3 8000 3 -c:a libvorbis -q:a 0 -channel_layout 3.0
make mp3-tagged-v24 0 22050 2 -c:a libmp3lame -b:a 32k -metadata track=5/12 -metadata date=2003-05-17 -id3v2_version 4
make wma-tagged 2 22050 1 -c:a wmav2 -b:a 32k -metadata title=Seed -metadata track=05
make ogg-tagged 3 8000 1 -c:a libvorbis -q:a 0 -metadata TRACKNUMBER=5/12 -metadata DATE=2003-05-17
# A chain of two Ogg Vorbis streams of different serials, as streamed radio writes them.
chain=$(mktemp --suffix=.ogg)
for serial in 11 12; do
  ffmpeg -v error -y -f lavfi -i "sine=f=$((300 * serial)):r=8000:d=0.15" -c:a libvorbis -q:a 0 \
    -serial_offset "$serial" -f ogg - >>"$chain"
done
{ cat "$chain"; printf '\x00\x00\xff\x7f\xff\xff\x00\x40\x03'; } >"$out/ogg-chained"
rm -f "$chain"
ls -l "$out"
