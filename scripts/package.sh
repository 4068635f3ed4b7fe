#!/usr/bin/env bash
# Builds the release packages for one processor into dist/:
#   dist/sorel_<version>_<amd64|arm64>.deb            the Debian package (dependencies computed from
#                                                      the binaries by dpkg-shlibdeps)
#   dist/sorel-<version>-linux-<x86_64|aarch64>.tar.gz a folder that runs from anywhere (a
#                                                      handheld's card): bin/, lib/sorel/ with the
#                                                      decoder module and bundled libraries, share/,
#                                                      and the launchers pocketplayer.sh and
#                                                      handheldplayer.sh, which play the data/ folder
#                                                      put beside them
# Usage: package.sh [amd64|arm64]   (default: amd64; arm64 cross-builds, see test-arm64.sh)
# Then checks the archive the way a user would: unpacked into a new folder, the players print
# their version and play the sample game with its sound.
set -euo pipefail
cd "$(dirname "$0")/.."
arch="${1:-amd64}"
case "$arch" in
  amd64) triplet=x86_64-linux-gnu machine=x86_64 toolchain=() run=() ;;
  arm64) triplet=aarch64-linux-gnu machine=aarch64 toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake)
         run=(qemu-aarch64 -L /) ;;
  *) echo "usage: package.sh [amd64|arm64]" >&2; exit 2 ;;
esac
clock() { date +%s; }
./scripts/setup-deps.sh
[ "$arch" = arm64 ] && ./scripts/setup-arm64.sh all
version=$(sed -n 's/^project(sorel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

build="${SOREL_PACKAGE_BUILD_DIR:-build-package-$arch}"
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
t0=$(clock)
cmake -S . -B "$build" "${toolchain[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DSOREL_TESTS=OFF -DSOREL_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
echo "== package: $arch build in $(( $(clock) - t0 )) s"

mkdir -p dist
# The Debian package. dpkg-shlibdeps looks the libraries up for the package's architecture.
rm -rf "$build/package"
(cd "$build" && DEB_HOST_ARCH="$arch" DEB_HOST_MULTIARCH="$triplet" cpack -G DEB >/dev/null)
deb="dist/sorel_${version}_$arch.deb"
cp "$build"/package/sorel_"${version}"_"$arch".deb "$deb"
# What the package must hold and depend on.
contents=$(dpkg-deb -c "$deb")
for p in pocketplayer handheldplayer convSorel sorel-archive sorel-script sorel-movie sorel-save sorel-mkgame; do
  for f in "usr/bin/$p" "usr/share/man/man1/$p.1"; do
    grep -q "\./$f\$" <<<"$contents" || { echo "package: $deb lacks /$f" >&2; exit 1; }
  done
done
for f in usr/lib/sorel/Quillon.ovl usr/share/applications/sorel-pocketplayer.desktop \
         usr/share/applications/sorel-handheldplayer.desktop usr/share/applications/sorel-convsorel.desktop \
         usr/share/icons/hicolor/48x48/apps/sorel.png usr/share/doc/sorel/README.md; do
  grep -q "\./$f\$" <<<"$contents" || { echo "package: $deb lacks /$f" >&2; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for d in libsdl2 libfreetype6 libfontconfig1 libmpg123 libmp3lame0 libsndfile1 libsoxr0 libgtk-3-0 fonts-ipafont-gothic; do
  grep -q "$d" <<<"$depends" || { echo "package: $deb does not depend on $d: $depends" >&2; exit 1; }
done
if command -v desktop-file-validate >/dev/null 2>&1; then
  desktop-file-validate packaging/applications/*.desktop
fi

# The relocatable archive: the installed tree under one folder, with RPATH $ORIGIN/../lib/sorel.
name="sorel-$version-linux-$machine"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
top="$stage/$name"
cmake --install "$build" --prefix "$top" --strip >/dev/null
# Bundled: the libraries the programs load that a handheld's firmware may lack. Not bundled:
# the C library and the C++ runtime (libstdc++, libgcc_s), which every system has and whose
# older copy would be forced on the system's own libraries (graphics drivers among them); SDL2,
# which a device builds for its own display and input; and the GTK stack of the converter's
# dialog, a desktop's (--batch converts without it), and FFmpeg's libraries, which sorel-movie
# reads videos with, dozens of codec libraries deep (a desktop's too).
skip='^(libc|libm|libdl|libpthread|librt|libresolv|libutil|ld-linux.*|libstdc\+\+|libgcc_s|libSDL2-2\.0|libgtk-3|libgdk-3|libgdk_pixbuf-2\.0|libglib-2\.0|libgobject-2\.0|libgio-2\.0|libgmodule-2\.0|libpango.*|libcairo.*|libharfbuzz|libatk.*|libav(format|codec|util|filter|device)|libsw(scale|resample))\.so'
find_lib() {
  for d in /usr/lib/"$triplet" /lib/"$triplet"; do
    [ -e "$d/$1" ] && { echo "$d/$1"; return; }
  done
}
needed() { readelf -d "$1" 2>/dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; }
queue=("$top"/bin/* "$top"/lib/sorel/Quillon.ovl)
declare -A seen=()
bundled=()
while [ ${#queue[@]} -gt 0 ]; do
  elf="${queue[0]}"
  queue=("${queue[@]:1}")
  for lib in $(needed "$elf"); do
    [[ "$lib" =~ $skip ]] && continue
    [ -n "${seen[$lib]:-}" ] && continue
    seen[$lib]=1
    path=$(find_lib "$lib")
    [ -n "$path" ] || { echo "package: $lib (needed by $(basename "$elf")) not found" >&2; exit 1; }
    cp -L "$path" "$top/lib/sorel/$lib"
    bundled+=("$path")
    queue+=("$top/lib/sorel/$lib")
  done
done
# Their licences, as Debian ships them, one file per package.
mkdir -p "$top/share/doc/sorel/bundled"
for path in "${bundled[@]}"; do
  pkg=$(dpkg -S "$path" 2>/dev/null || dpkg -S "${path/#\/usr\/lib/\/lib}" 2>/dev/null || dpkg -S "$(readlink -f "$path")" 2>/dev/null || true)
  pkg="${pkg%%:*}"
  [ -n "$pkg" ] && [ -f "/usr/share/doc/$pkg/copyright" ] && cp "/usr/share/doc/$pkg/copyright" "$top/share/doc/sorel/bundled/$pkg.copyright"
done
for player in pocketplayer handheldplayer; do
  cat > "$top/$player.sh" <<LAUNCH
#!/bin/sh
# Plays the data/ folder beside this file full screen (settings and saves are kept beside it).
cd "\$(dirname "\$(readlink -f "\$0")")" && exec ./bin/$player --fullscreen "\$@"
LAUNCH
  chmod +x "$top/$player.sh"
done
tarball="dist/$name.tar.gz"
tar -C "$stage" --owner=0 --group=0 -czf "$tarball" "$name"

# The archive as a user meets it: unpacked somewhere new, the sample game converted into it and
# played headless from its folder with the sound captured.
t0=$(clock)
check=$(mktemp -d)
trap 'rm -rf "$stage" "$check"' EXIT
tar -C "$check" -xzf "$tarball"
here="$check/$name"
"${run[@]}" "$here/bin/pocketplayer" --version
tools="$here/bin"
if [ "$arch" != amd64 ]; then  # the sample game's bytes do not depend on the processor
  ./scripts/build.sh --target convSorel --target sorel-mkgame >/dev/null
  tools="$PWD/${SOREL_BUILD_DIR:-build}/bin"
fi
"$tools/sorel-mkgame" -q "$check/game"
"$tools/convSorel" --batch --game "$check/game" --out "$here" --size 640 --quality 90 >/dev/null
(cd "$here" && SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "${run[@]}" ./bin/pocketplayer --headless --virtual-clock \
  --frames 200 --audio-out "$check/sound.wav" --screenshot "100:$check/shot.png" 2>"$check/stderr.txt") ||
  { cat "$check/stderr.txt" >&2; exit 1; }
rms=$(sox "$check/sound.wav" -n stat 2>&1 | sed -n 's/^RMS *amplitude: *//p')
if [ -s "$check/stderr.txt" ] || [ ! -f "$here/sorel.cfg" ] || awk "BEGIN { exit !($rms < 0.001) }"; then
  echo "package: the unpacked archive did not play the sample game with sound (RMS $rms):" >&2
  cat "$check/stderr.txt" >&2
  exit 1
fi
echo "== package: unpacked archive played the sample game (sound RMS $rms) in $(( $(clock) - t0 )) s"
ls -l "$deb" "$tarball"
