// Dequantisation and the integer inverse DCT: the cosine and product tables built in plain
// double arithmetic from the eight-decimal constants, the direct 64 x 64 product with its
// truncating division by 40000, the level shift, and 32-bit wrap-around on damaged data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "stage_streams.h"

namespace {

using stagetest::Decoder;
using varnel::idct_matrix;

constexpr double kPi = 3.14159265358979323846;

// Index of the entry for sample (x, y) and coefficient (u, v).
int MatrixIndex(int x, int y, int u, int v) {
    return (8 * y + x) * 64 + (8 * v + u);
}

// --- Tables ---

TEST(IdctTables, ConstantsAreTheEightDecimalOnes) {
    Decoder decoder;
    EXPECT_NEAR(varnel::inv_sqrt2, 0.707106782373095, 1e-15);
    EXPECT_NE(varnel::inv_sqrt2, 1.0 / std::sqrt(2.0));
    for (int x = 0; x < 8; ++x) EXPECT_EQ(decoder->cos_table[0][x], 1.0) << x;
    for (int u = 0; u < 8; ++u) {
        for (int x = 0; x < 8; ++x) {
            const double exact = std::cos((2 * x + 1) * u * kPi / 16);
            EXPECT_NEAR(decoder->cos_table[u][x], exact, 1e-7) << u << " " << x;
        }
    }
}

TEST(IdctTables, EntriesOnTheTruncationBoundary) {
    Decoder decoder;
    EXPECT_EQ(idct_matrix[0], 5000);
    EXPECT_EQ(idct_matrix[9], 9619);
    EXPECT_EQ(idct_matrix[68], -4999);
    EXPECT_EQ(idct_matrix[4095], 380);
    int at_5000 = 0;
    int at_4999 = 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(idct_matrix[MatrixIndex(x, y, 0, 0)], 5000);
            for (const auto& [u, v] : {std::pair{0, 0}, {4, 0}, {0, 4}, {4, 4}}) {
                const int magnitude = std::abs(idct_matrix[MatrixIndex(x, y, u, v)]);
                at_5000 += magnitude == 5000;
                at_4999 += magnitude == 4999;
            }
        }
    }
    EXPECT_EQ(at_5000, 156);
    EXPECT_EQ(at_4999, 100);
    int smallest = 0;
    int largest = 0;
    for (int32_t entry : idct_matrix) {
        smallest = std::min(smallest, entry);
        largest = std::max(largest, entry);
    }
    EXPECT_EQ(smallest, -9619);
    EXPECT_EQ(largest, 9619);
}

// Every build (64-bit and 32-bit x86 with SSE or x87 arithmetic, ARM, glibc's or the Windows
// runtime's cosine) must build the very same table, or their bitmaps would differ. The
// checksum (FNV-1a over the entries' 32-bit two's-complement values, low byte first) is the
// table's on x86-64 Linux, where the tables were first checked entry by entry.
TEST(IdctTables, TheWholeTableIsTheSameOnEveryBuild) {
    Decoder decoder;
    uint32_t hash = 2166136261u;
    for (int32_t entry : idct_matrix) {
        const uint32_t bits = static_cast<uint32_t>(entry);
        for (int shift = 0; shift < 32; shift += 8) {
            hash = (hash ^ ((bits >> shift) & 0xFFu)) * 16777619u;
        }
    }
    EXPECT_EQ(hash, 9961061u);
}

// --- InverseDCT ---

TEST(InverseDct, LevelShiftByPrecision) {
    Decoder decoder;
    for (const auto& [precision, level] : {std::pair{8, 128}, {12, 2048}, {0, 2048}, {16, 2048}}) {
        decoder->precision = precision;
        varnel::InverseDCT(decoder.get());
        for (int p = 0; p < 64; ++p) EXPECT_EQ(decoder->samples[p], level) << precision;
    }
}

TEST(InverseDct, DcAloneTruncatesTowardZero) {
    Decoder decoder;
    decoder->precision = 8;
    for (const auto& [dc, sample] : {std::pair{8, 129}, {7, 128}, {-7, 128}, {-8, 127}}) {
        decoder->coef[0] = dc;
        varnel::InverseDCT(decoder.get());
        for (int p = 0; p < 64; ++p) EXPECT_EQ(decoder->samples[p], sample) << dc;
    }
}

TEST(InverseDct, HorizontalFrequencyVariesAlongTheRow) {
    Decoder decoder;
    decoder->precision = 8;
    decoder->coef[1] = 100;  // u = 1, v = 0
    varnel::InverseDCT(decoder.get());
    for (int y = 1; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) EXPECT_EQ(decoder->samples[8 * y + x], decoder->samples[x]);
    }
    EXPECT_GT(decoder->samples[0], 140);
    EXPECT_LT(decoder->samples[7], 116);
}

TEST(InverseDct, MixedBlockIsExactAndCloseToTheTransform) {
    Decoder decoder;
    decoder->precision = 8;
    int32_t* coef = decoder->coef;
    stagetest::MixedBlock(coef);
    int32_t before[64];
    std::copy(coef, coef + 64, before);
    varnel::InverseDCT(decoder.get());

    // The integer product with the truncated table.
    for (int p = 0; p < 64; ++p) {
        EXPECT_EQ(decoder->samples[p], stagetest::kMixedBlockSamples[p]) << p;
    }

    // Within one of the real-valued transform (T.81 A.3.3).
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            double sum = 0;
            for (int v = 0; v < 8; ++v) {
                for (int u = 0; u < 8; ++u) {
                    const double cu = u == 0 ? 1 / std::sqrt(2.0) : 1.0;
                    const double cv = v == 0 ? 1 / std::sqrt(2.0) : 1.0;
                    sum += cu * cv * before[8 * v + u] * std::cos((2 * x + 1) * u * kPi / 16) *
                           std::cos((2 * y + 1) * v * kPi / 16);
                }
            }
            EXPECT_NEAR(decoder->samples[8 * y + x], sum / 4 + 128, 1.0) << x << " " << y;
        }
    }
    for (int i = 0; i < 64; ++i) EXPECT_EQ(coef[i], before[i]) << i;
}

TEST(InverseDct, SumWrapsAroundModulo32Bits) {
    Decoder decoder;
    decoder->precision = 8;
    // 1000000 x 5000 = 5000000000, which is 705032704 modulo 2^32.
    for (const auto& [dc, sample] : {std::pair{1000000, 17753}, {-1000000, -17497}}) {
        decoder->coef[0] = dc;
        varnel::InverseDCT(decoder.get());
        for (int p = 0; p < 64; ++p) EXPECT_EQ(decoder->samples[p], sample) << dc;
    }
}

// --- Dequantize ---

TEST(Dequantize, UsesTheComponentsTableInNaturalOrder) {
    Decoder decoder;
    decoder->frame_components[0].tq = 0;
    decoder->frame_components[1].tq = 2;
    for (int i = 0; i < 64; ++i) {
        decoder->quant[0][i] = 1000;
        decoder->quant[2][i] = i + 1;
    }
    for (int i = 0; i < 64; ++i) decoder->coef[i] = i % 2 == 0 ? 3 : -2;
    varnel::Dequantize(decoder.get(), 1);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(decoder->coef[i], (i % 2 == 0 ? 3 : -2) * (i + 1)) << i;
    }
    varnel::Dequantize(decoder.get(), 0);
    EXPECT_EQ(decoder->coef[0], 3000);
    EXPECT_EQ(decoder->coef[63], -128000);
}

TEST(Dequantize, ProductWrapsAroundModulo32Bits) {
    Decoder decoder;
    decoder->frame_components[0].tq = 3;
    decoder->quant[3][0] = 65535;
    decoder->quant[3][1] = 65535;
    decoder->coef[0] = 65536;
    decoder->coef[1] = -70000;
    varnel::Dequantize(decoder.get(), 0);
    EXPECT_EQ(decoder->coef[0], -65536);
    EXPECT_EQ(decoder->coef[1], -292482704);
}

}  // namespace
