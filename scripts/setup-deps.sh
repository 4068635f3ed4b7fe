#!/usr/bin/env bash
# Installs every Debian package the build, the programs and the tests need.
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang libclang-rt-14-dev
  libsdl2-dev libpng-dev libfreetype-dev libfontconfig1-dev fonts-ipafont-gothic
  libjpeg62-turbo-dev libmp3lame-dev libmpg123-dev libsndfile1-dev libsoxr-dev
  libgtk-3-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  sox espeak-ng xvfb xauth imagemagick
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup-deps: installing ${missing[*]}" >&2
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null 2>&1 || { echo "setup-deps: need root or sudo to install packages" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
