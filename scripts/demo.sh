#!/usr/bin/env bash
# The updater's main job, against the simulated device: builds the program and vqzdfu, makes a
# firmware set of three images for the Velmarquist family, starts the real program under Wine,
# presses "Upgrade" as a person would, waits for the end ("Готово"), takes screenshots of the
# erase phase, the write phase and the end, checks the device's memory against the images, and
# prints a short summary.
#
# Everything lands in build/demo (VQZ_DEMO_DIR). The build folders can be chosen with
# VQZ_WIN64_BUILD and VQZ_RELEASE_BUILD.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
win_build="${VQZ_WIN64_BUILD:-$root/build/win64}"
release_build="${VQZ_RELEASE_BUILD:-$root/build/release}"
out="${VQZ_DEMO_DIR:-$root/build/demo}"
run="$out/run"
log="$out/wine.log"
title="VelmarquistK4 Dunor S"   # the window title of lang.ini
patience=60                     # seconds for each thing awaited

step() { printf '==== %s\n' "$*"; }
fail() { printf 'demo: %s\n' "$*" >&2; exit 1; }

bash "$root/scripts/setup.sh"

step "Building the program and vqzdfu"
cmake --preset win64 -B "$win_build" >/dev/null
cmake --build "$win_build" -j2 --target vqz_downloader
cmake --preset release -B "$release_build" >/dev/null
cmake --build "$release_build" -j2 --target vqzdfu
vqzdfu="$release_build/tools/vqzdfu"

step "Making the firmware set, lang.ini and the simulated device in $run"
rm -rf "$out" && mkdir -p "$run"
cp "$win_build/app/vqz_downloader.exe" "$run/"
# The wide profile functions read a UTF-16 file with a byte-order mark on any code page.
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$root/release/lang.ru.ini"; } >"$run/lang.ini"

# Three images: the main firmware, the map data and the voice data, of fixed pseudo-random bytes.
python3 - "$out" <<'EOF'
import random, sys
rng = random.Random(20261211)
for name, size in (("prog.bin", 192 * 1024), ("data.bin", 40 * 1024), ("voice.bin", 24 * 1024 + 300)):
    with open(f"{sys.argv[1]}/{name}", "wb") as f:
        f.write(bytes(rng.getrandbits(8) for _ in range(size)))
EOF
"$vqzdfu" pack -o "$run/prog.dfu" --target 0:Velmarquist 0x08000000:"$out/prog.bin"
"$vqzdfu" pack -o "$run/Dunorfile.dfu" --target 1:Data 0x90000000:"$out/data.bin"
"$vqzdfu" pack -o "$run/file3.dfu" --target 2:Voice 0x90100000:"$out/voice.bin"

# Slow enough that each phase can be seen: a quarter second per sector erased, 15 ms per block.
cat >"$run/device.ini" <<'EOF'
[device]
present = 1
transfer_size = 2048

[alt0]
name  = @Velmarquist /0x08000000/04*016Kg,01*064Kg,07*128Kg
store = alt0.bin

[alt1]
name  = @Data /0x90000000/08*016Kg
store = alt1.bin

[alt2]
name  = @Voice /0x90100000/04*016Kg
store = alt2.bin

[timing]
erase_ms_per_sector  = 250
program_ms_per_block = 15
EOF

# A display: the one we have, or a private Xvfb.
xvfb_pid=""
wine_pid=""
cleanup() {
  [ -n "$wine_pid" ] && kill "$wine_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
fi

# Waits until the program's trace has a window text matching the pattern.
await_text() {
  local what="$1" pattern="$2"
  for _ in $(seq $((patience * 10))); do
    grep -q -- "$pattern" "$log" 2>/dev/null && return 0
    kill -0 "$wine_pid" 2>/dev/null || fail "the program ended while waiting for $what"
    sleep 0.1
  done
  fail "no $what within $patience s (see $log)"
}

step "Starting the program on the simulated device"
# +win traces every window text that is set: what the user sees, as it changes.
(cd "$run" && WINEDEBUG=+win exec "$root/scripts/wine-run" ./vqz_downloader.exe --simulate=device.ini) \
  >/dev/null 2>"$log" &
wine_pid=$!

window=""
for _ in $(seq $((patience * 10))); do
  window="$(xdotool search --name "^$title\$" 2>/dev/null | head -n 1 || true)"
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "the window \"$title\" did not show (see $log)"
# Message 1024: the device was found and the firmware set loaded.
await_text "device found" 'set_window_text L"Velmarquist GPS \\043f'
sleep 0.5

step "Pressing Upgrade"
# "Upgrade" has the keyboard focus once the device is found, and space presses it. Without a
# window manager the keyboard follows the pointer, so the pointer goes over the window first.
press() {
  xdotool mousemove --window "$window" 20 20 2>/dev/null
  xdotool key --window "$window" "$1" 2>/dev/null
}
started=$(date +%s.%N)
pressed=""
for _ in 1 2 3; do
  press space
  for _ in $(seq 30); do
    grep -q 'set_window_text L"Erase ' "$log" && { pressed=1; break; }
    sleep 0.1
  done
  [ -n "$pressed" ] && break
done
[ -n "$pressed" ] || fail "the update did not start after pressing Upgrade (see $log)"
sleep 0.8
import -window "$window" "$out/erase.png"
await_text "write phase" 'set_window_text L"Write [1-9][0-9]*%'
sleep 0.3
import -window "$window" "$out/write.png"
# Message 1030, "Готово", on the status line.
await_text "the end" 'set_window_text L"\\0413\\043e\\0442\\043e\\0432\\043e"'
ended=$(date +%s.%N)
sleep 0.5
import -window "$window" "$out/end.png"

step "Closing the program"
for _ in 1 2 3; do
  press Escape
  for _ in $(seq 50); do
    kill -0 "$wine_pid" 2>/dev/null || break 2
    sleep 0.1
  done
done
kill -0 "$wine_pid" 2>/dev/null && fail "the program did not close on Escape"
status=0
wait "$wine_pid" || status=$?
wine_pid=""
[ "$status" -eq 0 ] || fail "the program ended with exit code $status"

step "Checking the device's memory against the images"
python3 - "$out" "$run" <<'EOF'
import sys
out, run = sys.argv[1], sys.argv[2]
total = 0
for image, store in (("prog.bin", "alt0.bin"), ("data.bin", "alt1.bin"), ("voice.bin", "alt2.bin")):
    want = open(f"{out}/{image}", "rb").read()
    got = open(f"{run}/{store}", "rb").read()[: len(want)]
    if got != want:
        at = next(i for i in range(len(want)) if i >= len(got) or got[i] != want[i])
        sys.exit(f"demo: {store} differs from {image} at byte {at}")
    total += len(want)
print(total)
EOF
bytes=$(python3 - "$out" <<'EOF'
import os, sys
print(sum(os.path.getsize(f"{sys.argv[1]}/{n}") for n in ("prog.bin", "data.bin", "voice.bin")))
EOF
)
# The duration shown when "Готово" came (closing the window resets it).
shown=$(sed '/set_window_text L"\\0413\\043e\\0442\\043e\\0432\\043e"/q' "$log" |
  grep -o 'set_window_text L"[0-9][0-9]:[0-9][0-9]:[0-9][0-9]"' | tail -n 1 | grep -o '[0-9:]\{8\}' || echo "?")

step "Summary"
printf 'images written: 3 (prog.dfu, Dunorfile.dfu, file3.dfu), each checked byte for byte\n'
printf 'bytes written:  %s\n' "$bytes"
printf 'time:           %.1f s from Upgrade to "Готово" (the window shows %s)\n' \
  "$(python3 -c "print($ended - $started)")" "$shown"
printf 'screenshots:    %s/erase.png, write.png, end.png\n' "$out"
