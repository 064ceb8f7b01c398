#!/usr/bin/env bash
# The device benchmark's qemu plugin counts what an ARM program executes: a program of known
# instructions (insn_counter_program.S, no C library) is assembled for ARMv4T and run under
# qemu-arm with the plugin, and the counts, the blocks of the profile and the misaligned
# accesses must be exactly the program's. Catches a plugin that qemu refuses to load (the
# declared plugin interface no longer matching qemu's), counts lost or doubled, and kinds
# miscounted in the plugin's wiring.
#
#   insn_counter_plugin_test.sh PLUGIN WORK_DIR SOURCE_DIR
#
# Exits 77 (reported as skipped) without the ARM cross compiler or qemu-arm.
set -euo pipefail

plugin="$1"
work="$2"
source_dir="$3"
for tool in arm-linux-gnueabi-gcc arm-linux-gnueabi-nm qemu-arm; do
    if ! command -v "$tool" >/dev/null; then
        echo "skipped: no $tool (scripts/install-deps.sh installs it)"
        exit 77
    fi
done
rm -rf "$work"
mkdir -p "$work"
arm-linux-gnueabi-gcc -nostdlib -static -marm -march=armv4t -o "$work/program" \
    "$source_dir/tests/tools/insn_counter_program.S"
qemu-arm -cpu pxa250 -plugin "$plugin,out=$work/counts,profile=on,align=on" "$work/program"

Address() {
    arm-linux-gnueabi-nm "$work/program" | awk -v name="$1" '$3 == name {sub(/^0+/, "", $1); print $1}'
}
start=$(Address _start)
loop=$(Address loop)
word=$(Address misaligned_word)
halfword=$(Address misaligned_halfword)
tail_block=$(printf '%x' $((0x$loop + 5 * 4)))

# 2 before the loop, 10 turns of 5, 6 after; the first turn runs in the first block.
expected="instructions 58
multiplies 10
loads 12
stores 10
branches 10
block $start 7 1
block $loop 5 9
block $tail_block 6 1
misaligned $halfword 2 1
misaligned $word 4 1"
actual=$(sort <"$work/counts")
if [ "$actual" != "$(sort <<<"$expected")" ]; then
    echo "the plugin's counts differ from the program's" >&2
    diff <(sort <<<"$expected") <(echo "$actual") >&2 || true
    exit 1
fi
echo "counted exactly: $(head -1 "$work/counts")"
