#!/usr/bin/env bash
# fuzz/run.sh [SECONDS]: builds the fuzz targets with clang and libFuzzer under the address and
# undefined-behaviour sanitizers (the fuzz preset, in build/fuzz) and runs each for SECONDS (default 30)
# from fuzz/corpus/, printing its executions; failing inputs go to build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=build/fuzz
cmake --preset fuzz > /dev/null
cmake --build --preset fuzz -j"$(nproc 2>/dev/null || echo 2)" > /dev/null
mkdir -p "$build/findings"
status=0
for target in text_image gsf stdin params_file engine; do
    work="$build/corpus/$target"
    mkdir -p "$work"
    if "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -print_final_stats=1 -max_len=65536 \
        -artifact_prefix="$build/findings/${target}-" "$work" "fuzz/corpus/$target" > "$build/$target.log" 2>&1; then
        execs=$(awk '/stat::number_of_executed_units/ {print $2}' "$build/$target.log")
        printf 'fuzz %-12s %10s executions in %ss, no findings\n' "$target" "$execs" "$seconds"
    else
        echo "fuzz $target: FOUND A FAILURE (see $build/$target.log and $build/findings/)"
        tail -n 30 "$build/$target.log"
        status=1
    fi
done
exit $status
