#!/usr/bin/env bash
# Takes the README's picture of the Gwyddion module's dialog: opens it on
# examples/sample.txt in a headless X server (Xvfb) and saves the dialog.
#
#   tools/gwyddion-screenshot.sh [BUILD_DIR] [OUT.png]
#
# BUILD_DIR (default build/release) holds the built module
# (gwyddion/veltrane2.so); OUT defaults to docs/gwyddion-dialog.png.
# Needs xvfb (tools/install-deps.sh test).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
out=${2:-docs/gwyddion-dialog.png}
module=$build/gwyddion/veltrane2.so
[ -f "$module" ] || { echo "no module at $module: build first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck disable=SC2046
cc -std=c99 -O1 -o "$work/screenshot" tools/gwyddion_screenshot.c \
    $(pkg-config --cflags --libs gwyddion) -Wno-deprecated-declarations 2>"$work/cc.log" ||
    { cat "$work/cc.log" >&2; exit 1; }
# A home of its own: Gwyddion's settings and the user's modules stay out.
mkdir -p "$work/home"
HOME=$work/home xvfb-run -a -s "-screen 0 1280x900x24" \
    "$work/screenshot" "$module" examples/sample.txt "$out"
echo "$out"
