/* The kinds of ARM instruction the device benchmark counts: multiplies, loads, stores,
 * branches and the rest, decoded from the instruction words that the qemu plugin sees. Covers
 * the instruction sets of the devices' processors: ARM (ARMv4T to ARMv5TE, the DSP multiplies
 * included) and 16-bit Thumb. Plain C, so that the plugin (built for the build machine) and
 * the native test suite share it. */
#ifndef ARM_INSN_CLASS_H
#define ARM_INSN_CLASS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Exclusive kinds. A load that writes the program counter (LDR pc, LDM {..., pc}) is a load
 * and a data-processing instruction that writes it (MOV pc, lr) a branch. */
enum ArmInsnClass {
    kArmOther = 0,
    kArmMultiply = 1,
    kArmLoad = 2,
    kArmStore = 3,
    kArmBranch = 4,
};
#define ARM_INSN_CLASS_COUNT 5

/* A 32-bit ARM instruction word. */
enum ArmInsnClass ClassifyArmInsn(uint32_t word);

/* A 16-bit Thumb instruction (the halves of a Thumb BL pair are branches each). */
enum ArmInsnClass ClassifyThumbInsn(uint16_t halfword);

#ifdef __cplusplus
}
#endif

#endif
