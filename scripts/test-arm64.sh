#!/usr/bin/env bash
# ARM64 (aarch64 Linux): cross-builds the same tree with Debian's cross compiler and runs the
# results under qemu-user; installs what it needs first (scripts/setup-arm64.sh).
#   test-arm64.sh          every program and the unit tests (./build-arm64), the unit tests under
#                          qemu, then the tour
#   test-arm64.sh --tour   only the players and the decoder module (./build-arm64-players), then
#                          the tour: what CI runs after test.sh
# The tour: the x86-64 build (./build) makes the sample game and converts it once (the data
# folders are the same bytes whichever processor plays them); then the x86-64 players and the
# aarch64 players each take the headless whole-game tour of scripts/tour.sh from a fresh copy,
# and every screenshot, state dump, settings and save file must be byte-identical, the captured
# sound too except for one-step rounding of the MP3 decoder library (see the end).
# Tests that start other programs (tests/e2e and a few others) are left to the tour: qemu runs
# only the program it is given, and the aarch64 programs cannot start each other here.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=all
case "${1:-}" in
  --tour) mode=tour ;;
  "") ;;
  *) echo "usage: test-arm64.sh [--tour]" >&2; exit 2 ;;
esac
clock() { date +%s; }
t0=$(clock)
./scripts/setup-deps.sh
if [ "$mode" = tour ]; then ./scripts/setup-arm64.sh players; else ./scripts/setup-arm64.sh all; fi
echo "== arm64: packages ready in $(( $(clock) - t0 )) s"

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
t0=$(clock)
if [ "$mode" = tour ]; then
  arm="${SOREL_ARM64_BUILD_DIR:-build-arm64-players}"
  # The tour's players need no debug information (it changes no code, only the build's time).
  cmake -S . -B "$arm" -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" \
    -DSOREL_PLAYERS_ONLY=ON -DSOREL_MANPAGES=OFF "${launcher[@]}" >/dev/null
  cmake --build "$arm" -j"$(nproc)" --target pocketplayer handheldplayer quillon
else
  arm="${SOREL_ARM64_BUILD_DIR:-build-arm64}"
  cmake -S . -B "$arm" -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSOREL_TESTS=ON -DSOREL_BENCH=OFF -DSOREL_MANPAGES=OFF \
    -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST "${launcher[@]}" >/dev/null
  cmake --build "$arm" -j"$(nproc)"
fi
echo "== arm64: cross build ($arm) in $(( $(clock) - t0 )) s"
qemu=(qemu-aarch64 -L /)

if [ "$mode" = all ]; then
  t0=$(clock)
  failed=()
  count=0
  for t in "$arm"/bin/*_test; do
    name=$(basename "$t")
    case "$name" in
      e2e_*|runtime_player_test|runtime_*_kill_test|runtime_popup_menu_test|converter_conversion_job_test|\
converter_converter_window_test|tools_mkgame_test|fuzz_regressions_test) continue ;;
    esac
    filter=()
    # This one's other tests are plain unit tests; only the sample game's conversion starts programs.
    [ "$name" = converter_converter_dialog_logic_test ] &&
      filter=(--gtest_filter=-ConverterDialog.SampleGameThroughStartMatchesBatch)
    count=$((count + 1))
    echo "-- $name"
    (cd "$arm/bin" && "${qemu[@]}" "./$name" --gtest_brief=1 "${filter[@]}") || failed+=("$name")
  done
  echo "== arm64: $count unit-test programs under qemu in $(( $(clock) - t0 )) s"
  if [ ${#failed[@]} -gt 0 ]; then
    echo "arm64: failed: ${failed[*]}" >&2
    exit 1
  fi
fi

# The reference: the x86-64 players over the same data.
t0=$(clock)
./scripts/build.sh --target pocketplayer --target handheldplayer --target quillon --target convSorel \
  --target sorel-mkgame >/dev/null
x86="$PWD/${SOREL_BUILD_DIR:-build}/bin"
work=out/arm64-tour
rm -rf "$work" && mkdir -p "$work/pristine"
"$x86/sorel-mkgame" -q "$work/game"
"$x86/convSorel" --batch --game "$work/game" --out "$work/pristine/pocket" --size 640 --quality 90 >/dev/null
"$x86/convSorel" --batch --game "$work/game" --out "$work/pristine/handheld" --size 320 --quality 90 >/dev/null
echo "== arm64: sample game made and converted (x86-64) in $(( $(clock) - t0 )) s"
run_tour() {  # $1: name, $2: bin folder, then the runner
  local name=$1 bin=$2
  shift 2
  cp -r "$work/pristine" "$work/$name"
  ./scripts/tour.sh first "$bin" "$work/$name" "$@" >/dev/null
  ./scripts/tour.sh tour "$bin" "$work/$name" "$@"
}
t0=$(clock)
run_tour x86_64 "$x86"
echo "== arm64: x86-64 tour in $(( $(clock) - t0 )) s"
t0=$(clock)
run_tour aarch64 "$PWD/$arm/bin" "${qemu[@]}"
echo "== arm64: aarch64 tour under qemu in $(( $(clock) - t0 )) s"

# Every result of the tour, and the settings and system data it left, byte for byte. The one
# allowance: the captured sound may differ by one step (1/32768) in a few samples, because
# libmpg123, which the decoder module uses, computes its synthesis in floating point and
# Debian's builds for the two processors round a few of its results differently.
passed=0 differ=0 near=0
for f in "$work"/x86_64/*.png "$work"/x86_64/*.txt "$work"/x86_64/*.wav \
         "$work"/x86_64/{pocket,handheld}/sorel.cfg "$work"/x86_64/{pocket,handheld}/data/save/*; do
  rel="${f#"$work"/x86_64/}"
  other="$work/aarch64/$rel"
  if cmp -s "$f" "$other"; then
    passed=$((passed + 1))
  elif [[ "$rel" == *.wav ]] && [ -f "$other" ] && [ "$(stat -c %s "$f")" = "$(stat -c %s "$other")" ] &&
       cmp -s -n 44 "$f" "$other" &&
       sox -m -v 1 "$f" -v -1 "$other" -n stat 2>&1 | awk '/^(Max|Min)imum amplitude/ { a = $3 < 0 ? -$3 : $3; if (a > 0.00004) bad = 1 } END { exit bad }'; then
    passed=$((passed + 1))
    near=$((near + 1))
    echo "arm64: $rel is within one step of the x86-64 sound (the MP3 decoder's rounding)"
  else
    differ=$((differ + 1))
    echo "arm64: $rel differs from the x86-64 result" >&2
  fi
done
echo "arm64 tour: $passed passed, $differ failed"
[ "$differ" -eq 0 ]
