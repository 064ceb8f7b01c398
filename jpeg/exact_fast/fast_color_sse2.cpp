// The SSE2 variant of the fast colour conversion, compiled for SSE2 through target attributes
// (the 32-bit x86 build's baseline has none) and chosen at run time by the dispatcher of
// fast_kernels.cpp. The chroma terms come from the portable kernel's tables (exact multiply-
// shifts four lanes at a time, as the AVX2 kernel computes them, measured slower than those
// lookups here); the rows add them to Y in 16-bit lanes where every term allows it, as the AVX2
// kernels do.
#include "fast_color.h"
#include "jpeg_decoder.h"

#if VARNEL_HAS_X86_KERNELS
#include <emmintrin.h>

#define VARNEL_SSE2 __attribute__((target("sse2")))

namespace varnel {

namespace {

// Y and the terms are narrowed with signed saturation and added with saturation, and the sums
// clamped to bytes: exact where every term lies within +-32512 (the argument of the AVX2
// kernels: a saturated sum stands only for one beyond the 16-bit range, which clamps alike).
constexpr int32_t kNarrowTermLimit = 32512;

VARNEL_SSE2 inline __m128i Load4(const int32_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Lanes of the four values beyond +-kNarrowTermLimit.
VARNEL_SSE2 inline __m128i Beyond(__m128i terms) {
    const __m128i limit = _mm_set1_epi32(kNarrowTermLimit);
    return _mm_or_si128(_mm_cmpgt_epi32(terms, limit),
                        _mm_cmplt_epi32(terms, _mm_sub_epi32(_mm_setzero_si128(), limit)));
}

VARNEL_SSE2 inline bool Fit(__m128i a, __m128i b, __m128i c) {
    return _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(Beyond(a), Beyond(b)), Beyond(c))) == 0;
}

// Two pixels of four bytes (blue, green, red, zero) in each 64-bit lane become their six
// bytes at the bottom of the lane, above them zeros.
VARNEL_SSE2 inline __m128i SixBytesPerLane(__m128i pixels) {
    const __m128i first = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    return _mm_or_si128(_mm_and_si128(pixels, first),
                        _mm_slli_epi64(_mm_srli_epi64(pixels, 32), 24));
}

// The six bytes of each 64-bit lane side by side: twelve bytes at the bottom, zeros above.
VARNEL_SSE2 inline __m128i TwelveBytes(__m128i lanes) {
    const __m128i low_lane = _mm_set_epi32(0, 0, -1, -1);
    return _mm_or_si128(_mm_and_si128(lanes, low_lane),
                        _mm_slli_si128(_mm_srli_si128(lanes, 8), 6));
}

// Eight pixels from Y and the three terms as 16-bit lanes, into 24 bytes: the pixels of four
// bytes are narrowed to three with shifts (SSE2 has no byte shuffle) and written with one
// 16-byte and one 8-byte store, touching nothing past the 24 bytes.
VARNEL_SSE2 inline void StoreEight(__m128i luma, __m128i red, __m128i green, __m128i blue,
                                   uint8_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i b = _mm_packus_epi16(_mm_adds_epi16(luma, blue), zero);
    const __m128i g = _mm_packus_epi16(_mm_adds_epi16(luma, green), zero);
    const __m128i r = _mm_packus_epi16(_mm_adds_epi16(luma, red), zero);
    const __m128i bg = _mm_unpacklo_epi8(b, g);
    const __m128i rz = _mm_unpacklo_epi8(r, zero);
    // Blue, green, red and a zero byte per pixel, pixels 0 to 3 and 4 to 7.
    const __m128i low = TwelveBytes(SixBytesPerLane(_mm_unpacklo_epi16(bg, rz)));
    const __m128i high = TwelveBytes(SixBytesPerLane(_mm_unpackhi_epi16(bg, rz)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(low, _mm_slli_si128(high, 12)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm_srli_si128(high, 4));
}

// Eight values as eight 16-bit lanes.
VARNEL_SSE2 inline __m128i Words(const int32_t* p) {
    return _mm_packs_epi32(Load4(p), Load4(p + 4));
}

// Four values as eight 16-bit lanes, each twice.
VARNEL_SSE2 inline __m128i DoubledWords(const int32_t* p) {
    const __m128i words = _mm_packs_epi32(Load4(p), Load4(p));
    return _mm_unpacklo_epi16(words, words);
}

}  // namespace

VARNEL_SSE2 void ColorRowSse2(const int32_t* luma, const int32_t* red, const int32_t* green,
                              const int32_t* blue, int32_t width, uint8_t* bgr) {
    int32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        if (!Fit(Load4(red + x), Load4(green + x), Load4(blue + x)) ||
            !Fit(Load4(red + x + 4), Load4(green + x + 4), Load4(blue + x + 4))) {
            ColorRowPortable(luma + x, red + x, green + x, blue + x, 8, bgr + 3 * x);
            continue;
        }
        StoreEight(Words(luma + x), Words(red + x), Words(green + x), Words(blue + x), bgr + 3 * x);
    }
    ColorRowPortable(luma + x, red + x, green + x, blue + x, width - x, bgr + 3 * x);
}

VARNEL_SSE2 void ColorRowHalfSse2(const int32_t* luma, const int32_t* red, const int32_t* green,
                                  const int32_t* blue, int32_t width, uint8_t* bgr) {
    int32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        const int32_t c = x / 2;
        if (!Fit(Load4(red + c), Load4(green + c), Load4(blue + c))) {
            ColorRowHalfPortable(luma + x, red + c, green + c, blue + c, 8, bgr + 3 * x);
            continue;
        }
        StoreEight(Words(luma + x), DoubledWords(red + c), DoubledWords(green + c),
                   DoubledWords(blue + c), bgr + 3 * x);
    }
    ColorRowHalfPortable(luma + x, red + x / 2, green + x / 2, blue + x / 2, width - x,
                         bgr + 3 * x);
}

VARNEL_SSE2 void GreyRowSse2(const int32_t* luma, int32_t width, uint8_t* bgr) {
    int32_t x = 0;
    const __m128i zero = _mm_setzero_si128();
    // Zero terms: the 16-bit path is exact for every Y.
    for (; x + 8 <= width; x += 8) StoreEight(Words(luma + x), zero, zero, zero, bgr + 3 * x);
    GreyRowPortable(luma + x, width - x, bgr + 3 * x);
}

VARNEL_SSE2 void ColorRowFullSse2(const int32_t* luma, const int32_t* cb, const int32_t* cr,
                                  int32_t width, uint8_t* bgr) {
    alignas(16) int32_t red[64], green[64], blue[64];
    for (int32_t x = 0; x < width; x += 64) {
        const int32_t n = width - x < 64 ? width - x : 64;
        ChromaTermsPortable(cb + x, cr + x, n, red, green, blue);
        ColorRowSse2(luma + x, red, green, blue, n, bgr + 3 * x);
    }
}

}  // namespace varnel
#endif
