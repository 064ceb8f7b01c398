#include "fast_idct.h"

#include "jpeg_decoder.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace varnel {

void BuildIdctTables(IdctTables* tables) {
    for (int p = 0; p < 64; ++p) {
        for (int i = 0; i < 64; ++i) {
            const int32_t weight = idct_matrix[64 * p + i];
            tables->columns[i][p] = weight;
            tables->pairs[i / 2][2 * p + (i & 1)] = static_cast<int16_t>(weight);
        }
    }
    tables->dc_weight = tables->columns[0][0];
    tables->dc_uniform = true;
    for (int p = 0; p < 64; ++p) {
        if (tables->columns[0][p] != tables->dc_weight) tables->dc_uniform = false;
    }
}

void InverseDctPortable(const IdctTables* tables, const int32_t* coef, uint64_t mask, int32_t level,
                        int32_t* out, ptrdiff_t stride) {
    uint32_t sums[64] = {};
    while (mask != 0) {
        const int i = __builtin_ctzll(mask);
        mask &= mask - 1;
        const uint32_t c = static_cast<uint32_t>(coef[i]);
        const int32_t* column = tables->columns[i];
        for (int p = 0; p < 64; ++p) sums[p] += c * static_cast<uint32_t>(column[p]);
    }
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            out[y * stride + x] = static_cast<int32_t>(sums[8 * y + x]) / 40000 + level;
        }
    }
}

#if defined(__SSE2__)
namespace {

// Low 32 bits of the products of a broadcast value with each lane of b.
inline __m128i MulLo32(__m128i broadcast, __m128i b) {
    const __m128i even = _mm_mul_epu32(broadcast, b);
    const __m128i odd = _mm_mul_epu32(broadcast, _mm_srli_epi64(b, 32));
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

inline __m128i Quotients(__m128i sums, __m128d inverse, __m128i level) {
    const __m128d low = _mm_mul_pd(_mm_cvtepi32_pd(sums), inverse);
    const __m128d high = _mm_mul_pd(_mm_cvtepi32_pd(_mm_srli_si128(sums, 8)), inverse);
    return _mm_add_epi32(_mm_unpacklo_epi64(_mm_cvttpd_epi32(low), _mm_cvttpd_epi32(high)), level);
}

}  // namespace

void InverseDctSse2(const IdctTables* tables, const int32_t* coef, uint64_t mask, int32_t level,
                    int32_t* out, ptrdiff_t stride) {
    if (mask == 1 && tables->dc_uniform) {
        const __m128i value = _mm_set1_epi32(WrapMul(coef[0], tables->dc_weight) / 40000 + level);
        for (int y = 0; y < 8; ++y) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + y * stride), value);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + y * stride + 4), value);
        }
        return;
    }
    __m128i sums[16];
    for (__m128i& s : sums) s = _mm_setzero_si128();
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
            const __m128i c = _mm_set1_epi32(static_cast<int32_t>(packed));
            const auto* weights = reinterpret_cast<const __m128i*>(tables->pairs[i / 2]);
            for (int j = 0; j < 16; ++j) {
                sums[j] = _mm_add_epi32(sums[j], _mm_madd_epi16(c, _mm_load_si128(weights + j)));
            }
        }
    } else {
        while (mask != 0) {
            const int i = __builtin_ctzll(mask);
            mask &= mask - 1;
            const __m128i c = _mm_set1_epi32(coef[i]);
            const auto* weights = reinterpret_cast<const __m128i*>(tables->columns[i]);
            for (int j = 0; j < 16; ++j) {
                sums[j] = _mm_add_epi32(sums[j], MulLo32(c, _mm_load_si128(weights + j)));
            }
        }
    }
    const __m128d inverse = _mm_set1_pd(kInverse40000);
    const __m128i shift = _mm_set1_epi32(level);
    for (int y = 0; y < 8; ++y) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + y * stride),
                         Quotients(sums[2 * y], inverse, shift));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + y * stride + 4),
                         Quotients(sums[2 * y + 1], inverse, shift));
    }
}
#endif

IdctKernel SelectIdctKernel() {
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("avx2")) return InverseDctAvx2;
#endif
#if defined(__SSE2__)
    return InverseDctSse2;
#else
    return InverseDctPortable;
#endif
}

}  // namespace varnel
