#!/usr/bin/env bash
# The main job: installs what is missing, builds everything, generates the sample PC game,
# converts it into the handheld data folders (640 × 480 and 320 × 240) and plays its first
# scenario: in a window when a display is available, otherwise headless with scripted taps,
# leaving screenshots to look at. SOREL_HEADLESS=1 forces the headless run.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup-deps.sh
./scripts/build.sh
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

# Voices and effects start switched off in a fresh installation. The demo switches them on the
# way a player does, through the pop-up menu: X opens it, then 設定 → 音声 → 再生 and
# 設定 → 効果音 → 再生 (the settings are written when the player closes).
menu="$work/menu-keys.txt"
{
  f=10
  for row in 2 3; do                      # 音声, 効果音 in 設定
    echo "$f press x"; f=$((f + 3))
    for _ in 1 2 3 4 5; do echo "$f press down"; f=$((f + 3)); done   # 設定
    echo "$f press right"; f=$((f + 3))
    for _ in $(seq 0 "$row"); do echo "$f press down"; f=$((f + 3)); done
    echo "$f press right"; f=$((f + 3))
    echo "$f press down"; f=$((f + 3)); echo "$f press down"; f=$((f + 3))  # 再生
    echo "$f press right"; f=$((f + 6))
  done
  echo "$f close"
} > "$menu"
"$bin/pocketplayer" --root "$work/pocket" --headless --virtual-clock --frames 400 --input "$menu"
"$bin/handheldplayer" --root "$work/handheld" --headless --virtual-clock --frames 400 --input "$menu"
for root in "$work/pocket" "$work/handheld"; do
  grep -q 'VOICE_PLAY=2' "$root/sorel.cfg" && grep -q 'SE_PLAY=2' "$root/sorel.cfg" ||
    { echo "demo: the menu did not switch voices and effects on in $root" >&2; exit 1; }
done

echo "== playing it"
scenario="01-01(導入).bin"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${SOREL_HEADLESS:-}" ]; then
  echo "pocketplayer: tap or press the right arrow to read on, up for the backlog, close the window to quit"
  "$bin/pocketplayer" --root "$work/pocket" --scenario "$scenario"
else
  # Read on every 1.5 s of game time; a screenshot every 5 s.
  keys="$work/keys.txt"
  : > "$keys"
  for f in $(seq 120 90 1800); do echo "$f press right" >> "$keys"; done
  shots=()
  for f in 200 500 800 1100 1400 1700; do shots+=(--screenshot "$f:$work/pocket-$f.png"); done
  "$bin/pocketplayer" --root "$work/pocket" --headless --virtual-clock --frames 1800 \
      --scenario "$scenario" --input "$keys" --audio-out "$work/pocket.wav" "${shots[@]}"
  "$bin/handheldplayer" --root "$work/handheld" --headless --virtual-clock --frames 900 \
      --scenario "$scenario" --input "$keys" --screenshot "600:$work/handheld-600.png"
  echo "demo: played headless; screenshots are $work/pocket-*.png and $work/handheld-600.png"
fi
echo "demo: game in $work/game, data folders in $work/pocket and $work/handheld"
