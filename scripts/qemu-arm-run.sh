#!/usr/bin/env bash
# Runs a Linux program built for 32-bit ARM on this machine under qemu-arm: an armhf program
# (hard-float calling convention, build/armhf) or an armel one (soft-float, the device build
# build/armel), told apart by the float ABI flag in the program's ELF header.
#
#   scripts/qemu-arm-run.sh PROGRAM [ARGS...]
#
# armhf: the processor is qemu's default; armel: the XScale PXA250 (ARMv5TE, no floating-point
# unit), the oldest of the devices' processors that Debian's armel C library runs on, or the
# model named in QEMU_CPU. qemu itself reads QEMU_PLUGIN (a plugin's path and arguments, as
# -plugin takes them): the device benchmark loads its instruction counter that way.
# The program's dynamic loader and C and C++ runtimes come from the cross toolchain's folder
# (/usr/arm-linux-gnueabihf or /usr/arm-linux-gnueabi), which qemu searches first for every
# absolute path the program opens. The loader is told to look in that folder first and then in
# the other libraries' folders: multiarch's armhf folders (SQLite, libpng), or for armel the
# sysroot that scripts/armel-sysroot.sh unpacks (build/armel-sysroot of this tree, or
# ARMEL_SYSROOT). Left to the machine's own library cache it would find the i386 libraries that
# 32-bit Wine brings, or multiarch's C library, whose release need not match the cross
# loader's (threads then crash).
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

# e_flags of an ELF32 header (bytes 36 to 39, little-endian); EF_ARM_ABI_FLOAT_HARD is 0x400.
flags=$(od -An -tu4 -j36 -N4 "$1" 2>/dev/null | tr -d ' ' || true)
options=()
if [ -n "$flags" ] && [ $((flags & 0x400)) -eq 0 ]; then
    triple=arm-linux-gnueabi
    sysroot="${ARMEL_SYSROOT:-$(cd "$(dirname "$0")/.." && pwd)/build/armel-sysroot}"
    extra="$sysroot/usr/lib/$triple:$sysroot/lib/$triple"
    options+=(-cpu "${QEMU_CPU:-pxa250}")
else
    triple=arm-linux-gnueabihf
    extra="/usr/lib/$triple:/lib/$triple"
fi
root="${QEMU_LD_PREFIX:-/usr/$triple}"
export QEMU_LD_PREFIX="$root"
exec "$qemu" "${options[@]}" -E "LD_LIBRARY_PATH=$root/lib:$extra" "$@"
