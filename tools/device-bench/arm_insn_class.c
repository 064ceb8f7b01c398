/* Decodes ARM and Thumb instruction words into the kinds the device benchmark counts (see
 * arm_insn_class.h). Field names follow the ARM architecture's encoding diagrams: cond in bits
 * 31 to 28, the L (load) bit 20, Rd in bits 15 to 12. */
#include "arm_insn_class.h"

static uint32_t Bits(uint32_t word, int high, int low) {
    return (word >> low) & ((1u << (high - low + 1)) - 1u);
}

enum ArmInsnClass ClassifyArmInsn(uint32_t word) {
    const uint32_t cond = Bits(word, 31, 28);
    const uint32_t op = Bits(word, 27, 25);
    const int load = (int)Bits(word, 20, 20);
    if (cond == 0xF) {
        /* The unconditional space: BLX with an immediate; PLD, coprocessor forms and the rest
         * are counted as other. */
        return op == 5 ? kArmBranch : kArmOther;
    }
    switch (op) {
        case 0: {
            const uint32_t low = Bits(word, 7, 4);
            if (low == 0x9) {
                /* MUL, MLA (000000x), the long multiplies (00001xx) and SWP/SWPB (00010x00). */
                if (Bits(word, 27, 24) == 0) return kArmMultiply;
                return Bits(word, 27, 23) == 2 ? kArmLoad : kArmOther;
            }
            if ((low & 0x9) == 0x9) {
                /* LDRH, LDRSB, LDRSH; STRH; and with L clear, LDRD (SH 10) and STRD (SH 11). */
                if (load) return kArmLoad;
                return Bits(word, 6, 5) == 2 ? kArmLoad : kArmStore;
            }
            if (Bits(word, 27, 23) == 2 && !load) {
                /* The miscellaneous space: BX, BLX (register), the DSP multiplies SMLAxy,
                 * SMLAWy, SMULWy, SMLALxy, SMULxy (bit 7 set, bit 4 clear), CLZ, QADD, MRS, MSR. */
                if ((word & 0x0FFFFFD0u) == 0x012FFF10u) return kArmBranch;
                if (Bits(word, 7, 7) == 1 && Bits(word, 4, 4) == 0) return kArmMultiply;
                return kArmOther;
            }
            break; /* data processing with a register or a shifted register */
        }
        case 1:
            if (Bits(word, 27, 23) == 6 && !load) return kArmOther; /* MSR immediate, hints */
            break;                                                  /* data processing, immediate */
        case 2:
            return load ? kArmLoad : kArmStore;
        case 3:
            if (Bits(word, 4, 4) == 1) return kArmOther; /* undefined on these processors */
            return load ? kArmLoad : kArmStore;
        case 4:
            return load ? kArmLoad : kArmStore; /* LDM, STM */
        case 5:
            return kArmBranch; /* B, BL */
        default:
            return kArmOther; /* coprocessor transfers, SWI */
    }
    /* Data processing: a branch when it writes the program counter, except the comparisons
     * (TST, TEQ, CMP, CMN), which write no register. */
    const uint32_t opcode = Bits(word, 24, 21);
    const int compares = opcode >= 8 && opcode <= 11;
    return !compares && Bits(word, 15, 12) == 15 ? kArmBranch : kArmOther;
}

enum ArmInsnClass ClassifyThumbInsn(uint16_t halfword) {
    const uint32_t h = halfword;
    if (Bits(h, 15, 6) == 0x10D) return kArmMultiply;    /* MUL */
    if (Bits(h, 15, 8) == 0x47) return kArmBranch;       /* BX, BLX register */
    if (Bits(h, 15, 10) == 0x11 && Bits(h, 9, 8) != 1 && /* ADD, MOV high registers */
        (Bits(h, 7, 7) << 3 | Bits(h, 2, 0)) == 15) {
        return kArmBranch; /* ... writing pc */
    }
    if (Bits(h, 15, 11) == 0x09) return kArmLoad; /* LDR pc-relative */
    if (Bits(h, 15, 12) == 0x5) {
        /* Register offset: STR, STRH, STRB (000 to 010), then LDRSB, LDR, LDRH, LDRB, LDRSH. */
        return Bits(h, 11, 9) <= 2 ? kArmStore : kArmLoad;
    }
    if (Bits(h, 15, 13) == 0x3 || Bits(h, 15, 12) == 0x8 || Bits(h, 15, 12) == 0x9 ||
        Bits(h, 15, 12) == 0xC) {
        /* Immediate offset (words, bytes, halfwords), stack-relative, LDMIA/STMIA: L is bit 11. */
        return Bits(h, 11, 11) ? kArmLoad : kArmStore;
    }
    if (Bits(h, 15, 12) == 0xB && Bits(h, 10, 9) == 2) {
        return Bits(h, 11, 11) ? kArmLoad : kArmStore; /* POP, PUSH */
    }
    if (Bits(h, 15, 12) == 0xD) {
        return Bits(h, 11, 8) == 0xF ? kArmOther : kArmBranch; /* B<cond>; SWI */
    }
    if (Bits(h, 15, 13) == 0x7 && Bits(h, 12, 11) != 0) return kArmBranch; /* BL, BLX pair */
    if (Bits(h, 15, 11) == 0x1C) return kArmBranch;                        /* B */
    return kArmOther;
}
