// The AVX2 variant of the fast colour conversion, compiled for AVX2 through target attributes
// and chosen at run time by the dispatcher of fast_kernels.cpp.
#include "fast_color.h"
#include "jpeg_decoder.h"

#if VARNEL_HAS_X86_KERNELS
#include <immintrin.h>

#define VARNEL_AVX2 __attribute__((target("avx2")))

namespace varnel {

namespace {

// Sixteen 32-bit values (two vectors) clamped to 0..255, as sixteen bytes in order.
VARNEL_AVX2 inline __m128i ClampToBytes(__m256i low, __m256i high) {
    const __m256i words = _mm256_permute4x64_epi64(_mm256_packs_epi32(low, high), 0xD8);
    return _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
}

// Byte selections that put sixteen blue, green and red bytes into 48 bytes of pixels.
struct InterleaveMasks {
    alignas(16) int8_t select[3][3][16];  // [output vector][channel][byte]
    constexpr InterleaveMasks() : select{} {
        for (int v = 0; v < 3; ++v) {
            for (int c = 0; c < 3; ++c) {
                for (int t = 0; t < 16; ++t) {
                    const int j = 16 * v + t;
                    select[v][c][t] = static_cast<int8_t>(j % 3 == c ? j / 3 : -128);
                }
            }
        }
    }
};
constexpr InterleaveMasks kInterleave;

VARNEL_AVX2 inline void StorePixels(__m128i blue, __m128i green, __m128i red, uint8_t* out) {
    const __m128i* m = reinterpret_cast<const __m128i*>(kInterleave.select);
    for (int v = 0; v < 3; ++v) {
        const __m128i bytes =
            _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(blue, _mm_load_si128(m + 3 * v)),
                                      _mm_shuffle_epi8(green, _mm_load_si128(m + 3 * v + 1))),
                         _mm_shuffle_epi8(red, _mm_load_si128(m + 3 * v + 2)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * v), bytes);
    }
}

VARNEL_AVX2 inline __m256i Load8(const int32_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// The 16-bit path. Y and the terms are narrowed with signed saturation and added with
// saturation, and the sums are clamped to bytes. Where every term lies within +-32512 this
// gives ClampSample(Y + term) exactly: for Y within the 16-bit range, a saturated sum stands
// only for a sum beyond it, which clamps alike; a Y above 32767 gives a sum above 255 either
// way (at least 32767 - 32512), and a Y below -32768 a sum below 0 (at most -256).
inline constexpr int32_t kNarrowTermLimit = 32512;

// Whether a vector's lanes all lie within +-kNarrowTermLimit, as a mask of lanes beyond it.
VARNEL_AVX2 inline __m256i BeyondNarrowLimit(__m256i terms) {
    return _mm256_cmpgt_epi32(_mm256_abs_epi32(terms), _mm256_set1_epi32(kNarrowTermLimit));
}

VARNEL_AVX2 inline bool TermsFit(__m256i a, __m256i b, __m256i c) {
    const __m256i beyond = _mm256_or_si256(
        _mm256_or_si256(BeyondNarrowLimit(a), BeyondNarrowLimit(b)), BeyondNarrowLimit(c));
    return _mm256_testz_si256(beyond, beyond) != 0;
}

VARNEL_AVX2 inline bool TermsFit(const __m256i (&terms)[3][2]) {
    __m256i beyond = _mm256_setzero_si256();
    for (const auto& pair : terms) {
        beyond = _mm256_or_si256(
            beyond, _mm256_or_si256(BeyondNarrowLimit(pair[0]), BeyondNarrowLimit(pair[1])));
    }
    return _mm256_testz_si256(beyond, beyond) != 0;
}

// Sixteen values (two vectors) as sixteen 16-bit lanes in order.
VARNEL_AVX2 inline __m256i Words(__m256i low, __m256i high) {
    return _mm256_permute4x64_epi64(_mm256_packs_epi32(low, high), 0xD8);
}

// Eight values as sixteen 16-bit lanes, each twice: value j for pixels 2j and 2j + 1.
VARNEL_AVX2 inline __m256i DoubledWords(__m256i values) {
    const __m256i words = _mm256_packs_epi32(values, values);
    return _mm256_unpacklo_epi16(words, words);
}

// Byte selections that put eight blue, green and red bytes (blue and green in one vector,
// red in another) into the 24 bytes of eight pixels.
struct NarrowInterleaveMasks {
    alignas(16) int8_t select[2][2][16];  // [output part][source][byte]
    constexpr NarrowInterleaveMasks() : select{} {
        for (int part = 0; part < 2; ++part) {
            for (int source = 0; source < 2; ++source) {
                for (int t = 0; t < 16; ++t) select[part][source][t] = -128;
            }
        }
        for (int j = 0; j < 24; ++j) {
            const int pixel = j / 3;
            const int channel = j % 3;  // blue, green, red
            const int source = channel == 2 ? 1 : 0;
            select[j / 16][source][j % 16] = static_cast<int8_t>(channel == 1 ? 8 + pixel : pixel);
        }
    }
};
constexpr NarrowInterleaveMasks kNarrowInterleave;

// Sixteen pixels from Y and the three terms as 16-bit lanes.
VARNEL_AVX2 inline void StoreNarrowPixels(__m256i luma, __m256i red, __m256i green, __m256i blue,
                                          uint8_t* out) {
    // Per 128-bit half (eight pixels): blue bytes then green bytes; red bytes twice.
    const __m256i blue_green =
        _mm256_packus_epi16(_mm256_adds_epi16(luma, blue), _mm256_adds_epi16(luma, green));
    const __m256i red_bytes =
        _mm256_packus_epi16(_mm256_adds_epi16(luma, red), _mm256_adds_epi16(luma, red));
    const auto* m = reinterpret_cast<const __m128i*>(kNarrowInterleave.select);
    for (int half = 0; half < 2; ++half) {
        const __m128i bg = half == 0 ? _mm256_castsi256_si128(blue_green)
                                     : _mm256_extracti128_si256(blue_green, 1);
        const __m128i r =
            half == 0 ? _mm256_castsi256_si128(red_bytes) : _mm256_extracti128_si256(red_bytes, 1);
        uint8_t* at = out + 24 * half;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at),
                         _mm_or_si128(_mm_shuffle_epi8(bg, _mm_load_si128(m)),
                                      _mm_shuffle_epi8(r, _mm_load_si128(m + 1))));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(at + 16),
                         _mm_or_si128(_mm_shuffle_epi8(bg, _mm_load_si128(m + 2)),
                                      _mm_shuffle_epi8(r, _mm_load_si128(m + 3))));
    }
}

// The chroma terms of eight samples: K d / 10000 truncated toward zero for d = Cb - 128 or
// Cr - 128, as sign(d) floor(|d| m / 2^30) with m = ceil(K 2^30 / 10000). |d| is below 2^16
// (inverse-DCT outputs lie within +-(53688 + 2048)), and m exceeds K 2^30 / 10000 by less
// than 1, so |d| m / 2^30 exceeds |d| K / 10000 by less than 2^16 / 2^30 < 1/10000, while
// |d| K / 10000 lies at least 1/10000 below the next integer unless it is one: the floor is
// exact. The products (below 2^47) are formed in 64 bits.
struct Terms8 {
    __m256i red, green, blue;
};

constexpr uint32_t ScaledConstant(uint64_t k) {
    return static_cast<uint32_t>(((k << 30) + 9999) / 10000);
}

// floor(a m / 2^30) for the eight magnitudes a (odd lanes also given shifted down by 32).
VARNEL_AVX2 inline __m256i ScaledQuotients(__m256i a, __m256i a_odd, uint32_t m) {
    const __m256i constant = _mm256_set1_epi32(static_cast<int32_t>(m));
    const __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(a, constant), 30);
    const __m256i odd = _mm256_slli_epi64(_mm256_mul_epu32(a_odd, constant), 2);
    return _mm256_blend_epi32(even, odd, 0xAA);
}

VARNEL_AVX2 inline Terms8 ChromaTerms8(__m256i cb, __m256i cr) {
    const __m256i offset = _mm256_set1_epi32(128);
    const __m256i b = _mm256_sub_epi32(cb, offset);
    const __m256i r = _mm256_sub_epi32(cr, offset);
    const __m256i b_abs = _mm256_abs_epi32(b);
    const __m256i r_abs = _mm256_abs_epi32(r);
    const __m256i b_odd = _mm256_srli_epi64(b_abs, 32);
    const __m256i r_odd = _mm256_srli_epi64(r_abs, 32);
    const __m256i green =
        _mm256_add_epi32(_mm256_sign_epi32(ScaledQuotients(b_abs, b_odd, ScaledConstant(3441)), b),
                         _mm256_sign_epi32(ScaledQuotients(r_abs, r_odd, ScaledConstant(7139)), r));
    return {_mm256_sign_epi32(ScaledQuotients(r_abs, r_odd, ScaledConstant(14020)), r),
            _mm256_sub_epi32(_mm256_setzero_si256(), green),
            _mm256_sign_epi32(ScaledQuotients(b_abs, b_odd, ScaledConstant(17718)), b)};
}

}  // namespace

VARNEL_AVX2 void ChromaTermsAvx2(const int32_t* cb, const int32_t* cr, int32_t n, int32_t* red,
                                 int32_t* green, int32_t* blue) {
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const Terms8 terms = ChromaTerms8(Load8(cb + i), Load8(cr + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(red + i), terms.red);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(green + i), terms.green);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(blue + i), terms.blue);
    }
    ChromaTermsPortable(cb + i, cr + i, n - i, red + i, green + i, blue + i);
}

VARNEL_AVX2 void ColorRowFullAvx2(const int32_t* luma, const int32_t* cb, const int32_t* cr,
                                  int32_t width, uint8_t* bgr) {
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const Terms8 low = ChromaTerms8(Load8(cb + x), Load8(cr + x));
        const Terms8 high = ChromaTerms8(Load8(cb + x + 8), Load8(cr + x + 8));
        const __m256i y0 = Load8(luma + x);
        const __m256i y1 = Load8(luma + x + 8);
        if (TermsFit(low.red, low.green, low.blue) && TermsFit(high.red, high.green, high.blue)) {
            StoreNarrowPixels(Words(y0, y1), Words(low.red, high.red), Words(low.green, high.green),
                              Words(low.blue, high.blue), bgr + 3 * x);
            continue;
        }
        StorePixels(ClampToBytes(_mm256_add_epi32(y0, low.blue), _mm256_add_epi32(y1, high.blue)),
                    ClampToBytes(_mm256_add_epi32(y0, low.green), _mm256_add_epi32(y1, high.green)),
                    ClampToBytes(_mm256_add_epi32(y0, low.red), _mm256_add_epi32(y1, high.red)),
                    bgr + 3 * x);
    }
    ColorRowFullPortable(luma + x, cb + x, cr + x, width - x, bgr + 3 * x);
}

VARNEL_AVX2 void ColorRowAvx2(const int32_t* luma, const int32_t* red, const int32_t* green,
                              const int32_t* blue, int32_t width, uint8_t* bgr) {
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m256i y0 = Load8(luma + x);
        const __m256i y1 = Load8(luma + x + 8);
        const __m256i r0 = Load8(red + x);
        const __m256i r1 = Load8(red + x + 8);
        const __m256i g0 = Load8(green + x);
        const __m256i g1 = Load8(green + x + 8);
        const __m256i b0 = Load8(blue + x);
        const __m256i b1 = Load8(blue + x + 8);
        const __m256i terms[3][2] = {{r0, r1}, {g0, g1}, {b0, b1}};
        if (TermsFit(terms)) {
            StoreNarrowPixels(Words(y0, y1), Words(r0, r1), Words(g0, g1), Words(b0, b1),
                              bgr + 3 * x);
            continue;
        }
        const __m128i r = ClampToBytes(_mm256_add_epi32(y0, r0), _mm256_add_epi32(y1, r1));
        const __m128i g = ClampToBytes(_mm256_add_epi32(y0, g0), _mm256_add_epi32(y1, g1));
        const __m128i b = ClampToBytes(_mm256_add_epi32(y0, b0), _mm256_add_epi32(y1, b1));
        StorePixels(b, g, r, bgr + 3 * x);
    }
    ColorRowPortable(luma + x, red + x, green + x, blue + x, width - x, bgr + 3 * x);
}

VARNEL_AVX2 void ColorRowHalfAvx2(const int32_t* luma, const int32_t* red, const int32_t* green,
                                  const int32_t* blue, int32_t width, uint8_t* bgr) {
    const __m256i low_half = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
    const __m256i high_half = _mm256_setr_epi32(4, 4, 5, 5, 6, 6, 7, 7);
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m256i y0 = Load8(luma + x);
        const __m256i y1 = Load8(luma + x + 8);
        const __m256i rt = Load8(red + x / 2);
        const __m256i gt = Load8(green + x / 2);
        const __m256i bt = Load8(blue + x / 2);
        if (TermsFit(rt, gt, bt)) {
            StoreNarrowPixels(Words(y0, y1), DoubledWords(rt), DoubledWords(gt), DoubledWords(bt),
                              bgr + 3 * x);
            continue;
        }
        const __m128i r =
            ClampToBytes(_mm256_add_epi32(y0, _mm256_permutevar8x32_epi32(rt, low_half)),
                         _mm256_add_epi32(y1, _mm256_permutevar8x32_epi32(rt, high_half)));
        const __m128i g =
            ClampToBytes(_mm256_add_epi32(y0, _mm256_permutevar8x32_epi32(gt, low_half)),
                         _mm256_add_epi32(y1, _mm256_permutevar8x32_epi32(gt, high_half)));
        const __m128i b =
            ClampToBytes(_mm256_add_epi32(y0, _mm256_permutevar8x32_epi32(bt, low_half)),
                         _mm256_add_epi32(y1, _mm256_permutevar8x32_epi32(bt, high_half)));
        StorePixels(b, g, r, bgr + 3 * x);
    }
    ColorRowHalfPortable(luma + x, red + x / 2, green + x / 2, blue + x / 2, width - x,
                         bgr + 3 * x);
}

VARNEL_AVX2 void GreyRowAvx2(const int32_t* luma, int32_t width, uint8_t* bgr) {
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        // Zero terms: the 16-bit path is exact for every Y.
        const __m256i zero = _mm256_setzero_si256();
        StoreNarrowPixels(Words(Load8(luma + x), Load8(luma + x + 8)), zero, zero, zero,
                          bgr + 3 * x);
    }
    GreyRowPortable(luma + x, width - x, bgr + 3 * x);
}

}  // namespace varnel
#endif
