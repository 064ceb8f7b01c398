// The reasons given for refusing a file against the decode gate itself: on every hand-built
// case the gate refuses exactly when a reason is given, and the reason is the expected one.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "decoder_heap.h"
#include "gate_streams.h"
#include "refusal.h"

namespace stagetest {
// A row prints as its name in ctest's list.
void PrintTo(const GateCase& row, std::ostream* out) {
    *out << row.name;
}
}  // namespace stagetest

namespace {

using stagetest::BuildStream;
using stagetest::Decoder;
using stagetest::GateCase;
using stagetest::Image;
using varnel::Refusal;

class GateRefusal : public testing::TestWithParam<GateCase> {};

TEST_P(GateRefusal, AReasonIsGivenExactlyWhenTheGateRefuses) {
    const GateCase& row = GetParam();
    const Image image(BuildStream(row.spec));
    Decoder decoder;
    ASSERT_EQ(varnel::Attach(decoder.get(), image.data, image.size), 0);
    EXPECT_EQ(varnel::FindRefusal(decoder.get()), row.reason);
    EXPECT_EQ(varnel::DescribeRefusal(decoder.get()).empty(), row.reason == Refusal::kNone);
    const int32_t result = varnel::Decode(decoder.get());
    EXPECT_EQ(result, row.reason == Refusal::kNone ? 0 : varnel::kNothingToDecode);
}

INSTANTIATE_TEST_SUITE_P(Cases, GateRefusal, testing::ValuesIn(stagetest::GateCases()),
                         [](const testing::TestParamInfo<GateCase>& row) {
                             return std::string(row.param.name);
                         });

// Every frame marker of another coding process (T.81 Table B.1) is named by its number; DHT,
// JPG and DAC, which share the range, are not frames.
TEST(GateRefusal, EveryOtherFrameMarkerIsNamed) {
    for (int marker = 0xC1; marker <= 0xCF; ++marker) {
        if (marker == 0xC4 || marker == 0xC8 || marker == 0xCC) continue;
        stagetest::StreamSpec spec;
        spec.frame_marker = marker;
        const Image image(BuildStream(spec));
        Decoder decoder;
        ASSERT_EQ(varnel::Attach(decoder.get(), image.data, image.size), 0);
        const std::string words = varnel::DescribeRefusal(decoder.get());
        EXPECT_NE(words.find("JPEG (SOF" + std::to_string(marker - 0xC0) + ")"), std::string::npos)
            << words;
        EXPECT_EQ(varnel::Decode(decoder.get()), varnel::kNothingToDecode);
    }
}

// The parse of a file the gate admits, with its n-th heap block failing (the decoder's heap
// hook): the reader's block fails Attach; a Huffman table's array leaves the table out, and
// the gate refuses the file, naming the lost table, rather than decode it without the table.
int blocks_until_failure = 0;
bool CountdownFails() {
    return --blocks_until_failure == 0;
}

TEST(GateRefusal, AHuffmanTableThatCannotBeAllocatedRefusesTheFile) {
    const Image image(BuildStream(stagetest::StreamSpec{}));
    int lost_tables = 0;
    for (int nth = 1;; ++nth) {
        blocks_until_failure = nth;
        varnel::SetDecoderHeapFaultHook(CountdownFails);
        Decoder decoder;
        const int32_t attached = varnel::Attach(decoder.get(), image.data, image.size);
        varnel::SetDecoderHeapFaultHook(nullptr);
        if (nth == 1) {
            EXPECT_LT(attached, 0) << "the reader's block failed";
            continue;
        }
        ASSERT_EQ(attached, 0);
        const Refusal reason = varnel::FindRefusal(decoder.get());
        if (blocks_until_failure > 0) {
            // Every block of the parse was had: the file is admitted as without the hook.
            EXPECT_EQ(reason, Refusal::kNone);
            break;
        }
        EXPECT_EQ(reason, Refusal::kTableLost) << "block " << nth;
        EXPECT_NE(varnel::DescribeRefusal(decoder.get()).find("out of memory"), std::string::npos);
        EXPECT_EQ(varnel::Decode(decoder.get()), varnel::kNothingToDecode);
        ++lost_tables;
    }
    EXPECT_GE(lost_tables, 3) << "the three arrays of at least one table";
}

}  // namespace
