#!/usr/bin/env bash
# Installs the Debian 12 packages Quillet builds, runs and tests with (only what is missing).
set -euo pipefail
packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev libtag1-dev libvorbis-dev
  libgtest-dev
  ffmpeg sox pulseaudio pulseaudio-utils xvfb xauth imagemagick time openbox
  desktop-file-utils appstream xdotool
  # Decoders and tag readers that are not FFmpeg, and an encoder, to judge the engine in tests.
  mpg123 vorbis-tools python3-mutagen lame python3-eyed3
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
