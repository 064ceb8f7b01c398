// The device benchmark's split of instructions into multiplies, loads, stores and branches
// (tools/device-bench/arm_insn_class.c) on encodings as the ARM assembler writes them: each
// form the decoder's kernels and the C library use, and the look-alikes in the same encoding
// space that must not be taken for them (SWP among the multiplies, CLZ and QADD among the DSP
// multiplies, comparisons with pc among the branches).
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>

#include "arm_insn_class.h"

namespace {

struct Encoding {
    const char* assembly;
    uint32_t word;  // a 16-bit Thumb instruction when thumb is set
    bool thumb;
    ArmInsnClass kind;
};

void PrintTo(const Encoding& e, std::ostream* out) {
    *out << e.assembly;
}

class ArmInsnClassTest : public testing::TestWithParam<Encoding> {};

TEST_P(ArmInsnClassTest, ClassifiesAsTheArchitectureDefines) {
    const Encoding& e = GetParam();
    const ArmInsnClass kind =
        e.thumb ? ClassifyThumbInsn(static_cast<uint16_t>(e.word)) : ClassifyArmInsn(e.word);
    EXPECT_EQ(kind, e.kind) << e.assembly << " (0x" << std::hex << e.word << ")";
}

constexpr Encoding kArm[] = {
    {"mul r0, r1, r2", 0xe0000291, false, kArmMultiply},
    {"mla r0, r1, r2, r3", 0xe0203291, false, kArmMultiply},
    {"umull r0, r1, r2, r3", 0xe0810392, false, kArmMultiply},
    {"smlal r0, r1, r2, r3", 0xe0e10392, false, kArmMultiply},
    {"smulbb r0, r1, r2", 0xe1600281, false, kArmMultiply},
    {"smlatb r0, r1, r2, r3", 0xe10032a1, false, kArmMultiply},
    {"smulwt r0, r1, r2", 0xe12002e1, false, kArmMultiply},
    {"smlalbt r0, r1, r2, r3", 0xe14103c2, false, kArmMultiply},
    {"ldr r0, [r1, #4]", 0xe5910004, false, kArmLoad},
    {"ldrb r0, [r1, r2]", 0xe7d10002, false, kArmLoad},
    {"ldr pc, [sp], #4", 0xe49df004, false, kArmLoad},
    {"ldrh r0, [r1, #2]", 0xe1d100b2, false, kArmLoad},
    {"ldrsb r0, [r1]", 0xe1d100d0, false, kArmLoad},
    {"ldrsh r0, [r1, r2]", 0xe19100f2, false, kArmLoad},
    {"ldrd r0, r1, [r2]", 0xe1c200d0, false, kArmLoad},
    {"ldmia r0!, {r1-r4}", 0xe8b0001e, false, kArmLoad},
    {"pop {r4, pc}", 0xe8bd8010, false, kArmLoad},
    {"swp r0, r1, [r2]", 0xe1020091, false, kArmLoad},
    {"str r0, [r1, #-8]!", 0xe5210008, false, kArmStore},
    {"strb r0, [r1], #1", 0xe4c10001, false, kArmStore},
    {"strh r0, [r1]", 0xe1c100b0, false, kArmStore},
    {"strd r0, r1, [r2, #8]", 0xe1c200f8, false, kArmStore},
    {"push {r4-r11, lr}", 0xe92d4ff0, false, kArmStore},
    {"stmdb sp, {r0, r1}", 0xe90d0003, false, kArmStore},
    {"b .", 0xeafffffe, false, kArmBranch},
    {"bl .", 0xebfffffe, false, kArmBranch},
    {"blx . (immediate)", 0xfafffffe, false, kArmBranch},
    {"bxeq lr", 0x012fff1e, false, kArmBranch},
    {"blx r3", 0xe12fff33, false, kArmBranch},
    {"mov pc, lr", 0xe1a0f00e, false, kArmBranch},
    {"addls pc, pc, r0, lsl #2", 0x908ff100, false, kArmBranch},
    {"add r0, r1, r2", 0xe0810002, false, kArmOther},
    {"movs r0, r0, lsl #3", 0xe1b00180, false, kArmOther},
    {"cmp pc, r0", 0xe15f0000, false, kArmOther},
    {"teq r0, #1", 0xe3300001, false, kArmOther},
    {"clz r0, r1", 0xe16f0f11, false, kArmOther},
    {"qadd r0, r1, r2", 0xe1020051, false, kArmOther},
    {"mrs r0, cpsr", 0xe10f0000, false, kArmOther},
    {"msr cpsr_f, #0xf0000000", 0xe328f20f, false, kArmOther},
    {"swi 0", 0xef000000, false, kArmOther},
    {"pld [r0]", 0xf5d0f000, false, kArmOther},
    {"mcr p15, 0, r0, c7, c10, 4", 0xee070f9a, false, kArmOther},
    {"nop (mov r0, r0)", 0xe1a00000, false, kArmOther},
};
INSTANTIATE_TEST_SUITE_P(Arm, ArmInsnClassTest, testing::ValuesIn(kArm));

constexpr Encoding kThumb[] = {
    {"muls r0, r1, r0", 0x4348, true, kArmMultiply},
    {"ldr r0, [pc, #8]", 0x4802, true, kArmLoad},
    {"ldrsb r0, [r1, r2]", 0x5688, true, kArmLoad},
    {"ldr r0, [r1, r2]", 0x5888, true, kArmLoad},
    {"ldr r0, [r1, #4]", 0x6848, true, kArmLoad},
    {"ldrh r0, [r1, #2]", 0x8848, true, kArmLoad},
    {"ldr r0, [sp, #4]", 0x9801, true, kArmLoad},
    {"pop {r4, pc}", 0xbd10, true, kArmLoad},
    {"ldmia r0!, {r1, r2}", 0xc806, true, kArmLoad},
    {"str r0, [r1, r2]", 0x5088, true, kArmStore},
    {"strh r0, [r1, r2]", 0x5288, true, kArmStore},
    {"strb r0, [r1, #1]", 0x7048, true, kArmStore},
    {"strh r0, [r1, #2]", 0x8048, true, kArmStore},
    {"str r0, [sp, #4]", 0x9001, true, kArmStore},
    {"push {r4, lr}", 0xb510, true, kArmStore},
    {"stmia r0!, {r1, r2}", 0xc006, true, kArmStore},
    {"bx lr", 0x4770, true, kArmBranch},
    {"blx r2", 0x4790, true, kArmBranch},
    {"mov pc, lr", 0x46f7, true, kArmBranch},
    {"add pc, r1", 0x448f, true, kArmBranch},
    {"beq .", 0xd0fe, true, kArmBranch},
    {"b .", 0xe7fe, true, kArmBranch},
    {"bl (first half)", 0xf7ff, true, kArmBranch},
    {"bl (second half)", 0xfffe, true, kArmBranch},
    {"mov r8, r1", 0x4688, true, kArmOther},
    {"svc 1", 0xdf01, true, kArmOther},
    {"adds r0, r1, r2", 0x1888, true, kArmOther},
    {"cmp r0, #1", 0x2801, true, kArmOther},
    {"lsls r0, r1, #2", 0x0088, true, kArmOther},
};
INSTANTIATE_TEST_SUITE_P(Thumb, ArmInsnClassTest, testing::ValuesIn(kThumb));

}  // namespace
