#!/usr/bin/env bash
# Runs every test: installs what is missing, then builds and tests with g++ and with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
for preset in dev asan; do
    echo "=== $preset"
    cmake --workflow --preset "$preset"
done

# The Windows build, tested under Wine; it compares its bitmaps with the dev build's.
echo "=== mingw"
status=0
cmake --workflow --preset mingw || status=$?
./scripts/wine-run.sh --stop
exit "$status"
