#include "fast_color.h"

#include "jpeg_decoder.h"

namespace varnel {

void ChromaTermsPortable(const int32_t* cb, const int32_t* cr, int32_t n, int32_t* red,
                         int32_t* green, int32_t* blue) {
    for (int32_t i = 0; i < n; ++i) {
        red[i] = (14020 * (cr[i] - 128)) / 10000;
        green[i] = (3441 * (128 - cb[i])) / 10000 + (7139 * (128 - cr[i])) / 10000;
        blue[i] = (17718 * (cb[i] - 128)) / 10000;
    }
}

void ColorRowPortable(const int32_t* luma, const int32_t* red, const int32_t* green,
                      const int32_t* blue, int32_t width, uint8_t* bgr) {
    for (int32_t x = 0; x < width; ++x) {
        bgr[3 * x] = ClampSample(luma[x] + blue[x]);
        bgr[3 * x + 1] = ClampSample(luma[x] + green[x]);
        bgr[3 * x + 2] = ClampSample(luma[x] + red[x]);
    }
}

void ColorRowHalfPortable(const int32_t* luma, const int32_t* red, const int32_t* green,
                          const int32_t* blue, int32_t width, uint8_t* bgr) {
    for (int32_t x = 0; x < width; ++x) {
        bgr[3 * x] = ClampSample(luma[x] + blue[x / 2]);
        bgr[3 * x + 1] = ClampSample(luma[x] + green[x / 2]);
        bgr[3 * x + 2] = ClampSample(luma[x] + red[x / 2]);
    }
}

void GreyRowPortable(const int32_t* luma, int32_t width, uint8_t* bgr) {
    for (int32_t x = 0; x < width; ++x) {
        const uint8_t value = ClampSample(luma[x]);
        bgr[3 * x] = value;
        bgr[3 * x + 1] = value;
        bgr[3 * x + 2] = value;
    }
}

void ColorRowFullPortable(const int32_t* luma, const int32_t* cb, const int32_t* cr, int32_t width,
                          uint8_t* bgr) {
    for (int32_t x = 0; x < width; ++x) {
        int32_t red, green, blue;
        ChromaTermsPortable(cb + x, cr + x, 1, &red, &green, &blue);
        bgr[3 * x] = ClampSample(luma[x] + blue);
        bgr[3 * x + 1] = ClampSample(luma[x] + green);
        bgr[3 * x + 2] = ClampSample(luma[x] + red);
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
