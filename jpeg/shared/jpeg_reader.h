// JpegReader: a cursor over the in-memory file image, with byte-level reads for marker segments
// and bit-level reads (most significant bit first, stuffed zeros removed, markers detected) for
// entropy-coded data (ITU-T T.81, B.1.1.5 and F.1.2.3).
#pragma once

#include <cstdint>

namespace varnel {

// ReadBits reports the end of the image as if an EOI marker stood there.
inline constexpr int32_t kEndOfDataMarker = -0xD9;

struct JpegReader {
    int32_t* consumed;      // when set, counts every byte the cursor moves past
    const uint8_t* cursor;  // the current byte
    const uint8_t* end;     // one past the last byte of the image
    int32_t bit_index;      // next bit of the current byte: 7 .. 0; -1 when all are taken
    int32_t stuff_pending;  // the current byte is an 0xFF whose stuffed 0x00 is still ahead
    int32_t valid;          // cleared once a move leaves the cursor at or past the end
    const uint8_t* begin;   // first byte of the image: a backward Skip never leaves the image
    // What the first bit-level read that ReadBits could not serve met, for the decode's notes
    // (the reads do not look at it): 0 while every read was served, the code of the marker
    // that stood in the way, or kImageEnded.
    int32_t barrier_met;
};

// JpegReader::barrier_met when the image ended (or ended in a lone 0xFF) before the bits.
inline constexpr int32_t kImageEnded = -1;

void Init(JpegReader* reader, const uint8_t* start, int32_t length);
void Advance(JpegReader* reader);
int32_t ReadBits(JpegReader* reader, int32_t n);
int32_t ReadByte(JpegReader* reader);
uint16_t ReadWord(JpegReader* reader);
void ReadBytes(JpegReader* reader, uint8_t* destination, int32_t n);
void Skip(JpegReader* reader, int32_t n);
const uint8_t* Position(const JpegReader* reader);

}  // namespace varnel
