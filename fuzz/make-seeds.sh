#!/usr/bin/env bash
# Makes a seed corpus for dfu_file_fuzz with vqzdfu pack: files of several shapes.
# usage: make-seeds.sh VQZDFU CORPUS_DIR
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 VQZDFU CORPUS_DIR" >&2
  exit 2
fi
vqzdfu=$(realpath "$1")
corpus=$(realpath -m "$2")
mkdir -p "$corpus"
bins=$(mktemp -d)
trap 'rm -rf "$bins"' EXIT

cd "$bins"
: > empty.bin
printf '\x00\x20\x00\x20\xc1\x01\x00\x08' > vectors.bin
head -c 3000 /dev/zero | tr '\0' '\377' > erased.bin
seq 1 700 | tr -d '\n' | head -c 1500 > text.bin
printf 'Z' > one.bin

pack() {
  local name=$1
  shift
  "$vqzdfu" pack -o "$corpus/$name.dfu" "$@"
}
pack one-target      --target 0 0x08000000:vectors.bin
pack named           --target '0:Program Memory' 0x08000000:text.bin
pack many-elements   --target 0:Flash 0x08000000:vectors.bin,0x08004000:erased.bin,0x08010000:one.bin
pack empty-element   --target 0 0x08000000:empty.bin
pack many-targets    --vid 0x1209 --pid 0x0001 --bcd 0x2200 \
                     --target '0:Program Memory' 0x08000000:text.bin,0x0800C000:erased.bin \
                     --target '1:Settings Area' 0x1FFFC000:one.bin \
                     --target 2 0x1FFF7800:vectors.bin,0x1FFF7A00:empty.bin
pack split-sectors   --target 0 0x08003F00:erased.bin,0x0801FFF0:text.bin
pack top-of-memory   --target 3 0xFFFFFFF0:vectors.bin,0xFFFFFFFF:one.bin
# Memory layout strings for the second half of the target.
printf '%s' '@Velmarquist /0x08000000/04*016Kg,01*064Kg,07*128Kg' > "$corpus/layout-device.txt"
printf '%s' '@Settings Area  /0x1FFFC000/01*016 e/0x1FFEC000/01*016 e' > "$corpus/layout-regions.txt"
echo "seed corpus: $(ls "$corpus" | wc -l) files in $corpus"
