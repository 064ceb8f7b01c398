#!/usr/bin/env bash
# Installs, from Debian's archive, everything the build, the tests, the demo and the benchmarks
# need. Packages already present are left alone, so a second run costs a few seconds.
set -euo pipefail

packages=(
    build-essential cmake ninja-build clang clang-format llvm libclang-rt-14-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    libsqlite3-dev sqlite3 libpng-dev
    libjpeg-turbo-progs libturbojpeg0-dev libstb-dev
    imagemagick
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64
    # varnel-bench's corpus: photographs re-encoded by scripts/make-bench-corpus.sh
    mate-backgrounds netpbm
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
