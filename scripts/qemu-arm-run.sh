#!/usr/bin/env bash
# Runs a Linux program of the device build (armel: ARMv4T code, soft-float calling convention,
# build/armel) on this machine under qemu-arm.
#
#   scripts/qemu-arm-run.sh PROGRAM [ARGS...]
#
# The processor is qemu's XScale PXA250 (ARMv5TE, no floating-point unit), the oldest of the
# devices' processors that Debian's armel C library runs on, or the model named in QEMU_CPU.
# The program's dynamic loader and C and C++ runtimes come from the cross toolchain's folder
# (/usr/arm-linux-gnueabi), which qemu searches first for every absolute path the program
# opens. The loader is told to look in that folder first and then in the sysroot of armel
# libraries (SQLite, libpng, zlib, TurboJPEG) that scripts/armel-sysroot.sh unpacks
# (build/armel-sysroot of this tree, or ARMEL_SYSROOT). Left to the machine's own library cache
# it would find the i386 libraries that 32-bit Wine brings.
# Programs that the emulated program starts are started natively, so tests that run other
# programs of the build put this script in front of them. Used as CMAKE_CROSSCOMPILING_EMULATOR.
set -euo pipefail

if [ $# -eq 0 ]; then
    echo "usage: qemu-arm-run.sh PROGRAM [ARGS...]" >&2
    exit 2
fi
qemu="$(command -v qemu-arm || true)"
if [ -z "$qemu" ]; then
    echo "qemu-arm-run: no qemu-arm found (scripts/install-deps.sh installs qemu-user)" >&2
    exit 2
fi

triple=arm-linux-gnueabi
sysroot="${ARMEL_SYSROOT:-$(cd "$(dirname "$0")/.." && pwd)/build/armel-sysroot}"
root="${QEMU_LD_PREFIX:-/usr/$triple}"
export QEMU_LD_PREFIX="$root"
exec "$qemu" -cpu "${QEMU_CPU:-pxa250}" \
    -E "LD_LIBRARY_PATH=$root/lib:$sysroot/usr/lib/$triple:$sysroot/lib/$triple" "$@"
