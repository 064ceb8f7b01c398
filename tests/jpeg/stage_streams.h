// Hand-built JPEG byte streams for the stage tests: a bit writer for entropy-coded data (most
// significant bit first, a stuffed 0x00 after every 0xFF), segment builders, two simple Huffman
// tables whose codes can be written down by hand, an exact-size image buffer so that
// AddressSanitizer sees any read past the end, and a block of coefficients with its samples.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

#include "jpeg_decoder.h"

namespace stagetest {

using Bytes = std::vector<uint8_t>;

// --- Entropy-coded data ---

struct BitWriter {
    Bytes bytes;
    uint32_t pending = 0;  // bits not yet emitted, right-aligned
    int pending_count = 0;
};

inline void EmitByte(BitWriter* writer, uint8_t byte) {
    writer->bytes.push_back(byte);
    if (byte == 0xFF) writer->bytes.push_back(0x00);
}

// Appends the low `count` bits of `value`, most significant first.
inline void PutBits(BitWriter* writer, uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        writer->pending = (writer->pending << 1) | ((value >> i) & 1u);
        if (++writer->pending_count == 8) {
            EmitByte(writer, static_cast<uint8_t>(writer->pending));
            writer->pending = 0;
            writer->pending_count = 0;
        }
    }
}

// Fills the last byte with 1 bits, as an encoder does before a marker.
inline void PadToByte(BitWriter* writer) {
    while (writer->pending_count != 0) PutBits(writer, 1, 1);
}

// Magnitude category of a coefficient value (T.81 F.1.2.1): the bit length of |value|.
inline int Category(int32_t value) {
    uint32_t magnitude = value < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(value))
                                   : static_cast<uint32_t>(value);
    int size = 0;
    while (magnitude != 0) {
        ++size;
        magnitude >>= 1;
    }
    return size;
}

// The additional bits of a value of the given category: the value itself when positive, the
// value minus one (in `size` bits) when negative.
inline void PutMagnitude(BitWriter* writer, int32_t value) {
    const int size = Category(value);
    const uint32_t bits =
        value >= 0 ? static_cast<uint32_t>(value) : static_cast<uint32_t>(value + (1 << size) - 1);
    PutBits(writer, bits, size);
}

// --- The two tables of these tests ---
// DC: the 17 symbols 0 to 16, all with 5-bit codes, so the code of category c is c itself.
// AC: the 255 symbols 0x00 to 0xFE, all with 8-bit codes, so the code of symbol rs is rs.

inline constexpr int kDcCodeBits = 5;
inline constexpr int kAcCodeBits = 8;

inline void PutDcSymbol(BitWriter* writer, int category) {
    PutBits(writer, static_cast<uint32_t>(category), kDcCodeBits);
}
inline void PutAcSymbol(BitWriter* writer, int rs) {
    PutBits(writer, static_cast<uint32_t>(rs), kAcCodeBits);
}

// A DC difference: its category's code, then its magnitude bits.
inline void PutDc(BitWriter* writer, int32_t difference) {
    PutDcSymbol(writer, Category(difference));
    PutMagnitude(writer, difference);
}

// An AC coefficient after `run` zeros.
inline void PutAc(BitWriter* writer, int run, int32_t value) {
    PutAcSymbol(writer, (run << 4) | Category(value));
    PutMagnitude(writer, value);
}

inline void PutEndOfBlock(BitWriter* writer) {
    PutAcSymbol(writer, 0x00);
}

// A block whose only non-zero coefficient is its DC difference.
inline void PutFlatBlock(BitWriter* writer, int32_t difference) {
    PutDc(writer, difference);
    PutEndOfBlock(writer);
}

// --- Segments ---

inline void Append(Bytes* out, std::initializer_list<int> values) {
    for (int value : values) out->push_back(static_cast<uint8_t>(value));
}

inline void Append(Bytes* out, const Bytes& more) {
    out->insert(out->end(), more.begin(), more.end());
}

inline void PutWord(Bytes* out, int value) {
    out->push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
    out->push_back(static_cast<uint8_t>(value & 0xFF));
}

// A marker and a segment whose length field counts itself and the payload.
inline void Segment(Bytes* out, int code, const Bytes& payload) {
    Append(out, {0xFF, code});
    PutWord(out, static_cast<int>(payload.size()) + 2);
    Append(out, payload);
}

inline void Soi(Bytes* out) {
    Append(out, {0xFF, 0xD8});
}
inline void Eoi(Bytes* out) {
    Append(out, {0xFF, 0xD9});
}

// One 8-bit quantisation table whose every entry is `value`.
inline void DqtFlat(Bytes* out, int identifier, int value) {
    Bytes payload{static_cast<uint8_t>(identifier)};
    payload.insert(payload.end(), 64, static_cast<uint8_t>(value));
    Segment(out, 0xDB, payload);
}

struct Component {
    int id;
    int h;
    int v;
    int tq;
};

inline void Sof0(Bytes* out, int precision, int height, int width,
                 std::initializer_list<Component> components) {
    Bytes payload{static_cast<uint8_t>(precision)};
    PutWord(&payload, height);
    PutWord(&payload, width);
    payload.push_back(static_cast<uint8_t>(components.size()));
    for (const Component& c : components) {
        Append(&payload, {c.id, (c.h << 4) | c.v, c.tq});
    }
    Segment(out, 0xC0, payload);
}

struct ScanEntry {
    int cs;
    int td;
    int ta;
};

inline void Sos(Bytes* out, std::initializer_list<ScanEntry> entries) {
    Bytes payload{static_cast<uint8_t>(entries.size())};
    for (const ScanEntry& e : entries) Append(&payload, {e.cs, (e.td << 4) | e.ta});
    Append(&payload, {0, 63, 0});
    Segment(out, 0xDA, payload);
}

// The table bytes of one DHT table: class and identifier, 16 counts, the symbols.
inline Bytes HuffmanTableBytes(int table_class, int identifier, const int (&counts)[16],
                               const Bytes& symbols) {
    Bytes table{static_cast<uint8_t>((table_class << 4) | identifier)};
    for (int count : counts) table.push_back(static_cast<uint8_t>(count));
    Append(&table, symbols);
    return table;
}

inline Bytes DcTableBytes(int identifier) {
    int counts[16] = {};
    counts[kDcCodeBits - 1] = 17;
    Bytes symbols;
    for (int s = 0; s <= 16; ++s) symbols.push_back(static_cast<uint8_t>(s));
    return HuffmanTableBytes(0, identifier, counts, symbols);
}

inline Bytes AcTableBytes(int identifier) {
    int counts[16] = {};
    counts[kAcCodeBits - 1] = 255;
    Bytes symbols;
    for (int s = 0; s <= 0xFE; ++s) symbols.push_back(static_cast<uint8_t>(s));
    return HuffmanTableBytes(1, identifier, counts, symbols);
}

// DHT segments with the DC and AC tables of these tests under identifier 0.
inline void StandardTables(Bytes* out) {
    Segment(out, 0xC4, DcTableBytes(0));
    Segment(out, 0xC4, AcTableBytes(0));
}

// --- Running the decoder ---

// The image in a heap block of exactly its size.
struct Image {
    uint8_t* data = nullptr;
    int32_t size = 0;
    explicit Image(const Bytes& bytes)
        : data(static_cast<uint8_t*>(std::calloc(bytes.empty() ? 1 : bytes.size(), 1))),
          size(static_cast<int32_t>(bytes.size())) {
        if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    }
    ~Image() { std::free(data); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
};

// A decoder record that lives for one test.
struct Decoder {
    varnel::JpegDecoder record;
    Decoder() { varnel::ConstructDecoder(&record); }
    ~Decoder() { varnel::DestroyDecoder(&record); }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
    varnel::JpegDecoder* operator->() { return &record; }
    varnel::JpegDecoder* get() { return &record; }
};

// SOI, the segments that `segments` appends, EOI.
inline Bytes StreamOf(const std::function<void(Bytes*)>& segments) {
    Bytes bytes;
    Soi(&bytes);
    segments(&bytes);
    Eoi(&bytes);
    return bytes;
}

// A stream built and parsed in one call: the image of StreamOf(segments), of exactly its size,
// and a decoder attached to it whose header parse must succeed (a failure is reported on the
// test). The image lives as long as the decoder.
struct ParsedStream {
    Image image;
    Decoder decoder;
    explicit ParsedStream(const std::function<void(Bytes*)>& segments)
        : ParsedStream(StreamOf(segments)) {}
    // The stream of exactly these bytes, for streams that lack SOI or EOI or end early.
    explicit ParsedStream(const Bytes& bytes) : image(bytes) {
        EXPECT_EQ(varnel::Attach(decoder.get(), image.data, image.size), 0)
            << "the header parse of the stream failed";
    }
    varnel::JpegDecoder* operator->() { return decoder.get(); }
    varnel::JpegDecoder* get() { return decoder.get(); }
};

inline ParsedStream ParseSegments(const std::function<void(Bytes*)>& segments) {
    return ParsedStream(segments);
}

// A reader over the image alone, counting into `counter` when it is given.
inline varnel::JpegReader ReaderOver(const Image& image, int32_t* counter = nullptr) {
    varnel::JpegReader reader{};
    reader.consumed = counter;
    varnel::Init(&reader, image.data, image.size);
    return reader;
}

// A block of DC -37 and six AC coefficients, written into `natural` (64 coefficients, natural
// order), which the IDCT tests transform and a scan test decodes from a stream.
inline void MixedBlock(int32_t* natural) {
    std::fill(natural, natural + 64, 0);
    natural[0] = -37;
    natural[1] = 23;
    natural[8] = -11;
    natural[9] = 5;
    natural[2] = 7;
    natural[63] = 3;
    natural[8 * 3 + 4] = -9;
}

// The mixed block's samples through the integer IDCT with the truncated table, worked out
// separately.
inline constexpr int32_t kMixedBlockSamples[64] = {
    127, 128, 126, 120, 119, 120, 119, 117, 128, 127, 124, 123, 120, 119, 118, 119,
    129, 125, 124, 124, 123, 118, 118, 121, 129, 127, 124, 125, 122, 120, 119, 121,
    128, 128, 127, 122, 122, 122, 123, 121, 128, 129, 127, 124, 121, 125, 124, 121,
    128, 128, 127, 124, 124, 123, 124, 123, 130, 127, 125, 127, 125, 123, 122, 125};

}  // namespace stagetest
