@ The device benchmark's plugin test program: a known number of ARM instructions of each kind,
@ with no C library, so that every instruction executed is one of these. Ten turns of a loop
@ of a multiply, a load, a store, an addition and a branch, then a misaligned word load and a
@ misaligned halfword load (at the labels the test looks up), then exit.
    .arm
    .global _start
_start:
    mov r1, #10
    sub sp, sp, #16
loop:
    mul r2, r1, r1
    ldr r3, [sp]
    str r3, [sp, #4]
    subs r1, r1, #1
    bne loop
    add r4, sp, #1
misaligned_word:
    ldr r5, [r4]
misaligned_halfword:
    ldrh r6, [r4]
    mov r0, #0
    mov r7, #1          @ exit
    swi 0
