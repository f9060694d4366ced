#!/usr/bin/env bash
# pip_test.sh SOURCE WORK PROGRAM: installs the package from SOURCE as the README
# says, into a fresh virtual environment in WORK, and uses it from WORK: the
# module imports from the environment with the header's version and its type
# stub, and the environment's veltrane2 command runs the sample and writes the
# bytes that PROGRAM (the tested build's program) writes; both read an
# instrument file when PROGRAM's build has the reader.
set -euo pipefail
src=$1 work=$2 program=$3
version=$(sed -n 's/.*kVersion\[\] = "\([0-9.]*\)";.*/\1/p' "$src/include/veltrane2/veltrane2.hpp")
rm -rf "$work"
mkdir -p "$work/pip" "$work/tested"
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
(cd "$src" && "$work/venv/bin/python" -m pip install -q --no-build-isolation .)
cd "$work"
unset PYTHONPATH
venv/bin/python - "$version" "$work/venv" <<'PY'
import os, sys
import numpy as np
import veltrane2
assert veltrane2.__file__.startswith(sys.argv[2]), veltrane2.__file__
assert veltrane2.__version__ == sys.argv[1], veltrane2.__version__
assert os.path.isfile(os.path.join(os.path.dirname(veltrane2.__file__), "veltrane2.pyi"))
z = np.add.outer(np.arange(32) % 3, np.zeros(32)) + np.linspace(0, 1, 1024).reshape(32, 32)
r = veltrane2.destripe(z, **veltrane2.PRESETS["general"])
np.testing.assert_allclose(r.noise + r.cleaned, z - z.min(), atol=1e-12)
PY
[ "$(venv/bin/veltrane2 --version)" = "veltrane2 $version" ]
for dir in pip tested; do
    cp "$src/examples/sample.txt" "$dir/"
done
# Instrument files, when the tested build reads them: the installed program
# and module find the installed reader.
if [ -x "$(dirname "$program")/veltrane2-read-instrument" ]; then
    [ -x venv/lib/veltrane2/veltrane2-read-instrument ]
    venv/bin/veltrane2 --list-channels "$src/tests/data/instrument/mi-1.mi" | grep -q "0 'Topography' 256 x 256"
    venv/bin/python -c "import sys, veltrane2; assert veltrane2.read(sys.argv[1]).z.shape == (256, 256)" \
        "$src/tests/data/instrument/mi-1.mi"
fi
(cd pip && ../venv/bin/veltrane2 < "$src/examples/sample.in" > out.txt)
(cd tested && "$program" < "$src/examples/sample.in" > out.txt)
diff -r pip tested
echo "pip install: veltrane2 $version, module, stub and program as tested"
rm -rf "$work"
