#!/usr/bin/env bash
# Runs every test: installs what is missing, then builds and tests with g++ and with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer, the Windows x64 and x86 builds under 64-bit
# and 32-bit Wine, and the device build (Linux on ARMv4T, soft-float) under qemu's XScale PXA250;
# then runs every fuzz target for a short time.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

# Makes a build's packages (CPack) and runs their install tests: each package unpacked into a
# fresh place and run from there.
PackageTests() {
    echo "=== packages of $1"
    cmake --build "$1" --target package && ctest --test-dir "$1" -L package --output-on-failure
}

for preset in dev asan; do
    echo "=== $preset"
    cmake --workflow --preset "$preset"
done
PackageTests build/dev

# The cross builds: Windows x64 and x86 under Wine, the device build (armel: Linux on ARMv4T,
# soft-float) under qemu-arm -cpu pxa250. Each compares its bitmaps with the dev build's.
# 32-bit Wine needs a kernel that runs 32-bit x86 programs; where it has none, the Windows x86
# build and its packages are still made, and the summary at the end says that they did not run.
status=0
windows_builds=(build/mingw build/mingw32)
not_run=""
for preset in mingw mingw32 armel; do
    echo "=== $preset"
    if [ "$preset" = mingw32 ] && ! ./scripts/wine-run.sh --check win32; then
        echo "=== $preset: built only"
        windows_builds=(build/mingw)
        not_run="the Windows x86 tests (this machine's kernel does not run 32-bit x86 programs)"
        { cmake --preset "$preset" && cmake --build --preset "$preset" &&
            cmake --build build/mingw32 --target package; } || status=1
        continue
    fi
    cmake --workflow --preset "$preset" || status=1
done
for build in "${windows_builds[@]}"; do
    PackageTests "$build" || status=1
done
./scripts/wine-run.sh --stop

# Every fuzz target for a short fixed time (FUZZ_SECONDS each, 20 by default), built with
# libFuzzer, ASan and UBSan, from the kept corpus (tests/fuzz/corpus); a crash, leak, timeout or
# sanitizer report fails the run. The seed is fixed so that every run of this command explores
# the same inputs; longer runs with other seeds are scripts/run-fuzzers.sh's job.
echo "=== fuzz"
fuzz_targets=(differential_fuzzer load_jpeg_fuzzer bmp_decode_fuzzer dialog_template_fuzzer
              registry_fuzzer item_fuzzer)
if cmake --preset fuzz && cmake --build --preset fuzz --target "${fuzz_targets[@]}"; then
    FUZZ_SEED="${FUZZ_SEED:-1}" ./scripts/run-fuzzers.sh "${FUZZ_SECONDS:-20}" build/fuzz build/fuzz-work || status=1
else
    status=1
fi
if [ -n "$not_run" ]; then
    echo "=== not run here: $not_run"
fi
exit "$status"
