#!/usr/bin/env bash
# Installs the Debian packages that a part of veltrane2 needs and that this
# machine lacks; installs nothing when all are there.
#
#   tools/install-deps.sh build   compiler, CMake, cairo for the preview, Gwyddion's
#                                 development files for the Gwyddion module
#   tools/install-deps.sh python  the above and what the Python module and pip install . need
#   tools/install-deps.sh test    all of these and what the tests use (fuzzing, Gwyddion's
#                                 reader, the Debian package and its man page, ccache, gcovr
#                                 for the coverage preset, and
#                                 Google Benchmark and FFTW for bench/engine_bench, which the
#                                 release build makes)
set -euo pipefail
build=(cmake g++ make pkg-config libcairo2-dev fonts-dejavu-core libgwyddion20-dev libgtk2.0-dev libgtkglext1-dev)
python=(python3-dev pybind11-dev python3-numpy python3-venv python3-setuptools python3-wheel)
test=(libgtest-dev clang libclang-rt-14-dev gwyddion python3-pytest python3-dask python3-distributed xvfb
      help2man dpkg-dev ccache libbenchmark-dev libfftw3-dev gcovr)
case "${1:-}" in
    build) want=("${build[@]}") ;;
    python) want=("${build[@]}" "${python[@]}") ;;
    test) want=("${build[@]}" "${python[@]}" "${test[@]}") ;;
    *) echo "usage: tools/install-deps.sh build|python|test" >&2; exit 2 ;;
esac
need=()
for pkg in "${want[@]}"; do
    dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
[ "${#need[@]}" -eq 0 ] && exit 0
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
"${sudo[@]}" apt-get update
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]}"
