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

struct TermTables {
    int32_t red[kTableSize];       // Term<14020>(Cr - 128)
    int32_t blue[kTableSize];      // Term<17718>(Cb - 128)
    int32_t green_cb[kTableSize];  // Term<3441>(Cb - 128)
    int32_t green_cr[kTableSize];  // Term<7139>(Cr - 128)
};

constexpr TermTables MakeTermTables() {
    TermTables tables{};
    for (int32_t i = 0; i < kTableSize; ++i) {
        const int32_t d = kTableLow + i - 128;
        tables.red[i] = Term<14020>(d);
        tables.blue[i] = Term<17718>(d);
        tables.green_cb[i] = Term<3441>(d);
        tables.green_cr[i] = Term<7139>(d);
    }
    return tables;
}

constexpr TermTables kTerms = MakeTermTables();

// The formula's four terms of one chroma sample. Truncation toward zero is odd, so the green
// terms, whose factors are 128 - Cb and 128 - Cr, are the negated terms of Cb - 128 and
// Cr - 128.
inline void Terms(int32_t cb, int32_t cr, int32_t* red, int32_t* green, int32_t* blue) {
    const uint32_t b_index = static_cast<uint32_t>(cb) - static_cast<uint32_t>(kTableLow);
    const uint32_t r_index = static_cast<uint32_t>(cr) - static_cast<uint32_t>(kTableLow);
    if ((b_index | r_index) < static_cast<uint32_t>(kTableSize)) {
        *red = kTerms.red[r_index];
        *green = -(kTerms.green_cb[b_index] + kTerms.green_cr[r_index]);
        *blue = kTerms.blue[b_index];
        return;
    }
    const int32_t b = cb - 128;
    const int32_t r = cr - 128;
    *red = Term<14020>(r);
    *green = -(Term<3441>(b) + Term<7139>(r));
    *blue = Term<17718>(b);
}

inline uint8_t Clamp(int32_t value) {
    return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// Four pixels' twelve bytes stored as three 32-bit words: a quarter of the stores that bound
// a row without SIMD. The words are put together in the processor's byte order, so that memory
// holds the bytes in row order, and copied with memcpy, so that the row needs no alignment. The
// row whose terms two pixels share loads everything before it stores, since a byte store may
// alias any value and would otherwise make the compiler load the terms again. (The rows with
// terms per pixel gain nothing from this: the compiler vectorises the plain loop where it can,
// and schedules the looked-up one better as it is.)
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

inline void StoreFourGreyPixels(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint8_t* bgr) {
    StoreWord(Word(a, a, a, b), bgr);
    StoreWord(Word(b, b, c, c), bgr + 4);
    StoreWord(Word(c, d, d, d), bgr + 8);
}

// The blue, green and red bytes of four pixels, in row order.
inline void StoreFourPixels(const uint32_t (&v)[12], uint8_t* bgr) {
    StoreWord(Word(v[0], v[1], v[2], v[3]), bgr);
    StoreWord(Word(v[4], v[5], v[6], v[7]), bgr + 4);
    StoreWord(Word(v[8], v[9], v[10], v[11]), bgr + 8);
}

// Pixel j's three bytes from its luma and its terms.
inline void PutPixel(int32_t y, int32_t red, int32_t green, int32_t blue, int j,
                     uint32_t (&v)[12]) {
    v[3 * j] = Clamp(y + blue);
    v[3 * j + 1] = Clamp(y + green);
    v[3 * j + 2] = Clamp(y + red);
}

}  // namespace

void ChromaTermsPortable(const int32_t* cb, const int32_t* cr, int32_t n, int32_t* red,
                         int32_t* green, int32_t* blue) {
    for (int32_t i = 0; i < n; ++i) Terms(cb[i], cr[i], red + i, green + i, blue + i);
}

void ColorRowPortable(const int32_t* luma, const int32_t* red, const int32_t* green,
                      const int32_t* blue, int32_t width, uint8_t* bgr) {
    for (int32_t x = 0; x < width; ++x) {
        bgr[3 * x] = Clamp(luma[x] + blue[x]);
        bgr[3 * x + 1] = Clamp(luma[x] + green[x]);
        bgr[3 * x + 2] = Clamp(luma[x] + red[x]);
    }
}

void ColorRowHalfPortable(const int32_t* luma, const int32_t* red, const int32_t* green,
                          const int32_t* blue, int32_t width, uint8_t* bgr) {
    int32_t x = 0;
    for (; x + 4 <= width; x += 4) {
        const int32_t c = x / 2;
        const int32_t r0 = red[c], g0 = green[c], b0 = blue[c];
        const int32_t r1 = red[c + 1], g1 = green[c + 1], b1 = blue[c + 1];
        uint32_t v[12];
        PutPixel(luma[x], r0, g0, b0, 0, v);
        PutPixel(luma[x + 1], r0, g0, b0, 1, v);
        PutPixel(luma[x + 2], r1, g1, b1, 2, v);
        PutPixel(luma[x + 3], r1, g1, b1, 3, v);
        StoreFourPixels(v, bgr + 3 * x);
    }
    for (; x < width; ++x) {
        const int32_t c = x / 2;
        bgr[3 * x] = Clamp(luma[x] + blue[c]);
        bgr[3 * x + 1] = Clamp(luma[x] + green[c]);
        bgr[3 * x + 2] = Clamp(luma[x] + red[c]);
    }
}

void GreyRowPortable(const int32_t* luma, int32_t width, uint8_t* bgr) {
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        // Clamped first, sixteen at a time: a loop that compilers vectorise where the processor
        // has SIMD, which the stores of three bytes a pixel would keep them from.
        uint8_t value[16];
        for (int j = 0; j < 16; ++j) value[j] = Clamp(luma[x + j]);
        for (int j = 0; j < 16; j += 4) {
            StoreFourGreyPixels(value[j], value[j + 1], value[j + 2], value[j + 3],
                                bgr + 3 * (x + j));
        }
    }
    for (; x < width; ++x) {
        const uint8_t value = Clamp(luma[x]);
        bgr[3 * x] = value;
        bgr[3 * x + 1] = value;
        bgr[3 * x + 2] = value;
    }
}

void ColorRowFullPortable(const int32_t* luma, const int32_t* cb, const int32_t* cr, int32_t width,
                          uint8_t* bgr) {
    for (int32_t x = 0; x < width; ++x) {
        int32_t red, green, blue;
        Terms(cb[x], cr[x], &red, &green, &blue);
        bgr[3 * x] = Clamp(luma[x] + blue);
        bgr[3 * x + 1] = Clamp(luma[x] + green);
        bgr[3 * x + 2] = Clamp(luma[x] + red);
    }
}

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
