// Huffman tables from DHT segments, symbol decoding bit by bit, and the entropy decoding of one
// block into coefficients: EXTEND, runs, ZRL, end of block, and the early ends of a block at a
// marker, at the end of the data and at symbols no block can hold.
#include <gtest/gtest.h>

#include <climits>
#include <ostream>

#include "stage_streams.h"

namespace {

using stagetest::Append;
using stagetest::BitWriter;
using stagetest::Bytes;
using stagetest::Decoder;
using stagetest::Image;
using stagetest::PutBits;
using stagetest::Segment;
using varnel::zigzag_order;

// SOI, optionally the tables of these tests, and a scan header of `entries` components that
// all use DC and AC table 0; then the given entropy-coded bytes.
Bytes ScanStream(const Bytes& entropy, int entries = 1, bool tables = true) {
    Bytes bytes;
    stagetest::Soi(&bytes);
    if (tables) stagetest::StandardTables(&bytes);
    Bytes sos{static_cast<uint8_t>(entries)};
    for (int i = 0; i < entries; ++i) Append(&sos, {i + 1, 0x00});
    Append(&sos, {0, 63, 0});
    Segment(&bytes, 0xDA, sos);
    Append(&bytes, entropy);
    return bytes;
}

Bytes Finish(BitWriter* writer) {
    stagetest::PadToByte(writer);
    return writer->bytes;
}

// What the coefficients hold before a block is decoded, so that what the block left alone shows.
constexpr int32_t kFiller = 99;

// A stream attached up to its scan: the header parse must succeed and find the SOS (a failure is
// reported on the test). The image lives as long as the decoder.
struct AttachedScan {
    Image image;
    Decoder decoder;
    explicit AttachedScan(const Bytes& bytes) : image(bytes) {
        EXPECT_EQ(varnel::Attach(decoder.get(), image.data, image.size), 0);
        EXPECT_TRUE(decoder->segment_flags & varnel::kSegmentSOS);
    }
    varnel::JpegDecoder* operator->() { return decoder.get(); }
    varnel::JpegDecoder* get() { return decoder.get(); }

    void FillCoefficients(int32_t value) {
        for (int32_t& c : decoder->coef) c = value;
    }
    // Component 0's predictor set to `predictor` and every coefficient to the filler, then one
    // block of component 0 decoded.
    void DecodeOverFiller(int32_t predictor = 0) {
        FillCoefficients(kFiller);
        decoder->dc_pred[0] = predictor;
        varnel::DecodeBlock(decoder.get(), 0);
    }
    // The coefficient at zig-zag position k.
    int32_t At(int k) { return decoder->coef[zigzag_order[k]]; }
    int32_t Huffman(int table_class, int component) {
        return varnel::DecodeHuffman(decoder.get(), table_class, component);
    }
    int32_t Bits(int count) { return varnel::ReadBits(decoder->reader, count); }
};

// A scan over `entropy` with the tables of these tests; see ScanStream.
struct Scan : AttachedScan {
    explicit Scan(const Bytes& entropy, int entries = 1, bool tables = true)
        : AttachedScan(ScanStream(entropy, entries, tables)) {}
};

// Entropy-coded bytes that stop after the bits in `writer`, which must fill `bytes` bytes
// exactly, and then a marker.
Bytes CutByMarker(const BitWriter& writer, size_t bytes, int marker) {
    Bytes entropy = writer.bytes;
    EXPECT_EQ(entropy.size(), bytes) << "the bits do not end where the marker is meant to cut them";
    Append(&entropy, {0xFF, marker});
    return entropy;
}

// The predictor and all 64 coefficients as DecodeOverFiller(predictor) left them before the
// block: nothing of the block was kept.
void ExpectUntouched(AttachedScan* scan, int32_t predictor) {
    EXPECT_EQ((*scan)->dc_pred[0], predictor);
    for (int i = 0; i < 64; ++i) EXPECT_EQ((*scan)->coef[i], kFiller) << i;
}

// --- DHT ---

// Entry k of a table: its code length, its code and its symbol.
void ExpectEntry(const varnel::HuffmanTable& table, int k, int size, int code, int symbol) {
    EXPECT_EQ(table.sizes[k], size) << k;
    EXPECT_EQ(table.codes[k], code) << k;
    EXPECT_EQ(table.values[k], symbol) << k;
}

TEST(Dht, DcAndAcTablesInOneSegment) {
    auto parsed = stagetest::ParseSegments([](Bytes* out) {
        Bytes payload = stagetest::DcTableBytes(0);
        Append(&payload, stagetest::AcTableBytes(1));
        Segment(out, 0xC4, payload);
    });
    EXPECT_EQ(parsed->segment_flags, varnel::kSegmentDHT);
    const varnel::HuffmanTable& dc = parsed->huffman[0][0];
    ASSERT_EQ(dc.count, 17);
    ExpectEntry(dc, 16, 5, 16, 16);
    const varnel::HuffmanTable& ac = parsed->huffman[1][1];
    ASSERT_EQ(ac.count, 255);
    EXPECT_EQ(ac.sizes[0], 8);
    EXPECT_EQ(ac.codes[254], 254);
    EXPECT_EQ(ac.values[0xF0], 0xF0);
    EXPECT_EQ(parsed->huffman[1][0].count, 0);
    EXPECT_EQ(parsed->huffman[0][1].count, 0);
}

// The code lengths of the luminance DC table of the usual encoders: twelve symbols, 2 to 9 bits.
constexpr int kLuminanceDcCounts[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};

// The twelve symbols first, first + 1, ... for the table above.
Bytes TwelveSymbolsFrom(int first) {
    Bytes symbols;
    for (int s = 0; s < 12; ++s) symbols.push_back(static_cast<uint8_t>(first + s));
    return symbols;
}

TEST(Dht, CanonicalCodesOfTheLuminanceDcTable) {
    auto parsed = stagetest::ParseSegments([](Bytes* out) {
        Segment(out, 0xC4,
                stagetest::HuffmanTableBytes(0, 2, kLuminanceDcCounts, TwelveSymbolsFrom(0)));
    });
    const varnel::HuffmanTable& table = parsed->huffman[0][2];
    ASSERT_EQ(table.count, 12);
    // 00; 010, 011, 100, 101, 110; 1110; 11110; ... 111111110.
    const int sizes[12] = {2, 3, 3, 3, 3, 3, 4, 5, 6, 7, 8, 9};
    const int codes[12] = {0b00,   0b010,   0b011,    0b100,     0b101,      0b110,
                           0b1110, 0b11110, 0b111110, 0b1111110, 0b11111110, 0b111111110};
    for (int k = 0; k < 12; ++k) ExpectEntry(table, k, sizes[k], codes[k], k);
}

constexpr int kOneCode[16] = {1};

TEST(Dht, TableByteOutOfRangeEndsTheSegment) {
    auto parsed = stagetest::ParseSegments([](Bytes* out) {
        Bytes payload = stagetest::HuffmanTableBytes(1, 3, kOneCode, Bytes{0x42});  // 0x13: kept
        Append(&payload, stagetest::HuffmanTableBytes(0, 4, kOneCode, Bytes{0x43}));
        Append(&payload, stagetest::HuffmanTableBytes(0, 1, kOneCode, Bytes{0x44}));
        Segment(out, 0xC4, payload);
        Segment(out, 0xC4, stagetest::HuffmanTableBytes(2, 0, kOneCode, Bytes{0x45}));
    });
    EXPECT_EQ(parsed->segment_flags, varnel::kSegmentDHT);
    ASSERT_EQ(parsed->huffman[1][3].count, 1);
    EXPECT_EQ(parsed->huffman[1][3].values[0], 0x42);
    EXPECT_EQ(parsed->huffman[0][1].count, 0);
    EXPECT_EQ(parsed->huffman[0][0].count, 0);
    EXPECT_EQ(parsed->in_image, 0);
}

TEST(Dht, LaterTableReplacesEarlierOrLeavesItUndefined) {
    auto parsed = stagetest::ParseSegments([](Bytes* out) {
        const int three[16] = {0, 3};
        const int none[16] = {};
        Segment(out, 0xC4, stagetest::HuffmanTableBytes(0, 1, three, Bytes{7, 8, 9}));
        Segment(out, 0xC4, stagetest::HuffmanTableBytes(0, 1, kOneCode, Bytes{5}));
        Segment(out, 0xC4, stagetest::HuffmanTableBytes(1, 2, three, Bytes{7, 8, 9}));
        Segment(out, 0xC4, stagetest::HuffmanTableBytes(1, 2, none, Bytes{}));
    });
    const varnel::HuffmanTable& replaced = parsed->huffman[0][1];
    ASSERT_EQ(replaced.count, 1);
    ExpectEntry(replaced, 0, 1, 0, 5);
    const varnel::HuffmanTable& emptied = parsed->huffman[1][2];
    EXPECT_EQ(emptied.count, 0);
    EXPECT_EQ(emptied.sizes, nullptr);
    EXPECT_EQ(emptied.codes, nullptr);
    EXPECT_EQ(emptied.values, nullptr);
}

TEST(Dht, LengthBelowTwoParsesExactlyOneTable) {
    auto parsed = stagetest::ParseSegments([](Bytes* out) {
        Append(out, {0xFF, 0xC4, 0x00, 0x00});
        Append(out, stagetest::HuffmanTableBytes(0, 0, kOneCode, Bytes{0x21}));
        Append(out, stagetest::HuffmanTableBytes(0, 1, kOneCode, Bytes{0x22}));
    });
    ASSERT_EQ(parsed->huffman[0][0].count, 1);
    EXPECT_EQ(parsed->huffman[0][0].values[0], 0x21);
    EXPECT_EQ(parsed->huffman[0][1].count, 0);
    EXPECT_EQ(parsed->in_image, 0);
}

TEST(Dht, SymbolsBeyondTheSegmentAreReadFromWhatFollows) {
    auto parsed = stagetest::ParseSegments([](Bytes* out) {
        const int two[16] = {0, 2};
        Segment(
            out, 0xC4,
            stagetest::HuffmanTableBytes(0, 0, two, Bytes{}));  // its length leaves the symbols out
        Append(out, {0xFF, 0xDD, 0x00, 0x04, 0x00, 0x07});
    });
    ASSERT_EQ(parsed->huffman[0][0].count, 2);
    EXPECT_EQ(parsed->huffman[0][0].values[0], 0xFF);
    EXPECT_EQ(parsed->huffman[0][0].values[1], 0xDD);
    EXPECT_EQ(parsed->restart_interval, 0);
    EXPECT_EQ(parsed->in_image, 0);
}

// --- DecodeHuffman ---

// SOI, the DHT segments of `tables`, a scan header of `entries`, then the entropy-coded bytes.
Bytes TablesAndScan(std::initializer_list<Bytes> tables,
                    std::initializer_list<stagetest::ScanEntry> entries, const Bytes& entropy) {
    Bytes bytes;
    stagetest::Soi(&bytes);
    for (const Bytes& table : tables) Segment(&bytes, 0xC4, table);
    stagetest::Sos(&bytes, entries);
    Append(&bytes, entropy);
    return bytes;
}

TEST(DecodeHuffman, UndefinedTableGivesZeroAndReadsNothing) {
    Scan scan(Bytes{0x5A}, 1, false);
    EXPECT_EQ(scan.Huffman(0, 0), 0);
    EXPECT_EQ(scan.Huffman(1, 0), 0);
    EXPECT_EQ(scan.Bits(8), 0x5A);
}

TEST(DecodeHuffman, UnmatchedBitsEndAfterTheLongestCode) {
    BitWriter writer;
    PutBits(&writer, 0b011, 3);        // symbol 0x42
    PutBits(&writer, 0b111111110, 9);  // symbol 0x4B
    PutBits(&writer, 0b00, 2);         // symbol 0x40
    PutBits(&writer, 0x1FF, 9);        // no code: symbol 0 after nine bits
    PutBits(&writer, 0x2D, 7);
    AttachedScan scan(TablesAndScan(
        {stagetest::HuffmanTableBytes(0, 0, kLuminanceDcCounts, TwelveSymbolsFrom(0x40))},
        {{1, 0, 0}}, Finish(&writer)));
    EXPECT_EQ(scan.Huffman(0, 0), 0x42);
    EXPECT_EQ(scan.Huffman(0, 0), 0x4B);
    EXPECT_EQ(scan.Huffman(0, 0), 0x40);
    EXPECT_EQ(scan.Huffman(0, 0), 0);
    EXPECT_EQ(scan.Bits(7), 0x2D);
}

TEST(DecodeHuffman, SingleOneBitCode) {
    AttachedScan scan(TablesAndScan({stagetest::HuffmanTableBytes(1, 0, kOneCode, Bytes{0x42})},
                                    {{1, 0, 0}}, Bytes{0x80}));
    EXPECT_EQ(scan.Huffman(1, 0), 0);  // bit 1 matches nothing
    EXPECT_EQ(scan->reader->bit_index, 6);
    EXPECT_EQ(scan.Huffman(1, 0), 0x42);
    EXPECT_EQ(scan->reader->bit_index, 5);
}

TEST(DecodeHuffman, TablesChosenByTheScanEntryOfTheComponent) {
    AttachedScan scan(TablesAndScan({stagetest::HuffmanTableBytes(0, 2, kOneCode, Bytes{0x12}),
                                     stagetest::HuffmanTableBytes(1, 1, kOneCode, Bytes{0x34})},
                                    {{1, 0, 0}, {2, 2, 1}}, Bytes{0x00}));
    EXPECT_EQ(scan.Huffman(0, 1), 0x12);
    EXPECT_EQ(scan.Huffman(1, 1), 0x34);
    EXPECT_EQ(scan.Huffman(0, 0), 0);  // table 0 undefined
    EXPECT_EQ(scan->reader->bit_index, 5);
}

TEST(DecodeHuffman, MarkerInsideASymbolIsPassedOn) {
    BitWriter writer;
    stagetest::PutDcSymbol(&writer, 2);
    PutBits(&writer, 0b000, 3);  // three bits of the next five-bit code, then a marker
    Scan scan(CutByMarker(writer, 1, 0xD3));
    EXPECT_EQ(scan.Huffman(0, 0), 2);
    EXPECT_EQ(scan.Huffman(0, 0), -0xD3);
    EXPECT_EQ(scan.Huffman(1, 0), -0xD3);
}

// --- DecodeBlock ---

TEST(DecodeBlock, ExtendOfTheDcDifference) {
    BitWriter writer;
    const struct {
        int size;
        uint32_t bits;
        int32_t difference;
    } cases[] = {{1, 0b0, -1},   {1, 0b1, 1},       {3, 0b010, -5},  {3, 0b101, 5},
                 {11, 0, -2047}, {11, 0x7FF, 2047}, {15, 0, -32767}, {0, 0, 0}};
    for (const auto& c : cases) {
        stagetest::PutDcSymbol(&writer, c.size);
        PutBits(&writer, c.bits, c.size);
        stagetest::PutEndOfBlock(&writer);
    }
    Scan scan(Finish(&writer));
    int32_t predictor = 0;
    for (const auto& c : cases) {
        varnel::DecodeBlock(scan.get(), 0);
        predictor += c.difference;
        EXPECT_EQ(scan->dc_pred[0], predictor) << c.size << " " << c.bits;
        EXPECT_EQ(scan->coef[0], predictor);
    }
}

TEST(DecodeBlock, AcValuesRunsAndTheEndOfBlock) {
    BitWriter writer;
    stagetest::PutDc(&writer, 0);
    stagetest::PutAcSymbol(&writer, 0x23);  // two zeros, then size 3 with bits 010: -5
    PutBits(&writer, 0b010, 3);
    stagetest::PutAcSymbol(&writer, 0x01);  // size 1 with bit 1: 1
    PutBits(&writer, 0b1, 1);
    stagetest::PutAcSymbol(&writer, 0xF0);  // sixteen zeros
    stagetest::PutAcSymbol(&writer, 0x1A);  // one zero, then size 10
    PutBits(&writer, 0x3FF, 10);
    stagetest::PutEndOfBlock(&writer);
    PutBits(&writer, 0x5A, 8);
    Scan scan(Finish(&writer));
    scan.DecodeOverFiller(40);
    EXPECT_EQ(scan->coef[0], 40);
    for (int k = 1; k < 64; ++k) {
        const int32_t expected = k == 3 ? -5 : k == 4 ? 1 : k == 22 ? 1023 : 0;
        EXPECT_EQ(scan.At(k), expected) << k;
    }
    EXPECT_EQ(scan.Bits(8), 0x5A);
}

TEST(DecodeBlock, EndOfBlockAtPositionOneClearsEveryAcCoefficient) {
    BitWriter writer;
    stagetest::PutFlatBlock(&writer, -3);
    Scan scan(Finish(&writer));
    scan.DecodeOverFiller();
    EXPECT_EQ(scan->coef[0], -3);
    for (int i = 1; i < 64; ++i) EXPECT_EQ(scan->coef[i], 0) << i;
}

// Flat blocks, one for each DC difference in turn.
Bytes FlatBlocks(std::initializer_list<int32_t> differences) {
    BitWriter writer;
    for (int32_t difference : differences) stagetest::PutFlatBlock(&writer, difference);
    return Finish(&writer);
}

TEST(DecodeBlock, ComponentsKeepSeparatePredictors) {
    Scan scan(FlatBlocks({5, -3, 2, 100}), 3);
    varnel::DecodeBlock(scan.get(), 0);
    varnel::DecodeBlock(scan.get(), 1);
    varnel::DecodeBlock(scan.get(), 0);
    EXPECT_EQ(scan->dc_pred[0], 7);
    EXPECT_EQ(scan->dc_pred[1], -3);
    EXPECT_EQ(scan->dc_pred[2], 0);
    EXPECT_EQ(scan->coef[0], 7);
    varnel::DecodeBlock(scan.get(), 2);
    EXPECT_EQ(scan->dc_pred[2], 100);
    EXPECT_EQ(scan->dc_pred[0], 7);
}

TEST(DecodeBlock, PredictorWrapsAroundModulo32Bits) {
    Scan scan(FlatBlocks({1, -2}));
    scan->dc_pred[0] = INT32_MAX;
    varnel::DecodeBlock(scan.get(), 0);
    EXPECT_EQ(scan->dc_pred[0], INT32_MIN);
    varnel::DecodeBlock(scan.get(), 0);
    EXPECT_EQ(scan->dc_pred[0], INT32_MAX - 1);
}

// Blocks that end before position 63, one row per case: AC values of 1 at positions 1 to
// ones_through, then `symbol` with `extra_count` additional bits `extra`, then the byte 0x5A,
// which must be what is read next. The positions after ones_through hold `rest`: 0 where the
// run wrote zeros, 99 (the filler) where nothing was written.
struct EarlyEndCase {
    const char* name;
    int ones_through;
    int symbol;
    uint32_t extra;
    int extra_count;
    int32_t rest;
};

// Names the row in the test list and in failures.
void PrintTo(const EarlyEndCase& row, std::ostream* out) {
    *out << row.name;
}

class DecodeBlockEnds : public ::testing::TestWithParam<EarlyEndCase> {};

TEST_P(DecodeBlockEnds, WhereTheSymbolSays) {
    const EarlyEndCase& row = GetParam();
    BitWriter writer;
    stagetest::PutDc(&writer, 0);
    for (int k = 1; k <= row.ones_through; ++k) stagetest::PutAc(&writer, 0, 1);
    stagetest::PutAcSymbol(&writer, row.symbol);
    PutBits(&writer, row.extra, row.extra_count);
    PutBits(&writer, 0x5A, 8);
    Scan scan(Finish(&writer));
    scan.DecodeOverFiller();
    for (int k = 1; k < 64; ++k) {
        EXPECT_EQ(scan.At(k), k <= row.ones_through ? 1 : row.rest) << k;
    }
    EXPECT_EQ(scan.Bits(8), 0x5A);
}

INSTANTIATE_TEST_SUITE_P(
    DecodeBlock, DecodeBlockEnds,
    ::testing::Values(
        // name, ones through, symbol, extra bits, their count, rest
        EarlyEndCase{"ZeroRunOfSixteenUpToTheLastPosition", 47, 0xF0, 0, 0, 0},  // fills 48-63
        EarlyEndCase{"ZeroRunPastTheLastPositionEndsWithoutWriting", 48, 0xF0, 0, 0, kFiller},
        EarlyEndCase{"RunPastTheLastPositionReadsItsBitsAndEnds", 61, 0x31, 0b1, 1, kFiller},
        EarlyEndCase{"SizeZeroWithARunBelowFifteenEndsTheBlock", 4, 0x10, 0, 0, kFiller}),
    [](const ::testing::TestParamInfo<EarlyEndCase>& row) { return row.param.name; });

TEST(DecodeBlock, FullBlockReadsNoFurtherSymbol) {
    BitWriter writer;
    stagetest::PutDc(&writer, 0);
    stagetest::PutAc(&writer, 15, -1);  // position 16
    for (int k = 17; k <= 63; ++k) stagetest::PutAc(&writer, 0, k);
    PutBits(&writer, 0x5A, 8);
    Scan scan(Finish(&writer));
    scan.DecodeOverFiller();
    for (int k = 1; k < 16; ++k) EXPECT_EQ(scan.At(k), 0) << k;
    EXPECT_EQ(scan.At(16), -1);
    for (int k = 17; k < 64; ++k) EXPECT_EQ(scan.At(k), k) << k;
    EXPECT_EQ(scan.Bits(8), 0x5A);
}

// --- Blocks cut short ---

TEST(DecodeBlockCut, MarkerInTheDcSymbolChangesNothing) {
    Scan scan(Bytes{0xFF, 0xD1});
    scan.DecodeOverFiller(17);
    ExpectUntouched(&scan, 17);
}

// The DC symbol of size 5 and three of its five magnitude bits.
BitWriter DcCutInItsMagnitude() {
    BitWriter writer;
    stagetest::PutDcSymbol(&writer, 5);
    PutBits(&writer, 0b101, 3);
    return writer;
}

TEST(DecodeBlockCut, MarkerInTheDcMagnitudeBitsChangesNothing) {
    Scan scan(CutByMarker(DcCutInItsMagnitude(), 1, 0xD0));
    scan.DecodeOverFiller(17);
    ExpectUntouched(&scan, 17);
    EXPECT_EQ(varnel::ReadByte(scan->reader), 0xFF);
    EXPECT_EQ(varnel::ReadByte(scan->reader), 0xD0);
}

TEST(DecodeBlockCut, EndOfDataInTheDcMagnitudeBitsChangesNothing) {
    Scan scan(DcCutInItsMagnitude().bytes);
    scan.DecodeOverFiller(17);
    ExpectUntouched(&scan, 17);
}

TEST(DecodeBlockCut, MarkerInTheAcMagnitudeBitsKeepsTheRest) {
    BitWriter writer;
    stagetest::PutDc(&writer, 0);           // 5 bits
    stagetest::PutAcSymbol(&writer, 0x05);  // 8 bits
    PutBits(&writer, 0b111, 3);             // three of the five magnitude bits
    Scan scan(CutByMarker(writer, 2, 0xD0));
    scan.DecodeOverFiller(17);
    EXPECT_EQ(scan->coef[0], 17);
    for (int i = 1; i < 64; ++i) EXPECT_EQ(scan->coef[i], kFiller) << i;
}

TEST(DecodeBlockCut, MarkerInAnAcSymbolKeepsTheRest) {
    BitWriter writer;
    stagetest::PutDc(&writer, 1);
    stagetest::PutAc(&writer, 1, -1);  // position 2
    Bytes entropy = Finish(&writer);
    Append(&entropy, {0xFF, 0xD9});
    Scan scan(entropy);
    scan.DecodeOverFiller();
    EXPECT_EQ(scan->coef[0], 1);
    EXPECT_EQ(scan.At(1), 0);
    EXPECT_EQ(scan.At(2), -1);
    for (int k = 3; k < 64; ++k) EXPECT_EQ(scan.At(k), kFiller) << k;
}

TEST(DecodeBlockCut, DcSymbolAboveFifteenEndsTheBlockWithoutReadingBits) {
    BitWriter writer;
    stagetest::PutDcSymbol(&writer, 16);
    PutBits(&writer, 0xA5, 8);
    PutBits(&writer, 0x3C, 8);
    Scan scan(Finish(&writer));
    scan.DecodeOverFiller(17);
    ExpectUntouched(&scan, 17);
    EXPECT_EQ(scan.Bits(16), 0xA53C);
}

TEST(DecodeBlockCut, WithoutTablesEveryBlockIsItsPredictorAlone) {
    Scan scan(Bytes{0x12, 0x34}, 1, false);
    scan.DecodeOverFiller(12);
    EXPECT_EQ(scan->coef[0], 12);
    for (int i = 1; i < 64; ++i) EXPECT_EQ(scan->coef[i], 0) << i;
    EXPECT_EQ(scan.Bits(16), 0x1234);
}

}  // namespace
