#!/usr/bin/env bash
# Installs what the tests need and the machine lacks, then runs every check
# once, each in the build that suits it, and prints how long each phase took:
#   release   all of the release build; every test: all golden rows, the debug
#             and release programs writing the same bytes, the Python module,
#             the installed CMake package, pip install . into a fresh virtual
#             environment, the Debian package unpacked into a scratch root
#   debug     the debug build of the program alone (for that comparison)
#   sanitize  the C++ tests under the address and undefined-behaviour
#             sanitizers, built with warnings as errors: golden rows up to
#             256 x 256, every file of the fuzz corpora replayed
#   fuzz      each libFuzzer target (clang) for a fixed number of runs from a
#             fixed seed (fuzz/run.sh check), so a commit always runs the same inputs
# ccache, when installed (tools/install-deps.sh test brings it), makes the
# build that pip install . does out of the release build's objects.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
times=()
phase() {
    local name=$1 start=$SECONDS
    shift
    echo "== $name"
    "$@"
    times+=("$(printf '%-34s %4d s' "$name" $((SECONDS - start)))")
}
phase "packages" tools/install-deps.sh test
phase "configure" bash -c 'for p in release debug sanitize; do cmake --preset "$p" > /dev/null; done'
phase "build release" cmake --build --preset release -j"$jobs"
phase "build debug (the program)" cmake --build --preset debug -j"$jobs" --target veltrane2
phase "test release" ctest --preset release -j"$jobs"
phase "build sanitize" cmake --build --preset sanitize -j"$jobs"
phase "test sanitize" ctest --preset sanitize -j"$jobs"
phase "fuzz" fuzz/run.sh check
echo "== time per phase"
printf '%s\n' "${times[@]}"
echo "all phases: $SECONDS s"
