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
    # the packages' install tests
    dpkg-dev unzip
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64
    # Windows x86: the 32-bit compilers and 32-bit Wine (from the i386 architecture)
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine32:i386
    # Linux on 32-bit ARM: the cross compilers, the armhf libraries, and qemu to run the tests
    g++-arm-linux-gnueabihf qemu-user libsqlite3-dev:armhf libpng-dev:armhf
    # varnel-bench's corpus: photographs re-encoded by scripts/make-bench-corpus.sh
    mate-backgrounds plasma-workspace-wallpapers netpbm
)

# The foreign architectures whose packages are named above (NAME:ARCH).
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
added_architecture=0
for arch in i386 armhf; do
    if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        echo "Adding the $arch architecture"
        $SUDO dpkg --add-architecture "$arch"
        added_architecture=1
    fi
done

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ] && [ "$added_architecture" -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# A mirror in the middle of a sync serves index files of the wrong size for a few minutes;
# try again before giving up, then install from whatever indexes did arrive.
for attempt in 1 2 3 4; do
    if $SUDO apt-get update -qq; then
        break
    fi
    if [ "$attempt" -eq 4 ]; then
        echo "apt-get update kept failing; installing from the indexes it did fetch" >&2
        break
    fi
    echo "apt-get update failed (attempt $attempt); retrying in $((attempt * 20)) s" >&2
    sleep $((attempt * 20))
done
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
