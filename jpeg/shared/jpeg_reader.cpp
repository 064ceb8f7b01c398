// JpegReader, shared by both decode paths: byte-level reads for the marker segments and the
// reference bit-level reads of entropy-coded data (ReadBits: most significant bit first,
// stuffed zeros removed, markers detected).
#include "jpeg_reader.h"

#include <cstring>

namespace varnel {

namespace {

// Bytes left from the cursor to the end of the image (0 when the cursor is at or past it).
int64_t Remaining(const JpegReader* reader) {
    return reader->cursor < reader->end ? reader->end - reader->cursor : 0;
}

// Notes the first read that could not be served (marker: its code, or kImageEnded) and
// returns what ReadBits gives for it.
int32_t Barrier(JpegReader* reader, int32_t marker) {
    if (reader->barrier_met == 0) reader->barrier_met = marker;
    return marker == kImageEnded ? kEndOfDataMarker : -marker;
}

void Count(JpegReader* reader, int32_t n) {
    if (reader->consumed != nullptr) {
        *reader->consumed = static_cast<int32_t>(static_cast<uint32_t>(*reader->consumed) +
                                                 static_cast<uint32_t>(n));
    }
}

// Drops the untaken bits of a partly read byte, or steps past a fully read one. A pending
// stuffed zero is not skipped: a byte-level read after bit-level reads starts on it.
void AlignToByte(JpegReader* reader) {
    if (reader->bit_index != 7) {
        Advance(reader);
        reader->bit_index = 7;
    }
}

}  // namespace

void Init(JpegReader* reader, const uint8_t* start, int32_t length) {
    reader->begin = start;
    reader->cursor = start;
    reader->end = length > 0 ? start + length : start;
    reader->bit_index = 7;
    reader->stuff_pending = 0;
    reader->valid = length >= 1 ? 1 : 0;
    reader->barrier_met = 0;
}

void Advance(JpegReader* reader) {
    if (reader->cursor < reader->end) ++reader->cursor;
    if (reader->cursor >= reader->end) reader->valid = 0;
    Count(reader, 1);
}

int32_t ReadBits(JpegReader* reader, int32_t n) {
    if (n <= 0) return 0;
    uint32_t result = 0;
    for (int32_t i = 0; i < n; ++i) {
        if (reader->bit_index < 0) {
            // Step onto the next byte, over the stuffed zero that follows an 0xFF data byte.
            // When no byte is left, the end of the image reads like an EOI marker and the
            // reader stays where it is.
            const int64_t step = reader->stuff_pending ? 2 : 1;
            if (Remaining(reader) <= step) return Barrier(reader, kImageEnded);
            reader->bit_index = 7;
            Advance(reader);
            if (reader->stuff_pending) {
                Advance(reader);
                reader->stuff_pending = 0;
            }
        }
        if (reader->bit_index == 7) {
            // First bit of a byte: an 0xFF here is either a data byte followed by a stuffed
            // zero, or the first byte of a marker, which is reported and not consumed.
            if (Remaining(reader) < 1) return Barrier(reader, kImageEnded);
            if (reader->cursor[0] == 0xFF) {
                if (Remaining(reader) < 2) return Barrier(reader, kImageEnded);
                const uint8_t next = reader->cursor[1];
                if (next != 0) return Barrier(reader, next);
                reader->stuff_pending = 1;
            }
        }
        const uint32_t bit = (reader->cursor[0] >> reader->bit_index) & 1u;
        result = (result << 1) | bit;
        --reader->bit_index;
    }
    return static_cast<int32_t>(result);
}

int32_t ReadByte(JpegReader* reader) {
    if (!reader->valid) return 0;
    AlignToByte(reader);
    if (Remaining(reader) < 1) return 0;
    const int32_t byte = reader->cursor[0];
    Advance(reader);
    reader->stuff_pending = 0;
    return byte;
}

uint16_t ReadWord(JpegReader* reader) {
    const int32_t high = ReadByte(reader);
    const int32_t low = ReadByte(reader);
    return static_cast<uint16_t>((high << 8) | low);
}

void ReadBytes(JpegReader* reader, uint8_t* destination, int32_t n) {
    AlignToByte(reader);
    if (n < 0 || n > Remaining(reader)) return;
    if (n > 0) std::memcpy(destination, reader->cursor, static_cast<size_t>(n));
    reader->cursor += n;
    if (reader->cursor >= reader->end) reader->valid = 0;
    Count(reader, n);
}

void Skip(JpegReader* reader, int32_t n) {
    if (n > Remaining(reader)) return;
    if (n < 0 && -static_cast<int64_t>(n) > reader->cursor - reader->begin) return;
    reader->cursor += n;
    if (reader->cursor == reader->end) reader->valid = 0;
    Count(reader, n);
}

const uint8_t* Position(const JpegReader* reader) {
    if (reader->bit_index == 7) return reader->cursor;
    if (reader->cursor < reader->end) return reader->cursor + 1;
    return nullptr;
}

}  // namespace varnel
