#!/usr/bin/env bash
# Times a batch of generated images through the batch command line on all
# cores against a shell loop of the classic program, one image at a time.
#
#   bench/batch.sh [COUNT] [SIZE]      (default 32 images of 512 x 512)
#
# Needs the release build (cmake --preset release && cmake --build --preset release).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/build/release"
count=${1:-32}
size=${2:-512}
for exe in veltrane2 make_striped_image; do
    [ -x "$bin/$exe" ] || { echo "missing $bin/$exe: build the release preset first" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/scans" "$work/loop"
for ((k = 1; k <= count; k++)); do
    "$bin/make_striped_image" --size "$size" --seed "$k" --bow 0.5 "$work/scans/scan$k.txt"
done
params=$(tail -n +2 "$root/examples/params/general.in")
. "$root/bench/timing.sh"

t0=$(now)
(cd "$work/loop" && for f in ../scans/*.txt; do
    b=$(basename "$f"); cp "$f" "$b"
    { echo "$b"; echo "$params"; } | "$bin/veltrane2" > /dev/null
    rm "$b"
done)
t1=$(now)
"$bin/veltrane2" --preset general -q -o "$work/batch" "$work"/scans/*.txt > /dev/null
t2=$(now)
for f in "$work"/loop/*_scan*.txt; do
    cmp -s "$f" "$work/batch/$(basename "$f")" || { echo "outputs differ: $(basename "$f")" >&2; exit 1; }
done
loop=$(awk "BEGIN {print $t1 - $t0}")
batch=$(awk "BEGIN {print $t2 - $t1}")
printf '%d images of %dx%d, %d cores\n' "$count" "$size" "$size" "$(nproc)"
printf 'shell loop of the classic program: %.2f s\n' "$loop"
printf 'batch command line (-j %d):          %.2f s\n' "$(nproc)" "$batch"
printf 'ratio batch / loop:                 %.2f\n' "$(awk "BEGIN {print $batch / $loop}")"
