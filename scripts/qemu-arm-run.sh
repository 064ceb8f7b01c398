#!/usr/bin/env bash
# Runs a Linux program built for 32-bit ARM (armhf) on this machine under qemu-arm.
#
#   scripts/qemu-arm-run.sh PROGRAM [ARGS...]
#
# The program's dynamic loader and C++ runtime come from the cross toolchain's folder
# (/usr/arm-linux-gnueabihf); qemu looks there first for every absolute path the program
# opens and falls back to the machine's own, where multiarch keeps the armhf SQLite and libpng.
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
export QEMU_LD_PREFIX="${QEMU_LD_PREFIX:-/usr/arm-linux-gnueabihf}"
exec "$qemu" "$@"
