#!/usr/bin/env bash
# The main job: installs what is missing, builds the programs it runs, generates the sample PC game,
# converts it into the handheld data folders (640 × 480 and 320 × 240) and plays it from its
# title: in a window when a display is available, otherwise headless as a scripted tour of every
# screen through both players, leaving screenshots and the captured sound. SOREL_HEADLESS=1
# forces the headless run.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup-deps.sh
# Only the programs the demo runs: the tests and benchmarks are test.sh's (a first run takes a
# fraction of the time).
started=$SECONDS
./scripts/build.sh --target pocketplayer --target handheldplayer --target quillon --target convSorel \
    --target sorel-archive --target sorel-mkgame
echo "demo: programs built in $((SECONDS - started)) s"
bin="$PWD/${SOREL_BUILD_DIR:-build}/bin"
work=out/demo
rm -rf "$work" && mkdir -p "$work"

echo "== the sample game"
"$bin/sorel-mkgame" "$work/game"
for pac in "$work"/game/*.pac; do
  printf '%-16s %s\n' "$(basename "$pac")" "$("$bin/sorel-archive" list "$pac" | tail -n 1)"
done

echo "== converting it"
"$bin/convSorel" --batch --game "$work/game" --out "$work/pocket" --size 640 --quality 90
"$bin/convSorel" --batch --game "$work/game" --out "$work/handheld" --size 320 --quality 90
for mlz in "$work"/pocket/data/*.mlz; do "$bin/sorel-archive" check "$mlz" >/dev/null; done
"$bin/sorel-archive" png "$work/pocket/data/bg_vga.mlz" BG_Classroom_Eve.bmp "$work/BG_Classroom_Eve.png"

# A first start switches voices and effects on, since the converted folders hold them.
./scripts/tour.sh first "$bin" "$work"

echo "== playing it"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${SOREL_HEADLESS:-}" ]; then
  echo "pocketplayer: the title; arrows and the right arrow (or taps) choose, left held skips, close the window to quit"
  "$bin/pocketplayer" --root "$work/pocket"
else
  # The scripted tour of every screen through both players (scripts/tour.sh says which).
  ./scripts/tour.sh tour "$bin" "$work"
  echo "demo: played headless; screenshots are $work/pocket-*.png and $work/handheld-*.png," \
       "sound in $work/pocket.wav and $work/handheld.wav"
fi
echo "demo: game in $work/game, data folders in $work/pocket and $work/handheld"
