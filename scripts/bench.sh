#!/usr/bin/env bash
# Builds the optimised preset and runs the update benchmark on the simulated device: per phase,
# the measured time against the device's modelled busy time (the target is at most 1.05).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
cmake --preset release >/dev/null
cmake --build --preset release --target vqz_bench
build/release/bench/vqz_bench
