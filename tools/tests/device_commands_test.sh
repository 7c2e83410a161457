#!/usr/bin/env bash
# vqzdfu list, flash and read against simulated devices (--simulate=FILE): the words, the JSON
# lines and the exit codes scripts rely on; three files written to three alternate settings;
# read equal to the store; --all over two devices with one failing; an image outside the memory
# refused before anything is erased. Usage: device_commands_test.sh VQZDFU [RUNNER...]
# (RUNNER: how to start it, e.g. scripts/wine-run for vqzdfu.exe).
set -euo pipefail
vqzdfu=$1
shift
runner=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

# Runs vqzdfu; its output lands in out.txt and err.txt (line feeds only), its status in $rc.
run() {
  rc=0
  "${runner[@]}" "$vqzdfu" "$@" > out.raw 2> err.raw || rc=$?
  tr -d '\r' < out.raw > out.txt
  tr -d '\r' < err.raw > err.txt
}
expect() {  # expect STATUS WHAT: the last run ended with STATUS
  [ "$rc" = "$1" ] || fail "$2: exit $rc, expected $1; out: $(cat out.txt); err: $(cat err.txt)"
}
has() {  # has FILE TEXT WHAT
  grep -qF -- "$2" "$1" || fail "$3: '$2' missing from $1: $(cat "$1")"
}
# A device folder with its simulation file: device.ini [EXTRA INI TEXT]
device() {
  mkdir -p "$1"
  cat > "$1/device.ini" <<END
[device]
serial = $1
[alt0]
name = @Program Memory /0x08000000/04*016Kg,01*064Kg
[alt1]
name = @Settings Area /0x1FFFC000/01*016Kg
[alt2]
name = @OTP Memory /0x1FFF7800/01*001Kg
[timing]
erase_ms_per_sector = 1
program_ms_per_block = 0
${2:-}
END
}
# same FILE OFFSET STORE: FILE equals the bytes of STORE from OFFSET on
same() {
  cmp -s "$1" <(tail -c +$(($2 + 1)) "$3" | head -c "$(stat -c %s "$1")") ||
    fail "$3 at $2 does not hold $1"
}

head -c 70000 /dev/urandom > main.bin
head -c 300 /dev/urandom > options.bin
head -c 64 /dev/urandom > otp.bin
head -c 16 /dev/urandom > outside.bin
run pack -o main.dfu --target 0:main 0x08000000:main.bin; expect 0 pack
run pack -o options.dfu --target 1 0x1FFFC000:options.bin; expect 0 pack
run pack -o otp.dfu --target 2 0x1FFF7800:otp.bin; expect 0 pack
run pack -o outside.dfu --target 0 0x08000000:otp.bin --target 1 0x1FFFFFF8:outside.bin
expect 0 pack
device a
device b "[fault]
phase = write
alt = 0
at_percent = 50
total = 35
status = 3"

# list: every field in words, and one JSON object per device.
run list --simulate=a/device.ini --simulate=b/device.ini; expect 0 "list"
path_a='\\?\usb#vid_1209&pid_5a01#sim0#{3fe809ab-fb91-4cb5-a643-69670d52366e}'
cat > expected.txt <<END
$path_a
  1209:5A01, bcdDevice 0x0200, serial "a"
  DFU version 0x011A, attributes 0x0B (download, upload, will-detach), transfer size 2048
  alt 0: "@Program Memory /0x08000000/04*016Kg,01*064Kg"
  alt 1: "@Settings Area /0x1FFFC000/01*016Kg"
  alt 2: "@OTP Memory /0x1FFF7800/01*001Kg"
END
head -n 6 out.txt | diff -u expected.txt - || fail "list words"
has out.txt 'sim1#' "list shows the second device"
run list --json --simulate=a/device.ini; expect 0 "list --json"
python3 - out.txt <<'END' || fail "list --json: $(cat out.txt)"
import json, sys
lines = open(sys.argv[1]).read().splitlines()
assert len(lines) == 1, lines
d = json.loads(lines[0])
assert d["path"].endswith("#sim0#{3fe809ab-fb91-4cb5-a643-69670d52366e}"), d
assert (d["id"], d["vendor"], d["product"], d["bcdDevice"]) == ("1209:5A01", 0x1209, 0x5A01, 0x200), d
assert (d["serial"], d["dfuVersion"], d["attributes"], d["transferSize"]) == ("a", 0x11A, 0x0B, 2048), d
assert [a["alt"] for a in d["alternates"]] == [0, 1, 2], d
assert d["alternates"][2]["name"] == "@OTP Memory /0x1FFF7800/01*001Kg", d
END
printf '[device]\npresent = 0\n' > absent.ini
run list --simulate=absent.ini; expect 0 "list of nothing"
[ ! -s out.txt ] || fail "list of nothing printed $(cat out.txt)"
has err.txt "no DFU device present" "list of nothing"

# flash: three files, three settings, written and read back; the stores hold them.
run flash main.dfu options.dfu otp.dfu --simulate=a/device.ini; expect 0 "flash of three files"
has out.txt "$path_a: ok: 3 image(s), 70364 bytes written and verified" "flash result"
has err.txt "$path_a: write alt 0: 100%" "flash progress"
same main.bin 0 a/alt0.bin
same options.bin 0 a/alt1.bin
same otp.bin 0 a/alt2.bin

# read: what the store holds; outside the readable memory is refused.
run read --alt 0 --address 0x08000000 --length 70000 -o back.bin --simulate=a/device.ini
expect 0 "read"
cmp -s back.bin main.bin || fail "read differs from the store"
run read --alt 0 --address 0x0801F000 --length 0x2000 -o no.bin --simulate=a/device.ini
expect 2 "read past the memory"
has err.txt "0x08020000 is not readable memory of alternate setting 0" "read past the memory"
[ ! -e no.bin ] || fail "a refused read wrote its file"

# An image outside the memory: refused before anything is erased.
cp a/alt0.bin before0.bin
run flash outside.dfu --simulate=a/device.ini; expect 2 "image outside the memory"
has out.txt "refused: outside.dfu target 1 (alt 1):" "image outside the memory"
cmp -s before0.bin a/alt0.bin || fail "the refused flash touched alt 0"

# The choice of device.
run flash main.dfu --simulate=a/device.ini --simulate=b/device.ini; expect 2 "two devices"
has err.txt "2 DFU devices present" "two devices"
has err.txt "sim1#" "two devices listed"
run flash main.dfu --device 1209:5a01 --simulate=a/device.ini --simulate=b/device.ini
expect 2 "a selector matching two"
run flash main.dfu --device serial=nobody --simulate=a/device.ini; expect 2 "no match"
has err.txt "no DFU device matches 'serial=nobody'" "no match"
run flash otp.dfu --device serial=a --simulate=a/device.ini --simulate=b/device.ini
expect 0 "--device serial=a"
has out.txt "sim0#" "--device serial=a"
run flash otp.dfu --device "$(echo "$path_a" | tr a-z A-Z)" --simulate=a/device.ini --simulate=b/device.ini
expect 0 "--device PATH, any case"
# b's fault in the write phase of alt 0 was never tried: said, so no one takes it for a pass.
has err.txt "vqzdfu: b/device.ini: fault (write, alt 0, at 50 %, status 3) never struck: the phase never began" \
  "the unstruck fault"
grep -q "a/device.ini" err.txt && fail "a device without a fault said to have one"

# --all: both at once, one fails on its injected fault, the other is written; JSON lines.
rm -f a/alt0.bin b/alt0.bin
run flash main.dfu --all --json --simulate=a/device.ini --simulate=b/device.ini
expect 1 "--all with one failing"
python3 - out.txt <<'END' || fail "flash --json: $(cat out.txt)"
import json, re, sys
objects = [json.loads(line) for line in open(sys.argv[1]).read().splitlines()]
results = {re.search("#(sim[0-9])#", o["device"]).group(1): o for o in objects if "result" in o}
assert results["sim0"]["result"] == "ok" and results["sim0"]["verified"] is True, results
assert results["sim1"]["result"] == "failed", results
assert "cannot write 0x08" in results["sim1"]["message"], results
assert "status errWRITE, state dfuERROR" in results["sim1"]["message"], results
progress = [o for o in objects if "phase" in o]
assert {o["phase"] for o in progress} == {"erase", "write"}, progress
assert all(0 <= o["percent"] <= 100 for o in progress), progress
assert list(objects[-2:]) == [o for o in objects if "result" in o], "results come last"
END
same main.bin 0 a/alt0.bin

# Usage and refused files: exit 2.
run flash; expect 2 "flash without a file"
run flash main.dfu --all --device serial=a; expect 2 "--all with --device"
printf 'not a dfu file' > junk.dfu
run flash junk.dfu --json --simulate=a/device.ini; expect 2 "a refused file"
has out.txt '"result":"refused"' "a refused file, as JSON"
run read --alt 0 -o x.bin --simulate=a/device.ini; expect 2 "read without its range"
run list --simulate=missing.ini; expect 2 "a simulation file that is missing"
echo "vqzdfu device commands: all passed"
