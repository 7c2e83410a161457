#!/usr/bin/env bash
# Builds everything and runs every test: the portable code under ASan/UBSan, the operation
# thread under ThreadSanitizer, the DFU file reader under libFuzzer for a bounded time, and the
# Windows program with all its tests under Wine inside Xvfb, and the USB bench: the simulated device
# on a real Linux USB stack in a virtual machine, judged by dfu-util.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh

jobs=$(nproc)
step() { printf '\n==== %s\n' "$*"; }

step "native build and tests (ASan + UBSan)"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs"

step "operation tests under ThreadSanitizer"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
ctest --preset tsan -j "$jobs" -L operation

step "libFuzzer run of the DFU file reader"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
corpus=build/fuzz/corpus
rm -rf "$corpus" && mkdir -p "$corpus"
bash fuzz/make-seeds.sh build/native/tools/vqzdfu "$corpus"
build/fuzz/fuzz/dfu_file_fuzz -max_total_time="${VQZ_FUZZ_SECONDS:-60}" -max_len=65536 \
  -print_final_stats=1 "$corpus" 2>&1 | tail -n 12

step "Windows build and tests under Wine + Xvfb"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "$jobs"
wineserver -k 2>/dev/null || true
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset win64 -j "$jobs"

step "USB bench: the simulated device on a real USB stack"
bash scripts/usb-bench.sh
