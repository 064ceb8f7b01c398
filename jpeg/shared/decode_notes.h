// What a decode noticed about its file without stopping: the entropy-coded data ran out, or a
// marker stood in it, before the last block. The decode goes on as it must (the blocks after
// that point decode from whatever the reads give), so the bitmap comes back as if nothing had
// happened; the tools read these notes from the decoder record and warn the person.
#pragma once

#include <cstdint>
#include <string>

#include "jpeg_decoder.h"

namespace varnel {

struct DecodeNotes {
    bool data_ended = false;  // a block's read met a marker or the end of the image
    int32_t first_row = 0;    // the picture rows of the MCU row where that happened,
    int32_t last_row = 0;     //   counted from 0 at the top, the last clipped to the picture
    int32_t height = 0;       // the picture's height
    int32_t marker = 0;       // the marker's code; 0 when the image ended
};

// The notes of a decoder record after its scan (Decode or DecodeScanToRows).
DecodeNotes TakeDecodeNotes(const JpegDecoder* decoder);

// One line for a person, rows counted from 1: "the picture data ends before its last block, at
// rows 17 to 32 of 48: ...". Empty when there is nothing to say.
std::string DescribeDecodeNotes(const DecodeNotes& notes);

}  // namespace varnel
