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

void AttachToScan(Decoder* decoder, const Image& image) {
    ASSERT_EQ(varnel::Attach(decoder->get(), image.data, image.size), 0);
    ASSERT_TRUE((*decoder)->segment_flags & varnel::kSegmentSOS);
}

Bytes Finish(BitWriter* writer) {
    stagetest::PadToByte(writer);
    return writer->bytes;
}

void FillCoefficients(Decoder* decoder, int32_t value) {
    for (int32_t& c : (*decoder)->coef) c = value;
}

// The coefficient at zig-zag position k.
int32_t At(Decoder* decoder, int k) {
    return (*decoder)->coef[zigzag_order[k]];
}

// --- DHT ---

TEST(Dht, DcAndAcTablesInOneSegment) {
    Bytes payload = stagetest::DcTableBytes(0);
    Append(&payload, stagetest::AcTableBytes(1));
    Bytes bytes;
    stagetest::Soi(&bytes);
    Segment(&bytes, 0xC4, payload);
    stagetest::Eoi(&bytes);
    const Image image(bytes);
    Decoder decoder;
    ASSERT_EQ(varnel::Attach(decoder.get(), image.data, image.size), 0);
    EXPECT_EQ(decoder->segment_flags, varnel::kSegmentDHT);
    const varnel::HuffmanTable& dc = decoder->huffman[0][0];
    ASSERT_EQ(dc.count, 17);
    EXPECT_EQ(dc.sizes[16], 5);
    EXPECT_EQ(dc.codes[16], 16);
    EXPECT_EQ(dc.values[16], 16);
    const varnel::HuffmanTable& ac = decoder->huffman[1][1];
    ASSERT_EQ(ac.count, 255);
    EXPECT_EQ(ac.sizes[0], 8);
    EXPECT_EQ(ac.codes[254], 254);
    EXPECT_EQ(ac.values[0xF0], 0xF0);
    EXPECT_EQ(decoder->huffman[1][0].count, 0);
    EXPECT_EQ(decoder->huffman[0][1].count, 0);
}

TEST(Dht, CanonicalCodesOfTheLuminanceDcTable) {
    const int counts[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    Bytes symbols;
    for (int s = 0; s < 12; ++s) symbols.push_back(static_cast<uint8_t>(s));
    Bytes bytes;
    stagetest::Soi(&bytes);
    Segment(&bytes, 0xC4, stagetest::HuffmanTableBytes(0, 2, counts, symbols));
    stagetest::Eoi(&bytes);
    const Image image(bytes);
    Decoder decoder;
    ASSERT_EQ(varnel::Attach(decoder.get(), image.data, image.size), 0);
    const varnel::HuffmanTable& table = decoder->huffman[0][2];
    ASSERT_EQ(table.count, 12);
    // 00; 010, 011, 100, 101, 110; 1110; 11110; ... 111111110.
    const int sizes[12] = {2, 3, 3, 3, 3, 3, 4, 5, 6, 7, 8, 9};
    const int codes[12] = {0b00,   0b010,   0b011,    0b100,     0b101,      0b110,
                           0b1110, 0b11110, 0b111110, 0b1111110, 0b11111110, 0b111111110};
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(table.sizes[k], sizes[k]) << k;
        EXPECT_EQ(table.codes[k], codes[k]) << k;
        EXPECT_EQ(table.values[k], k) << k;
    }
}

TEST(Dht, TableByteOutOfRangeEndsTheSegment) {
    const int one_code[16] = {1};
    Bytes payload = stagetest::HuffmanTableBytes(1, 3, one_code, Bytes{0x42});  // 0x13: kept
    Append(&payload, stagetest::HuffmanTableBytes(0, 4, one_code, Bytes{0x43}));
    Append(&payload, stagetest::HuffmanTableBytes(0, 1, one_code, Bytes{0x44}));
    Bytes bytes;
    stagetest::Soi(&bytes);
    Segment(&bytes, 0xC4, payload);
    Segment(&bytes, 0xC4, stagetest::HuffmanTableBytes(2, 0, one_code, Bytes{0x45}));
    stagetest::Eoi(&bytes);
    const Image image(bytes);
    Decoder decoder;
    ASSERT_EQ(varnel::Attach(decoder.get(), image.data, image.size), 0);
    EXPECT_EQ(decoder->segment_flags, varnel::kSegmentDHT);
    ASSERT_EQ(decoder->huffman[1][3].count, 1);
    EXPECT_EQ(decoder->huffman[1][3].values[0], 0x42);
    EXPECT_EQ(decoder->huffman[0][1].count, 0);
    EXPECT_EQ(decoder->huffman[0][0].count, 0);
    EXPECT_EQ(decoder->in_image, 0);
}

TEST(Dht, LaterTableReplacesEarlierOrLeavesItUndefined) {
    const int three[16] = {0, 3};
    const int one[16] = {1};
    const int none[16] = {};
    Bytes bytes;
    stagetest::Soi(&bytes);
    Segment(&bytes, 0xC4, stagetest::HuffmanTableBytes(0, 1, three, Bytes{7, 8, 9}));
    Segment(&bytes, 0xC4, stagetest::HuffmanTableBytes(0, 1, one, Bytes{5}));
    Segment(&bytes, 0xC4, stagetest::HuffmanTableBytes(1, 2, three, Bytes{7, 8, 9}));
    Segment(&bytes, 0xC4, stagetest::HuffmanTableBytes(1, 2, none, Bytes{}));
    stagetest::Eoi(&bytes);
    const Image image(bytes);
    Decoder decoder;
    ASSERT_EQ(varnel::Attach(decoder.get(), image.data, image.size), 0);
    const varnel::HuffmanTable& replaced = decoder->huffman[0][1];
    ASSERT_EQ(replaced.count, 1);
    EXPECT_EQ(replaced.sizes[0], 1);
    EXPECT_EQ(replaced.codes[0], 0);
    EXPECT_EQ(replaced.values[0], 5);
    const varnel::HuffmanTable& emptied = decoder->huffman[1][2];
    EXPECT_EQ(emptied.count, 0);
    EXPECT_EQ(emptied.sizes, nullptr);
    EXPECT_EQ(emptied.codes, nullptr);
    EXPECT_EQ(emptied.values, nullptr);
}

TEST(Dht, LengthBelowTwoParsesExactlyOneTable) {
    const int one[16] = {1};
    Bytes bytes;
    stagetest::Soi(&bytes);
    Append(&bytes, {0xFF, 0xC4, 0x00, 0x00});
    Append(&bytes, stagetest::HuffmanTableBytes(0, 0, one, Bytes{0x21}));
    Append(&bytes, stagetest::HuffmanTableBytes(0, 1, one, Bytes{0x22}));
    stagetest::Eoi(&bytes);
    const Image image(bytes);
    Decoder decoder;
    ASSERT_EQ(varnel::Attach(decoder.get(), image.data, image.size), 0);
    ASSERT_EQ(decoder->huffman[0][0].count, 1);
    EXPECT_EQ(decoder->huffman[0][0].values[0], 0x21);
    EXPECT_EQ(decoder->huffman[0][1].count, 0);
    EXPECT_EQ(decoder->in_image, 0);
}

TEST(Dht, SymbolsBeyondTheSegmentAreReadFromWhatFollows) {
    const int two[16] = {0, 2};
    Bytes bytes;
    stagetest::Soi(&bytes);
    Bytes table = stagetest::HuffmanTableBytes(0, 0, two, Bytes{});
    stagetest::Segment(&bytes, 0xC4, table);  // its length leaves the symbols out
    Append(&bytes, {0xFF, 0xDD, 0x00, 0x04, 0x00, 0x07});
    stagetest::Eoi(&bytes);
    const Image image(bytes);
    Decoder decoder;
    ASSERT_EQ(varnel::Attach(decoder.get(), image.data, image.size), 0);
    ASSERT_EQ(decoder->huffman[0][0].count, 2);
    EXPECT_EQ(decoder->huffman[0][0].values[0], 0xFF);
    EXPECT_EQ(decoder->huffman[0][0].values[1], 0xDD);
    EXPECT_EQ(decoder->restart_interval, 0);
    EXPECT_EQ(decoder->in_image, 0);
}

// --- DecodeHuffman ---

TEST(DecodeHuffman, UndefinedTableGivesZeroAndReadsNothing) {
    const Image image(ScanStream(Bytes{0x5A}, 1, false));
    Decoder decoder;
    AttachToScan(&decoder, image);
    EXPECT_EQ(varnel::DecodeHuffman(decoder.get(), 0, 0), 0);
    EXPECT_EQ(varnel::DecodeHuffman(decoder.get(), 1, 0), 0);
    EXPECT_EQ(varnel::ReadBits(decoder->reader, 8), 0x5A);
}

TEST(DecodeHuffman, UnmatchedBitsEndAfterTheLongestCode) {
    const int counts[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    Bytes symbols;
    for (int s = 0; s < 12; ++s) symbols.push_back(static_cast<uint8_t>(0x40 + s));
    BitWriter writer;
    PutBits(&writer, 0b011, 3);        // symbol 0x42
    PutBits(&writer, 0b111111110, 9);  // symbol 0x4B
    PutBits(&writer, 0b00, 2);         // symbol 0x40
    PutBits(&writer, 0x1FF, 9);        // no code: symbol 0 after nine bits
    PutBits(&writer, 0x2D, 7);
    Bytes bytes;
    stagetest::Soi(&bytes);
    Segment(&bytes, 0xC4, stagetest::HuffmanTableBytes(0, 0, counts, symbols));
    stagetest::Sos(&bytes, {{1, 0, 0}});
    Append(&bytes, Finish(&writer));
    const Image image(bytes);
    Decoder decoder;
    AttachToScan(&decoder, image);
    EXPECT_EQ(varnel::DecodeHuffman(decoder.get(), 0, 0), 0x42);
    EXPECT_EQ(varnel::DecodeHuffman(decoder.get(), 0, 0), 0x4B);
    EXPECT_EQ(varnel::DecodeHuffman(decoder.get(), 0, 0), 0x40);
    EXPECT_EQ(varnel::DecodeHuffman(decoder.get(), 0, 0), 0);
    EXPECT_EQ(varnel::ReadBits(decoder->reader, 7), 0x2D);
}

TEST(DecodeHuffman, SingleOneBitCode) {
    const int one[16] = {1};
    Bytes bytes;
    stagetest::Soi(&bytes);
    Segment(&bytes, 0xC4, stagetest::HuffmanTableBytes(1, 0, one, Bytes{0x42}));
    stagetest::Sos(&bytes, {{1, 0, 0}});
    Append(&bytes, {0x80});
    const Image image(bytes);
    Decoder decoder;
    AttachToScan(&decoder, image);
    EXPECT_EQ(varnel::DecodeHuffman(decoder.get(), 1, 0), 0);  // bit 1 matches nothing
    EXPECT_EQ(decoder->reader->bit_index, 6);
    EXPECT_EQ(varnel::DecodeHuffman(decoder.get(), 1, 0), 0x42);
    EXPECT_EQ(decoder->reader->bit_index, 5);
}

TEST(DecodeHuffman, TablesChosenByTheScanEntryOfTheComponent) {
    const int one[16] = {1};
    Bytes bytes;
    stagetest::Soi(&bytes);
    Segment(&bytes, 0xC4, stagetest::HuffmanTableBytes(0, 2, one, Bytes{0x12}));
    Segment(&bytes, 0xC4, stagetest::HuffmanTableBytes(1, 1, one, Bytes{0x34}));
    stagetest::Sos(&bytes, {{1, 0, 0}, {2, 2, 1}});
    Append(&bytes, {0x00});
    const Image image(bytes);
    Decoder decoder;
    AttachToScan(&decoder, image);
    EXPECT_EQ(varnel::DecodeHuffman(decoder.get(), 0, 1), 0x12);
    EXPECT_EQ(varnel::DecodeHuffman(decoder.get(), 1, 1), 0x34);
    EXPECT_EQ(varnel::DecodeHuffman(decoder.get(), 0, 0), 0);  // table 0 undefined
    EXPECT_EQ(decoder->reader->bit_index, 5);
}

TEST(DecodeHuffman, MarkerInsideASymbolIsPassedOn) {
    BitWriter writer;
    stagetest::PutDcSymbol(&writer, 2);
    PutBits(&writer, 0b000, 3);  // three bits of the next five-bit code, then a marker
    Bytes entropy = writer.bytes;
    ASSERT_EQ(entropy.size(), 1u);
    Append(&entropy, {0xFF, 0xD3});
    const Image image(ScanStream(entropy));
    Decoder decoder;
    AttachToScan(&decoder, image);
    EXPECT_EQ(varnel::DecodeHuffman(decoder.get(), 0, 0), 2);
    EXPECT_EQ(varnel::DecodeHuffman(decoder.get(), 0, 0), -0xD3);
    EXPECT_EQ(varnel::DecodeHuffman(decoder.get(), 1, 0), -0xD3);
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
    const Image image(ScanStream(Finish(&writer)));
    Decoder decoder;
    AttachToScan(&decoder, image);
    int32_t predictor = 0;
    for (const auto& c : cases) {
        varnel::DecodeBlock(decoder.get(), 0);
        predictor += c.difference;
        EXPECT_EQ(decoder->dc_pred[0], predictor) << c.size << " " << c.bits;
        EXPECT_EQ(decoder->coef[0], predictor);
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
    const Image image(ScanStream(Finish(&writer)));
    Decoder decoder;
    AttachToScan(&decoder, image);
    FillCoefficients(&decoder, 99);
    decoder->dc_pred[0] = 40;
    varnel::DecodeBlock(decoder.get(), 0);
    EXPECT_EQ(decoder->coef[0], 40);
    for (int k = 1; k < 64; ++k) {
        const int32_t expected = k == 3 ? -5 : k == 4 ? 1 : k == 22 ? 1023 : 0;
        EXPECT_EQ(At(&decoder, k), expected) << k;
    }
    EXPECT_EQ(varnel::ReadBits(decoder->reader, 8), 0x5A);
}

TEST(DecodeBlock, EndOfBlockAtPositionOneClearsEveryAcCoefficient) {
    BitWriter writer;
    stagetest::PutFlatBlock(&writer, -3);
    const Image image(ScanStream(Finish(&writer)));
    Decoder decoder;
    AttachToScan(&decoder, image);
    FillCoefficients(&decoder, 99);
    varnel::DecodeBlock(decoder.get(), 0);
    EXPECT_EQ(decoder->coef[0], -3);
    for (int i = 1; i < 64; ++i) EXPECT_EQ(decoder->coef[i], 0) << i;
}

TEST(DecodeBlock, ComponentsKeepSeparatePredictors) {
    BitWriter writer;
    stagetest::PutFlatBlock(&writer, 5);
    stagetest::PutFlatBlock(&writer, -3);
    stagetest::PutFlatBlock(&writer, 2);
    stagetest::PutFlatBlock(&writer, 100);
    const Image image(ScanStream(Finish(&writer), 3));
    Decoder decoder;
    AttachToScan(&decoder, image);
    varnel::DecodeBlock(decoder.get(), 0);
    varnel::DecodeBlock(decoder.get(), 1);
    varnel::DecodeBlock(decoder.get(), 0);
    EXPECT_EQ(decoder->dc_pred[0], 7);
    EXPECT_EQ(decoder->dc_pred[1], -3);
    EXPECT_EQ(decoder->dc_pred[2], 0);
    EXPECT_EQ(decoder->coef[0], 7);
    varnel::DecodeBlock(decoder.get(), 2);
    EXPECT_EQ(decoder->dc_pred[2], 100);
    EXPECT_EQ(decoder->dc_pred[0], 7);
}

TEST(DecodeBlock, PredictorWrapsAroundModulo32Bits) {
    BitWriter writer;
    stagetest::PutFlatBlock(&writer, 1);
    stagetest::PutFlatBlock(&writer, -2);
    const Image image(ScanStream(Finish(&writer)));
    Decoder decoder;
    AttachToScan(&decoder, image);
    decoder->dc_pred[0] = INT32_MAX;
    varnel::DecodeBlock(decoder.get(), 0);
    EXPECT_EQ(decoder->dc_pred[0], INT32_MIN);
    varnel::DecodeBlock(decoder.get(), 0);
    EXPECT_EQ(decoder->dc_pred[0], INT32_MAX - 1);
}

// Writes AC values of 1 at positions 1 to last.
void PutOnesUpTo(BitWriter* writer, int last) {
    for (int k = 1; k <= last; ++k) stagetest::PutAc(writer, 0, 1);
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
    PutOnesUpTo(&writer, row.ones_through);
    stagetest::PutAcSymbol(&writer, row.symbol);
    PutBits(&writer, row.extra, row.extra_count);
    PutBits(&writer, 0x5A, 8);
    const Image image(ScanStream(Finish(&writer)));
    Decoder decoder;
    AttachToScan(&decoder, image);
    FillCoefficients(&decoder, 99);
    varnel::DecodeBlock(decoder.get(), 0);
    for (int k = 1; k < 64; ++k) {
        EXPECT_EQ(At(&decoder, k), k <= row.ones_through ? 1 : row.rest) << k;
    }
    EXPECT_EQ(varnel::ReadBits(decoder->reader, 8), 0x5A);
}

INSTANTIATE_TEST_SUITE_P(
    DecodeBlock, DecodeBlockEnds,
    ::testing::Values(
        // name, ones through, symbol, extra bits, their count, rest
        EarlyEndCase{"ZeroRunOfSixteenUpToTheLastPosition", 47, 0xF0, 0, 0, 0},  // fills 48-63
        EarlyEndCase{"ZeroRunPastTheLastPositionEndsWithoutWriting", 48, 0xF0, 0, 0, 99},
        EarlyEndCase{"RunPastTheLastPositionReadsItsBitsAndEnds", 61, 0x31, 0b1, 1, 99},
        EarlyEndCase{"SizeZeroWithARunBelowFifteenEndsTheBlock", 4, 0x10, 0, 0, 99}),
    [](const ::testing::TestParamInfo<EarlyEndCase>& row) { return row.param.name; });

TEST(DecodeBlock, FullBlockReadsNoFurtherSymbol) {
    BitWriter writer;
    stagetest::PutDc(&writer, 0);
    stagetest::PutAc(&writer, 15, -1);  // position 16
    for (int k = 17; k <= 63; ++k) stagetest::PutAc(&writer, 0, k);
    PutBits(&writer, 0x5A, 8);
    const Image image(ScanStream(Finish(&writer)));
    Decoder decoder;
    AttachToScan(&decoder, image);
    FillCoefficients(&decoder, 99);
    varnel::DecodeBlock(decoder.get(), 0);
    for (int k = 1; k < 16; ++k) EXPECT_EQ(At(&decoder, k), 0) << k;
    EXPECT_EQ(At(&decoder, 16), -1);
    for (int k = 17; k < 64; ++k) EXPECT_EQ(At(&decoder, k), k) << k;
    EXPECT_EQ(varnel::ReadBits(decoder->reader, 8), 0x5A);
}

// --- Blocks cut short ---

TEST(DecodeBlockCut, MarkerInTheDcSymbolChangesNothing) {
    const Image image(ScanStream(Bytes{0xFF, 0xD1}));
    Decoder decoder;
    AttachToScan(&decoder, image);
    FillCoefficients(&decoder, 99);
    decoder->dc_pred[0] = 17;
    varnel::DecodeBlock(decoder.get(), 0);
    EXPECT_EQ(decoder->dc_pred[0], 17);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(decoder->coef[i], 99) << i;
}

TEST(DecodeBlockCut, MarkerInTheDcMagnitudeBitsChangesNothing) {
    BitWriter writer;
    stagetest::PutDcSymbol(&writer, 5);
    PutBits(&writer, 0b101, 3);  // three of the five magnitude bits, then a marker
    Bytes entropy = writer.bytes;
    ASSERT_EQ(entropy.size(), 1u);
    Append(&entropy, {0xFF, 0xD0});
    const Image image(ScanStream(entropy));
    Decoder decoder;
    AttachToScan(&decoder, image);
    FillCoefficients(&decoder, 99);
    decoder->dc_pred[0] = 17;
    varnel::DecodeBlock(decoder.get(), 0);
    EXPECT_EQ(decoder->dc_pred[0], 17);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(decoder->coef[i], 99) << i;
    EXPECT_EQ(varnel::ReadByte(decoder->reader), 0xFF);
    EXPECT_EQ(varnel::ReadByte(decoder->reader), 0xD0);
}

TEST(DecodeBlockCut, EndOfDataInTheDcMagnitudeBitsChangesNothing) {
    BitWriter writer;
    stagetest::PutDcSymbol(&writer, 5);
    PutBits(&writer, 0b101, 3);
    const Image image(ScanStream(writer.bytes));
    Decoder decoder;
    AttachToScan(&decoder, image);
    FillCoefficients(&decoder, 99);
    decoder->dc_pred[0] = 17;
    varnel::DecodeBlock(decoder.get(), 0);
    EXPECT_EQ(decoder->dc_pred[0], 17);
    EXPECT_EQ(decoder->coef[0], 99);
}

TEST(DecodeBlockCut, MarkerInTheAcMagnitudeBitsKeepsTheRest) {
    BitWriter writer;
    stagetest::PutDc(&writer, 0);           // 5 bits
    stagetest::PutAcSymbol(&writer, 0x05);  // 8 bits
    PutBits(&writer, 0b111, 3);             // three of the five magnitude bits
    Bytes entropy = writer.bytes;
    ASSERT_EQ(entropy.size(), 2u);
    Append(&entropy, {0xFF, 0xD0});
    const Image image(ScanStream(entropy));
    Decoder decoder;
    AttachToScan(&decoder, image);
    FillCoefficients(&decoder, 99);
    decoder->dc_pred[0] = 17;
    varnel::DecodeBlock(decoder.get(), 0);
    EXPECT_EQ(decoder->coef[0], 17);
    for (int i = 1; i < 64; ++i) EXPECT_EQ(decoder->coef[i], 99) << i;
}

TEST(DecodeBlockCut, MarkerInAnAcSymbolKeepsTheRest) {
    BitWriter writer;
    stagetest::PutDc(&writer, 1);
    stagetest::PutAc(&writer, 1, -1);  // position 2
    Bytes entropy = Finish(&writer);
    Append(&entropy, {0xFF, 0xD9});
    const Image image(ScanStream(entropy));
    Decoder decoder;
    AttachToScan(&decoder, image);
    FillCoefficients(&decoder, 99);
    varnel::DecodeBlock(decoder.get(), 0);
    EXPECT_EQ(decoder->coef[0], 1);
    EXPECT_EQ(At(&decoder, 1), 0);
    EXPECT_EQ(At(&decoder, 2), -1);
    for (int k = 3; k < 64; ++k) EXPECT_EQ(At(&decoder, k), 99) << k;
}

TEST(DecodeBlockCut, DcSymbolAboveFifteenEndsTheBlockWithoutReadingBits) {
    BitWriter writer;
    stagetest::PutDcSymbol(&writer, 16);
    PutBits(&writer, 0xA5, 8);
    PutBits(&writer, 0x3C, 8);
    const Image image(ScanStream(Finish(&writer)));
    Decoder decoder;
    AttachToScan(&decoder, image);
    FillCoefficients(&decoder, 99);
    decoder->dc_pred[0] = 17;
    varnel::DecodeBlock(decoder.get(), 0);
    EXPECT_EQ(decoder->dc_pred[0], 17);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(decoder->coef[i], 99) << i;
    EXPECT_EQ(varnel::ReadBits(decoder->reader, 16), 0xA53C);
}

TEST(DecodeBlockCut, WithoutTablesEveryBlockIsItsPredictorAlone) {
    const Image image(ScanStream(Bytes{0x12, 0x34}, 1, false));
    Decoder decoder;
    AttachToScan(&decoder, image);
    FillCoefficients(&decoder, 99);
    decoder->dc_pred[0] = 12;
    varnel::DecodeBlock(decoder.get(), 0);
    EXPECT_EQ(decoder->coef[0], 12);
    for (int i = 1; i < 64; ++i) EXPECT_EQ(decoder->coef[i], 0) << i;
    EXPECT_EQ(varnel::ReadBits(decoder->reader, 16), 0x1234);
}

}  // namespace
