// The streaming scan decode of the fast path: the same picture as DecodeScan followed by
// LoadJpeg's row assembly, written MCU row by MCU row straight into bottom-up bitmap rows.
// Its work areas hold one MCU row of samples per component and the lookup tables; there are
// no full-size planes and no separate pixel block.
#pragma once

#include <cstdint>

#include "fast_kernels.h"
#include "jpeg_decoder.h"

namespace varnel {

// Decodes the scan of a record for which IsDecodable holds into `rows`: height rows of
// `stride` bytes, the top picture row last, width blue-green-red pixels each followed by
// zero bytes up to the stride. Returns false, having written nothing that matters, when its
// work areas cannot be allocated. The record's reader ends where DecodeScan leaves it.
// `kernels` are those of a set that KernelSetRuns allows (LoadJpeg passes the best one's).
bool DecodeScanToRows(JpegDecoder* decoder, uint8_t* rows, int64_t stride,
                      const FastKernels& kernels);

}  // namespace varnel
