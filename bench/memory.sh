#!/usr/bin/env bash
# Peak resident memory of one run through the batch command line, text in
# and out, at 4096 x 4096, 2048 x 2048 and 1024 x 1024, against the goals
# 800 MB, 220 MB and 100 MB.
#
#   bench/memory.sh [PRESET] [SIZE...]     (default: general 4096 2048 1024)
#
# PRESET may be any --preset name; "grouped" runs the general set with
# --grouped. Needs the release build (cmake --preset release && cmake --build
# --preset release) and /usr/bin/time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/build/release"
preset=${1:-general}
shift || true
sizes=("$@")
[ "${#sizes[@]}" -gt 0 ] || sizes=(4096 2048 1024)
for exe in veltrane2 make_striped_image; do
    [ -x "$bin/$exe" ] || { echo "missing $bin/$exe: build the release preset first" >&2; exit 1; }
done
args=(--preset "$preset")
[ "$preset" = grouped ] && args=(--preset general --grouped)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
declare -A goal=([4096]=800 [2048]=220 [1024]=100)
for s in "${sizes[@]}"; do
    "$bin/make_striped_image" --size "$s" --seed 11 --bow 0.5 "$work/m$s.txt"
    /usr/bin/time -v "$bin/veltrane2" "${args[@]}" -j 1 -q -o "$work/out" "$work/m$s.txt" \
        > /dev/null 2> "$work/m$s.time" || { cat "$work/m$s.time" >&2; exit 1; }
    kb=$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$work/m$s.time")
    printf "peak resident memory, %4dx%-4d %s, batch text in and out: %6.1f MB (goal %s MB; MB = 10^6 bytes)\n" \
        "$s" "$s" "$preset" "$(awk "BEGIN {print $kb * 1024 / 1e6}")" "${goal[$s]:-?}"
    rm -f "$work/m$s.txt" "$work"/out/*
done
