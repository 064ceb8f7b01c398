// The inverse DCT of the fast decode path, exact to InverseDCT's wrapping 32-bit sum. The
// 64 x 64 product modulo 2^32 is the sum, over the coefficients that are not zero, of the
// coefficient times its column of idct_matrix, so only those columns are added: a block
// with only a DC coefficient costs one product. The columns are added with SIMD, as 16-bit
// pairs (pmaddwd, exact while every coefficient fits 16 bits, since the table's entries lie
// within +-9619) or as wrapping 32-bit products.
//
// The table is almost symmetric: the weight of coefficient (u, v) at sample (7 - x, y) is
// (-1)^u times its weight at (x, y), and at (x, 7 - y) it is (-1)^v times it, for every
// coefficient except (4, 0), (0, 4) and (4, 4), whose entries of magnitude 5000 were
// truncated to 4999 in some places only. So the SIMD kernels add the other ("clean")
// coefficients into the 16 samples of the top-left quadrant only, in four sums by the parity
// of u and v, and make the 64 samples from them with additions and subtractions; the three
// other columns are added in full. BuildIdctTables checks the symmetry on the table it is
// given; where it does not hold, they add every column in full.
//
// The portable kernel, which runs on processors without SIMD, goes further: the even
// frequencies have finer symmetries of the same kind (see kSlotStart), so a coefficient is
// summed at 1, 2 or 4 positions along each axis instead of 8, and a butterfly of additions
// along x and then along y makes the 64 samples. The entries that this does not give
// exactly (the 100 truncated ones, for this table) are added as corrections, whole rows or
// columns of them at once where they have that shape, so the kernel is exact for any table.
// Every step is exact modulo 2^32.
#pragma once

#include <cstddef>
#include <cstdint>

// The SSE2 and AVX2 kernels exist on x86 unless the build asks for the portable ones only.
// They are compiled for their instruction sets through target attributes, whatever the
// build's baseline, and chosen at run time (fast_kernels.h).
#if (defined(__x86_64__) || defined(__i386__)) && !defined(VARNEL_PORTABLE_KERNELS)
#define VARNEL_HAS_X86_KERNELS 1
#else
#define VARNEL_HAS_X86_KERNELS 0
#endif

namespace varnel {

struct IdctTables {
    // Column i of idct_matrix (the weights of coefficient i for outputs 0 to 63).
    alignas(32) int32_t columns[64][64];
    // For coefficients 2m and 2m + 1: per output p the two weights side by side.
    alignas(32) int16_t pairs[32][128];
    // For each coefficient i = 8v + u with u 0, 1, 4 or 5, and i + 2 (the next of the same
    // parity): their weights side by side for the 16 samples of the top-left quadrant (8y + x
    // with x, y < 4, listed as 4y + x); zero for the columns that lack the symmetry.
    alignas(32) int16_t quadrant_pairs[64][32];
    // Over all 64 samples: the weights of (4, 0) and (0, 4) side by side, then those of
    // (4, 4) beside zeros.
    alignas(32) int16_t edge_pairs[2][128];
    // For each coefficient (u, v): its weights at its representative samples (see kSlotStart),
    // kSlotCount[v] rows of kSlotCount[u]; zero elsewhere.
    alignas(32) int32_t slot_weights[64][16];
    // Where a column differs from what its representatives give. A difference that is the
    // same in every row (the 32 entries of (4, 0) that were truncated to 4999 or -4999) is
    // kept as one row, row_difference[i], and added once into the slots of v 0 between the
    // butterflies along x and along y, which spread it to every row; one that is the same in
    // every column (those of (0, 4)) as one column, added to each sample of its row after
    // the butterflies. `corrected_by_row` and `corrected_by_column` have a bit for each such
    // column. Any other difference (the 36 of (4, 4)) is listed: for column i, entries
    // correction_start[i] to correction_start[i + 1] - 1 of the sample index and the
    // difference; `corrected` has a bit for every column with any.
    uint64_t corrected_by_row;
    uint64_t corrected_by_column;
    alignas(32) int32_t row_difference[64][8];     // [i][x]
    alignas(32) int32_t column_difference[64][8];  // [i][y]
    uint64_t corrected;
    uint16_t correction_start[65];
    uint8_t correction_sample[4096];
    int32_t correction_difference[4096];
    // The same sample as 8x + y, its place in a block held by column.
    uint8_t correction_place[4096];
    // The symmetry above holds for every clean column.
    bool symmetric;
    // The weights of a coefficient of the first row (v = 0) depend on x only, and those of a
    // coefficient of the first column (u = 0) on y only: then a block whose coefficients all
    // lie in the first row has eight equal rows, one in the first column eight equal columns.
    bool rows_repeat;
    bool columns_repeat;
    alignas(32) int32_t row_weights[8][8];     // [u][x]: coefficient (u, 0) at sample (x, 0)
    alignas(32) int32_t column_weights[8][8];  // [v][y]: coefficient (0, v) at sample (0, y)
    // Every output's weight for the DC coefficient, when they are all the same.
    bool dc_uniform;
    int32_t dc_weight;
};

// Natural indices of the coefficients whose columns lack the symmetry: (4, 0), (0, 4), (4, 4).
inline constexpr uint64_t kAsymmetricColumns =
    (uint64_t{1} << 4) | (uint64_t{1} << 32) | (uint64_t{1} << 36);

// The coefficients that belong to each parity class (u even or odd, v even or odd) and are
// the first of a pair (u is 0, 1, 4 or 5; its partner is u + 2).
inline constexpr uint64_t kPairEvenEven = 0x0011001100110011ull;
inline constexpr uint64_t kPairOddEven = 0x0022002200220022ull;
inline constexpr uint64_t kPairEvenOdd = 0x1100110011001100ull;
inline constexpr uint64_t kPairOddOdd = 0x2200220022002200ull;

// Along one axis, frequency u's weights at the eight positions follow from a few of them: for
// odd u from positions 0 to 3 (position 7 - x carries -1 times x's weight); for u 2 and 6 from
// 0 and 1 (7 - x the same as x, 3 - x the opposite); for u 4 from 0 alone (pattern + - - + + -
// - +), for u 0 from 0 alone (all equal). The kernels sum each coefficient into the
// "slots" of its representatives only, kSlotCount[u] along this axis, starting at
// kSlotStart[u] of eight: u 0 in slot 0, u 4 in slot 1, u 2 and 6 in slots 2 and 3, the odd
// ones in 4 to 7; a butterfly of additions then makes the eight positions from the slots.
inline constexpr int kSlotStart[8] = {0, 4, 2, 4, 1, 4, 2, 4};
inline constexpr int kSlotCount[8] = {1, 4, 2, 4, 1, 4, 2, 4};

// Copies idct_matrix (which the decoder's construction has built) into the tables.
void BuildIdctTables(IdctTables* tables);

// The tables of idct_matrix as it stands, kept for the process: every decoder construction
// rebuilds the matrix with the same values, so they are built on first use and again only when
// the matrix has changed since (as tests change it). Building them costs more than decoding a
// small picture. Decodes run on one thread at a time, as the matrix's rebuilds already require.
const IdctTables* CurrentIdctTables();

// Writes the 8 x 8 samples of the block, level-shifted, at `out` with a row stride of
// `stride` values. `coef` is in natural order; `mask` has a bit for every index whose
// coefficient may be non-zero (the others must be zero).
using IdctKernel = void (*)(const IdctTables* tables, const int32_t* coef, uint64_t mask,
                            int32_t level, int32_t* out, ptrdiff_t stride);

void InverseDctPortable(const IdctTables* tables, const int32_t* coef, uint64_t mask, int32_t level,
                        int32_t* out, ptrdiff_t stride);
#if VARNEL_HAS_X86_KERNELS
void InverseDctSse2(const IdctTables* tables, const int32_t* coef, uint64_t mask, int32_t level,
                    int32_t* out, ptrdiff_t stride);
void InverseDctAvx2(const IdctTables* tables, const int32_t* coef, uint64_t mask, int32_t level,
                    int32_t* out, ptrdiff_t stride);
#endif

// sum / 40000, truncated toward zero, for every 32-bit sum, computed as the product with
// this constant in IEEE double and truncated. Proof: the constant is (1/40000)(1 + 2^-36)
// with three roundings of relative size at most 2^-53 (1/40000, the product with 1 + 2^-36,
// and the product with the sum), so the computed quotient is sum/40000 times a factor in
// (1, 1 + 2^-35). An exact multiple k of 40000 therefore gives a value just beyond k in
// magnitude (by less than 53688 x 2^-35 < 2e-6), which truncates to k; any other sum lies at
// least 1/40000 = 2.5e-5 from the integers around its quotient, more than the error of at
// most 2e-6 (|sum| / 40000 is below 53688), so it truncates to the same integer as the
// exact quotient.
inline constexpr double kInverse40000 = (1.0 / 40000.0) * (1.0 + 0x1p-36);

// sum / 40000 truncated toward zero for every 32-bit sum (given as its bits), in integer
// arithmetic, in one of two exact forms. Where SSE2 is the baseline, the magnitude a (up to
// 2^31) is divided as floor(a m / 2^47) with m = ceil(2^47 / 40000) = 3518437209: m exceeds
// 2^47 / 40000 by less than 0.12, so a m / 2^47 exceeds a / 40000 by less than
// 2^31 x 0.12 / 2^47 < 2e-6, while a / 40000 lies at least 1/40000 below the next integer
// unless it is one, so the floor is floor(a / 40000). Compilers turn a row of these into
// SSE2's unsigned widening multiplications, four at a time (SSE2 has no signed one).
// Elsewhere the signed sum s itself: floor(s m / 2^46) with m = ceil(2^46 / 40000) =
// 1759218605 is floor(s / 40000) for every 32-bit s (m exceeds 2^46 / 40000 by less than 0.6,
// which moves s m / 2^46 by less than 2^31 x 0.6 / 2^46 < 2e-5, within the 1/40000 gap; a
// negative exact multiple comes out one below), and adding 1 for a negative s gives the
// truncated quotient (the exact multiples too). This is what compilers make of the language's
// division, written out so that QuotientPlusLevel can order its parts: on 32-bit ARM the
// signed widening multiplication, then the shift with the addition of the level and the
// sign's correction as two additions with shifted operands, one instruction fewer a sample.
inline int32_t DivideBy40000(uint32_t sum);

// DivideBy40000(sum) + level, added in the order that lets 32-bit ARM fold the shift and the
// sign's correction into the two additions.
inline int32_t QuotientPlusLevel(uint32_t sum, int32_t level) {
#if defined(__SSE2__)
    return DivideBy40000(sum) + level;
#else
    const auto high = static_cast<int32_t>((int64_t{static_cast<int32_t>(sum)} * 1759218605) >> 32);
    return static_cast<int32_t>(static_cast<uint32_t>(level + (high >> 14)) + (sum >> 31));
#endif
}

inline int32_t DivideBy40000(uint32_t sum) {
#if defined(__SSE2__)
    const uint32_t sign = 0u - (sum >> 31);  // all ones for a negative sum
    const uint32_t magnitude = (sum ^ sign) - sign;
    const auto quotient = static_cast<uint32_t>((uint64_t{magnitude} * 3518437209u) >> 47);
    return static_cast<int32_t>((quotient ^ sign) - sign);
#else
    const auto s = static_cast<int32_t>(sum);
    const auto high = static_cast<int32_t>((int64_t{s} * 1759218605) >> 32);
    return static_cast<int32_t>(static_cast<uint32_t>(high >> 14) + (sum >> 31));
#endif
}

}  // namespace varnel
