#!/usr/bin/env bash
# Runs a Linux program built for 32-bit ARM (armhf) on this machine under qemu-arm.
#
#   scripts/qemu-arm-run.sh PROGRAM [ARGS...]
#
# The program's dynamic loader and C and C++ runtimes come from the cross toolchain's folder
# (/usr/arm-linux-gnueabihf), which qemu searches first for every absolute path the program
# opens. The loader is told to look in that folder first and then in multiarch's armhf folders
# (SQLite, libpng): left to the machine's own library cache it would find the i386 libraries
# that 32-bit Wine brings, or multiarch's armhf C library, whose release need not match the
# cross loader's (threads then crash).
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
root="${QEMU_LD_PREFIX:-/usr/arm-linux-gnueabihf}"
export QEMU_LD_PREFIX="$root"
library_path="$root/lib:/usr/lib/arm-linux-gnueabihf:/lib/arm-linux-gnueabihf"
exec "$qemu" -E "LD_LIBRARY_PATH=$library_path" "$@"
