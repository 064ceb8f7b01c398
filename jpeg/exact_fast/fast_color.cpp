// The exact fast kernels' colour conversion, portable variant: the YCbCr to RGB formula of
// ConvertMcu with its chroma terms computed once per chroma sample, the same bits as the
// reference. SelectColorKernels picks this variant or the AVX2 one (fast_color_avx2.cpp).
#include "fast_color.h"

#include <bit>
#include <cstring>

#include "jpeg_decoder.h"

namespace varnel {

namespace {

// K d / 10000 truncated toward zero, for the formula's constants K, as
// sign(d) floor(|d| m / 2^30) with m = ceil(K 2^30 / 10000), in integer arithmetic. |d| is
// below 2^16 (inverse-DCT outputs lie within +-(53688 + 2048), so Cb - 128 and Cr - 128 within
// +-55864), and m exceeds K 2^30 / 10000 by less than 1, so |d| m / 2^30 exceeds |d| K / 10000
// by less than 2^16 / 2^30 < 1/10000, while |d| K / 10000 lies at least 1/10000 below the next
// integer unless it is one: the floor is exact. The product, below 2^47, is one widening
// multiplication on a 32-bit processor.
constexpr uint32_t ScaledConstant(uint64_t k) {
    return static_cast<uint32_t>(((k << 30) + 9999) / 10000);
}

template <uint64_t K>
constexpr int32_t Term(int32_t d) {
    constexpr uint32_t m = ScaledConstant(K);
    const uint32_t magnitude = d < 0 ? 0u - static_cast<uint32_t>(d) : static_cast<uint32_t>(d);
    const auto quotient = static_cast<int32_t>((uint64_t{magnitude} * m) >> 30);
    return d < 0 ? -quotient : quotient;
}

// The terms of the chroma values that pictures have, looked up: Cb and Cr from kTableLow to
// kTableLow + kTableSize - 1 (inverse-DCT outputs leave 0..255 by little); others are computed.
constexpr int32_t kTableLow = -384;
constexpr int32_t kTableSize = 1024;

// On 32-bit ARM (ARM state) the terms of one chroma value lie side by side, red or blue
// first and then its part of green, so that the assembly of ColorRowFullPortable loads both
// with one LDM; elsewhere each term has a table of its own, which x86 indexes more cheaply.
#if defined(__arm__) && !defined(__thumb__)
#define VARNEL_PAIRED_TERMS 1
#else
#define VARNEL_PAIRED_TERMS 0
#endif

struct TermPair {
    int32_t first;
    int32_t green;
};

struct TermTables {
#if VARNEL_PAIRED_TERMS
    TermPair by_cr[kTableSize];  // Term<14020>(Cr - 128), -Term<7139>(Cr - 128)
    TermPair by_cb[kTableSize];  // Term<17718>(Cb - 128), -Term<3441>(Cb - 128)
#else
    int32_t red[kTableSize];       // Term<14020>(Cr - 128)
    int32_t blue[kTableSize];      // Term<17718>(Cb - 128)
    int32_t green_cb[kTableSize];  // -Term<3441>(Cb - 128)
    int32_t green_cr[kTableSize];  // -Term<7139>(Cr - 128)
#endif
};

constexpr TermTables MakeTermTables() {
    TermTables tables{};
    for (int32_t i = 0; i < kTableSize; ++i) {
        const int32_t d = kTableLow + i - 128;
#if VARNEL_PAIRED_TERMS
        tables.by_cr[i] = {Term<14020>(d), -Term<7139>(d)};
        tables.by_cb[i] = {Term<17718>(d), -Term<3441>(d)};
#else
        tables.red[i] = Term<14020>(d);
        tables.blue[i] = Term<17718>(d);
        tables.green_cb[i] = -Term<3441>(d);
        tables.green_cr[i] = -Term<7139>(d);
#endif
    }
    return tables;
}

constexpr TermTables kTerms = MakeTermTables();

// The terms of table indices (Cb and Cr minus kTableLow) within 0..kTableSize - 1.
inline void TableTerms(uint32_t b_index, uint32_t r_index, int32_t* red, int32_t* green,
                       int32_t* blue) {
#if VARNEL_PAIRED_TERMS
    *red = kTerms.by_cr[r_index].first;
    *green = kTerms.by_cb[b_index].green + kTerms.by_cr[r_index].green;
    *blue = kTerms.by_cb[b_index].first;
#else
    *red = kTerms.red[r_index];
    *green = kTerms.green_cb[b_index] + kTerms.green_cr[r_index];
    *blue = kTerms.blue[b_index];
#endif
}

// The formula's four terms of one chroma sample. Truncation toward zero is odd, so the green
// terms, whose factors are 128 - Cb and 128 - Cr, are the negated terms of Cb - 128 and
// Cr - 128 (the tables hold them negated).
inline void Terms(int32_t cb, int32_t cr, int32_t* red, int32_t* green, int32_t* blue) {
    const uint32_t b_index = static_cast<uint32_t>(cb) - static_cast<uint32_t>(kTableLow);
    const uint32_t r_index = static_cast<uint32_t>(cr) - static_cast<uint32_t>(kTableLow);
    if ((b_index | r_index) < static_cast<uint32_t>(kTableSize)) {
        TableTerms(b_index, r_index, red, green, blue);
        return;
    }
    const int32_t b = cb - 128;
    const int32_t r = cr - 128;
    *red = Term<14020>(r);
    *green = -(Term<3441>(b) + Term<7139>(r));
    *blue = Term<17718>(b);
}

// ClampSample in the form that processors without a saturating instruction run in two: a
// value outside 0..255 (one comparison, unsigned) becomes the complement of its sign, whose
// low byte is 0 below the range and 255 above it. The byte stores drop the bits above the low
// byte, which costs nothing. On 32-bit ARM the compilers make three instructions of the C++
// (the sign shift apart from the conditional complement), so there it is written as the two.
inline int32_t Clamp(int32_t value) {
#if defined(__arm__) && !defined(__thumb__)
    asm("cmp %0, #255\n\tmvnhi %0, %0, asr #31" : "+r"(value) : : "cc");
    return value;
#else
    return static_cast<uint32_t>(value) > 255 ? ~(value >> 31) : value;
#endif
}

// One pixel's three bytes. They are stored one by one: a processor without unaligned stores
// (32-bit ARM before v6) would make a library call of a 4-byte copy to an unaligned place, and
// putting bytes together into words costs as many instructions as storing them.
inline void PutPixel(int32_t y, int32_t red, int32_t green, int32_t blue, uint8_t* bgr) {
    bgr[0] = static_cast<uint8_t>(Clamp(y + blue));
    bgr[1] = static_cast<uint8_t>(Clamp(y + green));
    bgr[2] = static_cast<uint8_t>(Clamp(y + red));
}

}  // namespace

#if VARNEL_PAIRED_TERMS
void ChromaTermsPortable(const int32_t* cb, const int32_t* cr, int32_t n, int32_t* red,
                         int32_t* green, int32_t* blue) {
    // The tables' addresses in locals, one register each for the whole row.
    const TermPair* const by_cr = kTerms.by_cr;
    const TermPair* const by_cb = kTerms.by_cb;
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t b_index = static_cast<uint32_t>(cb[i]) - static_cast<uint32_t>(kTableLow);
        const uint32_t r_index = static_cast<uint32_t>(cr[i]) - static_cast<uint32_t>(kTableLow);
        if ((b_index | r_index) < static_cast<uint32_t>(kTableSize)) {
            red[i] = by_cr[r_index].first;
            green[i] = by_cb[b_index].green + by_cr[r_index].green;
            blue[i] = by_cb[b_index].first;
        } else {
            Terms(cb[i], cr[i], red + i, green + i, blue + i);
        }
    }
}
#else
void ChromaTermsPortable(const int32_t* cb, const int32_t* cr, int32_t n, int32_t* red,
                         int32_t* green, int32_t* blue) {
    // The tables' addresses in locals, as in ColorRowFullPortable.
    const int32_t* const red_terms = kTerms.red;
    const int32_t* const blue_terms = kTerms.blue;
    const int32_t* const green_cb_terms = kTerms.green_cb;
    const int32_t* const green_cr_terms = kTerms.green_cr;
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t b_index = static_cast<uint32_t>(cb[i]) - static_cast<uint32_t>(kTableLow);
        const uint32_t r_index = static_cast<uint32_t>(cr[i]) - static_cast<uint32_t>(kTableLow);
        if ((b_index | r_index) < static_cast<uint32_t>(kTableSize)) {
            red[i] = red_terms[r_index];
            green[i] = green_cb_terms[b_index] + green_cr_terms[r_index];
            blue[i] = blue_terms[b_index];
        } else {
            Terms(cb[i], cr[i], red + i, green + i, blue + i);
        }
    }
}
#endif

void ColorRowPortable(const int32_t* luma, const int32_t* red, const int32_t* green,
                      const int32_t* blue, int32_t width, uint8_t* bgr) {
    for (int32_t x = 0; x < width; ++x) {
        PutPixel(luma[x], red[x], green[x], blue[x], bgr);
        bgr += 3;
    }
}

void ColorRowHalfPortable(const int32_t* luma, const int32_t* red, const int32_t* green,
                          const int32_t* blue, int32_t width, uint8_t* bgr) {
    // Two pixels a pair of terms; the terms are read before the bytes are stored, since a byte
    // store may alias any value and would otherwise make the compiler read them again.
    int32_t x = 0;
    for (; x + 2 <= width; x += 2) {
        const int32_t r = *red++;
        const int32_t g = *green++;
        const int32_t b = *blue++;
        const int32_t y0 = luma[x];
        const int32_t y1 = luma[x + 1];
        PutPixel(y0, r, g, b, bgr);
        PutPixel(y1, r, g, b, bgr + 3);
        bgr += 6;
    }
    if (x < width) PutPixel(luma[x], *red, *green, *blue, bgr);
}

inline void PutGreyPixel(int32_t y, uint8_t* bgr) {
    const auto value = static_cast<uint8_t>(Clamp(y));
    bgr[0] = value;
    bgr[1] = value;
    bgr[2] = value;
}

#if UINTPTR_MAX > 0xFFFFFFFFu
// Where the word is 64 bits wide (x86-64 and its like, which store unaligned words in one
// instruction), four pixels' twelve bytes go out as three 32-bit words, put together in the
// processor's byte order and copied with memcpy so that the row needs no alignment, after a
// loop of clamps that compilers vectorise: 7 % fewer instructions there than byte stores. On
// 32-bit processors without unaligned stores the copies become library calls.
static_assert(std::endian::native == std::endian::little ||
              std::endian::native == std::endian::big);

constexpr uint32_t Word(uint32_t first, uint32_t second, uint32_t third, uint32_t fourth) {
    if constexpr (std::endian::native == std::endian::little) {
        return first | second << 8 | third << 16 | fourth << 24;
    } else {
        return first << 24 | second << 16 | third << 8 | fourth;
    }
}

inline void StoreWord(uint32_t word, uint8_t* at) {
    std::memcpy(at, &word, sizeof word);
}

void GreyRowPortable(const int32_t* luma, int32_t width, uint8_t* bgr) {
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        uint8_t value[16];
        for (int j = 0; j < 16; ++j) value[j] = static_cast<uint8_t>(Clamp(luma[x + j]));
        for (int j = 0; j < 16; j += 4) {
            const uint32_t a = value[j], b = value[j + 1], c = value[j + 2], d = value[j + 3];
            uint8_t* at = bgr + 3 * (x + j);
            StoreWord(Word(a, a, a, b), at);
            StoreWord(Word(b, b, c, c), at + 4);
            StoreWord(Word(c, d, d, d), at + 8);
        }
    }
    for (; x < width; ++x) PutGreyPixel(luma[x], bgr + 3 * x);
}
#else
void GreyRowPortable(const int32_t* luma, int32_t width, uint8_t* bgr) {
    int32_t x = 0;
#if defined(__arm__) && !defined(__thumb__)
    // In assembly on 32-bit ARM (ARM state): four samples with one LDM, each clamped in place
    // and stored three times; compilers add a zero extension of each clamped value and do not
    // use LDM. About 5.75 instructions a pixel instead of 7.5.
    if (width >= 4) {
        const int32_t* const end = luma + (width & ~3);
        // clang-format off
        asm volatile(
            "1:\n\t"
            "ldmia %[y]!, {r0-r3}\n\t"
            "cmp r0, #255\n\tmvnhi r0, r0, asr #31\n\t"
            "cmp r1, #255\n\tmvnhi r1, r1, asr #31\n\t"
            "cmp r2, #255\n\tmvnhi r2, r2, asr #31\n\t"
            "cmp r3, #255\n\tmvnhi r3, r3, asr #31\n\t"
            "strb r0, [%[o]], #1\n\tstrb r0, [%[o]], #1\n\tstrb r0, [%[o]], #1\n\t"
            "strb r1, [%[o]], #1\n\tstrb r1, [%[o]], #1\n\tstrb r1, [%[o]], #1\n\t"
            "strb r2, [%[o]], #1\n\tstrb r2, [%[o]], #1\n\tstrb r2, [%[o]], #1\n\t"
            "strb r3, [%[o]], #1\n\tstrb r3, [%[o]], #1\n\tstrb r3, [%[o]], #1\n\t"
            "cmp %[y], %[e]\n\t"
            "bne 1b"
            : [y] "+r"(luma), [o] "+r"(bgr)
            : [e] "r"(end)
            : "r0", "r1", "r2", "r3", "cc", "memory");
        // clang-format on
        // The loops below go on from here: `bgr` as it stands, `luma` by index.
        x = width & ~3;
        luma -= x;
    }
#endif
    for (; x + 4 <= width; x += 4) {
        const int32_t y0 = luma[x];
        const int32_t y1 = luma[x + 1];
        const int32_t y2 = luma[x + 2];
        const int32_t y3 = luma[x + 3];
        PutGreyPixel(y0, bgr);
        PutGreyPixel(y1, bgr + 3);
        PutGreyPixel(y2, bgr + 6);
        PutGreyPixel(y3, bgr + 9);
        bgr += 12;
    }
    for (; x < width; ++x) {
        PutGreyPixel(luma[x], bgr);
        bgr += 3;
    }
}
#endif

#if VARNEL_PAIRED_TERMS
void ColorRowFullPortable(const int32_t* luma, const int32_t* cb, const int32_t* cr, int32_t width,
                          uint8_t* bgr) {
    int32_t x = 0;
    while (x < width) {
        // In assembly on 32-bit ARM (ARM state): each pair of terms with one LDM, 27
        // instructions a pixel where GCC makes 30 (it keeps four table addresses, two of them
        // on the stack). It stops before a pixel whose chroma lies outside the tables, which
        // the C++ below converts.
        {
            const int32_t* cb_at = cb + x;
            const int32_t* cr_at = cr + x;
            const int32_t* luma_at = luma + x;
            const int32_t* const luma_end = luma + width;
            // clang-format off
            asm volatile(
                "1:\n\t"
                "ldr r0, [%[b]], #4\n\t"
                "ldr r1, [%[r]], #4\n\t"
                "add r2, r0, #384\n\t"           // the table index: value - kTableLow
                "add r3, r1, #384\n\t"
                "orr r4, r2, r3\n\t"
                "cmp r4, #1024\n\t"              // either index outside 0..kTableSize - 1
                "bhs 2f\n\t"
                "add r2, %[cbt], r2, lsl #3\n\t"
                "ldmia r2, {r0, r4}\n\t"         // blue, green part of Cb
                "add r3, %[crt], r3, lsl #3\n\t"
                "ldmia r3, {r1, r5}\n\t"         // red, green part of Cr
                "add r4, r4, r5\n\t"
                "ldr r5, [%[y]], #4\n\t"
                "add r0, r0, r5\n\tcmp r0, #255\n\tmvnhi r0, r0, asr #31\n\tstrb r0, [%[o]], #1\n\t"
                "add r4, r4, r5\n\tcmp r4, #255\n\tmvnhi r4, r4, asr #31\n\tstrb r4, [%[o]], #1\n\t"
                "add r1, r1, r5\n\tcmp r1, #255\n\tmvnhi r1, r1, asr #31\n\tstrb r1, [%[o]], #1\n\t"
                "cmp %[y], %[e]\n\t"
                "bne 1b\n\t"
                "b 3f\n\t"
                "2:\n\t"
                "sub %[b], %[b], #4\n\t"         // back on the pixel the C++ converts
                "sub %[r], %[r], #4\n\t"
                "3:"
                : [b] "+r"(cb_at), [r] "+r"(cr_at), [y] "+r"(luma_at), [o] "+r"(bgr)
                : [e] "r"(luma_end), [cbt] "r"(kTerms.by_cb), [crt] "r"(kTerms.by_cr)
                : "r0", "r1", "r2", "r3", "r4", "r5", "cc", "memory");
            // clang-format on
            x = static_cast<int32_t>(luma_at - luma);
            if (x == width) break;
        }
        int32_t red, green, blue;
        Terms(cb[x], cr[x], &red, &green, &blue);
        PutPixel(luma[x], red, green, blue, bgr);
        bgr += 3;
        ++x;
    }
}
#else
void ColorRowFullPortable(const int32_t* luma, const int32_t* cb, const int32_t* cr, int32_t width,
                          uint8_t* bgr) {
    // The tables' addresses in locals, one register each for the whole row: through kTerms the
    // compiler adds each table's offset to the index of every lookup.
    const int32_t* const red_terms = kTerms.red;
    const int32_t* const blue_terms = kTerms.blue;
    const int32_t* const green_cb_terms = kTerms.green_cb;
    const int32_t* const green_cr_terms = kTerms.green_cr;
    for (int32_t x = 0; x < width; ++x) {
        const uint32_t b_index = static_cast<uint32_t>(cb[x]) - static_cast<uint32_t>(kTableLow);
        const uint32_t r_index = static_cast<uint32_t>(cr[x]) - static_cast<uint32_t>(kTableLow);
        int32_t red, green, blue;
        if ((b_index | r_index) < static_cast<uint32_t>(kTableSize)) {
            red = red_terms[r_index];
            green = green_cb_terms[b_index] + green_cr_terms[r_index];
            blue = blue_terms[b_index];
        } else {
            Terms(cb[x], cr[x], &red, &green, &blue);
        }
        PutPixel(luma[x], red, green, blue, bgr);
        bgr += 3;
    }
}
#endif

void RepeatSamples(const int32_t* in, int32_t n, int32_t factor, int32_t* out) {
    if (factor == 1) {
        for (int32_t i = 0; i < n; ++i) out[i] = in[i];
    } else if (factor == 2) {
        for (int32_t i = 0; i < n; ++i) {
            out[2 * i] = in[i];
            out[2 * i + 1] = in[i];
        }
    } else {
        for (int32_t i = 0; i < n; ++i) {
            for (int32_t j = 0; j < factor; ++j) out[factor * i + j] = in[i];
        }
    }
}

}  // namespace varnel
