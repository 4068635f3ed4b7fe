#!/usr/bin/env bash
# Rebuilds the seed corpora in fuzz/corpus/ from the sample game: scenario scripts and data
# tables from the converted archives, small MP3 sources, a sorel.cfg and whole small archives.
# Needs the normal build (build/bin: sorel-mkgame, convSorel, sorel-archive).
set -euo pipefail
cd "$(dirname "$0")/.."
bin="$PWD/${SOREL_BUILD_DIR:-build}/bin"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bin/sorel-mkgame" "$work/game" >/dev/null
"$bin/convSorel" --batch --game "$work/game" --out "$work/pocket" --size 640 --quality 90 >/dev/null
data="$work/pocket/data"
corpus=fuzz/corpus
rm -rf "$corpus" && mkdir -p "$corpus"/{fuzz_script_program,fuzz_script_disasm,fuzz_data_tables,fuzz_mp3,fuzz_profile,fuzz_mlz}

# Members are stored under plain numbered names (the corpus is read on every system).
"$bin/sorel-archive" extract "$data/Script.mlz" --all "$work/script" >/dev/null
n=0
for f in "$work"/script/*; do
  n=$((n + 1))
  cp "$f" "$corpus/fuzz_script_program/script$n.bin"
  cp "$f" "$corpus/fuzz_script_disasm/script$n.bin"
done
"$bin/sorel-archive" extract "$data/Table.mlz" --all "$work/table" >/dev/null
for f in "$work"/table/*; do cp "$f" "$corpus/fuzz_data_tables/$(basename "$f" | tr 'A-Z' 'a-z')"; done
cp "$data/Table.mlz" "$corpus/fuzz_mlz/table.mlz"
# MP3: two whole short effects and the start of two pieces of music (the start holds the tags).
for s in se_pop se_bell; do cp "$data/se/$s.mp3" "$corpus/fuzz_mp3/$s.mp3"; done
for m in BGM_Calm BGM_Night; do head -c 12000 "$data/bgm/$m.mp3" >"$corpus/fuzz_mp3/$m-start.mp3"; done
printf '[SYSTEM_CONFIG]\r\nPCM=2\r\nMEM_STREAM=0\r\n"KEY CEN" = 0x10\r\n[message_config]\r\nmessage_speed=2\r\nfont="MS Gothic"\r\n' \
  >"$corpus/fuzz_profile/sorel.cfg"
du -sh "$corpus"/*
