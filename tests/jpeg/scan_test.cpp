// The scan loop on whole tiny pictures: MCU order and replication for each sampling layout,
// colour conversion with its truncating integer terms, the edges of the picture, restart
// intervals, and what the blocks after an early marker become.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <ostream>
#include <utility>
#include <vector>

#include "stage_streams.h"

namespace {

using stagetest::Append;
using stagetest::BitWriter;
using stagetest::Bytes;
using stagetest::Component;
using stagetest::Decoder;
using stagetest::Image;

struct Rgb {
    int r;
    int g;
    int b;
    bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

Rgb Grey(int value) {
    return {value, value, value};
}

// SOI, a quantisation table of 8s (so that a DC value d gives the sample 128 + d), the frame
// header, the tables of these tests, an optional DRI and a scan of every component in frame
// order.
Bytes Header(int width, int height, std::initializer_list<Component> components,
             int restart_interval = 0, int precision = 8) {
    Bytes bytes;
    stagetest::Soi(&bytes);
    stagetest::DqtFlat(&bytes, 0, 8);
    stagetest::Sof0(&bytes, precision, height, width, components);
    stagetest::StandardTables(&bytes);
    if (restart_interval != 0) {
        Bytes payload;
        stagetest::PutWord(&payload, restart_interval);
        stagetest::Segment(&bytes, 0xDD, payload);
    }
    Bytes sos{static_cast<uint8_t>(components.size())};
    for (const Component& c : components) Append(&sos, {c.id, 0x00});
    Append(&sos, {0, 63, 0});
    stagetest::Segment(&bytes, 0xDA, sos);
    return bytes;
}

// Flat blocks whose DC predictor runs through the given values, one component.
void PutFlatBlocks(BitWriter* writer, int32_t* predictor, std::initializer_list<int> values) {
    for (int value : values) {
        stagetest::PutFlatBlock(writer, value - *predictor);
        *predictor = value;
    }
}

Bytes Finish(BitWriter* writer) {
    stagetest::PadToByte(writer);
    return writer->bytes;
}

struct Picture {
    int32_t result = -1;
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;  // top-down, width x height
    Rgb At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

Picture DecodePicture(const Bytes& bytes) {
    const Image image(bytes);
    Decoder decoder;
    Picture picture;
    EXPECT_EQ(varnel::Attach(decoder.get(), image.data, image.size), 0);
    picture.result = varnel::Decode(decoder.get());
    if (picture.result != 0) return picture;
    picture.width = decoder->width;
    picture.height = decoder->height;
    for (int i = 0; i < picture.width * picture.height; ++i) {
        picture.pixels.push_back(
            {decoder->planes[0][i], decoder->planes[1][i], decoder->planes[2][i]});
    }
    return picture;
}

// --- Colour conversion ---

TEST(ClampSample, LimitsToAByte) {
    EXPECT_EQ(varnel::ClampSample(INT_MIN), 0);
    EXPECT_EQ(varnel::ClampSample(-1), 0);
    EXPECT_EQ(varnel::ClampSample(0), 0);
    EXPECT_EQ(varnel::ClampSample(137), 137);
    EXPECT_EQ(varnel::ClampSample(255), 255);
    EXPECT_EQ(varnel::ClampSample(256), 255);
    EXPECT_EQ(varnel::ClampSample(INT_MAX), 255);
}

// A three-component record of the given width with 8 x 8 MCUs, its planes prefilled with 0xEE
// and its unit buffers set to the given Y, Cb, Cr triples in sample order.
struct ConvertSetup {
    Decoder decoder;
    ConvertSetup(int width, int height, const std::vector<std::array<int32_t, 3>>& samples) {
        decoder->width = width;
        decoder->height = height;
        decoder->component_count = 3;
        decoder->h_max = 1;
        decoder->v_max = 1;
        for (auto& component : decoder->frame_components) component = {1, 1, 1, 0};
        const size_t plane_bytes = static_cast<size_t>(width + 8) * static_cast<size_t>(height);
        for (uint8_t*& plane : decoder->planes) {
            plane = static_cast<uint8_t*>(std::malloc(plane_bytes));
            std::memset(plane, 0xEE, plane_bytes);
        }
        const int32_t fill[3] = {0, 128, 128};
        for (int c = 0; c < 3; ++c) {
            varnel::AllocIntArray(&decoder->unit_buffers[c], 64, fill[c], "test unit");
            for (size_t i = 0; i < samples.size(); ++i) {
                decoder->unit_buffers[c][i] = samples[i][static_cast<size_t>(c)];
            }
        }
    }
    ~ConvertSetup() {
        for (int32_t*& buffer : decoder->unit_buffers) {
            std::free(buffer);
            buffer = nullptr;
        }
    }
    Rgb At(int index) {
        return {decoder->planes[0][index], decoder->planes[1][index], decoder->planes[2][index]};
    }
};

TEST(ConvertMcu, IntegerTermsTruncateTowardZero) {
    ConvertSetup setup(8, 8,
                       {{100, 128, 200},
                        {50, 100, 100},
                        {-20, 128, 128},
                        {300, 128, 128},
                        {128, 128, 128},
                        {0, 128, 0}});
    varnel::ConvertMcu(setup.decoder.get(), 0, 0);
    // (7139 x -72) / 10000 is -51, not -52.
    EXPECT_EQ(setup.At(0), (Rgb{200, 49, 100}));
    EXPECT_EQ(setup.At(1), (Rgb{11, 78, 1}));
    EXPECT_EQ(setup.At(2), Grey(0));
    EXPECT_EQ(setup.At(3), Grey(255));
    EXPECT_EQ(setup.At(4), Grey(128));
    // R = (14020 x -128) / 10000 = -179; G = (7139 x 128) / 10000 = 91.
    EXPECT_EQ(setup.At(5), (Rgb{0, 91, 0}));
    EXPECT_EQ(setup.At(6), Grey(0));  // the rest of the unit buffer: Y 0, Cb and Cr 128
}

TEST(ConvertMcu, ArithmeticWrapsAroundModulo32Bits) {
    ConvertSetup setup(8, 8, {{0, 128, INT32_MAX}, {INT32_MAX, 129, 128}, {0, -INT32_MAX, 128}});
    varnel::ConvertMcu(setup.decoder.get(), 0, 0);
    // 14020 x (2^31 - 129) wraps to -1808580, so R is 0 and not 255.
    EXPECT_EQ(setup.At(0), Grey(0));
    // Y + 1 wraps to the most negative value: B is 0.
    EXPECT_EQ(setup.At(1), (Rgb{255, 255, 0}));
    // 3441 x (2^31 + 127) wraps to -2147046641: G is 0 and not 255.
    EXPECT_EQ(setup.At(2), Grey(0));
}

TEST(ConvertMcu, PlacesTheMcuAndClipsAtTheRightEdge) {
    std::vector<std::array<int32_t, 3>> samples;
    for (int i = 0; i < 64; ++i) samples.push_back({i, 128, 128});
    ConvertSetup setup(12, 8, samples);
    varnel::ConvertMcu(setup.decoder.get(), 1, 0);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 12; ++x) {
            const Rgb expected = x < 8 ? Grey(0xEE) : Grey(y * 8 + (x - 8));
            EXPECT_EQ(setup.At(y * 12 + x), expected) << x << " " << y;
        }
    }
}

// --- Whole pictures ---

// Writes one block: its DC difference, then its AC coefficients (given in natural order) in
// zig-zag order as runs and values, with ZRL for long runs and an end of block when the last
// positions are zero.
void PutBlock(BitWriter* writer, int32_t dc_difference, const int32_t (&natural)[64]) {
    stagetest::PutDc(writer, dc_difference);
    int run = 0;
    for (int k = 1; k < 64; ++k) {
        const int32_t value = natural[varnel::zigzag_order[k]];
        if (value == 0) {
            ++run;
            continue;
        }
        for (; run > 15; run -= 16) stagetest::PutAcSymbol(writer, 0xF0);
        stagetest::PutAc(writer, run, value);
        run = 0;
    }
    if (run > 0) stagetest::PutEndOfBlock(writer);
}

TEST(ScanPicture, GreyBlockWithAcCoefficients) {
    Bytes bytes;
    stagetest::Soi(&bytes);
    stagetest::DqtFlat(&bytes, 1, 1);
    stagetest::Sof0(&bytes, 8, 8, 8, {{1, 1, 1, 1}});
    stagetest::StandardTables(&bytes);
    stagetest::Sos(&bytes, {{1, 0, 0}});
    int32_t natural[64];
    stagetest::MixedBlock(natural);
    BitWriter writer;
    PutBlock(&writer, natural[0], natural);  // the first block: its DC difference is its DC
    Append(&bytes, Finish(&writer));
    stagetest::Eoi(&bytes);

    const Picture picture = DecodePicture(bytes);
    ASSERT_EQ(picture.result, 0);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(picture.pixels[i], Grey(stagetest::kMixedBlockSamples[i])) << i;
    }
}

// Grey pictures of flat blocks whose levels rise by 10 from 100 in raster order of the blocks,
// one row per case: the picture's size, the component's sampling factors, the blocks' DC values
// (level - 128) in scan order, and how many blocks make one row of the picture.
struct GreyBlocksCase {
    const char* name;
    int width;
    int height;
    int h;
    int v;
    std::vector<int32_t> dc_values;
    int blocks_per_row;
};

// Names the row in the test list and in failures.
void PrintTo(const GreyBlocksCase& row, std::ostream* out) {
    *out << row.name;
}

// A row from its fields in order: rows are written as argument lists, which clang 14 does not
// take for an aggregate.
GreyBlocksCase GreyBlocksRow(const char* name, int width, int height, int h, int v,
                             std::vector<int32_t> dc_values, int blocks_per_row) {
    return {name, width, height, h, v, std::move(dc_values), blocks_per_row};
}

class ScanGreyBlocks : public ::testing::TestWithParam<GreyBlocksCase> {};

TEST_P(ScanGreyBlocks, EachPixelHasItsBlocksLevel) {
    const GreyBlocksCase& row = GetParam();
    Bytes bytes = Header(row.width, row.height, {{1, row.h, row.v, 0}});
    BitWriter writer;
    int32_t predictor = 0;
    for (int32_t dc : row.dc_values) {
        PutFlatBlocks(&writer, &predictor, {dc});
    }
    Append(&bytes, Finish(&writer));
    stagetest::Eoi(&bytes);
    const Picture picture = DecodePicture(bytes);
    ASSERT_EQ(picture.result, 0);
    for (int y = 0; y < row.height; ++y) {
        for (int x = 0; x < row.width; ++x) {
            const int block = (y / 8) * row.blocks_per_row + x / 8;
            EXPECT_EQ(picture.At(x, y), Grey(100 + 10 * block)) << x << " " << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    ScanPicture, ScanGreyBlocks,
    ::testing::Values(
        // 32 x 16: eight blocks in raster order, not four-block MCUs.
        GreyBlocksRow("OneComponentWithFactorsTwoByTwoIsOneBlockPerMcu", 32, 16, 2, 2,
                      {-28, -18, -8, 2, 12, 22, 32, 42}, 4),
        // 12 x 12: four MCUs; columns 12 to 15 are not converted, rows 12 to 15 go to spare
        // rows.
        GreyBlocksRow("RightAndBottomEdges", 12, 12, 1, 1, {-28, -18, -8, 2}, 2)),
    [](const ::testing::TestParamInfo<GreyBlocksCase>& row) { return row.param.name; });

// Colour pictures of flat blocks, one row per case: the picture's size, the sampling factors of
// Y (h x v) and Cb (h x 1; Cr is 1 x 1), the DC values of each component's blocks in scan order
// and the colour each 8 x 8 block of the picture must have, in raster order.
struct ColourBlocksCase {
    const char* name;
    int width;
    int height;
    int y_h;
    int y_v;
    int cb_h;
    std::vector<int32_t> y;
    std::vector<int32_t> cb;
    std::vector<int32_t> cr;
    std::vector<Rgb> blocks;
};

// Names the row in the test list and in failures.
void PrintTo(const ColourBlocksCase& row, std::ostream* out) {
    *out << row.name;
}

// A row from its fields in order: rows are written as argument lists, which clang 14 does not
// take for an aggregate.
ColourBlocksCase ColourBlocksRow(const char* name, int width, int height, int y_h, int y_v,
                                 int cb_h, std::vector<int32_t> y, std::vector<int32_t> cb,
                                 std::vector<int32_t> cr, std::vector<Rgb> blocks) {
    return {name, width,        height,        y_h,           y_v,
            cb_h, std::move(y), std::move(cb), std::move(cr), std::move(blocks)};
}

// Flat blocks with the given DC values in turn, from a predictor of 0.
void PutFlatLevels(BitWriter* writer, const std::vector<int32_t>& values) {
    int32_t predictor = 0;
    for (int32_t value : values) PutFlatBlocks(writer, &predictor, {value});
}

class ScanColourBlocks : public ::testing::TestWithParam<ColourBlocksCase> {};

TEST_P(ScanColourBlocks, EachPixelHasItsBlocksColour) {
    const ColourBlocksCase& row = GetParam();
    Bytes bytes = Header(row.width, row.height,
                         {{1, row.y_h, row.y_v, 0}, {2, row.cb_h, 1, 0}, {3, 1, 1, 0}});
    BitWriter writer;
    PutFlatLevels(&writer, row.y);
    PutFlatLevels(&writer, row.cb);
    PutFlatLevels(&writer, row.cr);
    Append(&bytes, Finish(&writer));
    stagetest::Eoi(&bytes);
    const Picture picture = DecodePicture(bytes);
    ASSERT_EQ(picture.result, 0);
    const int blocks_per_row = row.width / 8;
    for (int y = 0; y < row.height; ++y) {
        for (int x = 0; x < row.width; ++x) {
            EXPECT_EQ(picture.At(x, y),
                      row.blocks[static_cast<size_t>((y / 8) * blocks_per_row + x / 8)])
                << x << " " << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    ScanPicture, ScanColourBlocks,
    ::testing::Values(
        // Y 100, 50, 128, 200; Cb 100 and Cr 200 stretched over all four.
        ColourBlocksRow("LumaTwoByTwoWithChromaReplicated", 16, 16, 2, 2, 1, {-28, -78, 0, 72},
                        {-28}, {72}, {{200, 58, 51}, {150, 8, 1}, {228, 86, 79}, {255, 158, 151}}),
        // h_max 4: Cb of h 2 (100, 150) is stretched twice, Cr of h 1 (200) four times.
        ColourBlocksRow("ReplicationFactorOfTwoAcrossFour", 32, 8, 4, 1, 2, {0, 0, 0, 0}, {-28, 22},
                        {72}, {{228, 86, 79}, {228, 86, 79}, {228, 70, 166}, {228, 70, 166}}),
        // h_max 3: Cb of h 2 (100, 150) gets a factor of 1; its blocks cover columns 0 to 15,
        // and columns 16 to 23 keep the initial 128.
        ColourBlocksRow("FactorThatDoesNotDivideLeavesSamplesUnwritten", 24, 8, 3, 1, 2, {0, 0, 0},
                        {-28, 22}, {0}, {{128, 137, 79}, {128, 121, 166}, Grey(128)})),
    [](const ::testing::TestParamInfo<ColourBlocksCase>& row) { return row.param.name; });

TEST(ScanPicture, OddSizeWithSpareRowsAndColumns) {
    // 100 x 75 with factors 2 x 2: 7 x 5 MCUs, planes of 112 x 80 bytes, the bottom rows of
    // MCUs written into the spare rows. No entropy-coded data: every block is flat at 128.
    Bytes bytes = Header(100, 75, {{1, 2, 2, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}});
    Decoder decoder;
    const Image image(bytes);
    ASSERT_EQ(varnel::Attach(decoder.get(), image.data, image.size), 0);
    const varnel::McuLayout layout = varnel::ComputeMcuLayout(decoder.get());
    EXPECT_EQ(layout.mcu_cols, 7);
    EXPECT_EQ(layout.mcu_rows, 5);
    ASSERT_EQ(varnel::Decode(decoder.get()), 0);
    for (int i = 0; i < 100 * 75; ++i) {
        ASSERT_EQ(decoder->planes[0][i], 128) << i;
        ASSERT_EQ(decoder->planes[2][i], 128) << i;
    }
}

TEST(ScanPicture, TwelveBitSamplesAreClamped) {
    const Picture picture = DecodePicture(Header(8, 8, {{1, 1, 1, 0}}, 0, 12));
    ASSERT_EQ(picture.result, 0);
    for (const Rgb& pixel : picture.pixels) EXPECT_EQ(pixel, Grey(255));
}

// --- Markers in the scan ---

// A flat block of DC difference 7 fills exactly two bytes: five bits of symbol, three of
// magnitude, eight of end of block. No padding follows it.
constexpr int kByteSizedDifference = 7;

// Flat blocks of the given DC differences in the entropy-coded data, padded to a byte, and the
// marker that follows them (0 for none). Where `fills_bytes` is set the blocks must need no
// padding.
struct FlatRun {
    std::vector<int32_t> differences;
    int marker = 0;
    bool fills_bytes = false;
};

struct GreyAt {
    int x;
    int y;
    int level;
};

// Grey pictures of one component whose entropy-coded data is broken up by markers or cut short,
// one row per case: the picture's size, its restart interval (0: no DRI), the runs of blocks,
// whether EOI ends the data, and the levels that must come out at the given pixels.
struct MarkerCase {
    const char* name;
    int width;
    int height;
    int restart_interval;
    std::vector<FlatRun> runs;
    bool terminated;
    std::vector<GreyAt> expected;
};

// Names the row in the test list and in failures.
void PrintTo(const MarkerCase& row, std::ostream* out) {
    *out << row.name;
}

// A row from its fields in order: rows are written as argument lists, which clang 14 does not
// take for an aggregate.
MarkerCase MarkerRow(const char* name, int width, int height, int restart_interval,
                     std::vector<FlatRun> runs, bool terminated, std::vector<GreyAt> expected) {
    return {
        name, width, height, restart_interval, std::move(runs), terminated, std::move(expected)};
}

class ScanMarkers : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(ScanMarkers, BlocksComeOutAsTheMarkersSay) {
    const MarkerCase& row = GetParam();
    Bytes bytes = Header(row.width, row.height, {{1, 1, 1, 0}}, row.restart_interval);
    for (const FlatRun& run : row.runs) {
        BitWriter writer;
        for (int32_t difference : run.differences) stagetest::PutFlatBlock(&writer, difference);
        if (run.fills_bytes) {
            ASSERT_EQ(writer.pending_count, 0);
        }
        Append(&bytes, Finish(&writer));
        if (run.marker != 0) Append(&bytes, {0xFF, run.marker});
    }
    if (row.terminated) stagetest::Eoi(&bytes);
    const Picture picture = DecodePicture(bytes);
    ASSERT_EQ(picture.result, 0);
    for (const GreyAt& pixel : row.expected) {
        EXPECT_EQ(picture.At(pixel.x, pixel.y), Grey(pixel.level)) << pixel.x << " " << pixel.y;
    }
}

INSTANTIATE_TEST_SUITE_P(
    ScanRestart, ScanMarkers,
    ::testing::Values(
        // Interval 1: RST0, then RST5 out of sequence; each resets.
        MarkerRow("EveryRestartMarkerResetsThePredictors", 24, 8, 1,
                  {{{10}, 0xD0}, {{20}, 0xD5}, {{30}}}, true,
                  {{0, 0, 138}, {8, 0, 148}, {16, 0, 158}}),
        // 16 x 16 with interval 3: the marker stands after the first MCU of the second row; the
        // search after the last MCU finds EOI.
        MarkerRow("CounterRunsAcrossMcuRows", 16, 16, 3, {{{10, 10, 10}, 0xD0}, {{5}}}, true,
                  {{0, 0, 138}, {8, 0, 148}, {0, 8, 158}, {8, 8, 133}}),
        MarkerRow("OtherMarkerAtABoundaryKeepsThePredictors", 16, 8, 1, {{{10}, 0xC8}, {{20}}},
                  true, {{0, 0, 138}, {8, 0, 158}}),
        // Without DRI an RST marker in the data is met as a marker inside a block: the block
        // after it keeps the previous block's dequantised coefficients and is dequantised again:
        // 7 x 8 x 8 = 448 gives 56 above the level.
        MarkerRow("NoIntervalMeansNoSearch", 16, 8, 0,
                  {{{kByteSizedDifference}, 0xD0, true}, {{20}}}, true,
                  {{0, 0, 135}, {8, 0, 184}})),
    [](const ::testing::TestParamInfo<MarkerCase>& row) { return row.param.name; });

INSTANTIATE_TEST_SUITE_P(
    ScanEarlyEnd, ScanMarkers,
    ::testing::Values(
        // Coefficient 0 is 56 after the first block; the blocks cut by EOI dequantise it again:
        // 448 gives 184, 3584 gives 576, clamped to 255.
        MarkerRow("BlocksAfterAnEarlyEndDequantiseTheirPredecessorAgain", 24, 8, 0,
                  {{{kByteSizedDifference}, 0, true}}, true,
                  {{0, 0, 135}, {8, 0, 184}, {16, 0, 255}}),
        // The same when the data simply ends.
        MarkerRow("BlocksAfterTheEndOfTheDataDequantiseTheirPredecessorAgain", 24, 8, 0,
                  {{{kByteSizedDifference}, 0, true}}, false,
                  {{0, 0, 135}, {8, 0, 184}, {16, 0, 255}}),
        // Difference 10 takes 17 bits, so seven 1 bits of padding follow. The second block
        // reads five of them as a DC code that matches nothing (difference 0, DC stays 10),
        // then meets EOI among its AC symbols: its AC coefficients stay 0. Only the third block
        // meets EOI at once and dequantises the second block's 80 again.
        MarkerRow("PaddingBitsBeforeAMarkerAreDecodedAsData", 24, 8, 0, {{{10}}}, true,
                  {{0, 0, 138}, {8, 0, 138}, {16, 0, 208}})),
    [](const ::testing::TestParamInfo<MarkerCase>& row) { return row.param.name; });

}  // namespace
