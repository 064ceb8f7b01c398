// The scan loop on whole tiny pictures: MCU order and replication for each sampling layout,
// colour conversion with its truncating integer terms, the edges of the picture, restart
// intervals, and what the blocks after an early marker become.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <ostream>
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
    int32_t natural[64] = {};
    natural[1] = 23;
    natural[8] = -11;
    natural[9] = 5;
    natural[2] = 7;
    natural[63] = 3;
    natural[8 * 3 + 4] = -9;
    BitWriter writer;
    PutBlock(&writer, -37, natural);
    Append(&bytes, Finish(&writer));
    stagetest::Eoi(&bytes);

    const Picture picture = DecodePicture(bytes);
    ASSERT_EQ(picture.result, 0);
    const int expected[64] = {127, 128, 126, 120, 119, 120, 119, 117, 128, 127, 124, 123, 120,
                              119, 118, 119, 129, 125, 124, 124, 123, 118, 118, 121, 129, 127,
                              124, 125, 122, 120, 119, 121, 128, 128, 127, 122, 122, 122, 123,
                              121, 128, 129, 127, 124, 121, 125, 124, 121, 128, 128, 127, 124,
                              124, 123, 124, 123, 130, 127, 125, 127, 125, 123, 122, 125};
    for (int i = 0; i < 64; ++i) EXPECT_EQ(picture.pixels[i], Grey(expected[i])) << i;
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
        GreyBlocksCase{"OneComponentWithFactorsTwoByTwoIsOneBlockPerMcu",
                       32,
                       16,
                       2,
                       2,
                       {-28, -18, -8, 2, 12, 22, 32, 42},
                       4},
        // 12 x 12: four MCUs; columns 12 to 15 are not converted, rows 12 to 15 go to spare
        // rows.
        GreyBlocksCase{"RightAndBottomEdges", 12, 12, 1, 1, {-28, -18, -8, 2}, 2}),
    [](const ::testing::TestParamInfo<GreyBlocksCase>& row) { return row.param.name; });

TEST(ScanPicture, LumaTwoByTwoWithChromaReplicated) {
    Bytes bytes = Header(16, 16, {{1, 2, 2, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}});
    BitWriter writer;
    int32_t y = 0;
    PutFlatBlocks(&writer, &y, {-28, -78, 0, 72});  // Y 100, 50, 128, 200
    int32_t cb = 0;
    PutFlatBlocks(&writer, &cb, {-28});  // Cb 100
    int32_t cr = 0;
    PutFlatBlocks(&writer, &cr, {72});  // Cr 200
    Append(&bytes, Finish(&writer));
    stagetest::Eoi(&bytes);
    const Picture picture = DecodePicture(bytes);
    ASSERT_EQ(picture.result, 0);
    const Rgb quadrant[4] = {{200, 58, 51}, {150, 8, 1}, {228, 86, 79}, {255, 158, 151}};
    for (int row = 0; row < 16; ++row) {
        for (int column = 0; column < 16; ++column) {
            EXPECT_EQ(picture.At(column, row), quadrant[(row / 8) * 2 + column / 8])
                << column << " " << row;
        }
    }
}

TEST(ScanPicture, ReplicationFactorOfTwoAcrossFour) {
    // h_max 4: Cb of h 2 is stretched twice, Cr of h 1 four times.
    Bytes bytes = Header(32, 8, {{1, 4, 1, 0}, {2, 2, 1, 0}, {3, 1, 1, 0}});
    BitWriter writer;
    int32_t y = 0;
    PutFlatBlocks(&writer, &y, {0, 0, 0, 0});
    int32_t cb = 0;
    PutFlatBlocks(&writer, &cb, {-28, 22});  // Cb 100, 150
    int32_t cr = 0;
    PutFlatBlocks(&writer, &cr, {72});  // Cr 200
    Append(&bytes, Finish(&writer));
    stagetest::Eoi(&bytes);
    const Picture picture = DecodePicture(bytes);
    ASSERT_EQ(picture.result, 0);
    for (int row = 0; row < 8; ++row) {
        for (int x = 0; x < 32; ++x) {
            const Rgb expected = x < 16 ? Rgb{228, 86, 79} : Rgb{228, 70, 166};
            EXPECT_EQ(picture.At(x, row), expected) << x << " " << row;
        }
    }
}

TEST(ScanPicture, FactorThatDoesNotDivideLeavesSamplesUnwritten) {
    // h_max 3: Cb of h 2 gets a factor of 1; its blocks cover columns 0 to 15, and columns 16 to
    // 23 keep the initial 128.
    Bytes bytes = Header(24, 8, {{1, 3, 1, 0}, {2, 2, 1, 0}, {3, 1, 1, 0}});
    BitWriter writer;
    int32_t y = 0;
    PutFlatBlocks(&writer, &y, {0, 0, 0});
    int32_t cb = 0;
    PutFlatBlocks(&writer, &cb, {-28, 22});  // Cb 100, 150
    int32_t cr = 0;
    PutFlatBlocks(&writer, &cr, {0});
    Append(&bytes, Finish(&writer));
    stagetest::Eoi(&bytes);
    const Picture picture = DecodePicture(bytes);
    ASSERT_EQ(picture.result, 0);
    for (int row = 0; row < 8; ++row) {
        for (int x = 0; x < 24; ++x) {
            const Rgb expected = x < 8    ? Rgb{128, 137, 79}
                                 : x < 16 ? Rgb{128, 121, 166}
                                          : Grey(128);
            EXPECT_EQ(picture.At(x, row), expected) << x << " " << row;
        }
    }
}

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

TEST(ScanRestart, EveryRestartMarkerResetsThePredictors) {
    // Interval 1: RST0, then RST5 out of sequence; each resets.
    Bytes bytes = Header(24, 8, {{1, 1, 1, 0}}, 1);
    const struct {
        int difference;
        int marker;
    } intervals[] = {{10, 0xD0}, {20, 0xD5}, {30, 0}};
    for (const auto& interval : intervals) {
        BitWriter writer;
        stagetest::PutFlatBlock(&writer, interval.difference);
        Append(&bytes, Finish(&writer));
        if (interval.marker != 0) Append(&bytes, {0xFF, interval.marker});
    }
    stagetest::Eoi(&bytes);
    const Picture picture = DecodePicture(bytes);
    ASSERT_EQ(picture.result, 0);
    EXPECT_EQ(picture.At(0, 0), Grey(138));
    EXPECT_EQ(picture.At(8, 0), Grey(148));
    EXPECT_EQ(picture.At(16, 0), Grey(158));
}

TEST(ScanRestart, CounterRunsAcrossMcuRows) {
    // 16 x 16 with interval 3: the marker stands after the first MCU of the second row; the
    // search after the last MCU finds EOI.
    Bytes bytes = Header(16, 16, {{1, 1, 1, 0}}, 3);
    BitWriter writer;
    int32_t predictor = 0;
    PutFlatBlocks(&writer, &predictor, {10, 20, 30});
    Append(&bytes, Finish(&writer));
    Append(&bytes, {0xFF, 0xD0});
    BitWriter after;
    stagetest::PutFlatBlock(&after, 5);
    Append(&bytes, Finish(&after));
    stagetest::Eoi(&bytes);
    const Picture picture = DecodePicture(bytes);
    ASSERT_EQ(picture.result, 0);
    EXPECT_EQ(picture.At(0, 0), Grey(138));
    EXPECT_EQ(picture.At(8, 0), Grey(148));
    EXPECT_EQ(picture.At(0, 8), Grey(158));
    EXPECT_EQ(picture.At(8, 8), Grey(133));
}

TEST(ScanRestart, OtherMarkerAtABoundaryKeepsThePredictors) {
    Bytes bytes = Header(16, 8, {{1, 1, 1, 0}}, 1);
    BitWriter writer;
    stagetest::PutFlatBlock(&writer, 10);
    Append(&bytes, Finish(&writer));
    Append(&bytes, {0xFF, 0xC8});
    BitWriter after;
    stagetest::PutFlatBlock(&after, 20);
    Append(&bytes, Finish(&after));
    stagetest::Eoi(&bytes);
    const Picture picture = DecodePicture(bytes);
    ASSERT_EQ(picture.result, 0);
    EXPECT_EQ(picture.At(0, 0), Grey(138));
    EXPECT_EQ(picture.At(8, 0), Grey(158));
}

// A flat block of DC difference 7 fills exactly two bytes: five bits of symbol, three of
// magnitude, eight of end of block. No padding follows it.
constexpr int kByteSizedDifference = 7;

TEST(ScanRestart, NoIntervalMeansNoSearch) {
    // Without DRI an RST marker in the data is met as a marker inside a block: the block after
    // it keeps the previous block's dequantised coefficients and is dequantised again:
    // 7 x 8 x 8 = 448 gives 56 above the level.
    Bytes bytes = Header(16, 8, {{1, 1, 1, 0}});
    BitWriter writer;
    stagetest::PutFlatBlock(&writer, kByteSizedDifference);
    ASSERT_EQ(writer.pending_count, 0);
    Append(&bytes, writer.bytes);
    Append(&bytes, {0xFF, 0xD0});
    BitWriter after;
    stagetest::PutFlatBlock(&after, 20);
    Append(&bytes, Finish(&after));
    stagetest::Eoi(&bytes);
    const Picture picture = DecodePicture(bytes);
    ASSERT_EQ(picture.result, 0);
    EXPECT_EQ(picture.At(0, 0), Grey(135));
    EXPECT_EQ(picture.At(8, 0), Grey(184));
}

TEST(ScanEarlyEnd, BlocksAfterAnEarlyEndDequantiseTheirPredecessorAgain) {
    // Coefficient 0 is 56 after the first block; the blocks cut by EOI dequantise it again:
    // 448 gives 184, 3584 gives 576, clamped to 255.
    Bytes bytes = Header(24, 8, {{1, 1, 1, 0}});
    BitWriter writer;
    stagetest::PutFlatBlock(&writer, kByteSizedDifference);
    Append(&bytes, writer.bytes);
    stagetest::Eoi(&bytes);
    const Picture picture = DecodePicture(bytes);
    ASSERT_EQ(picture.result, 0);
    EXPECT_EQ(picture.At(0, 0), Grey(135));
    EXPECT_EQ(picture.At(8, 0), Grey(184));
    EXPECT_EQ(picture.At(16, 0), Grey(255));

    // The same when the data simply ends.
    bytes.resize(bytes.size() - 2);
    const Picture unterminated = DecodePicture(bytes);
    ASSERT_EQ(unterminated.result, 0);
    EXPECT_EQ(unterminated.At(8, 0), Grey(184));
    EXPECT_EQ(unterminated.At(16, 0), Grey(255));
}

TEST(ScanEarlyEnd, PaddingBitsBeforeAMarkerAreDecodedAsData) {
    // Difference 10 takes 17 bits, so seven 1 bits of padding follow. The second block reads
    // five of them as a DC code that matches nothing (difference 0, DC stays 10), then meets
    // EOI among its AC symbols: its AC coefficients stay 0. Only the third block meets EOI
    // at once and dequantises the second block's 80 again.
    Bytes bytes = Header(24, 8, {{1, 1, 1, 0}});
    BitWriter writer;
    stagetest::PutFlatBlock(&writer, 10);
    Append(&bytes, Finish(&writer));
    stagetest::Eoi(&bytes);
    const Picture picture = DecodePicture(bytes);
    ASSERT_EQ(picture.result, 0);
    EXPECT_EQ(picture.At(0, 0), Grey(138));
    EXPECT_EQ(picture.At(8, 0), Grey(138));
    EXPECT_EQ(picture.At(16, 0), Grey(208));
}

}  // namespace
