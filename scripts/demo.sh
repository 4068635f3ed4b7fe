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

# A first start switches voices and effects on, since the converted folders hold them; the
# settings are written when the player closes.
"$bin/pocketplayer" --root "$work/pocket" --headless --virtual-clock --frames 2
"$bin/handheldplayer" --root "$work/handheld" --headless --virtual-clock --frames 2
for root in "$work/pocket" "$work/handheld"; do
  grep -q 'VOICE_PLAY=2' "$root/sorel.cfg" && grep -q 'SE_PLAY=2' "$root/sorel.cfg" ||
    { echo "demo: the first start did not switch voices and effects on in $root" >&2; exit 1; }
done

echo "== playing it"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${SOREL_HEADLESS:-}" ]; then
  echo "pocketplayer: the title; arrows and the right arrow (or taps) choose, left held skips, close the window to quit"
  "$bin/pocketplayer" --root "$work/pocket"
else
  # A scripted tour, as a player would take it: the title (its opening movie ended by a tap, its
  # intro cut short by another), New Game, the story skipped through with the skip key held, each
  # choice decided with the keys (the first bar, and alone on the school trip's evening, which
  # leads to the bad end), the eye-catch ended by the advance key, the bad end's staff roll at its
  # own pace, back at the title (movie and intro cut short again); the gallery (the end card seen),
  # the replay screen (the bad end's replay unlocked), the sound mode (track 3), and Quit.
  # Frames and taps are those of the 640 x 480 screen; the handheld gets the taps halved.
  tour() {  # $1: 1 for the pocket screen, 2 for the handheld's
    local d=$1
    cat <<TOUR
30 tap $((320 / d)) $((40 / d))
90 tap $((320 / d)) $((40 / d))
160 press down
166 press right
270 down left
295 press down
300 press right
353 press right
375 press down
380 press right
405 press down
410 press right
440 press up
445 press right
461 up left
894 tap $((320 / d)) $((40 / d))
954 tap $((320 / d)) $((40 / d))
1027 press up
1032 press up
1037 press right
1157 press down
1162 press right
1307 press up
1312 press up
1317 press right
1327 tap $((80 / d)) $((75 / d))
1342 press right
1352 press up
1357 press right
1557 press up
1562 press up
1567 press right
1687 press down
1692 press down
1697 press right
1842 press up
1847 press up
1852 press right
1867 tap $((624 / d)) $((464 / d))
2067 press up
2072 press up
2077 press right
2197 press down
2202 press down
2207 press down
2212 press right
2357 press down
2362 press down
2367 press down
2372 press right
2527 tap $((499 / d)) $((455 / d))
2727 press up
2732 press right
TOUR
  }
  tour 1 > "$work/tour-pocket.txt"
  tour 2 > "$work/tour-handheld.txt"
  # One screenshot per screen: title menu, the first choice, eye-catch, the last choice, staff
  # roll, title again, gallery page, a gallery picture, replay page, sound mode, Quit's fade.
  screens=(155:title 298:choice 350:eyecatch 442:choice-alone 490:staffroll 1017:title-again
           1322:gallery 1337:gallery-view 1857:replay 2427:soundmode 2827:quit)
  for player in pocket handheld; do
    shots=()
    for s in "${screens[@]}"; do shots+=(--screenshot "${s%%:*}:$work/$player-${s#*:}.png"); done
    "$bin/${player}player" --root "$work/$player" --headless --virtual-clock --frames 3200 \
        --input "$work/tour-$player.txt" --audio-out "$work/$player.wav" \
        --dump-state "$work/$player-state.txt" "${shots[@]}"
    frames=$(wc -l < "$work/$player-state.txt")
    if [ "$frames" -ge 3200 ]; then
      echo "demo: ${player}player did not reach Quit; see $work/$player-state.txt" >&2
      exit 1
    fi
    echo "demo: ${player}player quit from the title after $frames frames"
  done
  echo "demo: played headless; screenshots are $work/pocket-*.png and $work/handheld-*.png," \
       "sound in $work/pocket.wav and $work/handheld.wav"
fi
echo "demo: game in $work/game, data folders in $work/pocket and $work/handheld"
