#!/usr/bin/env bash
# out_of_memory_test.sh PROGRAM WORK [PYTHONPATH]: runs the batch (and the
# Python module, when its folder is given) under an address-space limit that
# leaves room for a small scan but not for a 2048 x 2048 one. The large scan
# fails with "out of memory", the others are done, the batch ends with its
# summary and status 1 on any number of jobs; Python raises MemoryError and
# goes on. The limit is found from what the program needs to start, so the
# test holds for any build; a build that cannot start under any limit tried
# (the address sanitizer reserves terabytes) skips (status 77).
set -uo pipefail
program=$(realpath "$1") work=$2 pythonpath=${3:+$(realpath "$3")}
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

# Scans as .gsf files: 2048 x 2048 and two of 64 x 64, rows at their own offsets.
/usr/bin/python3 - <<'PY' || exit 1
from array import array
def gsf(name, n):
    head = ("Gwyddion Simple Field 1.0\nXRes = %d\nYRes = %d\nXReal = 1e-06\nYReal = 1e-06\nXYUnits = m\n"
            "ZUnits = m\n" % (n, n)).encode()
    head += b"\0" * (4 - len(head) % 4)
    z = array("f", ((j % 7) * 1e-9 + ((i * 7919 + j * 104729) % 1000) * 1e-12 for j in range(n) for i in range(n)))
    with open(name, "wb") as f:
        f.write(head + z.tobytes())
gsf("large.gsf", 2048)
gsf("small.gsf", 64)
gsf("other.gsf", 64)
PY

# The smallest limit (in kB, in steps of 5 MB up to 400 MB, then of 50 MB)
# under which `$@` succeeds.
least_limit() {
    local kb
    for ((kb = 10000; kb <= 4000000; kb += kb < 400000 ? 5000 : 50000)); do
        if (ulimit -v "$kb" && "$@") > /dev/null 2>&1; then
            echo "$kb"
            return 0
        fi
    done
    return 1
}

fail() {
    echo "FAIL: $*"
    exit 1
}

base=$(least_limit "$program" --preset general -q -j 1 -o start small.gsf) || {
    echo "the program does not run under any address-space limit tried: skipped"
    exit 77
}
# Room for a 64 x 64 run several times over, far from the 2048 x 2048 one's
# eleven images of 32 MB.
limit=$((base + 150000))
echo "program starts under ${base} kB; limit ${limit} kB"

out=$( (ulimit -v "$limit" && "$program" --preset general -q -j 1 -o one large.gsf small.gsf) 2>&1)
status=$?
[ "$status" -eq 1 ] || fail "status $status (expected 1): $out"
expected="veltrane2: large.gsf: out of memory
veltrane2: 1 of 2 images done, 1 failed"
[ "${out:0:${#expected}}" = "$expected" ] || fail "one job: $out"
[ "$(ls one | tr '\n' ' ')" = "DENOISE_small.gsf FIL_small.gsf NOISE_small.gsf " ] || fail "outputs: $(ls one)"

# A 40-byte text file whose header says 4096 x 4096 is refused for its
# length before 128 MB are set aside for its values.
printf '4096 4096 1 1 1e-6\n1 2 3 4 5 6 7 8 9 10\n' > tiny.txt
out=$( (ulimit -v $((base + 20000)) && "$program" --preset general -q -j 1 -o tiny tiny.txt) 2>&1)
[ "${out%%$'\n'*}" = "veltrane2: tiny.txt: the data end after 10 of 16777216 values" ] || fail "tiny.txt: $out"

# More jobs and the threads they share out: whatever fails fails its image,
# never the batch.
for jobs in 2 4; do
    for extra in 0 5000 10000 20000 40000 80000 150000; do
        rm -rf many
        out=$( (ulimit -v $((base + extra)) && "$program" --preset general -q -j "$jobs" --format text \
                -o many large.gsf small.gsf other.gsf) 2>&1)
        status=$?
        [ "$status" -eq 1 ] || fail "-j $jobs, limit + $extra: status $status: $out"
        grep -q "^veltrane2: large.gsf: out of memory$" <<< "$out" || fail "-j $jobs: $out"
        grep -Eq "^veltrane2: [0-9] of 3 images done, [1-3] failed" <<< "$out" || fail "-j $jobs: no summary: $out"
        if grep -v "^veltrane2: \(large\|small\|other\).gsf: out of memory$" <<< "$out" |
                grep -v "^veltrane2: [0-9] of 3 images done\|^veltrane2: parameters:" | grep -q .; then
            fail "-j $jobs: unexpected lines: $out"
        fi
    done
done

[ -n "$pythonpath" ] || exit 0
export PYTHONPATH=$pythonpath OPENBLAS_NUM_THREADS=1
cat > check.py <<'PY'
import sys
import numpy as np
import veltrane2
if sys.argv[1:] == ["start"]:
    veltrane2.destripe(np.zeros((64, 64)), preset="general")
    sys.exit(0)
z = np.add.outer(np.arange(64) % 7, np.linspace(0, 1, 64))
try:
    veltrane2.destripe(np.zeros((2048, 2048)) + z[0, 0], preset="general")
    print("the large run ran")
except MemoryError:
    print("MemoryError")
for preset in ("general", "auto"):
    r = veltrane2.destripe(z, preset=preset)
    assert np.allclose(r.noise + r.cleaned, z - z.min(), atol=1e-12)
print("the small runs ran")
PY
python_base=$(least_limit /usr/bin/python3 check.py start) || fail "Python does not start under any limit tried"
out=$( (ulimit -v $((python_base + 150000)) && /usr/bin/python3 check.py) 2>&1)
status=$?
[ "$status" -eq 0 ] || fail "Python: status $status: $out"
[ "$out" = "MemoryError
the small runs ran" ] || fail "Python: $out"
echo "passed"
