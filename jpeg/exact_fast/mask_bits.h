// The set bits of the 64-bit coefficient masks, lowest first, at the cost the processor's word
// allows. A 64-bit processor counts trailing zeros in one instruction; a 32-bit one spends
// two to four instructions on every 64-bit step, and ARM before v5 has no instruction for the
// count at all (the compilers call a library function for it), so there each 32-bit half is
// walked on its own and the lowest bit found through a de Bruijn product and a table.
#pragma once

#include <cstdint>

namespace varnel {

// Index of the lowest set bit of a non-zero 32-bit value.
inline int LowestBit32(uint32_t value) {
#if UINTPTR_MAX > 0xFFFFFFFFu || defined(__ARM_FEATURE_CLZ) || !defined(__arm__)
    return __builtin_ctz(value);
#else
    // The lowest bit alone times the de Bruijn sequence 0x077CB531 has a different top five
    // bits for each of the 32 places.
    static constexpr uint8_t kPlace[32] = {0,  1,  28, 2,  29, 14, 24, 3,  30, 22, 20,
                                           15, 25, 17, 4,  8,  31, 27, 13, 23, 21, 19,
                                           16, 7,  26, 12, 18, 6,  11, 5,  10, 9};
    // The constant through an empty asm: compilers tuned for these processors would make
    // six shifts and additions of the product, where the multiplication is one instruction.
    uint32_t de_bruijn = 0x077CB531u;
    asm("" : "+r"(de_bruijn));
    return kPlace[((value & (0u - value)) * de_bruijn) >> 27];
#endif
}

// Calls visit(i) for every set bit i of a 32-bit mask, from the lowest.
template <typename Visit>
inline void ForEachBit32(uint32_t mask, Visit&& visit) {
    for (; mask != 0; mask &= mask - 1) visit(LowestBit32(mask));
}

// Calls visit(i) for every set bit i of mask, from the lowest.
template <typename Visit>
inline void ForEachBit(uint64_t mask, Visit&& visit) {
#if UINTPTR_MAX > 0xFFFFFFFFu
    for (; mask != 0; mask &= mask - 1) visit(__builtin_ctzll(mask));
#else
    ForEachBit32(static_cast<uint32_t>(mask), visit);
    ForEachBit32(static_cast<uint32_t>(mask >> 32), [&](int i) { visit(32 + i); });
#endif
}

}  // namespace varnel
