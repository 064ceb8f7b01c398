// Dequantisation and the inverse DCT (ITU-T T.81 A.3.3) as a direct 64 x 64 product with an
// integer table of cosine products scaled by 10000. Doubles serve only to build the tables.
#include <cmath>
#include <cstring>

#include "jpeg_decoder.h"

namespace varnel {

// C(0) of the inverse DCT, from the eight-decimal value of the square root of 2.
const double inv_sqrt2 = 1.0 / 1.41421356;

int32_t idct_matrix[4096];

namespace {

// pi / 16 from the eight-decimal value of pi.
constexpr double kPiOver16 = 0.196349540625;

double ScaleFactor(int n) {
    return n == 0 ? inv_sqrt2 : 1.0;
}

// The cosine table and the matrix built from it, kept for the process. Every decoder's
// construction builds the same ones; on a processor without a floating-point unit (the
// devices') computing them costs about 0.8 million instructions of software arithmetic, so
// the first construction computes them and the others copy them. A matrix that a caller has
// changed since (as tests do) is still rewritten, as every construction's is.
struct KeptTables {
    double cos_table[8][8];
    int32_t matrix[4096];
    bool cos_built;
    bool matrix_built;
};
KeptTables g_kept;

}  // namespace

void BuildCosTable(JpegDecoder* decoder) {
    if (!g_kept.cos_built) {
        for (int u = 0; u < 8; ++u) {
            for (int x = 0; x < 8; ++x) {
                g_kept.cos_table[u][x] = std::cos(static_cast<double>((2 * x + 1) * u) * kPiOver16);
            }
        }
        g_kept.cos_built = true;
    }
    std::memcpy(decoder->cos_table, g_kept.cos_table, sizeof(decoder->cos_table));
}

void BuildIdctMatrix(const JpegDecoder* decoder) {
    if (g_kept.matrix_built &&
        std::memcmp(g_kept.cos_table, decoder->cos_table, sizeof(g_kept.cos_table)) == 0) {
        std::memcpy(idct_matrix, g_kept.matrix, sizeof(g_kept.matrix));
        return;
    }
    // The entry of sample (x, y) and coefficient (u, v) is the same product as that of sample
    // (y, x) and coefficient (v, u) when the two scale factors are equal: the first two
    // factors only swap, which multiplication allows exactly. Such an entry is computed once
    // and copied to its mirror, which spares the devices (no floating-point unit) about 40 %
    // of the table's software multiplications on the first construction.
    int index = 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            for (int v = 0; v < 8; ++v) {
                for (int u = 0; u < 8; ++u, ++index) {
                    const int mirror = (8 * x + y) * 64 + 8 * u + v;
                    if ((u == 0) == (v == 0) && mirror < index) {
                        idct_matrix[index] = idct_matrix[mirror];
                        continue;
                    }
                    // Multiplied strictly left to right, then truncated toward zero: several
                    // entries sit right at the truncation boundary.
                    const double product = decoder->cos_table[u][x] * decoder->cos_table[v][y] *
                                           ScaleFactor(u) * ScaleFactor(v) * 10000.0;
                    idct_matrix[index] = static_cast<int32_t>(product);
                }
            }
        }
    }
    // Kept only when it was built from the table every construction builds.
    if (g_kept.cos_built &&
        std::memcmp(g_kept.cos_table, decoder->cos_table, sizeof(g_kept.cos_table)) == 0) {
        std::memcpy(g_kept.matrix, idct_matrix, sizeof(g_kept.matrix));
        g_kept.matrix_built = true;
    }
}

void Dequantize(JpegDecoder* decoder, int32_t component) {
    const int8_t tq = decoder->frame_components[component].tq;
    // The decode gate admits selectors 0 to 3 only; anything else names no table.
    if (tq < 0 || tq > 3) return;
    const int32_t* table = decoder->quant[tq];
    for (int i = 0; i < 64; ++i) decoder->coef[i] = WrapMul(decoder->coef[i], table[i]);
}

void InverseDCT(JpegDecoder* decoder) {
    const int32_t level = decoder->precision == 8 ? 128 : 2048;
    for (int p = 0; p < 64; ++p) {
        const int32_t* row = &idct_matrix[64 * p];
        uint32_t sum = 0;  // wraps modulo 2^32 like the 32-bit signed sum it stands for
        for (int i = 0; i < 64; ++i) {
            sum += static_cast<uint32_t>(decoder->coef[i]) * static_cast<uint32_t>(row[i]);
        }
        decoder->samples[p] = static_cast<int32_t>(sum) / 40000 + level;
    }
}

}  // namespace varnel
