#!/usr/bin/env bash
# Adds to the kept corpus (tests/fuzz/corpus/<target>) the inputs of a work corpus (what
# scripts/run-fuzzers.sh found) that reach code or behaviour the kept corpus does not, with
# libFuzzer's -merge=1: the kept corpus grows in coverage only. With --minimise the kept corpus
# is rebuilt instead as the smallest set of the two that covers as much; run it when the kept
# corpus has grown by many merges. Prints each target's files and bytes before and after.
#
# Usage: scripts/merge-fuzz-corpus.sh [--minimise] [BUILD_DIR] [WORK_DIR] [TARGET...]
#        defaults: build/fuzz, build/fuzz-work, all targets
set -euo pipefail
cd "$(dirname "$0")/.."

minimise=0
if [ "${1:-}" = "--minimise" ]; then
    minimise=1
    shift
fi
build=${1:-build/fuzz}
work=${2:-build/fuzz-work}
shift $(($# < 2 ? $# : 2))
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(differential_fuzzer load_jpeg_fuzzer bmp_decode_fuzzer dialog_template_fuzzer
             registry_fuzzer item_fuzzer)
fi

Describe() {
    find "$1" -type f -printf "%s\n" | awk '{n++; s+=$1} END {printf "%d files, %d bytes\n", n, s}'
}

# Merge BINARY LOG OUT_DIR IN_DIR...: the inputs of the IN_DIRs that add features to OUT_DIR's.
Merge() {
    local binary=$1 log=$2
    shift 2
    ASAN_OPTIONS=detect_leaks=0 nice -n 19 "$binary" -merge=1 -timeout=120 -rss_limit_mb=2560 \
        "$@" >"$log" 2>&1 || { echo "merge failed: see $log" >&2; exit 1; }
}

for target in "${targets[@]}"; do
    binary="$build/tests/fuzz/$target"
    kept="tests/fuzz/corpus/$target"
    found="$work/corpus/$target"
    [ -x "$binary" ] || { echo "$target: not built in $build" >&2; exit 1; }
    mkdir -p "$kept" "$found"
    before=$(Describe "$kept")
    log="$work/logs/$target-merge.log"
    mkdir -p "$work/logs"
    if [ $minimise -eq 1 ]; then
        fresh=$(mktemp -d)
        Merge "$binary" "$log" "$fresh" "$kept" "$found"
        find "$kept" -type f -delete
        cp "$fresh"/* "$kept"/ 2>/dev/null || true
        rm -rf "$fresh"
    else
        Merge "$binary" "$log" "$kept" "$found"
    fi
    echo "$target: $before -> $(Describe "$kept")"
done
