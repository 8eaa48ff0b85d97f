#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan in ./build-fuzz and
# runs each for SECONDS (default 60), starting from the seed corpus in
# fuzz/corpus/<target>, the past findings and the test fixtures that suit the
# target, with fuzz/<target>.dict as its dictionary when there is one. A
# crash stops the script with the input that caused it; keep that input in
# fuzz/regressions/<target>/ once it is fixed.
#   fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
build_dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM320_FUZZ=ON -DQM320_WERROR="${QM320_WERROR:-OFF}" \
    -DQM320_BUILD_APP=OFF -DQM320_BUILD_TESTS=OFF -DQM320_BUILD_BENCH=OFF >/dev/null
targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
    mapfile -t targets < <(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
fi
cmake --build "$build_dir" -j"$(nproc)" --target "${targets[@]}"
# The test fixtures each target starts from, beside its own seeds.
declare -A fixtures=(
    [fuzz_textreader]="tests/data/log-*.txt tests/data/report-*.txt"
    [fuzz_xmlreader]="tests/data/*.xml"
)
for t in "${targets[@]}"; do
    work="$build_dir/corpus/$t"
    mkdir -p "$work" "$build_dir/artifacts/$t"
    seeds=()
    [[ -d "fuzz/corpus/$t" ]] && seeds+=("fuzz/corpus/$t")
    [[ -d "fuzz/regressions/$t" ]] && seeds+=("fuzz/regressions/$t")
    if [[ -n "${fixtures[$t]:-}" ]]; then
        rm -rf "$build_dir/fixtures/$t"
        mkdir -p "$build_dir/fixtures/$t"
        # shellcheck disable=SC2086 # the globs are meant to expand
        cp ${fixtures[$t]} "$build_dir/fixtures/$t/"
        seeds+=("$build_dir/fixtures/$t")
    fi
    options=()
    [[ -f "fuzz/$t.dict" ]] && options+=(-dict="fuzz/$t.dict")
    echo "== $t: ${seconds}s"
    # The whole output goes to a log; shown are the coverage reached and the
    # rate, or on a finding the end of the report.
    log="$build_dir/logs/$t.log"
    mkdir -p "$build_dir/logs"
    status=0
    "$build_dir/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 "${options[@]}" \
        -artifact_prefix="$build_dir/artifacts/$t/" "$work" "${seeds[@]}" >"$log" 2>&1 || status=$?
    if [[ $status -ne 0 ]]; then
        tail -n 60 "$log"
        echo "$t failed (exit $status); the whole output is in $log" >&2
        exit "$status"
    fi
    grep -E '^#[0-9]+[[:space:]]+DONE|^stat::(number_of_executed_units|average_exec_per_sec)' "$log"
done
