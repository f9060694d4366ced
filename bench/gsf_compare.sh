#!/usr/bin/env bash
# Times a full run on the same striped image held as a text image and as a
# .gsf file (outputs in the input's format), alternating, and reports both
# medians and their ratio.
#
#   bench/gsf_compare.sh [SIZE] [REPEATS]
#
# Needs the release build (cmake --preset release && cmake --build --preset release).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/build/release"
size=${1:-1024}
reps=${2:-7}
for exe in veltrane2 make_striped_image; do
    [ -x "$bin/$exe" ] || { echo "missing $bin/$exe: build the release preset first" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$bin/make_striped_image" --size "$size" --seed 11 --bow 0.5 img.txt
# The same image as a .gsf, through the batch mode's format conversion.
"$bin/veltrane2" --preset general -q --format gsf img.txt > /dev/null
mv DENOISE_img.gsf img.gsf
rm -f FIL_img.gsf NOISE_img.gsf
params=$(tail -n +2 "$root/examples/params/general.in")

. "$root/bench/timing.sh"
: > t_text; : > t_gsf
for ((k = 0; k < reps; k++)); do
    t0=$(now); { echo img.txt; echo "$params"; } | "$bin/veltrane2" > /dev/null; t1=$(now)
    awk "BEGIN {print $t1 - $t0}" >> t_text
    t0=$(now); { echo img.gsf; echo "$params"; } | "$bin/veltrane2" > /dev/null; t1=$(now)
    awk "BEGIN {print $t1 - $t0}" >> t_gsf
done
mt=$(median < t_text)
mg=$(median < t_gsf)
printf 'image %dx%d, %d runs each\n' "$size" "$size" "$reps"
printf 'text to text median:  %.3f s\n' "$mt"
printf '.gsf to .gsf median:  %.3f s\n' "$mg"
printf 'ratio .gsf / text:    %.2f\n' "$(awk "BEGIN {print $mg / $mt}")"
