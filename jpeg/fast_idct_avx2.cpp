// The AVX2 variant of the fast inverse DCT, compiled for AVX2 through target attributes and
// chosen at run time by SelectIdctKernel.
#include "fast_idct.h"
#include "jpeg_decoder.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace varnel {

namespace {

__attribute__((target("avx2"))) inline __m256i Quotients(__m256i sums, __m256d inverse,
                                                         __m256i level) {
    const __m256d low = _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(sums)), inverse);
    const __m256d high =
        _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(sums, 1)), inverse);
    const __m256i quotients = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm256_cvttpd_epi32(low)), _mm256_cvttpd_epi32(high), 1);
    return _mm256_add_epi32(quotients, level);
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
    __m256i sums[8];
    for (__m256i& s : sums) s = _mm256_setzero_si256();
    bool fits16 = true;
    for (uint64_t m = mask; m != 0; m &= m - 1) {
        const int32_t c = coef[__builtin_ctzll(m)];
        fits16 = fits16 && c >= -32768 && c <= 32767;
    }
    if (fits16) {
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
    const __m256d inverse = _mm256_set1_pd(kInverse40000);
    const __m256i shift = _mm256_set1_epi32(level);
    for (int y = 0; y < 8; ++y) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + y * stride),
                            Quotients(sums[y], inverse, shift));
    }
}

}  // namespace varnel
#endif
