// The AVX2 variant of the fast colour conversion, compiled for AVX2 through target attributes
// and chosen at run time by SelectColorKernels.
#include "fast_color.h"
#include "jpeg_decoder.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#define VARNEL_AVX2 __attribute__((target("avx2")))

namespace varnel {

namespace {

// Truncated products of four 32-bit values with a constant (see fast_color.h).
VARNEL_AVX2 inline __m128i TruncatedProducts(__m128i values, __m256d constant) {
    return _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtepi32_pd(values), constant));
}

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

// The chroma terms of four samples: the truncated products of Cb - 128 and Cr - 128.
struct Terms4 {
    __m128i red, green, blue;
};

VARNEL_AVX2 inline Terms4 ChromaTerms4(__m128i cb, __m128i cr) {
    const __m128i offset = _mm_set1_epi32(128);
    const __m128i b = _mm_sub_epi32(cb, offset);
    const __m128i r = _mm_sub_epi32(cr, offset);
    const __m128i green_b = TruncatedProducts(b, _mm256_set1_pd(kGreenCb));
    const __m128i green_r = TruncatedProducts(r, _mm256_set1_pd(kGreenCr));
    return {TruncatedProducts(r, _mm256_set1_pd(kRedCr)),
            _mm_sub_epi32(_mm_setzero_si128(), _mm_add_epi32(green_b, green_r)),
            TruncatedProducts(b, _mm256_set1_pd(kBlueCb))};
}

VARNEL_AVX2 inline __m128i Load4(const int32_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

}  // namespace

VARNEL_AVX2 void ChromaTermsAvx2(const int32_t* cb, const int32_t* cr, int32_t n, int32_t* red,
                                 int32_t* green, int32_t* blue) {
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const Terms4 terms = ChromaTerms4(Load4(cb + i), Load4(cr + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(red + i), terms.red);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(green + i), terms.green);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(blue + i), terms.blue);
    }
    ChromaTermsPortable(cb + i, cr + i, n - i, red + i, green + i, blue + i);
}

VARNEL_AVX2 void ColorRowFullAvx2(const int32_t* luma, const int32_t* cb, const int32_t* cr,
                                  int32_t width, uint8_t* bgr) {
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        __m256i sums[3][2];  // red, green, blue; pixels x to x + 7 and x + 8 to x + 15
        for (int h = 0; h < 2; ++h) {
            const Terms4 low = ChromaTerms4(Load4(cb + x + 8 * h), Load4(cr + x + 8 * h));
            const Terms4 high = ChromaTerms4(Load4(cb + x + 8 * h + 4), Load4(cr + x + 8 * h + 4));
            const __m256i y = Load8(luma + x + 8 * h);
            sums[0][h] = _mm256_add_epi32(y, _mm256_set_m128i(high.red, low.red));
            sums[1][h] = _mm256_add_epi32(y, _mm256_set_m128i(high.green, low.green));
            sums[2][h] = _mm256_add_epi32(y, _mm256_set_m128i(high.blue, low.blue));
        }
        StorePixels(ClampToBytes(sums[2][0], sums[2][1]), ClampToBytes(sums[1][0], sums[1][1]),
                    ClampToBytes(sums[0][0], sums[0][1]), bgr + 3 * x);
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
