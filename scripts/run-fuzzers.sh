#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build (cmake --preset fuzz) for a fixed time each, one after
# the other, at the lowest priority, from the kept corpus (tests/fuzz/corpus/<target>, only read)
# and the work corpus, to which what the run finds is added (seeded by scripts/make-fuzz-corpus.sh
# when a target has no kept corpus); scripts/merge-fuzz-corpus.sh then adds the finds that reach
# new code to the kept corpus. Prints one line per target: executions and their
# rate, coverage, corpus size. A crash, leak, timeout or sanitizer report leaves the input in the
# artifacts folder and makes the script fail: add it, named, to tests/fuzz/regressions/<target>/.
#
# Usage: scripts/run-fuzzers.sh [SECONDS_EACH] [BUILD_DIR] [WORK_DIR] [TARGET...]
#        defaults: 25, build/fuzz, build/fuzz-work, all targets
# FUZZ_SEED fixes libFuzzer's random seed (0, the default, lets it choose one), so that a run of
# the test command explores the same inputs each time. FUZZ_RUNS stops each target after that
# many executions, if its time is not up first (SECONDS_EACH 0: no time limit). FUZZ_JOBS runs
# each target in that many processes at once (libFuzzer's fork mode), for machines with the cores.
set -uo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-25}
build=${2:-build/fuzz}
work=${3:-build/fuzz-work}
shift $(($# < 3 ? $# : 3))
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(differential_fuzzer load_jpeg_fuzzer bmp_decode_fuzzer dialog_template_fuzzer
             registry_fuzzer item_fuzzer)
fi

kept=tests/fuzz/corpus
for target in "${targets[@]}"; do
    if [ ! -d "$kept/$target" ] && [ ! -d "$work/corpus" ]; then
        scripts/make-fuzz-corpus.sh "$work/corpus" >/dev/null || exit 1
    fi
done
mkdir -p "$work/artifacts" "$work/logs"

status=0
for target in "${targets[@]}"; do
    binary="$build/tests/fuzz/$target"
    if [ ! -x "$binary" ]; then
        echo "$target: not built in $build" >&2
        status=1
        continue
    fi
    case $target in
        bmp_decode_fuzzer) options=(-dict=tests/fuzz/bmp.dict -max_len=16384) ;;
        dialog_template_fuzzer) options=(-max_len=4096) ;;
        registry_fuzzer) options=(-max_len=512) ;;
        item_fuzzer) options=(-dict=tests/fuzz/jpeg.dict -max_len=16384) ;;
        *) options=(-dict=tests/fuzz/jpeg.dict -max_len=65536) ;;
    esac
    if [ "${FUZZ_JOBS:-1}" -gt 1 ]; then options+=(-fork="$FUZZ_JOBS"); fi
    mkdir -p "$work/corpus/$target"
    corpora=("$work/corpus/$target")
    if [ -d "$kept/$target" ]; then corpora+=("$kept/$target"); fi
    log="$work/logs/$target.log"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        nice -n 19 "$binary" "${options[@]}" -max_total_time="$seconds" -runs="${FUZZ_RUNS:--1}" \
        -timeout=120 \
        -seed="${FUZZ_SEED:-0}" -rss_limit_mb=2560 -print_final_stats=1 \
        -artifact_prefix="$work/artifacts/$target-" "${corpora[@]}" >"$log" 2>&1
    result=$?
    runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | tail -1 | awk '{print $2}')
    # Fork mode prints no final statistics; its status lines start with the executions so far.
    [ -n "$runs" ] || runs=$(grep -oE '^#[0-9]+: cov' "$log" | tail -1 | tr -dc '0-9')
    coverage=$(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' "$log" | tail -1)
    rate=$(grep -o 'stat::average_exec_per_sec: [0-9]*' "$log" | tail -1 | awk '{print $2}')
    [ -n "$rate" ] || rate=$(grep -oE 'exec/s: [0-9]+' "$log" | tail -1 | tr -dc '0-9')
    if [ $result -eq 0 ]; then
        echo "$target: ${runs:-0} executions (${rate:-?} a second), $coverage"
    else
        echo "$target: FAILED after ${runs:-?} executions (see $log)"
        grep -E 'ERROR|SUMMARY|went from|differ|returned|: ' "$log" | grep -v '^#' | head -5
        status=1
    fi
done
exit $status
