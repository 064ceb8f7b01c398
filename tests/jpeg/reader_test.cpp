// The segment reader: byte-level reads for marker segments and bit-level reads for entropy-coded
// data over one cursor, with stuffed zeros removed, markers reported without being consumed,
// and the end of the image never read past.
#include <gtest/gtest.h>

#include "stage_streams.h"

namespace {

using stagetest::Bytes;
using stagetest::Image;
using stagetest::ReaderOver;
using varnel::JpegReader;

// --- Bit-level reads ---

TEST(ReaderBits, ZeroOrNegativeCountReadsNothing) {
    const Image image(Bytes{0xA5});
    JpegReader reader = ReaderOver(image);
    EXPECT_EQ(varnel::ReadBits(&reader, 0), 0);
    EXPECT_EQ(varnel::ReadBits(&reader, -3), 0);
    EXPECT_EQ(reader.cursor, image.data);
    EXPECT_EQ(reader.bit_index, 7);
    EXPECT_EQ(varnel::ReadBits(&reader, 8), 0xA5);
}

TEST(ReaderBits, MostSignificantBitFirst) {
    const Image image(Bytes{0xA5, 0x3C});
    JpegReader reader = ReaderOver(image);
    EXPECT_EQ(varnel::ReadBits(&reader, 4), 10);
    EXPECT_EQ(varnel::ReadBits(&reader, 4), 5);
    EXPECT_EQ(varnel::ReadBits(&reader, 1), 0);
    EXPECT_EQ(varnel::ReadBits(&reader, 3), 3);
    EXPECT_EQ(varnel::ReadBits(&reader, 4), 0xC);
}

TEST(ReaderBits, StuffedZeroIsRemovedAndCounted) {
    const Image image(Bytes{0x12, 0xFF, 0x00, 0x34});
    int32_t counter = 0;
    JpegReader reader = ReaderOver(image, &counter);
    EXPECT_EQ(varnel::ReadBits(&reader, 24), 0x12FF34);
    // Stepping onto 0xFF, then over it and its stuffed zero onto 0x34.
    EXPECT_EQ(counter, 3);
    EXPECT_EQ(reader.cursor, image.data + 3);
}

TEST(ReaderBits, StuffedZeroAfterTheFirstByteOfAScan) {
    const Image image(Bytes{0xFF, 0x00, 0x80});
    JpegReader reader = ReaderOver(image);
    EXPECT_EQ(varnel::ReadBits(&reader, 9), 0x1FF);
}

TEST(ReaderBits, MarkerIsReportedAgainAndNotConsumed) {
    const Image image(Bytes{0x12, 0xFF, 0xD9});
    JpegReader reader = ReaderOver(image);
    EXPECT_EQ(varnel::ReadBits(&reader, 8), 0x12);
    EXPECT_EQ(varnel::ReadBits(&reader, 1), -217);
    EXPECT_EQ(varnel::ReadBits(&reader, 1), -217);
    EXPECT_EQ(varnel::ReadBits(&reader, 5), -217);
    EXPECT_EQ(varnel::ReadByte(&reader), 0xFF);
    EXPECT_EQ(varnel::ReadByte(&reader), 0xD9);
    EXPECT_FALSE(reader.valid);
}

TEST(ReaderBits, MarkerDropsTheBitsGatheredSoFar) {
    const Image image(Bytes{0x12, 0xFF, 0xD0, 0x56});
    JpegReader reader = ReaderOver(image);
    EXPECT_EQ(varnel::ReadBits(&reader, 12), -208);
    EXPECT_EQ(varnel::ReadByte(&reader), 0xFF);
    EXPECT_EQ(varnel::ReadByte(&reader), 0xD0);
    EXPECT_EQ(varnel::ReadBits(&reader, 8), 0x56);
}

TEST(ReaderBits, MarkerAtTheVeryFirstByte) {
    const Image image(Bytes{0xFF, 0xD7, 0x00});
    JpegReader reader = ReaderOver(image);
    EXPECT_EQ(varnel::ReadBits(&reader, 1), -0xD7);
    EXPECT_EQ(reader.cursor, image.data);
}

TEST(ReaderBits, ByteReadAfterBitsStartsOnThePendingStuffedZero) {
    const Image image(Bytes{0xFF, 0x00, 0x12});
    JpegReader reader = ReaderOver(image);
    EXPECT_EQ(varnel::ReadBits(&reader, 8), 0xFF);
    EXPECT_EQ(varnel::ReadByte(&reader), 0x00);
    EXPECT_EQ(varnel::ReadByte(&reader), 0x12);
}

TEST(ReaderBits, ByteReadDropsTheRestOfAPartlyReadByte) {
    const Image image(Bytes{0xE0, 0x41});
    JpegReader reader = ReaderOver(image);
    EXPECT_EQ(varnel::ReadBits(&reader, 3), 7);
    EXPECT_EQ(varnel::Position(&reader), image.data + 1);
    EXPECT_EQ(varnel::ReadByte(&reader), 0x41);
}

// --- The end of the image inside entropy-coded data ---

TEST(ReaderEnd, SteppingPastTheLastByteReadsAsEndOfImage) {
    const Image image(Bytes{0x12});
    int32_t counter = 0;
    JpegReader reader = ReaderOver(image, &counter);
    EXPECT_EQ(varnel::ReadBits(&reader, 8), 0x12);
    EXPECT_EQ(varnel::ReadBits(&reader, 1), -217);
    EXPECT_EQ(varnel::ReadBits(&reader, 1), -217);
    EXPECT_LT(reader.cursor, reader.end);
    EXPECT_EQ(counter, 0);
}

TEST(ReaderEnd, PartialReadAcrossTheEndIsDropped) {
    const Image image(Bytes{0x12, 0x34});
    JpegReader reader = ReaderOver(image);
    EXPECT_EQ(varnel::ReadBits(&reader, 4), 1);
    EXPECT_EQ(varnel::ReadBits(&reader, 16), -217);
}

TEST(ReaderEnd, LoneFinalFFReadsAsEndOfImage) {
    const Image image(Bytes{0x12, 0xFF});
    JpegReader reader = ReaderOver(image);
    EXPECT_EQ(varnel::ReadBits(&reader, 8), 0x12);
    EXPECT_EQ(varnel::ReadBits(&reader, 1), -217);

    const Image only(Bytes{0xFF});
    JpegReader at_start = ReaderOver(only);
    EXPECT_EQ(varnel::ReadBits(&at_start, 1), -217);
    EXPECT_EQ(at_start.cursor, only.data);
}

TEST(ReaderEnd, StuffedZeroAsTheLastByteIsNotSteppedPast) {
    const Image image(Bytes{0xFF, 0x00});
    JpegReader reader = ReaderOver(image);
    EXPECT_EQ(varnel::ReadBits(&reader, 8), 0xFF);
    EXPECT_EQ(varnel::ReadBits(&reader, 1), -217);
    EXPECT_LE(reader.cursor, reader.end);
}

TEST(ReaderEnd, EmptyImageStartsExhausted) {
    const Image image(Bytes{});
    JpegReader reader = ReaderOver(image);
    EXPECT_FALSE(reader.valid);
    EXPECT_EQ(varnel::ReadByte(&reader), 0);
    EXPECT_EQ(varnel::ReadWord(&reader), 0);
    EXPECT_EQ(varnel::ReadBits(&reader, 3), -217);
    EXPECT_EQ(varnel::Position(&reader), reader.end);
}

// --- Byte-level reads ---

TEST(ReaderBytes, WordIsBigEndian) {
    const Image image(Bytes{0x01, 0x02, 0xAB});
    JpegReader reader = ReaderOver(image);
    EXPECT_EQ(varnel::ReadWord(&reader), 258);
    // One byte left: it is the high byte.
    EXPECT_EQ(varnel::ReadWord(&reader), 0xAB00);
    EXPECT_FALSE(reader.valid);
}

TEST(ReaderBytes, ExhaustedReaderGivesZeroAndStays) {
    const Image image(Bytes{0x7F});
    int32_t counter = 0;
    JpegReader reader = ReaderOver(image, &counter);
    EXPECT_EQ(varnel::ReadByte(&reader), 0x7F);
    EXPECT_FALSE(reader.valid);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(varnel::ReadByte(&reader), 0);
    EXPECT_EQ(varnel::Position(&reader), reader.end);
    EXPECT_EQ(reader.cursor, reader.end);
    EXPECT_EQ(counter, 1);
}

TEST(ReaderBytes, ReadBytesCopiesOnlyWhatTheImageHolds) {
    const Image image(Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    int32_t counter = 0;
    JpegReader reader = ReaderOver(image, &counter);
    EXPECT_EQ(varnel::ReadByte(&reader), 0);

    uint8_t buffer[12];
    std::memset(buffer, 0xBD, sizeof(buffer));
    varnel::ReadBytes(&reader, buffer, 10);  // 9 remain
    EXPECT_EQ(buffer[0], 0xBD);
    EXPECT_EQ(reader.cursor, image.data + 1);
    EXPECT_TRUE(reader.valid);

    varnel::ReadBytes(&reader, buffer, -1);
    EXPECT_EQ(buffer[0], 0xBD);
    EXPECT_EQ(reader.cursor, image.data + 1);

    varnel::ReadBytes(&reader, buffer, 4);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(buffer[3], 4);
    EXPECT_EQ(buffer[4], 0xBD);
    EXPECT_TRUE(reader.valid);

    varnel::ReadBytes(&reader, buffer, 5);  // exactly the rest
    EXPECT_EQ(buffer[4], 9);
    EXPECT_EQ(reader.cursor, reader.end);
    EXPECT_FALSE(reader.valid);
    EXPECT_EQ(counter, 10);
}

TEST(ReaderBytes, ReadBytesAlignsFirst) {
    const Image image(Bytes{0xF0, 0x11, 0x22});
    JpegReader reader = ReaderOver(image);
    EXPECT_EQ(varnel::ReadBits(&reader, 2), 3);
    uint8_t buffer[2] = {};
    varnel::ReadBytes(&reader, buffer, 2);
    EXPECT_EQ(buffer[0], 0x11);
    EXPECT_EQ(buffer[1], 0x22);
}

TEST(ReaderBytes, SkipMovesBothWaysWithinTheImage) {
    const Image image(Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    int32_t counter = 0;
    JpegReader reader = ReaderOver(image, &counter);
    varnel::Skip(&reader, 10);
    EXPECT_EQ(reader.cursor, image.data + 10);
    varnel::Skip(&reader, -9);
    EXPECT_EQ(reader.cursor, image.data + 1);
    EXPECT_EQ(counter, 1);
    EXPECT_EQ(varnel::ReadByte(&reader), 1);

    varnel::Skip(&reader, 11);  // one beyond the end: refused
    EXPECT_EQ(reader.cursor, image.data + 2);
    EXPECT_TRUE(reader.valid);

    varnel::Skip(&reader, 10);  // exactly to the end
    EXPECT_EQ(reader.cursor, reader.end);
    EXPECT_FALSE(reader.valid);

    // Moving back does not make the reader valid again.
    varnel::Skip(&reader, -2);
    EXPECT_EQ(reader.cursor, image.data + 10);
    EXPECT_FALSE(reader.valid);
    EXPECT_EQ(varnel::ReadByte(&reader), 0);
}

TEST(ReaderBytes, PositionOfAPartlyReadLastByte) {
    const Image image(Bytes{0x80});
    JpegReader reader = ReaderOver(image);
    EXPECT_EQ(varnel::Position(&reader), image.data);
    EXPECT_EQ(varnel::ReadBits(&reader, 1), 1);
    EXPECT_EQ(varnel::Position(&reader), image.data + 1);
}

}  // namespace
