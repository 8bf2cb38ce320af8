#!/usr/bin/env bash
# Runs our benchmarks and the peers (Pillow, ImageMagick) on the same inputs in
# one run, and prints ratios. Each bench/peers_*.sh covers one group of routines.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default >/dev/null
for part in bench/peers_*.sh; do
  [ -e "$part" ] || continue
  echo "=== $part"
  bash "$part"
done
