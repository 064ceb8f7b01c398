// What a JPEG header asks a decode to do, measured before decoding, so that the fuzz targets can
// pass over inputs whose cost is only their size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "jpeg_decoder.h"

namespace fuzzing {

struct JpegSize {
    bool attached = false;  // the header parsed up to the scan
    int64_t pixels = 0;     // width x height of the frame
    // Samples the scan decodes and transforms: whole MCUs of every component. A thin picture
    // with large sampling factors asks for up to 120 times its own pixels (an MCU 15 blocks
    // across for a picture one pixel wide), and the reference kernels spend 4096
    // multiplications on each block.
    int64_t samples = 0;
};

inline JpegSize MeasureJpeg(const uint8_t* data, size_t size) {
    JpegSize measured;
    varnel::JpegDecoder header;
    varnel::ConstructDecoder(&header);
    measured.attached = varnel::Attach(&header, data, static_cast<int32_t>(size)) == 0;
    measured.pixels = int64_t{header.width} * header.height;
    const varnel::McuLayout layout = varnel::ComputeMcuLayout(&header);
    int64_t blocks_per_mcu = 0;
    const int components = header.component_count == 1 ? 1 : 3;
    for (int i = 0; i < components; ++i) blocks_per_mcu += int64_t{layout.h[i]} * layout.v[i];
    measured.samples = int64_t{layout.mcu_cols} * layout.mcu_rows * blocks_per_mcu * 64;
    varnel::DestroyDecoder(&header);
    return measured;
}

// Pictures are decoded up to this size; larger claims only slow the search down, their time
// being linear in the size (scripts/worst-case-inputs.sh measures it), and the differential
// tests decode full-size pictures.
inline bool TooLargeToFuzz(const JpegSize& measured, int64_t max_pixels) {
    return measured.attached && (measured.pixels > max_pixels || measured.samples > 4 * max_pixels);
}

}  // namespace fuzzing
