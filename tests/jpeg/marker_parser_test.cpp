// The marker parser: the marker search, the SOI search and the segment loop up to the first
// SOS, the segment handlers, and the decode gate that keeps undecodable streams from the scan.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "stage_streams.h"

namespace {

using stagetest::Append;
using stagetest::Bytes;
using stagetest::Decoder;
using stagetest::Image;
using stagetest::ParsedStream;
using stagetest::ParseSegments;
using stagetest::PutWord;
using stagetest::Segment;

// Attaches the decoder to the image and checks that the header parse reports success.
void Parse(Decoder* decoder, const Image& image) {
    ASSERT_EQ(varnel::Attach(decoder->get(), image.data, image.size), 0);
}

// A stream parsed with a counter of the bytes consumed attached to the decoder beforehand.
struct CountedParse {
    Image image;
    Decoder decoder;
    int32_t counter = 0;
    explicit CountedParse(const Bytes& bytes) : image(bytes) {
        decoder->consumed = &counter;
        Parse(&decoder, image);
    }
    varnel::JpegDecoder* operator->() { return decoder.get(); }
    varnel::JpegDecoder* get() { return decoder.get(); }
};

// SOI, a frame header of 8 x 8 with these components and the usual Huffman tables: what stands
// before the scan header in the scan header tests.
Bytes FrameAndTables(std::initializer_list<stagetest::Component> components) {
    Bytes bytes;
    stagetest::Soi(&bytes);
    stagetest::Sof0(&bytes, 8, 8, 8, components);
    stagetest::StandardTables(&bytes);
    return bytes;
}

// Gives the decoder a reader over the image without parsing anything.
void ReaderOnly(Decoder* decoder, const Image& image) {
    auto* reader = static_cast<varnel::JpegReader*>(std::malloc(sizeof(varnel::JpegReader)));
    reader->consumed = nullptr;
    varnel::Init(reader, image.data, image.size);
    (*decoder)->reader = reader;
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

void Com(Bytes* out, const std::string& text) {
    Segment(out, 0xFE, Text(text));
}

void Dri(Bytes* out, int interval) {
    Bytes payload;
    PutWord(&payload, interval);
    Segment(out, 0xDD, payload);
}

// T.81 Figure A.6 walked diagonal by diagonal: the natural index of each zig-zag position.
std::vector<int> ZigZagByDiagonals() {
    std::vector<int> order;
    for (int s = 0; s <= 14; ++s) {
        for (int i = 0; i <= s; ++i) {
            const int row = (s % 2 == 1) ? i : s - i;
            const int column = s - row;
            if (row < 8 && column < 8) order.push_back(row * 8 + column);
        }
    }
    return order;
}

// --- The marker search ---

// A decoder with a reader over exactly these bytes and nothing parsed, for the marker search.
struct SearchOver {
    Image image;
    Decoder decoder;
    explicit SearchOver(const Bytes& bytes) : image(bytes) { ReaderOnly(&decoder, image); }
    int32_t Next() { return varnel::NextMarker(decoder.get()); }
};

TEST(MarkerSearch, PassesOverStuffedZerosAndOtherBytes) {
    SearchOver search(Bytes{0x00, 0x12, 0xFF, 0x00, 0x34, 0xFF, 0xC4, 0x99});
    EXPECT_EQ(search.Next(), 0xC4);
    EXPECT_EQ(search.decoder->reader->cursor, search.image.data + 7);
}

// The bytes to search and what the searches that follow one another must give.
struct SearchCase {
    const char* name;
    Bytes bytes;
    std::vector<int32_t> markers;
};

// Names the row in the test list and in failures.
void PrintTo(const SearchCase& row, std::ostream* out) {
    *out << row.name;
}

class MarkerSearches : public ::testing::TestWithParam<SearchCase> {};

TEST_P(MarkerSearches, FindTheMarkersInTurn) {
    const SearchCase& row = GetParam();
    SearchOver search(row.bytes);
    for (size_t i = 0; i < row.markers.size(); ++i) EXPECT_EQ(search.Next(), row.markers[i]) << i;
}

INSTANTIATE_TEST_SUITE_P(
    MarkerSearch, MarkerSearches,
    ::testing::Values(SearchCase{"ReservedCodesYieldFF",
                                 {0xFF, 0x01, 0xFF, 0x02, 0xFF, 0x03, 0xFF, 0xBF, 0xFF, 0xC0},
                                 {0x01, 0x02, 0xFF, 0xFF, 0xC0}},
                      SearchCase{"SecondFFIsAMarkerCodeNotAFillByte",
                                 {0xFF, 0xFF, 0xD8, 0xFF, 0xD9},
                                 {0xFF, 0xD9}},
                      // Every search once the image has run out ends with zero.
                      SearchCase{"EndsWithZeroOnAnEmptyImage", {}, {0, 0}},
                      SearchCase{"EndsWithZeroWithoutAnyFF", {0x12, 0x34}, {0, 0}},
                      SearchCase{"EndsWithZeroAfterAClosingFF", {0x12, 0xFF}, {0, 0}},
                      SearchCase{"EndsWithZeroAfterAStuffedZero", {0xFF, 0x00}, {0, 0}},
                      SearchCase{"EndsWithZeroAfterTheLastMarker", {0x00, 0xFF, 0xD9}, {0xD9, 0}}),
    [](const ::testing::TestParamInfo<SearchCase>& row) { return row.param.name; });

// --- The SOI search and the segment loop ---

TEST(HeaderParse, BytesBeforeSoiArePassedOver) {
    Bytes bytes{0x11, 0x22, 0x00};
    Com(&bytes, "xyz");  // a segment before SOI is not read
    stagetest::Soi(&bytes);
    Com(&bytes, "abc");
    stagetest::Eoi(&bytes);
    const Image image(bytes);
    Decoder decoder;
    int32_t counter = -1;
    decoder->consumed = &counter;
    Parse(&decoder, image);
    ASSERT_NE(decoder->comment, nullptr);
    EXPECT_STREQ(decoder->comment, "abc");
    EXPECT_EQ(decoder->segment_flags, varnel::kSegmentCOM);
    EXPECT_EQ(decoder->in_image, 0);
    EXPECT_EQ(counter, image.size);
    EXPECT_EQ(varnel::Decode(decoder.get()), varnel::kNothingToDecode);
}

TEST(HeaderParse, FFFFD8IsNotSoi) {
    Bytes bytes{0xFF, 0xFF, 0xD8};
    Com(&bytes, "abc");
    stagetest::Eoi(&bytes);
    ParsedStream decoder(bytes);
    EXPECT_EQ(decoder->in_image, 0);
    EXPECT_EQ(decoder->comment, nullptr);
    EXPECT_EQ(decoder->segment_flags, 0);
}

TEST(HeaderParse, NoSoiAndNoEoiEndWithoutHanging) {
    ParsedStream no_soi(Bytes{0x01, 0x02, 0x03});
    EXPECT_EQ(no_soi->in_image, 0);
    EXPECT_EQ(varnel::Decode(no_soi.get()), varnel::kNothingToDecode);

    Bytes bytes;
    stagetest::Soi(&bytes);
    Com(&bytes, "abc");
    ParsedStream no_eoi(bytes);
    EXPECT_EQ(no_eoi->in_image, 1);
    EXPECT_STREQ(no_eoi->comment, "abc");
}

TEST(HeaderParse, MarkersWithoutSegmentsArePassedOver) {
    ParsedStream decoder = ParseSegments([&](Bytes* out) {
        Append(out, {0xFF, 0xD0, 0xFF, 0xD8, 0xFF, 0x01});  // RST0, a second SOI, TEM
        Com(out, "abc");
    });
    EXPECT_STREQ(decoder->comment, "abc");
}

TEST(HeaderParse, UnrecognisedSegmentIsSearchedThrough) {
    ParsedStream decoder = ParseSegments([&](Bytes* out) {
        // A progressive frame header: not read, so the COM inside its bytes is found.
        Bytes sof2{8, 0, 8, 0, 8, 1};
        Append(&sof2, {0xFF, 0xFE, 0x00, 0x05, 'a', 'b', 'c'});
        Segment(out, 0xC2, sof2);
        stagetest::StandardTables(out);
        stagetest::Sos(out, {{1, 0, 0}});
        Append(out, {0x00, 0x00});
    });
    EXPECT_STREQ(decoder->comment, "abc");
    EXPECT_EQ(decoder->component_count, 0);
    EXPECT_EQ(decoder->width, 0);
    // Tables and a scan, but no baseline frame: nothing to decode.
    EXPECT_EQ(varnel::Decode(decoder.get()), varnel::kNothingToDecode);
    EXPECT_EQ(decoder->planes[0], nullptr);
}

TEST(HeaderParse, MarkerAfterAFillByteIsNotRecognised) {
    ParsedStream decoder = ParseSegments([&](Bytes* out) {
        Append(out, {0xFF});
        Com(out, "abc");
    });
    EXPECT_EQ(decoder->comment, nullptr);
    EXPECT_EQ(decoder->segment_flags, 0);
}

TEST(HeaderParse, StopsAtTheFirstScan) {
    Bytes bytes = FrameAndTables({{1, 1, 1, 0}});
    stagetest::Sos(&bytes, {{1, 0, 0}});
    const int32_t scan_data = static_cast<int32_t>(bytes.size());
    Append(&bytes, {0x12, 0x34});
    Com(&bytes, "late");
    stagetest::DqtFlat(&bytes, 0, 9);
    Dri(&bytes, 4);
    stagetest::Eoi(&bytes);
    CountedParse decoder(bytes);
    EXPECT_EQ(decoder->segment_flags, varnel::kSegmentDHT | varnel::kSegmentSOS);
    EXPECT_EQ(decoder->comment, nullptr);
    EXPECT_EQ(decoder->quant[0][0], 0);
    EXPECT_EQ(decoder->restart_interval, 0);
    EXPECT_EQ(decoder->in_image, 1);
    EXPECT_EQ(decoder->reader->cursor, decoder.image.data + scan_data);
    EXPECT_EQ(decoder->reader->bit_index, 7);
    EXPECT_EQ(decoder.counter, scan_data);
}

TEST(HeaderParse, ReattachReplacesTheReader) {
    Bytes bytes;
    stagetest::Soi(&bytes);
    Com(&bytes, "one");
    stagetest::Eoi(&bytes);
    const Image first(bytes);
    bytes[bytes.size() - 3] = 'x';  // the comment's last byte
    const Image second(bytes);
    Decoder decoder;
    Parse(&decoder, first);
    EXPECT_STREQ(decoder->comment, "one");
    Parse(&decoder, second);
    EXPECT_EQ(decoder->reader->end, second.data + second.size);
    EXPECT_STREQ(decoder->comment, "onx");
}

// --- APP0 ---

Bytes JfifPayload(int length_without_marker) {
    Bytes payload = Text("JFIF");
    Append(&payload, {0x00, 1, 2, 1, 0x01, 0x2C, 0x00, 0x48, 3, 4});
    payload.resize(static_cast<size_t>(length_without_marker - 2), 0xAA);
    return payload;
}

// SOI, these segments, a DRI of 7 and EOI, parsed. That the DRI is read shows that the search
// went on at the right byte after the segments.
ParsedStream ParsedBeforeDri7(const Bytes& segments) {
    return ParseSegments([&](Bytes* out) {
        Append(out, segments);
        Dri(out, 7);
    });
}

// JFIF segments before a DRI of 7, one row per case: the segment's bytes and the nine fields the
// parse must read from them.
struct JfifCase {
    const char* name;
    Bytes segment;
    int jfif_major;
    int jfif_minor;
    int density_units;
    int x_density;
    int y_density;
    int thumb_width;
    int thumb_height;
};

// Names the row in the test list and in failures.
void PrintTo(const JfifCase& row, std::ostream* out) {
    *out << row.name;
}

class JfifFields : public ::testing::TestWithParam<JfifCase> {};

TEST_P(JfifFields, AreReadAndTheParseGoesOn) {
    const JfifCase& row = GetParam();
    ParsedStream decoder = ParsedBeforeDri7(row.segment);
    EXPECT_EQ(decoder->app0_kind, 1);
    EXPECT_EQ(decoder->segment_flags, varnel::kSegmentJFIF);
    EXPECT_EQ(decoder->jfif_major, row.jfif_major);
    EXPECT_EQ(decoder->jfif_minor, row.jfif_minor);
    EXPECT_EQ(decoder->density_units, row.density_units);
    EXPECT_EQ(decoder->x_density, row.x_density);
    EXPECT_EQ(decoder->y_density, row.y_density);
    EXPECT_EQ(decoder->thumb_width, row.thumb_width);
    EXPECT_EQ(decoder->thumb_height, row.thumb_height);
    EXPECT_EQ(decoder->restart_interval, 7);
}

// One segment of the given marker and payload.
Bytes SegmentBytes(int code, const Bytes& payload) {
    Bytes bytes;
    Segment(&bytes, code, payload);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    App0, JfifFields,
    ::testing::Values(
        // name, segment, then major, minor, units, x and y density, thumbnail width and height
        JfifCase{"JfifOfLength16ReadsTheNineFields", SegmentBytes(0xE0, JfifPayload(16)), 1, 2, 1,
                 300, 72, 3, 4},
        // Length 10: the fields after the fourth are read from the DRI that follows (FF DD 00 04
        // 00 07), which the search then parses as DRI.
        JfifCase{"ShortJfifReadsPastItsEndAndStepsBack",
                 Bytes{0xFF, 0xE0, 0x00, 0x0A, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x02, 0x03}, 1, 2, 3,
                 0xFFDD, 4, 0, 7}),
    [](const ::testing::TestParamInfo<JfifCase>& row) { return row.param.name; });

TEST(App0, IdentifierComparedUpToItsFourthByte) {
    ParsedStream decoder = ParseSegments([&](Bytes* out) {
        Bytes payload = JfifPayload(16);
        payload[4] = '!';  // the fifth byte is not compared
        Segment(out, 0xE0, payload);
    });
    EXPECT_EQ(decoder->app0_kind, 1);
}

TEST(App0, IdentifierCutShortByTheEndIsNotRecognised) {
    Bytes bytes;
    stagetest::Soi(&bytes);
    Append(&bytes, {0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'});
    ParsedStream decoder(bytes);
    EXPECT_EQ(decoder->app0_kind, 0);
    EXPECT_EQ(decoder->segment_flags, 0);
}

// Segments the parse must step over exactly, one row per case: what stands between SOI and a
// DRI of 7, and what the parse must have made of it. That the DRI is read shows that the search
// went on at the right byte; no row holds a comment the parse may keep.
struct SkippedCase {
    const char* name;
    Bytes segments;
    int app0_kind;
    int jfxx_code;
    int x_density;
    uint32_t segment_flags;
};

// Names the row in the test list and in failures.
void PrintTo(const SkippedCase& row, std::ostream* out) {
    *out << row.name;
}

// A row from its fields in order: rows are written as argument lists, which clang 14 does not
// take for an aggregate.
SkippedCase SkippedRow(const char* name, Bytes segments, int app0_kind, int jfxx_code,
                       int x_density, uint32_t segment_flags) {
    return {name, std::move(segments), app0_kind, jfxx_code, x_density, segment_flags};
}

class SkippedSegments : public ::testing::TestWithParam<SkippedCase> {};

TEST_P(SkippedSegments, TheParseGoesOnAfterThem) {
    const SkippedCase& row = GetParam();
    ParsedStream decoder = ParsedBeforeDri7(row.segments);
    EXPECT_EQ(decoder->restart_interval, 7);
    EXPECT_EQ(decoder->in_image, 0);
    EXPECT_EQ(decoder->comment, nullptr);
    EXPECT_EQ(decoder->app0_kind, row.app0_kind);
    EXPECT_EQ(decoder->jfxx_code, row.jfxx_code);
    EXPECT_EQ(decoder->x_density, row.x_density);
    EXPECT_EQ(decoder->segment_flags, row.segment_flags);
}

Bytes Joined(std::initializer_list<Bytes> parts) {
    Bytes bytes;
    for (const Bytes& part : parts) Append(&bytes, part);
    return bytes;
}

// A JFXX segment's payload: the identifier, extension code 0x13 and a thumbnail full of EOIs.
Bytes JfxxPayload() {
    Bytes payload = Text("JFXX");
    Append(&payload, {0x00, 0x13});
    for (int i = 0; i < 300; ++i) Append(&payload, {0xFF, 0xD9});
    return payload;
}

INSTANTIATE_TEST_SUITE_P(
    App0, SkippedSegments,
    ::testing::Values(
        // name, segments, then app0_kind, jfxx_code, x_density, segment_flags
        SkippedRow("JfifThumbnailIsSkipped",
                   SegmentBytes(0xE0, Joined({JfifPayload(16),
                                              {0xFF, 0xDD, 0x00, 0x04, 0x00, 0x63, 0xFF, 0xD9}})),
                   1, 0, 300, varnel::kSegmentJFIF),
        SkippedRow("SegmentTooShortForAnIdentifierIsSkippedWhole", SegmentBytes(0xE0, Text("JFIF")),
                   0, 0, 1, 0),
        SkippedRow("JfxxWithThumbnail", SegmentBytes(0xE0, JfxxPayload()), 2, 0x13, 1, 0),
        SkippedRow("OtherIdentifierIsSkippedToItsEnd",
                   SegmentBytes(0xE0,
                                Joined({Text("AVI1"),
                                        {0x00, 0xFF, 0xDD, 0x00, 0x04, 0x00, 0x63, 0xFF, 0xD9}})),
                   0, 0, 1, 0)),
    [](const ::testing::TestParamInfo<SkippedCase>& row) { return row.param.name; });

INSTANTIATE_TEST_SUITE_P(
    AppN, SkippedSegments,
    ::testing::Values(SkippedRow("SegmentsAreSkippedWhole",
                                 Joined({SegmentBytes(0xE1, {'E', 'x', 'i', 'f', 0, 0, 0xFF, 0xFE,
                                                             0x00, 0x04, 'x', 'y'}),
                                         SegmentBytes(0xEF, {0xFF, 0xDD, 0x00, 0x04, 0x00, 0x63})}),
                                 0, 0, 1, 0),
                      SkippedRow("LengthBelowTwoDoesNotStopTheParse",
                                 {0xFF, 0xE1, 0x00, 0x00, 0xFF, 0xE0, 0x00, 0x01}, 0, 0, 1, 0)),
    [](const ::testing::TestParamInfo<SkippedCase>& row) { return row.param.name; });

INSTANTIATE_TEST_SUITE_P(Com, SkippedSegments,
                         ::testing::Values(SkippedRow("LengthBelowTwoLeavesNoComment",
                                                      Joined({SegmentBytes(0xFE, Text("abc")),
                                                              {0xFF, 0xFE, 0x00, 0x01}}),
                                                      0, 0, 1, varnel::kSegmentCOM)),
                         [](const ::testing::TestParamInfo<SkippedCase>& row) {
                             return row.param.name;
                         });

// --- COM ---

TEST(Com, LaterCommentReplacesEarlier) {
    Bytes bytes;
    stagetest::Soi(&bytes);
    Com(&bytes, "abc");
    ParsedStream one(bytes);
    ASSERT_NE(one->comment, nullptr);
    EXPECT_EQ(std::memcmp(one->comment, "abc", 4), 0);
    EXPECT_EQ(one->segment_flags, varnel::kSegmentCOM);

    Com(&bytes, "\xE3\x81\x82z");  // raw bytes, stored as they are
    Com(&bytes, "");
    Com(&bytes, "de");
    stagetest::Eoi(&bytes);
    ParsedStream decoder(bytes);
    EXPECT_STREQ(decoder->comment, "de");
}

TEST(Com, EmptyComment) {
    ParsedStream decoder = ParseSegments([&](Bytes* out) { Com(out, ""); });
    ASSERT_NE(decoder->comment, nullptr);
    EXPECT_EQ(decoder->comment[0], 0);
}

TEST(Com, CutShortByTheEndLeavesZeroBytes) {
    Bytes bytes;
    stagetest::Soi(&bytes);
    Append(&bytes, {0xFF, 0xFE, 0x00, 0x08, 'a', 'b'});
    ParsedStream decoder(bytes);
    ASSERT_NE(decoder->comment, nullptr);
    for (int i = 0; i <= 6; ++i) EXPECT_EQ(decoder->comment[i], 0) << i;
    EXPECT_EQ(decoder->segment_flags, varnel::kSegmentCOM);
}

// --- DQT ---

TEST(Dqt, TwoTablesInOneSegmentAreStoredInNaturalOrder) {
    Bytes payload{0x00};
    for (int k = 0; k < 64; ++k) payload.push_back(static_cast<uint8_t>(k + 1));
    payload.push_back(0x01);
    for (int k = 0; k < 64; ++k) payload.push_back(static_cast<uint8_t>(101 + k));
    ASSERT_EQ(payload.size() + 2, 132u);
    ParsedStream decoder = ParseSegments([&](Bytes* out) { Segment(out, 0xDB, payload); });
    EXPECT_EQ(decoder->segment_flags, varnel::kSegmentDQT);
    EXPECT_EQ(decoder->quant[0][1], 2);
    EXPECT_EQ(decoder->quant[0][8], 3);
    const std::vector<int> zigzag = ZigZagByDiagonals();
    ASSERT_EQ(zigzag.size(), 64u);
    for (int k = 0; k < 64; ++k) {
        EXPECT_EQ(varnel::zigzag_order[k], zigzag[k]) << k;
        EXPECT_EQ(decoder->quant[0][zigzag[k]], k + 1) << k;
        EXPECT_EQ(decoder->quant[1][zigzag[k]], 101 + k) << k;
    }
    EXPECT_EQ(decoder->quant[2][0], 0);
}

TEST(Dqt, TableByteSelectsPrecisionAndFoldsTheIdentifier) {
    Bytes wide{0x13};
    for (int k = 0; k < 64; ++k) PutWord(&wide, 0x0100 + k);
    Bytes narrow{0x05};
    for (int k = 0; k < 64; ++k) narrow.push_back(static_cast<uint8_t>(200 + k % 50));
    ParsedStream decoder = ParseSegments([&](Bytes* out) {
        Segment(out, 0xDB, wide);
        Segment(out, 0xDB, narrow);
    });
    EXPECT_EQ(decoder->quant[3][0], 0x0100);
    EXPECT_EQ(decoder->quant[3][63], 0x013F);
    EXPECT_EQ(decoder->quant[1][0], 200);
    EXPECT_EQ(decoder->quant[1][63], 213);
    EXPECT_EQ(decoder->quant[0][0], 0);
}

TEST(Dqt, TableIsReadWholeWhateverTheLength) {
    Bytes bytes;
    stagetest::Soi(&bytes);
    // Length 10, but the table's 64 entries are read, then the search goes on after them.
    Append(&bytes, {0xFF, 0xDB, 0x00, 0x0A, 0x02});
    bytes.insert(bytes.end(), 64, 0x07);
    Com(&bytes, "abc");
    // Length 2 and length 0: exactly one table each; the second table's bytes are searched.
    Append(&bytes, {0xFF, 0xDB, 0x00, 0x02, 0x00});
    bytes.insert(bytes.end(), 64, 0x05);
    Append(&bytes, {0x01});
    bytes.insert(bytes.end(), 64, 0x06);
    Append(&bytes, {0xFF, 0xDB, 0x00, 0x00, 0x03});
    bytes.insert(bytes.end(), 64, 0x08);
    Append(&bytes, {0x01});
    bytes.insert(bytes.end(), 64, 0x09);
    stagetest::Eoi(&bytes);
    ParsedStream decoder(bytes);
    EXPECT_EQ(decoder->quant[2][63], 7);
    EXPECT_STREQ(decoder->comment, "abc");
    EXPECT_EQ(decoder->quant[0][63], 5);
    EXPECT_EQ(decoder->quant[3][63], 8);
    EXPECT_EQ(decoder->quant[1][0], 0);
    EXPECT_EQ(decoder->in_image, 0);
}

TEST(Dqt, TableCutShortByTheEndReadsZeros) {
    Bytes bytes;
    stagetest::Soi(&bytes);
    Append(&bytes, {0xFF, 0xDB, 0x00, 0x43, 0x00, 9, 9, 9});
    ParsedStream decoder(bytes);
    EXPECT_EQ(decoder->quant[0][0], 9);
    EXPECT_EQ(decoder->quant[0][8], 9);
    EXPECT_EQ(decoder->quant[0][63], 0);
}

// --- SOF0, SOS, DRI, DNL ---

TEST(Sof0, FieldsAndLargestSamplingFactors) {
    ParsedStream decoder = ParseSegments([&](Bytes* out) {
        stagetest::Sof0(out, 8, 0x0123, 0x0456, {{1, 2, 2, 0}, {2, 1, 1, 1}, {3, 1, 1, 3}});
    });
    EXPECT_EQ(decoder->segment_flags, 0);
    EXPECT_EQ(decoder->precision, 8);
    EXPECT_EQ(decoder->height, 0x0123);
    EXPECT_EQ(decoder->width, 0x0456);
    EXPECT_EQ(decoder->component_count, 3);
    EXPECT_EQ(decoder->h_max, 2);
    EXPECT_EQ(decoder->v_max, 2);
    EXPECT_EQ(decoder->frame_components[0].id, 1);
    EXPECT_EQ(decoder->frame_components[1].h, 1);
    EXPECT_EQ(decoder->frame_components[1].tq, 1);
    EXPECT_EQ(decoder->frame_components[2].id, 3);
    EXPECT_EQ(decoder->frame_components[2].tq, 3);
}

TEST(Sof0, LaterFrameHeaderReplacesTheFactors) {
    ParsedStream decoder = ParseSegments([&](Bytes* out) {
        stagetest::Sof0(out, 8, 16, 16, {{1, 3, 1, 0}, {2, 1, 4, 0}, {3, 1, 1, 0}});
        stagetest::Sof0(out, 12, 8, 8, {{1, 1, 1, 0}});
    });
    EXPECT_EQ(decoder->component_count, 1);
    EXPECT_EQ(decoder->precision, 12);
    EXPECT_EQ(decoder->h_max, 1);
    EXPECT_EQ(decoder->v_max, 1);
}

TEST(Sof0, OtherComponentCountsReadNoComponents) {
    ParsedStream decoder = ParseSegments([&](Bytes* out) {
        stagetest::Sof0(out, 8, 16, 16, {{1, 2, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}});
        stagetest::Sof0(out, 8, 24, 32, {{9, 4, 4, 2}, {9, 4, 4, 2}, {9, 4, 4, 2}, {9, 4, 4, 2}});
    });
    EXPECT_EQ(decoder->component_count, 4);
    EXPECT_EQ(decoder->width, 32);
    EXPECT_EQ(decoder->h_max, 2);
    EXPECT_EQ(decoder->v_max, 1);
    EXPECT_EQ(decoder->frame_components[0].id, 1);
    EXPECT_EQ(decoder->frame_components[0].h, 2);
}

TEST(Sos, FieldsAndTheReaderAtTheEntropyCodedData) {
    Bytes bytes;
    stagetest::Soi(&bytes);
    Append(&bytes, {0xFF, 0xDA, 0x00, 0x0C, 3, 1, 0x00, 2, 0x11, 3, 0x21, 0x05, 0x3F, 0x4A});
    const int32_t scan_data = static_cast<int32_t>(bytes.size());
    Append(&bytes, {0x77});
    ParsedStream decoder(bytes);
    EXPECT_EQ(decoder->segment_flags, varnel::kSegmentSOS);
    EXPECT_EQ(decoder->scan_component_count, 3);
    EXPECT_EQ(decoder->scan_components[0].cs, 1);
    EXPECT_EQ(decoder->scan_components[1].td, 1);
    EXPECT_EQ(decoder->scan_components[1].ta, 1);
    EXPECT_EQ(decoder->scan_components[2].cs, 3);
    EXPECT_EQ(decoder->scan_components[2].td, 2);
    EXPECT_EQ(decoder->scan_components[2].ta, 1);
    EXPECT_EQ(decoder->ss, 5);
    EXPECT_EQ(decoder->se, 0x3F);
    EXPECT_EQ(decoder->ah, 4);
    EXPECT_EQ(decoder->al, 0xA);
    EXPECT_EQ(decoder->reader->cursor, decoder.image.data + scan_data);
}

// The table byte of a one-component scan header whose DC (high four bits) or AC (low four bits)
// selector is above two.
class ScanSelectors : public ::testing::TestWithParam<int> {};

TEST_P(ScanSelectors, AboveTwoStopsTheScanHeader) {
    Bytes bytes = FrameAndTables({{1, 1, 1, 0}});
    Append(&bytes, {0xFF, 0xDA, 0x00, 0x08, 1, 1, GetParam(), 0x07, 0x3F, 0x00});
    Com(&bytes, "abc");
    stagetest::Eoi(&bytes);
    ParsedStream decoder(bytes);
    EXPECT_EQ(decoder->segment_flags, varnel::kSegmentDHT | varnel::kSegmentSOS);
    EXPECT_EQ(decoder->comment, nullptr);
    EXPECT_EQ(decoder->ss, 0);
    EXPECT_EQ(varnel::Decode(decoder.get()), varnel::kNothingToDecode);
    EXPECT_EQ(decoder->planes[0], nullptr);
}

INSTANTIATE_TEST_SUITE_P(Sos, ScanSelectors, ::testing::Values(0x30, 0x03),
                         [](const ::testing::TestParamInfo<int>& row) {
                             return row.param == 0x30 ? "DcSelectorThree" : "AcSelectorThree";
                         });

TEST(Sos, MoreThanThreeEntriesAreNotStoredBeyondTheThird) {
    Bytes bytes = FrameAndTables({{1, 1, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}});
    Append(&bytes, {0xFF, 0xDA, 0x00, 0x10, 5, 1, 0, 2, 0, 3, 0, 0xEE, 0x22, 0xEE, 0x22, 0, 63, 0});
    Append(&bytes, {0x00});
    stagetest::Eoi(&bytes);
    CountedParse decoder(bytes);
    EXPECT_EQ(decoder->scan_component_count, 5);
    EXPECT_EQ(decoder->scan_components[2].cs, 3);
    // The fields that follow the scan components in the record are untouched.
    EXPECT_EQ(decoder->consumed, &decoder.counter);
    EXPECT_EQ(decoder->huffman[0][0].count, 17);
    EXPECT_EQ(decoder->huffman[1][0].count, 255);
    EXPECT_EQ(varnel::Decode(decoder.get()), varnel::kNothingToDecode);
}

TEST(DriDnl, RestartIntervalAndNumberOfLines) {
    ParsedStream decoder = ParseSegments([&](Bytes* out) {
        Dri(out, 3);
        stagetest::Sof0(out, 8, 16, 24, {{1, 1, 1, 0}});
        Dri(out, 8);
        Segment(out, 0xDC, Bytes{0x01, 0x02});
    });
    EXPECT_EQ(decoder->restart_interval, 8);
    EXPECT_EQ(decoder->height, 0x0102);
    EXPECT_EQ(decoder->width, 24);
}

// --- The decode gate ---

// A one-block grey picture whose pieces the gate tests change one at a time.
struct GreyPicture {
    int precision = 8;
    int height = 8;
    int width = 8;
    stagetest::Component component{1, 1, 1, 0};
    int scan_entries = 1;
    bool scan_data = true;
};

Bytes Build(const GreyPicture& picture) {
    Bytes bytes;
    stagetest::Soi(&bytes);
    stagetest::DqtFlat(&bytes, 0, 8);
    Bytes sof{static_cast<uint8_t>(picture.precision)};
    PutWord(&sof, picture.height);
    PutWord(&sof, picture.width);
    const stagetest::Component& c = picture.component;
    Append(&sof, {1, c.id, (c.h << 4) | c.v, c.tq});
    Segment(&bytes, 0xC0, sof);
    stagetest::StandardTables(&bytes);
    Bytes sos{static_cast<uint8_t>(picture.scan_entries)};
    for (int i = 0; i < picture.scan_entries; ++i) Append(&sos, {1 + i, 0x00});
    Append(&sos, {0, 63, 0});
    Segment(&bytes, 0xDA, sos);
    if (picture.scan_data) {
        stagetest::BitWriter writer;
        stagetest::PutFlatBlock(&writer, 5);
        stagetest::PadToByte(&writer);
        Append(&bytes, writer.bytes);
        stagetest::Eoi(&bytes);
    }
    return bytes;
}

int32_t ParseAndDecode(const Bytes& bytes) {
    const Image image(bytes);
    Decoder decoder;
    EXPECT_EQ(varnel::Attach(decoder.get(), image.data, image.size), 0);
    const int32_t result = varnel::Decode(decoder.get());
    EXPECT_EQ(result == 0, decoder->planes[0] != nullptr);
    return result;
}

TEST(DecodeGate, AcceptsAWellFormedPicture) {
    ParsedStream decoder(Build(GreyPicture{}));
    ASSERT_EQ(varnel::Decode(decoder.get()), 0);
    // DC difference 5 times quantiser 8: 40 x 5000 / 40000 = 5 above the level of 128.
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(decoder->planes[0][i], 133);
        EXPECT_EQ(decoder->planes[1][i], 133);
        EXPECT_EQ(decoder->planes[2][i], 133);
    }
}

// One-block grey pictures with one piece changed, one row per case: the picture and what the
// decode of it must give.
struct GateCase {
    const char* name;
    GreyPicture picture;
    int32_t result;
};

// Names the row in the test list and in failures.
void PrintTo(const GateCase& row, std::ostream* out) {
    *out << row.name;
}

class DecodeGateFrames : public ::testing::TestWithParam<GateCase> {};

TEST_P(DecodeGateFrames, DecodeOnlyWhatTheScanCanHandle) {
    EXPECT_EQ(ParseAndDecode(Build(GetParam().picture)), GetParam().result);
}

constexpr int32_t kRefused = varnel::kNothingToDecode;

// Components are {id, h, v, tq}.
INSTANTIATE_TEST_SUITE_P(
    DecodeGate, DecodeGateFrames,
    ::testing::Values(
        GateCase{"RefusesAHorizontalFactorOfZero", {.component = {1, 0, 1, 0}}, kRefused},
        GateCase{"RefusesAVerticalFactorOfZero", {.component = {1, 1, 0, 0}}, kRefused},
        GateCase{"RefusesQuantisationTableFour", {.component = {1, 1, 1, 4}}, kRefused},
        GateCase{"RefusesQuantisationTable0x80", {.component = {1, 1, 1, 0x80}}, kRefused},
        GateCase{"RefusesAWidthOfZero", {.width = 0}, kRefused},
        GateCase{"RefusesAHeightOfZero", {.height = 0}, kRefused},
        // Scans that do not match the frame.
        GateCase{"RefusesAScanOfTwoComponents", {.scan_entries = 2}, kRefused},
        GateCase{"RefusesAScanOfNoComponents", {.scan_entries = 0}, kRefused},
        // A table never defined is still a table.
        GateCase{"AcceptsQuantisationTableThreeNeverDefined", {.component = {1, 1, 1, 3}}, 0}),
    [](const ::testing::TestParamInfo<GateCase>& row) { return row.param.name; });

TEST(DecodeGate, RefusesStreamsWithoutAScanOrFrame) {
    Bytes tables_only;
    stagetest::Soi(&tables_only);
    stagetest::DqtFlat(&tables_only, 0, 8);
    stagetest::Sof0(&tables_only, 8, 8, 8, {{1, 1, 1, 0}});
    stagetest::StandardTables(&tables_only);
    stagetest::Eoi(&tables_only);
    EXPECT_EQ(ParseAndDecode(tables_only), varnel::kNothingToDecode);

    Bytes two_components;
    stagetest::Soi(&two_components);
    stagetest::Sof0(&two_components, 8, 8, 8, {{1, 1, 1, 0}, {2, 1, 1, 0}});
    stagetest::Sos(&two_components, {{1, 0, 0}, {2, 0, 0}});
    stagetest::Eoi(&two_components);
    EXPECT_EQ(ParseAndDecode(two_components), varnel::kNothingToDecode);

    Bytes three_in_frame_one_in_scan;
    stagetest::Soi(&three_in_frame_one_in_scan);
    stagetest::Sof0(&three_in_frame_one_in_scan, 8, 8, 8,
                    {{1, 1, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}});
    stagetest::Sos(&three_in_frame_one_in_scan, {{1, 0, 0}});
    stagetest::Eoi(&three_in_frame_one_in_scan);
    EXPECT_EQ(ParseAndDecode(three_in_frame_one_in_scan), varnel::kNothingToDecode);
}

TEST(DecodeGate, ScanHeaderMustBeReadWhole) {
    GreyPicture picture;
    picture.scan_data = false;
    const Bytes whole = Build(picture);
    // Ending right after the scan header: decoded, as a grey picture.
    {
        ParsedStream decoder(whole);
        ASSERT_EQ(varnel::Decode(decoder.get()), 0);
        for (int i = 0; i < 64; ++i) EXPECT_EQ(decoder->planes[0][i], 128);
    }
    // Ending anywhere inside it: refused.
    for (size_t cut = 1; cut <= 5; ++cut) {
        const Bytes cut_short(whole.begin(), whole.end() - static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(ParseAndDecode(cut_short), varnel::kNothingToDecode) << cut;
    }
}

TEST(DecodeGate, RefusesSizesBeyondTwoGigabytesBeforeAllocating) {
    GreyPicture picture;
    picture.width = 65535;
    picture.height = 65535;
    EXPECT_EQ(ParseAndDecode(Build(picture)), varnel::kNothingToDecode);

    // The bitmap of 65535 columns takes 196608 bytes a row: 10922 rows fit in 2^31 - 1 bytes,
    // 10923 do not.
    picture.height = 10923;
    {
        ParsedStream decoder(Build(picture));
        EXPECT_FALSE(varnel::IsDecodable(decoder.get()));
        EXPECT_EQ(varnel::Decode(decoder.get()), varnel::kNothingToDecode);
        EXPECT_EQ(decoder->planes[0], nullptr);
    }
    picture.height = 10922;
    {
        ParsedStream decoder(Build(picture));
        EXPECT_TRUE(varnel::IsDecodable(decoder.get()));
    }
}

}  // namespace
