#!/usr/bin/env bash
# Installs what the tests need and the machine lacks, builds veltrane2 in its
# three configurations (release, debug, and debug with the address and
# undefined-behaviour sanitizers) and runs every test in each. The debug tests
# also compare the debug and release outputs byte for byte. Then each fuzz
# target runs for 30 seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh test
jobs=$(nproc 2>/dev/null || echo 2)
for preset in release debug sanitize; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j"$jobs"
done
for preset in release sanitize debug; do
    ctest --preset "$preset" -j"$jobs"
done
fuzz/run.sh 30
