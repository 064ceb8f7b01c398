// The exact fast kernels' bit reader (fast_bit_reader.h): the bits, marker codes and
// end-of-data results of JpegReader's ReadBits, taken from a buffer of the processor's word size
// refilled several bytes at a time.
#include "fast_bit_reader.h"

namespace varnel {

void StartFastBits(FastBitReader* bits, const JpegReader* reader) {
    bits->bits = 0;
    bits->count = 0;
    bits->barrier = 0;
    bits->barrier_steps = false;
    bits->failed = false;
    bits->src = reader->cursor;
    bits->end = reader->end;
    bits->sync = reader->cursor;
    bits->stuffed = 0;
}

void RefillSlow(FastBitReader* bits) {
    while (bits->count <= kBufferBits - 8 && bits->barrier == 0) {
        const uint8_t* p = bits->src;
        if (p >= bits->end) {
            // No byte to step onto: the reference stays on the last data byte.
            bits->barrier = kEndOfDataMarker;
            bits->barrier_steps = false;
            return;
        }
        if (p[0] == 0xFF) {
            if (bits->end - p < 2) {
                // An 0xFF that is the last byte of the image reads as the end of the data.
                bits->barrier = kEndOfDataMarker;
                bits->barrier_steps = true;
                return;
            }
            if (p[1] != 0) {
                bits->barrier = -static_cast<int32_t>(p[1]);
                bits->barrier_steps = true;
                return;
            }
            bits->src = p + 2;  // a data byte 0xFF and its stuffed zero
            ++bits->stuffed;
        } else {
            bits->src = p + 1;
        }
        bits->bits |= static_cast<BitBuffer>(p[0]) << (kBufferBits - 8 - bits->count);
        bits->count += 8;
    }
}

void MaterialiseReader(const FastBitReader* bits, JpegReader* reader) {
    const uint8_t* cursor = bits->sync;
    int32_t bit_index = 7;
    int32_t stuff_pending = 0;
    const int64_t loaded = (bits->src - bits->sync) - bits->stuffed;  // data bytes
    const int64_t taken = 8 * loaded - bits->count;
    if (bits->failed && bits->barrier_steps) {
        cursor = bits->src;  // on the marker's 0xFF, or on the last byte 0xFF
    } else if (taken > 0) {
        // The reference stays on the byte that held the last bit taken until the next bit
        // is due. Walk back over the data bytes still held (and the one being read): in the
        // image, an 0x00 right after an 0xFF is that 0xFF's stuffed zero.
        int32_t back = bits->count / 8 + 1;
        const uint8_t* p = bits->src;
        while (back-- > 0) {
            if (p - bits->sync >= 2 && p[-1] == 0x00 && p[-2] == 0xFF) {
                p -= 2;
            } else {
                p -= 1;
            }
        }
        cursor = p;
        bit_index = bits->count % 8 - 1;
        stuff_pending = *p == 0xFF ? 1 : 0;
    }
    const int64_t moved = cursor - reader->cursor;
    if (reader->consumed != nullptr) {
        *reader->consumed = static_cast<int32_t>(static_cast<uint32_t>(*reader->consumed) +
                                                 static_cast<uint32_t>(moved));
    }
    reader->cursor = cursor;
    reader->bit_index = bit_index;
    reader->stuff_pending = stuff_pending;
    if (cursor >= reader->end) reader->valid = 0;
}

}  // namespace varnel
