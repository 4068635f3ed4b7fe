#!/usr/bin/env bash
# The main job: installs what is missing, builds everything, then packs a folder into an .mlz
# archive, lists it, checks it and unpacks it again, comparing every member with its source.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup-deps.sh
./scripts/build.sh
bin="${SOREL_BUILD_DIR:-build}/bin"
work=out/demo
rm -rf "$work" && mkdir -p "$work"

src=(engine/resources/*.h engine/resources/*.cpp converter/*.cpp)
"$bin/sorel-archive" pack "$work/demo.mlz" "${src[@]}"
"$bin/sorel-archive" list "$work/demo.mlz"
"$bin/sorel-archive" check "$work/demo.mlz"
"$bin/sorel-archive" extract "$work/demo.mlz" --all "$work/unpacked"
for f in "${src[@]}"; do cmp "$f" "$work/unpacked/$(basename "$f")"; done
echo "demo: every member unpacked identical to its source"

# The sample game: a complete PC installation, listed archive by archive.
"$bin/sorel-mkgame" "$work/game"
for pac in "$work"/game/*.pac; do "$bin/sorel-archive" list "$pac" | tail -n 1 | sed "s|^|$(basename "$pac"): |"; done

# Its conversion into the handheld's data folder (VGA pictures, JBP1 at quality 90), and one
# converted picture as a PNG to look at.
"$bin/convSorel" --batch --game "$work/game" --out "$work" --size 640 --quality 90
"$bin/sorel-archive" png "$work/data/bg_vga.mlz" BG_Classroom_Eve.bmp "$work/BG_Classroom_Eve.png"
echo "demo: converted the sample game into $work/data; a picture is in $work/BG_Classroom_Eve.png"
