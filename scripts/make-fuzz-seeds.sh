#!/usr/bin/env bash
# Writes a seed corpus for every fuzz target from the sample set, one folder per target:
#   scripts/make-fuzz-seeds.sh [OUT]          (OUT defaults to build/fuzz/seeds)
# then e.g.  build/fuzz/fuzz/fuzz_gump build/fuzz/seeds/gump -max_total_time=60
# Each seed is a valid input in the layout its target reads (see the comment at the top of each
# fuzz/*.cpp), so the fuzzer starts inside the readers instead of at their first size check.
# Needs a built quillotide-cli (any preset; QUILLOTIDE_CLI names another) and coreutils, od, awk.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=${1:-build/fuzz/seeds}
case $out in /*) ;; *) out=$root/$out ;; esac

cli=${QUILLOTIDE_CLI:-}
if [ -z "$cli" ]; then
  for preset in fuzz ci release debug; do
    if [ -x "build/$preset/quillotide-cli" ]; then cli=$root/build/$preset/quillotide-cli; break; fi
  done
fi
if [ -z "$cli" ] || [ ! -x "$cli" ]; then
  echo "make-fuzz-seeds: no quillotide-cli found; build one (cmake --build --preset fuzz)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sample=$work/sample
"$cli" make-sample "$sample" >/dev/null
cd "$sample"

# Little-endian integers as raw bytes.
le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))"; }
le32() { le16 $(($1 & 0xFFFF)); le16 $((($1 >> 16) & 0xFFFF)); }
# Bytes [offset, offset + length) of a file.
bytesOf() { dd if="$1" bs=64K iflag=skip_bytes,count_bytes skip="$2" count="$3" status=none; }
# "record lookup length extra" of up to COUNT full slots of an index, from record FIRST on.
fullSlots() {
  od -An -v -t d4 -w12 -j $(($2 * 12)) "$1" |
    awk -v first="$2" '$1 >= 0 && $2 > 0 { print NR - 1 + first, $1, $2, $3 }' | head -n "$3"
}
# A small pair of up to COUNT full slots of IDX/MUL from record FIRST on, their data packed from 0:
# writes INDEX_OUT and DATA_OUT.
compactPair() {
  local idx=$1 mul=$2 first=$3 count=$4 index_out=$5 data_out=$6 at=0
  : >"$index_out"
  : >"$data_out"
  while read -r _ lookup length extra; do
    bytesOf "$mul" "$lookup" "$length" >>"$data_out"
    { le32 "$at"; le32 "$length"; le32 "$extra"; } >>"$index_out"
    at=$((at + length))
  done < <(fullSlots "$idx" "$first" "$count")
}
seed() { mkdir -p "$out/$1"; cat >"$out/$1/$2"; }

rm -rf "$out"

# Whole small files.
seed verdata sample.mul <verdata.mul
seed animdata two-groups.mul < <(head -c 1096 animdata.mul)
seed hues two-groups.mul < <(head -c 1416 hues.mul)
seed radarcol start.mul < <(head -c 4096 radarcol.mul)
seed tiledata start-and-first-statics.mul < <(head -c 64 tiledata.mul; bytesOf tiledata.mul 428032 1188)
seed config config.xml < <(printf '<configuration>\r\n<config key="ArtIdx" value="C:\\UO\\artidx.mul" />\r\n<config key="LowMemory" value="0" />\r\n</configuration>\r\n')
seed idlist ids.txt < <(printf '0x0\r\n\r\n3\r\n$1F\r\n-2\nX10\r0x7FFF\r\n')

# Single slots in the layouts of the decoder targets.
i=0
while read -r _ lookup length extra; do
  seed gump "$i.gump" < <(le16 $((extra >> 16)); le16 $((extra & 0xFFFF)); bytesOf gumpart.mul "$lookup" "$length")
  i=$((i + 1))
done < <(fullSlots gumpidx.mul 0 6)
i=0
while read -r _ lookup length _; do
  seed art "land$i" < <(printf '\x00\x00\x00'; bytesOf art.mul "$lookup" "$length")
  i=$((i + 1))
done < <(fullSlots artidx.mul 0 2)
i=0
while read -r _ lookup length _; do
  seed art "static$i" < <(printf '\x08\xf8\x01'; bytesOf art.mul "$lookup" "$length")
  i=$((i + 1))
done < <(fullSlots artidx.mul $((0x4000)) 4)
i=0
while read -r _ lookup length _; do
  seed texture "$i.tex" < <(bytesOf texmaps.mul "$lookup" "$length")
  i=$((i + 1))
done < <(fullSlots texidx.mul 0 2)
i=0
while read -r _ lookup length extra; do
  width=$((extra >> 16)) height=$((extra & 0xFFFF))
  if [ "$width" -lt 256 ] && [ "$height" -lt 256 ]; then
    seed light "$i.light" < <(printf "\\x$(printf %02x "$width")\\x$(printf %02x "$height")"; bytesOf light.mul "$lookup" "$length")
    i=$((i + 1))
  fi
done < <(fullSlots lightidx.mul 0 8)
i=0
while read -r _ lookup length _; do
  seed animframe "$i.block" < <(bytesOf anim.mul "$lookup" "$length")
  i=$((i + 1))
done < <(fullSlots anim.idx 0 3)

# Picture files written by the program itself.
i=0
while read -r slot _; do
  mkdir -p "$out/bmp" "$out/png"
  "$cli" gump export gumpidx.mul gumpart.mul "$slot" "$out/bmp/gump$i.bmp" >/dev/null
  "$cli" gump export gumpidx.mul gumpart.mul "$slot" "$out/png/gump$i.png" >/dev/null
  i=$((i + 1))
done < <(fullSlots gumpidx.mul 0 3)

# Animation exchange files: a .kx file, and an animation folder's liste.txt and palette file joined
# by a zero byte.
read -r first _ < <(fullSlots anim.idx 0 1)
body=$((first / 110))
mkdir -p "$out/kx"
"$cli" anim export anim.idx anim.mul "$body" "$out/kx/body.kx" --kind anim >/dev/null
mkdir -p "$work/folder"
"$cli" anim export anim.idx anim.mul "$body" "$work/folder" --kind anim >/dev/null
palette=$(ls "$work/folder" | grep -i '^palette' | head -n 1)
seed animfolder body < <(cat "$work/folder/liste.txt"; printf '\x00'; cat "$work/folder/$palette")

# Index/data pairs: a few full slots of each family, packed, behind the target's choice byte and
# the index size.
pairSeed() {
  local name=$1 choice=$2 idx=$3 mul=$4 first=$5 count=$6
  compactPair "$idx" "$mul" "$first" "$count" "$work/p.idx" "$work/p.mul"
  seed pair "$name" < <(printf "\\x$(printf %02x "$choice")"; le16 "$(stat -c %s "$work/p.idx")"; cat "$work/p.idx" "$work/p.mul")
}
pairSeed land 0 artidx.mul art.mul 0 4
pairSeed statics 8 artidx.mul art.mul $((0x4000)) 6
pairSeed statics-low-memory 12 artidx.mul art.mul $((0x4000)) 6
pairSeed gumps 1 gumpidx.mul gumpart.mul 1 6
pairSeed gumps-rebuild 17 gumpidx.mul gumpart.mul 1 6
pairSeed textures 2 texidx.mul texmaps.mul 0 2
pairSeed textures-low-memory 6 texidx.mul texmaps.mul 0 2
pairSeed light 3 lightidx.mul light.mul 0 4

# The animation body tables: the records of one body of each file and their frame blocks.
animSeed() {
  local name=$1 variant=$2 idx=$3 mul=$4 slotsPerBody=$5 first body
  read -r first _ < <(fullSlots "$idx" 0 1)
  body=$((first / slotsPerBody))
  compactPair "$idx" "$mul" $((body * slotsPerBody)) 3 "$work/a.idx" "$work/a.mul"
  seed animtable "$name" < <(printf "\\x$(printf %02x "$variant")"; le16 "$body"; le16 "$(stat -c %s "$work/a.idx")"; cat "$work/a.idx" "$work/a.mul")
}
animSeed anim 0 anim.idx anim.mul 110
animSeed anim2 1 anim2.idx anim2.mul 110
animSeed anim3 2 anim3.idx anim3.mul 110

# A cliloc file of the sample's tile names and one text of another number range.
{ printf '\x02\x00\x00\x00\x01\x00'; le32 500000; printf '\x00'; le16 4; printf 'text'; } >"$work/cliloc"
"$cli" cliloc merge tiledata.mul "$work/cliloc" >/dev/null
seed cliloc sample.enu <"$work/cliloc"

# The text families and the multimap of the sample, whole (the skills pair behind the count of its
# index entries); the multimap also as its first rows under a head of their own size.
seed speech sample.mul <speech.mul
seed fonts sample.mul <fonts.mul
seed multimap sample.rle <Multimap.rle
seed skills pair < <(printf "\\x$(printf %02x $(($(stat -c %s skills.idx) / 12)))"; cat skills.idx skills.mul)
seed skills groups.mul <skillgrp.mul
seed skills names.mul <skills.mul
"$cli" cliloc add Cliloc.enu 3000001 'a	tab' --out "$work/texts.enu" >/dev/null
seed cliloc texts.enu <"$work/texts.enu"

echo "seeds for $(ls "$out" | wc -l) fuzz targets in $out"
