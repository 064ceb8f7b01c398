// The scan loop: MCU by MCU in raster order, each block entropy-decoded, dequantised and
// inverse-transformed, replicated into its component's MCU-sized unit buffer by the sampling
// factors, and the MCU converted from YCbCr to RGB into the three planes.
#include <cstdlib>

#include "decoder_heap.h"
#include "jpeg_decoder.h"

namespace varnel {

namespace {

bool IsRestartMarker(int32_t code) {
    return code >= 0xD0 && code <= 0xD7;
}

}  // namespace

void NoteDataEnd(JpegDecoder* decoder, int32_t mcu, int32_t barrier) {
    if (decoder->data_ended != 0) return;
    decoder->data_ended = 1;
    decoder->data_end_mcu = mcu;
    decoder->data_end_marker = barrier == kImageEnded ? 0 : barrier;
}

uint8_t ClampSample(int32_t value) {
    if (value < 0) return 0;
    if (value > 255) return 255;
    return static_cast<uint8_t>(value);
}

bool DecodeScan(JpegDecoder* decoder) {
    const McuLayout layout = ComputeMcuLayout(decoder);
    const size_t plane_bytes = static_cast<size_t>(layout.mcu_cols) *
                               static_cast<size_t>(layout.mcu_rows) *
                               static_cast<size_t>(layout.h_max * layout.v_max * 64);
    for (uint8_t*& plane : decoder->planes) {
        plane = static_cast<uint8_t*>(DecoderAllocate(plane_bytes));
        if (plane == nullptr) return false;
    }

    const int32_t unit_samples = layout.h_max * layout.v_max * 64;
    for (int32_t*& buffer : decoder->unit_buffers) buffer = nullptr;
    AllocIntArray(&decoder->unit_buffers[0], unit_samples, 0, "Disconvert unit1");
    AllocIntArray(&decoder->unit_buffers[1], unit_samples, 128, "Disconvert unit2");
    AllocIntArray(&decoder->unit_buffers[2], unit_samples, 128, "Disconvert unit3");
    bool allocated = true;
    for (int32_t* buffer : decoder->unit_buffers) allocated = allocated && buffer != nullptr;

    if (allocated) {
        for (int32_t& prediction : decoder->dc_pred) prediction = 0;
        int32_t restart_count = 0;
        for (int32_t mcu_row = 0; mcu_row < layout.mcu_rows; ++mcu_row) {
            for (int32_t mcu_column = 0; mcu_column < layout.mcu_cols; ++mcu_column) {
                DecodeMcu(decoder);
                if (decoder->reader->barrier_met != 0 && decoder->data_ended == 0) {
                    NoteDataEnd(decoder, mcu_row * layout.mcu_cols + mcu_column,
                                decoder->reader->barrier_met);
                }
                ConvertMcu(decoder, mcu_column, mcu_row);
                if (decoder->restart_interval != 0) {
                    ++restart_count;
                    if (restart_count >= decoder->restart_interval) {
                        restart_count = 0;
                        if (IsRestartMarker(NextMarker(decoder))) {
                            for (int32_t& prediction : decoder->dc_pred) prediction = 0;
                        }
                    }
                }
            }
        }
    }

    for (int32_t*& buffer : decoder->unit_buffers) {
        std::free(buffer);
        buffer = nullptr;
    }
    return allocated;
}

void DecodeMcu(JpegDecoder* decoder) {
    const McuLayout layout = ComputeMcuLayout(decoder);
    const int32_t stride = layout.h_max * 8;
    for (int32_t i = 0; i < decoder->component_count; ++i) {
        const int32_t h = layout.h[i];
        const int32_t v = layout.v[i];
        const int32_t hrep = layout.h_max / h;
        const int32_t vrep = layout.v_max / v;
        int32_t* unit = decoder->unit_buffers[i];
        for (int32_t by = 0; by < v; ++by) {
            for (int32_t bx = 0; bx < h; ++bx) {
                DecodeBlock(decoder, i);
                Dequantize(decoder, i);
                InverseDCT(decoder);
                // Plain replication: each sample covers hrep x vrep places.
                const int32_t top = by * 8 * vrep;
                const int32_t left = bx * 8 * hrep;
                for (int32_t r = 0; r < 8 * vrep; ++r) {
                    int32_t* out = unit + (top + r) * stride + left;
                    const int32_t* in = decoder->samples + (r / vrep) * 8;
                    for (int32_t k = 0; k < 8 * hrep; ++k) out[k] = in[k / hrep];
                }
            }
        }
    }
}

void ConvertMcu(JpegDecoder* decoder, int32_t mcu_column, int32_t mcu_row) {
    const McuLayout layout = ComputeMcuLayout(decoder);
    const int32_t mcu_width = layout.h_max * 8;
    const int32_t mcu_height = layout.v_max * 8;
    const int32_t x0 = mcu_column * mcu_width;
    const int32_t y0 = mcu_row * mcu_height;
    const int32_t width = decoder->width;
    for (int32_t r = 0; r < mcu_height; ++r) {
        const size_t row_start = static_cast<size_t>(y0 + r) * static_cast<size_t>(width);
        for (int32_t k = 0; k < mcu_width; ++k) {
            if (x0 + k >= width) break;  // right-edge clipping
            const int32_t at = r * mcu_width + k;
            const int32_t y = decoder->unit_buffers[0][at];
            const int32_t cb = decoder->unit_buffers[1][at];
            const int32_t cr = decoder->unit_buffers[2][at];
            // Each term is divided on its own, truncating toward zero.
            const int32_t red = WrapAdd(y, WrapMul(14020, WrapSub(cr, 128)) / 10000);
            const int32_t green = WrapAdd(WrapAdd(y, WrapMul(3441, WrapSub(128, cb)) / 10000),
                                          WrapMul(7139, WrapSub(128, cr)) / 10000);
            const int32_t blue = WrapAdd(y, WrapMul(17718, WrapSub(cb, 128)) / 10000);
            const size_t index = row_start + static_cast<size_t>(x0 + k);
            decoder->planes[0][index] = ClampSample(red);
            decoder->planes[1][index] = ClampSample(green);
            decoder->planes[2][index] = ClampSample(blue);
        }
    }
}

}  // namespace varnel
