// Colour conversion of the fast decode path: the YCbCr to RGB formula of ConvertMcu, exact,
// row by row straight into bitmap rows of blue, green and red bytes.
//
// The chroma terms of the formula depend on Cb and Cr only, so they are computed once per
// chroma sample (and then repeated for the samples that replication gives it), each term
// divided on its own and truncated toward zero as the formula says. The inputs are inverse-DCT
// outputs, within +-(53688 + 2048), so no product of the formula leaves the 32-bit range.
#pragma once

#include <cstdint>

#include "fast_idct.h"  // VARNEL_HAS_X86_KERNELS

namespace varnel {

// Per chroma sample: red = 14020 (Cr - 128) / 10000, green = 3441 (128 - Cb) / 10000 +
// 7139 (128 - Cr) / 10000, blue = 17718 (Cb - 128) / 10000.
using ChromaTermsKernel = void (*)(const int32_t* cb, const int32_t* cr, int32_t n, int32_t* red,
                                   int32_t* green, int32_t* blue);
// One row: each byte is ClampSample(Y + term), blue, green, red per pixel.
using ColorRowKernel = void (*)(const int32_t* luma, const int32_t* red, const int32_t* green,
                                const int32_t* blue, int32_t width, uint8_t* bgr);
// The same for chroma at half the horizontal resolution: pixel x takes term x / 2.
using ColorRowHalfKernel = ColorRowKernel;
// One row of a one-component picture: blue = green = red = ClampSample(Y).
using GreyRowKernel = void (*)(const int32_t* luma, int32_t width, uint8_t* bgr);
// One row with chroma at full resolution, the terms computed on the way.
using ColorRowFullKernel = void (*)(const int32_t* luma, const int32_t* cb, const int32_t* cr,
                                    int32_t width, uint8_t* bgr);

struct ColorKernels {
    ChromaTermsKernel chroma_terms;
    ColorRowKernel color_row;
    ColorRowHalfKernel color_row_half;
    GreyRowKernel grey_row;
    ColorRowFullKernel color_row_full;
};

void ChromaTermsPortable(const int32_t* cb, const int32_t* cr, int32_t n, int32_t* red,
                         int32_t* green, int32_t* blue);
void ColorRowPortable(const int32_t* luma, const int32_t* red, const int32_t* green,
                      const int32_t* blue, int32_t width, uint8_t* bgr);
void ColorRowHalfPortable(const int32_t* luma, const int32_t* red, const int32_t* green,
                          const int32_t* blue, int32_t width, uint8_t* bgr);
void GreyRowPortable(const int32_t* luma, int32_t width, uint8_t* bgr);
void ColorRowFullPortable(const int32_t* luma, const int32_t* cb, const int32_t* cr, int32_t width,
                          uint8_t* bgr);
#if VARNEL_HAS_X86_KERNELS
void ColorRowSse2(const int32_t* luma, const int32_t* red, const int32_t* green,
                  const int32_t* blue, int32_t width, uint8_t* bgr);
void ColorRowHalfSse2(const int32_t* luma, const int32_t* red, const int32_t* green,
                      const int32_t* blue, int32_t width, uint8_t* bgr);
void GreyRowSse2(const int32_t* luma, int32_t width, uint8_t* bgr);
void ColorRowFullSse2(const int32_t* luma, const int32_t* cb, const int32_t* cr, int32_t width,
                      uint8_t* bgr);
void ChromaTermsAvx2(const int32_t* cb, const int32_t* cr, int32_t n, int32_t* red, int32_t* green,
                     int32_t* blue);
void ColorRowAvx2(const int32_t* luma, const int32_t* red, const int32_t* green,
                  const int32_t* blue, int32_t width, uint8_t* bgr);
void ColorRowHalfAvx2(const int32_t* luma, const int32_t* red, const int32_t* green,
                      const int32_t* blue, int32_t width, uint8_t* bgr);
void GreyRowAvx2(const int32_t* luma, int32_t width, uint8_t* bgr);
void ColorRowFullAvx2(const int32_t* luma, const int32_t* cb, const int32_t* cr, int32_t width,
                      uint8_t* bgr);
#endif

// Repeats each of the n values `factor` times into out.
void RepeatSamples(const int32_t* in, int32_t n, int32_t factor, int32_t* out);

// Truncation toward zero is odd, so the green terms, whose factors are 128 - Cb and 128 - Cr,
// are the negated truncated products of Cb - 128 and Cr - 128: the SIMD kernels compute the
// four terms from the magnitudes of the two differences with exact multiply-shifts.

}  // namespace varnel
