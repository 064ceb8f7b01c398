#!/usr/bin/env bash
# Runs every test: installs what is missing, then builds and tests with g++ and with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
for preset in dev asan; do
    echo "=== $preset"
    cmake --workflow --preset "$preset"
done
