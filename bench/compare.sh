#!/usr/bin/env bash
# Times a full veltrane2 run against the I/O floor (parse one image, write
# three) on the same striped image, side by side, and reports both medians
# and their ratio; then the peak resident memory of runs at two sizes.
#
#   bench/compare.sh [SIZE] [REPEATS] [PARAMETERS] [grouped]
#
# With "grouped" the run estimates levels cluster by cluster (the test
# build's veltrane2_grouped, the classic program with the grouping mode).
#
# Needs the release build (cmake --preset release && cmake --build --preset release).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/build/release"
floor="$bin/bench/io_floor"
size=${1:-1024}
reps=${2:-7}
params=${3:-"0.3 0.1 0.1|0.5|0.5 0.8 3"}
run="$bin/veltrane2"
[ "${4:-}" = grouped ] && run="$bin/tests/veltrane2_grouped"
for exe in veltrane2 bench/io_floor make_striped_image; do
    [ -x "$bin/$exe" ] || { echo "missing $bin/$exe: build the release preset first" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$bin/make_striped_image" --size "$size" --seed 11 --bow 0.5 img.txt
IFS='|' read -r p1 p2 p3 <<<"$params"
printf 'img.txt\n%s\n%s\n%s\n' "$p1" "$p2" "$p3" > run.in

. "$root/bench/timing.sh"
: > t_floor; : > t_run
for ((k = 0; k < reps; k++)); do
    t0=$(now); "$floor" img.txt > /dev/null; t1=$(now)
    awk "BEGIN {print $t1 - $t0}" >> t_floor
    t0=$(now); "$run" < run.in > run.out; t1=$(now)
    awk "BEGIN {print $t1 - $t0}" >> t_run
done
mf=$(median < t_floor)
mr=$(median < t_run)
printf 'image %dx%d, %d runs each, parameters: %s %s\n' "$size" "$size" "$reps" "$params" "${4:-}"
printf 'I/O floor median:       %.3f s\n' "$mf"
printf 'veltrane2 run median:   %.3f s\n' "$mr"
printf 'ratio run / floor:      %.2f\n' "$(awk "BEGIN {print $mr / $mf}")"

for s in 256 1024; do
    "$bin/make_striped_image" --size "$s" --seed 11 --bow 0.5 "m$s.txt"
    printf 'm%s.txt\n%s\n%s\n%s\n' "$s" "$p1" "$p2" "$p3" > "m$s.in"
    /usr/bin/time -v "$bin/veltrane2" < "m$s.in" > /dev/null 2> "m$s.time"
    printf 'peak resident memory, %4dx%-4d run: %s kB\n' "$s" "$s" \
        "$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "m$s.time")"
done
# The grouping mode (test program built with the tests).
if [ -x "$bin/tests/veltrane2_grouped" ]; then
    /usr/bin/time -v "$bin/tests/veltrane2_grouped" < m1024.in > grouped.out 2> grouped.time
    printf 'peak resident memory, 1024x1024 grouped run: %s kB (%s)\n' \
        "$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' grouped.time)" \
        "$(grep -E 'CLUSTER#=' grouped.out | sed 's/^ *//')"
fi
