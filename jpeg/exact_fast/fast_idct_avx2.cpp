// The AVX2 variant of the fast inverse DCT, compiled for AVX2 through target attributes and
// chosen at run time by the dispatcher of fast_kernels.cpp.
#include "fast_idct.h"
#include "jpeg_decoder.h"

#if VARNEL_HAS_X86_KERNELS
#include <immintrin.h>

namespace varnel {

namespace {

// sum / 40000, truncated toward zero, plus the level, for eight 32-bit sums. The magnitude a
// (up to 2^31, read unsigned) is divided as floor(a m / 2^47) with m = ceil(2^47 / 40000) =
// 3518437209: m exceeds 2^47 / 40000 by less than 0.12, so a m / 2^47 exceeds a / 40000 by
// less than 2^31 x 0.12 / 2^47 < 2e-6, while a / 40000 lies at least 1/40000 below the next
// integer unless it is one; the floor is therefore floor(a / 40000). The product fits 64 bits.
__attribute__((target("avx2"))) inline __m256i Quotients(__m256i sums, __m256i level) {
    const __m256i multiplier = _mm256_set1_epi32(static_cast<int32_t>(3518437209u));
    const __m256i magnitude = _mm256_abs_epi32(sums);
    const __m256i even = _mm256_mul_epu32(magnitude, multiplier);
    const __m256i odd = _mm256_mul_epu32(_mm256_srli_epi64(magnitude, 32), multiplier);
    // Bits 47 and up of each product: the even lanes' at the bottom of their 64 bits, the odd
    // lanes' in the top 32 bits shifted by 15.
    const __m256i quotients =
        _mm256_blend_epi32(_mm256_srli_epi64(even, 47), _mm256_srli_epi32(odd, 15), 0xAA);
    return _mm256_add_epi32(_mm256_sign_epi32(quotients, sums), level);
}

__attribute__((target("avx2"))) inline __m256i PackedPair(int32_t first, int32_t second) {
    return _mm256_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(first) & 0xFFFF) |
                                                  (static_cast<uint32_t>(second) << 16)));
}

// Adds the pairs (i, i + 2) named by `firsts` into the quadrant of one class: halves[0] holds
// rows 0 and 1 (samples 0 to 3 of each), halves[1] rows 2 and 3.
__attribute__((target("avx2"))) inline void AddQuadrantPairs(const IdctTables* tables,
                                                             const int32_t* coef, uint64_t firsts,
                                                             __m256i* halves) {
    while (firsts != 0) {
        const int i = __builtin_ctzll(firsts);
        firsts &= firsts - 1;
        const __m256i c = PackedPair(coef[i], coef[i + 2]);
        const auto* weights = reinterpret_cast<const __m256i*>(tables->quadrant_pairs[i]);
        halves[0] = _mm256_add_epi32(halves[0], _mm256_madd_epi16(c, _mm256_load_si256(weights)));
        halves[1] =
            _mm256_add_epi32(halves[1], _mm256_madd_epi16(c, _mm256_load_si256(weights + 1)));
    }
}

// Whether all 64 coefficients lie within the 16-bit signed range: c + 2^15 has no bit above
// the low 16 for any of them.
__attribute__((target("avx2"))) inline bool FitsSixteenBits(const int32_t* coef) {
    const __m256i bias = _mm256_set1_epi32(0x8000);
    __m256i high = _mm256_setzero_si256();
#pragma GCC unroll 8
    for (int j = 0; j < 8; ++j) {
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(coef + 8 * j));
        high = _mm256_or_si256(high, _mm256_add_epi32(c, bias));
    }
    return _mm256_testz_si256(high, _mm256_set1_epi32(static_cast<int32_t>(0xFFFF0000u))) != 0;
}

}  // namespace

__attribute__((target("avx2"))) void InverseDctAvx2(const IdctTables* tables, const int32_t* coef,
                                                    uint64_t mask, int32_t level, int32_t* out,
                                                    ptrdiff_t stride) {
    if (mask == 1 && tables->dc_uniform) {
        const __m256i value =
            _mm256_set1_epi32(WrapMul(coef[0], tables->dc_weight) / 40000 + level);
        for (int y = 0; y < 8; ++y) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + y * stride), value);
        }
        return;
    }
    const __m256i shift = _mm256_set1_epi32(level);
    constexpr uint64_t kFirstRow = 0xFF;
    constexpr uint64_t kFirstColumn = 0x0101010101010101ull;
    if ((mask & ~kFirstRow) == 0 && tables->rows_repeat) {
        // Eight equal rows: one row of sums over the coefficients (u, 0).
        __m256i row = _mm256_setzero_si256();
        for (uint64_t m = mask; m != 0; m &= m - 1) {
            const int u = __builtin_ctzll(m);
            row = _mm256_add_epi32(
                row,
                _mm256_mullo_epi32(
                    _mm256_set1_epi32(coef[u]),
                    _mm256_load_si256(reinterpret_cast<const __m256i*>(tables->row_weights[u]))));
        }
        const __m256i samples = Quotients(row, shift);
        for (int y = 0; y < 8; ++y) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + y * stride), samples);
        }
        return;
    }
    if ((mask & ~kFirstColumn) == 0 && tables->columns_repeat) {
        // Eight equal columns: one column of sums over the coefficients (0, v), lane y.
        __m256i column = _mm256_setzero_si256();
        for (uint64_t m = mask; m != 0; m &= m - 1) {
            const int i = __builtin_ctzll(m);
            column = _mm256_add_epi32(
                column, _mm256_mullo_epi32(_mm256_set1_epi32(coef[i]),
                                           _mm256_load_si256(reinterpret_cast<const __m256i*>(
                                               tables->column_weights[i / 8]))));
        }
        const __m256i samples = Quotients(column, shift);
        for (int y = 0; y < 8; ++y) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + y * stride),
                                _mm256_permutevar8x32_epi32(samples, _mm256_set1_epi32(y)));
        }
        return;
    }
    // sums[y] holds row y.
    __m256i sums[8];
    const bool fits16 = FitsSixteenBits(coef);
    if (fits16 && tables->symmetric) {
        const uint64_t clean = mask & ~kAsymmetricColumns;
        const uint64_t firsts = clean | (clean >> 2);
        __m256i ee[2], oe[2], eo[2], oo[2];
        for (int h = 0; h < 2; ++h) ee[h] = oe[h] = eo[h] = oo[h] = _mm256_setzero_si256();
        AddQuadrantPairs(tables, coef, firsts & kPairEvenEven, ee);
        AddQuadrantPairs(tables, coef, firsts & kPairOddEven, oe);
        AddQuadrantPairs(tables, coef, firsts & kPairEvenOdd, eo);
        AddQuadrantPairs(tables, coef, firsts & kPairOddOdd, oo);
        for (int h = 0; h < 2; ++h) {
            const __m256i a = _mm256_add_epi32(ee[h], eo[h]);
            const __m256i b = _mm256_add_epi32(oe[h], oo[h]);
            const __m256i c = _mm256_sub_epi32(ee[h], eo[h]);
            const __m256i d = _mm256_sub_epi32(oe[h], oo[h]);
            // Rows 2h and 2h + 1 on top, 7 - 2h and 6 - 2h at the bottom; the right halves
            // are mirrored, so their lanes are reversed.
            const __m256i top_left = _mm256_add_epi32(a, b);
            const __m256i top_right =
                _mm256_shuffle_epi32(_mm256_sub_epi32(a, b), _MM_SHUFFLE(0, 1, 2, 3));
            const __m256i bottom_left = _mm256_add_epi32(c, d);
            const __m256i bottom_right =
                _mm256_shuffle_epi32(_mm256_sub_epi32(c, d), _MM_SHUFFLE(0, 1, 2, 3));
            sums[2 * h] = _mm256_permute2x128_si256(top_left, top_right, 0x20);
            sums[2 * h + 1] = _mm256_permute2x128_si256(top_left, top_right, 0x31);
            sums[7 - 2 * h] = _mm256_permute2x128_si256(bottom_left, bottom_right, 0x20);
            sums[6 - 2 * h] = _mm256_permute2x128_si256(bottom_left, bottom_right, 0x31);
        }
        for (int e = 0; e < 2; ++e) {
            const uint64_t needed =
                e == 0 ? (uint64_t{1} << 4) | (uint64_t{1} << 32) : uint64_t{1} << 36;
            if ((mask & needed) == 0) continue;
            const __m256i c = e == 0 ? PackedPair(coef[4], coef[32]) : PackedPair(coef[36], 0);
            const auto* weights = reinterpret_cast<const __m256i*>(tables->edge_pairs[e]);
            for (int y = 0; y < 8; ++y) {
                sums[y] =
                    _mm256_add_epi32(sums[y], _mm256_madd_epi16(c, _mm256_load_si256(weights + y)));
            }
        }
    } else if (fits16) {
        for (__m256i& s : sums) s = _mm256_setzero_si256();
        uint64_t pairs = (mask | (mask >> 1)) & 0x5555555555555555ull;
        while (pairs != 0) {
            const int i = __builtin_ctzll(pairs);
            pairs &= pairs - 1;
            const uint32_t packed = (static_cast<uint32_t>(coef[i]) & 0xFFFF) |
                                    (static_cast<uint32_t>(coef[i + 1]) << 16);
            const __m256i c = _mm256_set1_epi32(static_cast<int32_t>(packed));
            const auto* weights = reinterpret_cast<const __m256i*>(tables->pairs[i / 2]);
            for (int j = 0; j < 8; ++j) {
                sums[j] =
                    _mm256_add_epi32(sums[j], _mm256_madd_epi16(c, _mm256_load_si256(weights + j)));
            }
        }
    } else {
        for (__m256i& s : sums) s = _mm256_setzero_si256();
        while (mask != 0) {
            const int i = __builtin_ctzll(mask);
            mask &= mask - 1;
            const __m256i c = _mm256_set1_epi32(coef[i]);
            const auto* weights = reinterpret_cast<const __m256i*>(tables->columns[i]);
            for (int j = 0; j < 8; ++j) {
                sums[j] = _mm256_add_epi32(sums[j],
                                           _mm256_mullo_epi32(c, _mm256_load_si256(weights + j)));
            }
        }
    }
    for (int y = 0; y < 8; ++y) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + y * stride),
                            Quotients(sums[y], shift));
    }
}

}  // namespace varnel
#endif
