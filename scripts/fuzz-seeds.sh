#!/usr/bin/env bash
# Rebuilds the seed corpora in fuzz/corpus/ from the sample game: scenario scripts and data
# tables from the converted archives, small MP3 sources, a sorel.cfg, whole small archives (both
# kinds), pictures, sounds, the stand rules' tables and pictures, the staff-roll table, a small
# movie and a save made by a player.
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
rm -rf "$corpus" && mkdir -p "$corpus"/{fuzz_script_program,fuzz_script_disasm,fuzz_data_tables,fuzz_mp3,fuzz_profile,fuzz_mlz} \
  "$corpus"/{fuzz_pac,fuzz_wave,fuzz_dib,fuzz_rbp,fuzz_staff_roll,fuzz_jmv,fuzz_save,fuzz_picture_rules}

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
# The PC game's archives: stored and Huffman ones whole, an LZSS one cut after its first members.
game="$work/game"
cp "$game/Update.pac" "$corpus/fuzz_pac/update.pac"
cp "$game/Table.pac" "$corpus/fuzz_pac/table.pac"
head -c 16384 "$game/Stand.pac" >"$corpus/fuzz_pac/stand-start.pac"
"$bin/sorel-archive" extract "$game/SE.pac" se_door.wav -o "$corpus/fuzz_wave/se_door.wav" >/dev/null
head -c 8192 "$corpus/fuzz_wave/se_door.wav" >"$corpus/fuzz_wave/se_door-start.wav"
"$bin/sorel-archive" extract "$game/System.pac" Mark.bmp -o "$corpus/fuzz_dib/mark.bmp" >/dev/null
"$bin/sorel-archive" extract "$game/System.pac" ScrollBar.bmp -o "$corpus/fuzz_dib/scrollbar.bmp" >/dev/null
# The picture rules: a choice byte (1: Stand.pac, full size, raw), StandInfo.DAT and VisualInfo.DAT
# each after its length (u32 little-endian), then the start of Stand.pac holding its first stand
# (descriptor, stand, second picture; the members after them are cut off). The stand record is
# given that second picture as its overlay, which the sample game has none of.
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
"$bin/sorel-archive" extract "$game/Table.pac" StandInfo.DAT -o "$work/standinfo" >/dev/null
head -c 224 "$work/standinfo" >"$work/record"
printf 'ST01_B.bmp' | dd of="$work/record" bs=1 seek=64 conv=notrunc status=none
{
  printf '\x01'
  printf "$(le32 224)"
  cat "$work/record"
  printf "$(le32 0)"
  head -c 52000 "$game/Stand.pac"
} >"$corpus/fuzz_picture_rules/stand-overlay.bin"
"$bin/sorel-archive" extract "$data/System_vga.mlz" Mark.rbp -o "$corpus/fuzz_rbp/mark.rbp" >/dev/null
"$bin/sorel-archive" extract "$data/System_vga.mlz" Cursor.rbp -o "$corpus/fuzz_rbp/cursor.rbp" >/dev/null
"$bin/sorel-archive" extract "$data/System_vga.mlz" STAFFROLL.ANI -o "$corpus/fuzz_staff_roll/staffroll.ani" >/dev/null
"$bin/sorel-movie" make --test --size 48x32 --seconds 0.5 --fps 6 --no-sound -q "$work/small.jmv"
cp "$work/small.jmv" "$corpus/fuzz_jmv/small.jmv"
# A quick save (and the system data beside it) made by the player at the first message.
printf '[SYSTEM_CONFIG]\r\nKEY_CEN_CTRL=4\r\n' >"$work/pocket/sorel.cfg"
printf '30 tap 320 40\n90 tap 320 40\n160 press down\n166 press right\n380 press enter\n' >"$work/input.txt"
SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "$bin/pocketplayer" --root "$work/pocket" --headless --virtual-clock \
  --input "$work/input.txt" --frames 400 >/dev/null
cp "$data/save/save001.dat" "$corpus/fuzz_save/save001.dat"
cp "$data/save/save000.dat" "$corpus/fuzz_save/save000.dat"
du -sh "$corpus"/*
