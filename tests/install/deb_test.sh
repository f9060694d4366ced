#!/usr/bin/env bash
# deb_test.sh BUILD WORK SOURCE: makes the Debian package of the release
# build BUILD with cpack in WORK, unpacks it into a scratch root with dpkg -x and
# runs from there: veltrane2 --version, the sample (the bytes of BUILD's program),
# the man page, the library's files, and the Python module with Debian's python3.
# The preview and the Gwyddion module are in it when BUILD has them.
set -euo pipefail
build=$1 work=$2 src=$3
version=$(sed -n 's/.*kVersion\[\] = "\([0-9.]*\)";.*/\1/p' "$src/include/veltrane2/veltrane2.hpp")
rm -rf "$work"
mkdir -p "$work"
cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake" > "$work/cpack.log" || { cat "$work/cpack.log"; exit 1; }
deb=$work/veltrane2_${version}_amd64.deb
[ -f "$deb" ] || { echo "no $deb:"; ls "$work"; exit 1; }
[ "$(dpkg-deb -f "$deb" Package Version Architecture | tr '\n' ' ')" = "Package: veltrane2 Version: $version Architecture: amd64 " ]
root=$work/root
dpkg -x "$deb" "$root"
usr=$root/usr
files=(bin/veltrane2 include/veltrane2/veltrane2.hpp lib/libveltrane2.a lib/cmake/veltrane2/veltrane2Config.cmake
       share/man/man1/veltrane2.1.gz share/doc/veltrane2/copyright lib/python3/dist-packages/veltrane2.pyi)
[ -f "$build/veltrane2-preview" ] && files+=(bin/veltrane2-preview)
[ -f "$build/gwyddion/veltrane2.so" ] && files+=(lib/x86_64-linux-gnu/gwyddion/modules/process/veltrane2.so)
[ -f "$build/veltrane2-read-instrument" ] && files+=(lib/veltrane2/veltrane2-read-instrument)
for f in "${files[@]}"; do
    [ -f "$usr/$f" ] || { echo "the package lacks /usr/$f"; exit 1; }
done
[ "$("$usr/bin/veltrane2" --version)" = "veltrane2 $version" ]
man=$(zcat "$usr/share/man/man1/veltrane2.1.gz")
[[ $man == *".TH VELTRANE2 \"1\""*"\"veltrane2 $version\""* && $man == *"keep\-slope | conservative"* ]]
grep -q "MIT License" "$usr/share/doc/veltrane2/copyright"
mkdir -p "$work/deb" "$work/tested"
for dir in deb tested; do
    cp "$src/examples/sample.txt" "$work/$dir/"
done
(cd "$work/deb" && "$usr/bin/veltrane2" < "$src/examples/sample.in" > out.txt)
(cd "$work/tested" && "$build/veltrane2" < "$src/examples/sample.in" > out.txt)
diff -r "$work/deb" "$work/tested"
(cd "$work" && env -u PYTHONPATH PYTHONPATH="$usr/lib/python3/dist-packages" /usr/bin/python3 -c \
    "import veltrane2, sys; assert veltrane2.__file__.startswith(sys.argv[1]); assert veltrane2.__version__ == sys.argv[2]" \
    "$usr/lib/python3/dist-packages" "$version")
if [ -f "$build/veltrane2-read-instrument" ]; then
    "$usr/bin/veltrane2" --list-channels "$src/tests/data/instrument/mi-1.mi" | grep -q "0 'Topography' 256 x 256"
fi
echo "$(basename "$deb"): program, sample run, man page, library and Python module as tested"
rm -rf "$work"
