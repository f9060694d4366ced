#!/usr/bin/env bash
# fuzz/run.sh [SECONDS | check]: builds the fuzz targets with clang and libFuzzer under the address and
# undefined-behaviour sanitizers (the fuzz preset, in build/fuzz) and runs each from fuzz/corpus/,
# printing its executions; failing inputs go to build/fuzz/findings/.
#   SECONDS  explores: each target for SECONDS (default 30) from a random seed
#   check    repeats: each target for a fixed number of runs from seed 1, so that the same commit
#            always runs the same inputs (the test command's phase; a finding there is reproducible)
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-30}
build=build/fuzz
cmake --preset fuzz > /dev/null
cmake --build --preset fuzz -j"$(nproc 2>/dev/null || echo 2)" > /dev/null
mkdir -p "$build/findings"
# Runs per target in check mode: about ten seconds each on two cores.
declare -A check_runs=([text_image]=20000 [gsf]=200000 [stdin]=200000 [params_file]=200000 [engine]=300)
status=0
for target in text_image gsf stdin params_file engine; do
    work="$build/corpus/$target"
    if [ "$mode" = check ]; then
        # A fresh working corpus each time: what earlier runs added would change the inputs.
        rm -rf "$work"
        limits=(-seed=1 -runs="${check_runs[$target]}")
        what="${check_runs[$target]} runs from seed 1"
    else
        limits=(-max_total_time="$mode")
        what="${mode}s"
    fi
    mkdir -p "$work"
    if "$build/fuzz/${target}_fuzz" "${limits[@]}" -print_final_stats=1 -max_len=65536 \
        -artifact_prefix="$build/findings/${target}-" "$work" "fuzz/corpus/$target" > "$build/$target.log" 2>&1; then
        execs=$(awk '/stat::number_of_executed_units/ {print $2}' "$build/$target.log")
        printf 'fuzz %-12s %10s executions (%s), no findings\n' "$target" "$execs" "$what"
    else
        echo "fuzz $target: FOUND A FAILURE (see $build/$target.log and $build/findings/)"
        tail -n 30 "$build/$target.log"
        status=1
    fi
done
exit $status
