#!/usr/bin/env bash
# Measures how much of one processor core pocketplayer uses, as a person would run it: a real
# window on an X server (Xvfb, 1280 × 800, 24-bit, with a window manager, so the software
# path: Xvfb has no GPU) and the sound on SDL's dummy device (it drains in real time like a card,
# so the mixer works as it would). Every case is run REPEAT times; each run settles, then the
# player's /proc/PID/stat user + system ticks are read over SECONDS; the median is printed.
#
#   scripts/measure-cpu.sh [--bin DIR] [--root GAME] [--repeat N] [--seconds S] [--cases LIST]
#
# --bin: the players' folder (default build/bin); --root: a converted 640 × 480 game (default
# out/demo/pocket, made by scripts/demo.sh; it is copied, so its settings and saves stay as they
# are); --cases: a comma-separated choice of headless, window, fullscreen, message (default all).
#   headless    the headless engine at the real clock, title screen (for comparison)
#   window      a 1× window, title screen (the opening movie and intro tapped away)
#   fullscreen  --fullscreen on the 1280 × 800 screen, title screen
#   message     a 1× window, --scenario "01-01(導入).bin", its first message waiting to be read
# Needs Xvfb and openbox (apt-get install xvfb openbox): a window manager that leaves a window at
# the size it asks for (a small-screen one such as matchbox makes every window full screen).
set -euo pipefail
cd "$(dirname "$0")/.."

bin=build/bin
root=out/demo/pocket
repeat=3
seconds=10
cases=headless,window,fullscreen,message
while [ $# -gt 0 ]; do
  case "$1" in
    --bin) bin=$2; shift 2 ;;
    --root) root=$2; shift 2 ;;
    --repeat) repeat=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --cases) cases=$2; shift 2 ;;
    -h|--help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "measure-cpu: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
done
for tool in Xvfb openbox; do
  command -v "$tool" >/dev/null || { echo "measure-cpu: $tool is missing (apt-get install xvfb openbox)" >&2; exit 2; }
done
[ -x "$bin/pocketplayer" ] || { echo "measure-cpu: no $bin/pocketplayer (build first)" >&2; exit 2; }
[ -d "$root/data" ] || { echo "measure-cpu: no game at $root (run scripts/demo.sh, or give --root)" >&2; exit 2; }
bin=$(cd "$bin" && pwd)

work=$(mktemp -d /tmp/sorel-measure.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# An X server of its own, with a window manager (full screen is the window manager's business).
display=""
for n in $(seq 90 120); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { display=":$n"; break; }
done
[ -n "$display" ] || { echo "measure-cpu: no free X display number" >&2; exit 1; }
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
pids+=("$xvfb")
for _ in $(seq 1 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.05; done
DISPLAY=$display openbox >"$work/wm.log" 2>&1 &
pids+=("$!")
sleep 1

ticks() {  # user + system ticks of a process (fields 14 and 15 of its stat, after the name)
  awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"
}
hz=$(getconf CLK_TCK)
# Tap the opening movie and the title's intro away (a point of the 640 × 480 screen where the
# menu has nothing). At the real clock the movie's passes come unpaced, so taps follow until the
# menu has surely come (about frame 300, five seconds in).
printf '30 tap 320 40\n90 tap 320 40\n200 tap 320 40\n300 tap 320 40\n' > "$work/title.txt"

one_run() {  # $1: case; prints the player's percent of one core and Xvfb's
  local game="$work/game" args=() settle=7
  rm -rf "$game" && cp -r "$root" "$game"
  case "$1" in
    headless) args=(--headless --input "$work/title.txt") ;;
    window) args=(--input "$work/title.txt") ;;
    fullscreen) args=(--fullscreen --input "$work/title.txt") ;;
    message) args=(--scenario "01-01(導入).bin"); settle=8 ;;
  esac
  XDG_RUNTIME_DIR="$work" DISPLAY=$display SDL_AUDIODRIVER=dummy \
    "$bin/pocketplayer" --root "$game" "${args[@]}" >"$work/player.log" 2>&1 &
  local p=$!
  sleep "$settle"
  if ! kill -0 "$p" 2>/dev/null; then
    echo "measure-cpu: the player ended early:" >&2
    cat "$work/player.log" >&2
    exit 1
  fi
  local a x0 b x1
  a=$(ticks "$p"); x0=$(ticks "$xvfb")
  sleep "$seconds"
  b=$(ticks "$p"); x1=$(ticks "$xvfb")
  kill -TERM "$p"
  wait "$p" 2>/dev/null || true
  awk -v d=$((b - a)) -v x=$((x1 - x0)) -v hz="$hz" -v s="$seconds" \
    'BEGIN { printf "%.1f %.1f\n", 100 * d / (hz * s), 100 * x / (hz * s) }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '%-11s %-24s %8s %8s\n' case runs median Xvfb
IFS=, read -r -a list <<< "$cases"
for c in "${list[@]}"; do
  runs=() xs=()
  for _ in $(seq 1 "$repeat"); do
    read -r pct x < <(one_run "$c") || true
    [ -n "${pct:-}" ] || { echo "measure-cpu: case $c gave no figure" >&2; exit 1; }
    runs+=("$pct") xs+=("$x")
  done
  printf '%-11s %-24s %7s%% %7s%%\n' "$c" "${runs[*]}" \
    "$(printf '%s\n' "${runs[@]}" | median)" "$(printf '%s\n' "${xs[@]}" | median)"
done
