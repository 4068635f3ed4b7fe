#!/usr/bin/env bash
# The test run's sample game, made once before the tests that play or convert it (the SampleGame
# fixture): sorel-mkgame's installation in OUT/game and its conversion with every default at both
# screen sizes in OUT/full640 and OUT/full320. Tests copy what they play; none writes here.
#   make_sample_game.sh BIN_DIR OUT
set -euo pipefail
bin=$1 out=$2
rm -rf "$out"
mkdir -p "$out"
"$bin/sorel-mkgame" -q "$out/game"
for size in 640 320; do
  "$bin/convSorel" --batch --game "$out/game" --out "$out/full$size" --size "$size" >"$out/convert$size.log" 2>&1 ||
    { cat "$out/convert$size.log" >&2; exit 1; }
done
