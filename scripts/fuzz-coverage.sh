#!/usr/bin/env bash
# Measures what the fuzz inputs reach: builds the replay drivers of tests/fuzz with clang's
# source-based coverage (no sanitizers, no libFuzzer), replays every target's kept corpus and
# regression files, and prints line and branch coverage per file of jpeg/, todayitem/,
# pocketpc/ (the bitmap file reader and the shim) and the files of win32/src that the replays
# enter, as a Markdown table, then the lines of jpeg/ that no input ran. The report in HTML is
# left in BUILD_DIR/coverage-html.
#
# Usage: scripts/fuzz-coverage.sh [BUILD_DIR]   (default build/fuzz-coverage)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/fuzz-coverage}
for tool in clang++ llvm-profdata llvm-cov python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-deps.sh" >&2; exit 1; }
done
targets=(differential_fuzzer load_jpeg_fuzzer bmp_decode_fuzzer dialog_template_fuzzer
         registry_fuzzer item_fuzzer)
flags="-fprofile-instr-generate -fcoverage-mapping"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPROJECT_WERROR=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS=-fprofile-instr-generate \
    -DCMAKE_SHARED_LINKER_FLAGS=-fprofile-instr-generate >/dev/null
nice cmake --build "$build" -j2 --target "${targets[@]/%/_replay}" >/dev/null

profiles="$build/coverage-profiles"
rm -rf "$profiles"
mkdir -p "$profiles"
objects=()
for target in "${targets[@]}"; do
    case $target in
        differential_fuzzer) regressions=tests/fuzz/regressions ;;
        *) regressions=tests/fuzz/regressions/$target ;;
    esac
    # %m: one file per instrumented module (the program, and the libraries it loads).
    LLVM_PROFILE_FILE="$profiles/$target-%m.profraw" \
        "$build/tests/fuzz/${target}_replay" "$regressions" "tests/fuzz/corpus/$target" 2>/dev/null
    # llvm-cov takes the first object as a plain argument, the others after -object.
    [ ${#objects[@]} -eq 0 ] || objects+=(-object)
    objects+=("$build/tests/fuzz/${target}_replay")
done
for library in "$build"/jpeg/libvarnel.so "$build"/todayitem/liblumetta.so \
               "$build"/win32/libvarnel-lumetta-win32layer.so; do
    if [ -f "$library" ]; then objects+=(-object "$library"); fi
done
llvm-profdata merge -sparse "$profiles"/*.profraw -o "$build/coverage.profdata"

sources=(jpeg todayitem pocketpc win32/src)
llvm-cov export -summary-only -instr-profile "$build/coverage.profdata" "${objects[@]}" \
    "${sources[@]}" >"$build/coverage.json"
llvm-cov show -format=html -output-dir="$build/coverage-html" \
    -instr-profile "$build/coverage.profdata" "${objects[@]}" "${sources[@]}"
llvm-cov show -instr-profile "$build/coverage.profdata" "${objects[@]}" jpeg >"$build/jpeg.txt"

python3 - "$build/coverage.json" "$build/jpeg.txt" "$PWD" <<'PY'
import json, re, sys

report, listing, root = sys.argv[1], sys.argv[2], sys.argv[3] + '/'
files = json.load(open(report))['data'][0]['files']
groups = {}
for entry in files:
    name = entry['filename'].replace(root, '')
    summary = entry['summary']
    # The layer's files that no replay enters are not part of what the targets test.
    if name.startswith('win32/') and summary['lines']['covered'] == 0:
        continue
    groups.setdefault(name.split('/')[0], []).append((name, summary))

def percent(part):
    return '%5.1f %%' % (100.0 * part['covered'] / part['count']) if part['count'] else '    -  '

print('| file | lines | line coverage | branches | branch coverage |')
print('|---|--:|--:|--:|--:|')
for group in ('jpeg', 'todayitem', 'pocketpc', 'win32'):
    total = {'lines': {'count': 0, 'covered': 0}, 'branches': {'count': 0, 'covered': 0}}
    for name, summary in sorted(groups.get(group, [])):
        print('| %s | %d | %s | %d | %s |' % (name, summary['lines']['count'],
              percent(summary['lines']), summary['branches']['count'], percent(summary['branches'])))
        for kind in total:
            for field in ('count', 'covered'):
                total[kind][field] += summary[kind][field]
    print('| **%s/ in all** | %d | %s | %d | %s |' % (group, total['lines']['count'],
          percent(total['lines']), total['branches']['count'], percent(total['branches'])))

print('\nLines of jpeg/ that no input ran:')
current = None
for line in open(listing):
    if line.startswith('/') and line.rstrip().endswith(':'):
        current = line.strip()[:-1].replace(root, '')
        continue
    match = re.match(r'\s*(\d+)\|\s*0\|(.*)', line)
    if match and current:
        print('%s:%s: %s' % (current, match.group(1), match.group(2).strip()))
PY
