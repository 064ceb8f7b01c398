// Whole decodes of real files made by a real encoder: the decoder's pictures agree with
// libjpeg-turbo's accurate integer decode to within the rounding that differs between them,
// for every sampling layout, odd sizes and restart intervals; and damaged files decode safely.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "encoded_files.h"
#include "jpeg_decoder.h"

namespace {

struct DecodedPicture {
    bool ok = false;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // top-down
};

DecodedPicture DecodeBytes(const std::vector<uint8_t>& bytes) {
    // An exact-size copy, so that AddressSanitizer sees any read past the end.
    auto* image = static_cast<uint8_t*>(std::malloc(bytes.empty() ? 1 : bytes.size()));
    std::copy(bytes.begin(), bytes.end(), image);
    varnel::JpegDecoder decoder;
    varnel::ConstructDecoder(&decoder);
    DecodedPicture picture;
    if (varnel::Attach(&decoder, image, static_cast<int32_t>(bytes.size())) == 0 &&
        varnel::Decode(&decoder) == 0) {
        picture.ok = true;
        picture.width = decoder.width;
        picture.height = decoder.height;
        const size_t count = static_cast<size_t>(decoder.width) * decoder.height;
        picture.rgb.resize(count * 3);
        for (size_t i = 0; i < count; ++i) {
            for (int c = 0; c < 3; ++c) picture.rgb[i * 3 + c] = decoder.planes[c][i];
        }
    }
    varnel::DestroyDecoder(&decoder);
    std::free(image);
    return picture;
}

struct EncodeCase {
    int width;
    int height;
    const char* options;
};

std::string CaseName(const testing::TestParamInfo<EncodeCase>& info) {
    std::string name = std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
    for (const char* c = info.param.options; *c != 0; ++c) {
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    }
    return name;
}

class DecodeAgainstLibjpeg : public testing::TestWithParam<EncodeCase> {};

TEST_P(DecodeAgainstLibjpeg, AgreesWithinRounding) {
    const EncodeCase& param = GetParam();
    const testfiles::Rgb source = testfiles::MakePicture(param.width, param.height, 7);
    const auto path = testfiles::EncodeWithCjpeg(source, param.options,
                                                 CaseName({param, 0}));
    ASSERT_FALSE(path.empty()) << "cjpeg failed";
    testfiles::Rgb reference;
    ASSERT_TRUE(testfiles::DecodeWithDjpeg(path, &reference));

    const DecodedPicture decoded = DecodeBytes(testfiles::ReadBytes(path));
    ASSERT_TRUE(decoded.ok);
    ASSERT_EQ(decoded.width, reference.width);
    ASSERT_EQ(decoded.height, reference.height);
    // The colour formula's constants and truncating divisions differ slightly from
    // libjpeg-turbo's rounded fixed point; the IDCT truncates where libjpeg-turbo rounds, which
    // coarse quantisation magnifies.
    int64_t total = 0;
    int worst = 0;
    for (size_t i = 0; i < decoded.rgb.size(); ++i) {
        const int difference = std::abs(decoded.rgb[i] - reference.pixels[i]);
        total += difference;
        worst = std::max(worst, difference);
    }
    EXPECT_LE(worst, 10);
    EXPECT_LT(static_cast<double>(total) / static_cast<double>(decoded.rgb.size()), 2.0);
}

INSTANTIATE_TEST_SUITE_P(
    SamplingAndSizes, DecodeAgainstLibjpeg,
    testing::Values(EncodeCase{64, 48, "-sample 2x2"}, EncodeCase{100, 75, "-sample 2x2"},
                    EncodeCase{61, 37, "-sample 1x1"}, EncodeCase{50, 30, "-sample 2x1"},
                    EncodeCase{30, 50, "-sample 1x2"}, EncodeCase{45, 45, "-grayscale"},
                    EncodeCase{1, 1, "-sample 2x2"}, EncodeCase{5, 3, "-sample 1x1"},
                    EncodeCase{17, 33, "-grayscale"}, EncodeCase{129, 65, "-sample 2x2 -quality 100"},
                    EncodeCase{80, 64, "-sample 2x2 -quality 20 -baseline"},
                    EncodeCase{96, 40, "-sample 2x2 -restart 1B"},
                    EncodeCase{96, 40, "-sample 1x1 -restart 3B"},
                    EncodeCase{33, 47, "-grayscale -restart 2B"},
                    EncodeCase{72, 56, "-sample 2x2 -optimize"}),
    CaseName);

// A picture made once for the damage tests: 4:2:0 with restart markers, so that the decoder
// meets RST markers, stuffed bytes and the end of data in every position.
std::vector<uint8_t> SmallFile() {
    static const std::vector<uint8_t> bytes = [] {
        const auto path = testfiles::EncodeWithCjpeg(testfiles::MakePicture(40, 24, 3),
                                                     "-sample 2x2 -restart 2B -quality 85",
                                                     "damage-source");
        return path.empty() ? std::vector<uint8_t>() : testfiles::ReadBytes(path);
    }();
    return bytes;
}

TEST(DamagedFiles, EveryTruncationDecodesSafely) {
    const std::vector<uint8_t> whole = SmallFile();
    ASSERT_GT(whole.size(), 200u);
    const DecodedPicture full = DecodeBytes(whole);
    ASSERT_TRUE(full.ok);
    int decoded = 0;
    for (size_t length = 0; length < whole.size(); ++length) {
        const DecodedPicture cut = DecodeBytes({whole.begin(), whole.begin() + length});
        if (!cut.ok) continue;
        ++decoded;
        // Whatever part of the data is missing, the frame's size is what the header says.
        EXPECT_EQ(cut.width, 40);
        EXPECT_EQ(cut.height, 24);
    }
    // A file cut anywhere inside the entropy-coded data still decodes (a partial picture);
    // one cut inside the headers does not.
    EXPECT_GT(decoded, 100);
    EXPECT_LT(decoded, static_cast<int>(whole.size()));
}

TEST(DamagedFiles, FlippedBytesDecodeSafely) {
    const std::vector<uint8_t> whole = SmallFile();
    ASSERT_FALSE(whole.empty());
    for (size_t at = 0; at < whole.size(); ++at) {
        for (uint8_t mask : {0x01, 0xFF}) {
            std::vector<uint8_t> damaged = whole;
            damaged[at] ^= mask;
            const DecodedPicture picture = DecodeBytes(damaged);
            if (picture.ok) {
                EXPECT_GE(picture.width, 1);
                EXPECT_EQ(picture.rgb.size(),
                          static_cast<size_t>(picture.width) * picture.height * 3);
            }
        }
    }
}

TEST(DamagedFiles, HugeFrameIsRefusedBeforeAllocating) {
    std::vector<uint8_t> bytes = SmallFile();
    ASSERT_FALSE(bytes.empty());
    // Rewrite the frame size to 65535 x 65535.
    for (size_t i = 0; i + 9 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            bytes[i + 5] = bytes[i + 6] = bytes[i + 7] = bytes[i + 8] = 0xFF;
            break;
        }
    }
    EXPECT_FALSE(DecodeBytes(bytes).ok);
}

}  // namespace
