#!/usr/bin/env bash
# Installs what the ARM64 (aarch64) cross build needs, on demand, through Debian's multiarch
# packages: the cross compiler, qemu-user to run the results, and the :arm64 development packages.
#   setup-arm64.sh players   only what the two players and the decoder module link (CI's tour)
#   setup-arm64.sh all       every program and the unit tests (test-arm64.sh, package.sh arm64)
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail
set_name="${1:-all}"

native=(crossbuild-essential-arm64 qemu-user)
players=(libc6 libstdc++6 libsdl2-dev libfreetype-dev libfontconfig1-dev libpng-dev libmpg123-dev zlib1g-dev)
rest=(libjpeg62-turbo-dev libmp3lame-dev libsndfile1-dev libsoxr-dev libgtk-3-dev libgtest-dev libgmock-dev
      libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev)
case "$set_name" in
  players) cross=("${players[@]}") ;;
  all) cross=("${players[@]}" "${rest[@]}") ;;
  *) echo "usage: setup-arm64.sh [players|all]" >&2; exit 2 ;;
esac

wanted=("${native[@]}")
for p in "${cross[@]}"; do wanted+=("$p:arm64"); done
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup-arm64: installing ${missing[*]}" >&2
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null 2>&1 || { echo "setup-arm64: need root or sudo to install packages" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx arm64; then
  $sudo dpkg --add-architecture arm64
fi
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
