// The reasons given for refusing a file against the decode gate itself: on every hand-built
// case the gate refuses exactly when a reason is given, and the reason is the expected one.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

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

}  // namespace
