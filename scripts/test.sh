#!/usr/bin/env bash
# Installs what is missing, builds the default, asan and fuzz presets, and runs
# every test of each with CTest: unit tests, command tests and short fuzz runs.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

status=0
for preset in default asan fuzz; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "=== $preset: test"
  if ! ctest --preset "$preset" -j2; then
    status=1
  fi
done
exit $status
