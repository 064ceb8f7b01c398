// FastBitReader: the buffered bit reader of the fast decode path. It yields exactly the bits,
// the negated marker codes and the end-of-data result that JpegReader's ReadBits gives, but
// loads several bytes at a time into a buffer of the processor's word size. The block decoder
// (fast_huffman.cpp) holds `bits` and `count` in registers while it decodes a block and refills
// them itself, falling back to RefillSlow where a marker, a stuffed byte or the end of the image is
// near.
//
// The bit-level reads of JpegReader see the entropy-coded data as a run of data bytes (an
// 0xFF followed by its stuffed 0x00 counts as one data byte 0xFF) that ends at a barrier: a
// marker (0xFF followed by a non-zero byte, met when the first bit of that byte is due), an
// 0xFF that is the last byte of the image, or the end of the image. A read that needs a bit
// past the barrier takes every bit before it and returns the barrier's negative code; every
// later read returns it again. So the reference reader's state after any sequence of reads is
// a function of how many bits were taken since it last stood on a whole byte, and
// MaterialiseReader computes that state, so that the byte-level marker search can go on
// from exactly where the reference reader would stand.
#pragma once

#include <cstdint>

#include "jpeg_reader.h"

namespace varnel {

// The bit buffer is as wide as the processor's word: on a 32-bit processor every shift or mask
// of a 64-bit buffer costs two to four instructions.
#if UINTPTR_MAX > 0xFFFFFFFFu
using BitBuffer = uint64_t;
#else
using BitBuffer = uint32_t;
#endif
inline constexpr int32_t kBufferBits = 8 * static_cast<int32_t>(sizeof(BitBuffer));

struct FastBitReader {
    BitBuffer bits;       // the next bits, most significant first; zero past `count`
    int32_t count;        // bits of data held in `bits`
    int32_t barrier;      // 0 while data continues; else what ReadBits returns at the barrier
    bool barrier_steps;   // a failed read leaves the reference reader on the barrier's byte
    bool failed;          // a read has met the barrier
    const uint8_t* src;   // next byte of the image to load
    const uint8_t* end;   // one past the last byte of the image
    const uint8_t* sync;  // where the reader stood on a whole byte with nothing pending
    // Stuffed zeros passed over since `sync`: the data bytes loaded since then are
    // src - sync - stuffed, so that the refills need not count them.
    int64_t stuffed;
};

// Starts at the reference reader's position. The reader must stand on a whole byte with no
// stuffed zero pending (bit_index 7), as it does after every byte-level read.
void StartFastBits(FastBitReader* bits, const JpegReader* reader);

// Writes into `reader` the state that JpegReader's ReadBits would have reached after taking
// the same bits (cursor, bit_index, stuff_pending, valid and the byte counter).
void MaterialiseReader(const FastBitReader* bits, JpegReader* reader);

// Loads data bytes until the buffer has no room for another (more than kBufferBits - 8 bits
// are held) or the barrier is reached.
void RefillSlow(FastBitReader* bits);

}  // namespace varnel
