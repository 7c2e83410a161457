#!/usr/bin/env bash
# vqzdfu pack then info: the file it makes reads back as packed, an independent suffix checker
# (dfu-suffix, when installed) accepts it, a damaged file is refused, and usage errors exit 2.
set -euo pipefail
vqzdfu=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

printf 'abcdefgh' > a.bin
: > empty.bin
printf 'XYZ' > b.bin
mkdir 'папка с пробелом'
printf '\x01\x02' > 'папка с пробелом/c.bin'

"$vqzdfu" pack -o out.dfu --vid 0x1209 --pid 0x5a01 --bcd 0x2200 \
  --target '0:Program Memory' 0x08000000:a.bin,0x08004000:empty.bin \
  --target 1 0x1FFF7800:b.bin \
  --target 7:a:b '0x20000000:папка с пробелом/c.bin'

"$vqzdfu" info out.dfu > info.txt
cat > expected.txt <<'END'
vendor 0x1209, product 0x5A01, device 0x2200, 3 target(s)
target 0: alternate 0, name "Program Memory", 2 element(s), 8 bytes
  element 0: address 0x08000000, 8 bytes
  element 1: address 0x08004000, 0 bytes
target 1: alternate 1, name (unnamed), 1 element(s), 3 bytes
  element 0: address 0x1FFF7800, 3 bytes
target 2: alternate 7, name "a:b", 1 element(s), 2 bytes
  element 0: address 0x20000000, 2 bytes
END
diff -u expected.txt info.txt || fail "info does not show what was packed"

# Element data right where the format puts it: after the prefix (11), the target prefix (274)
# and the element header (8).
[ "$(dd if=out.dfu bs=1 skip=293 count=8 status=none)" = abcdefgh ] || fail "element bytes misplaced"

if command -v dfu-suffix >/dev/null; then
  dfu-suffix -c out.dfu > suffix.txt 2>&1 || fail "dfu-suffix refuses the file: $(cat suffix.txt)"
  for line in 'BCD device:.0x2200' 'Product ID:.0x5A01' 'Vendor ID:.0x1209' 'BCD DFU:.0x011A'; do
    grep -qi "$line" suffix.txt || fail "dfu-suffix does not show $line: $(cat suffix.txt)"
  done
  crc=$(od -An -tx4 -j $(( $(stat -c %s out.dfu) - 4 )) out.dfu | tr -d ' ')
  grep -qi "CRC:.*0x$crc" suffix.txt || fail "dfu-suffix sees another CRC than 0x$crc"
else
  echo "dfu-suffix not installed: independent suffix check skipped"
fi

cp out.dfu damaged.dfu
printf 'X' | dd of=damaged.dfu bs=1 seek=300 conv=notrunc status=none
status=0; "$vqzdfu" info damaged.dfu 2> why.txt || status=$?
[ $status -eq 1 ] || fail "damaged file: exit $status, not 1"
grep -q 'CRC does not match' why.txt || fail "damaged file: $(cat why.txt)"

# A target name from the file reaches the terminal escaped: ESC, CR, BEL, a C1 control (CSI),
# the backslash and the quote.
"$vqzdfu" pack -o names.dfu --target $'0:a\e[31mb\r\ac\xc2\x9bd\\e"f' 0x0:a.bin
"$vqzdfu" info names.dfu > names.txt
grep -qF 'name "a\x1b[31mb\x0d\x07c\u009bd\\e\"f",' names.txt || fail "name not escaped: $(cat -v names.txt)"
if LC_ALL=C grep -q $'[\x01-\x09\x0b-\x1f\x7f]' names.txt; then fail "control characters printed raw"; fi

# A file larger than the format can hold is refused by its size: a sparse 4 GiB + 17 bytes.
truncate -s $(( (1 << 32) + 17 )) huge.dfu
status=0; "$vqzdfu" info huge.dfu 2> why.txt || status=$?
[ $status -eq 1 ] || fail "huge file: exit $status, not 1"
grep -q '4294967313 bytes, larger than a DFU file can be' why.txt || fail "huge file: $(cat why.txt)"

status=0; "$vqzdfu" info missing.dfu 2> /dev/null || status=$?
[ $status -eq 1 ] || fail "missing file: exit $status, not 1"

status=0; "$vqzdfu" pack -o x.dfu --target 0 0x0:missing.bin 2> /dev/null || status=$?
[ $status -eq 1 ] || fail "missing binary: exit $status, not 1"
[ ! -e x.dfu ] || fail "a file was written although a binary is missing"

for usage in "" "frobnicate" "info" "info a b" "pack" "pack -o x.dfu" "pack --target 0 0:a.bin" \
             "pack -o x.dfu --target 256 0:a.bin" "pack -o x.dfu --target x 0:a.bin" \
             "pack -o x.dfu --target 0 a.bin" "pack -o x.dfu --target 0 0x100000000:a.bin" \
             "pack -o x.dfu --target 0 0:a.bin,"  "pack -o x.dfu --vid 0x10000 --target 0 0:a.bin" \
             "pack -o x.dfu --target 0" "pack -o x.dfu --bogus --target 0 0:a.bin"; do
  status=0; "$vqzdfu" $usage > /dev/null 2>&1 || status=$?
  [ $status -eq 2 ] || fail "'vqzdfu $usage': exit $status, not 2"
done
"$vqzdfu" --help | grep -q 'vqzdfu pack -o OUT' || fail "--help"
echo "vqzdfu pack/info: all checks passed"
