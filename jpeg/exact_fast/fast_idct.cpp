// The exact fast kernels' inverse DCT: the tables built from idct_matrix (the columns, the
// quadrant pairs of the SIMD kernels, the representatives and corrections of the portable
// one), the portable and SSE2 variants, exact to InverseDCT's wrapping 32-bit sums. The AVX2
// variant is in fast_idct_avx2.cpp; fast_kernels.cpp picks one for the processor.
#include "fast_idct.h"

#include <cstring>

#include "jpeg_decoder.h"
#include "mask_bits.h"

#if VARNEL_HAS_X86_KERNELS
#include <emmintrin.h>
#endif

namespace varnel {

namespace {

// Whether every clean column of the table has the mirror symmetry the kernels rely on.
bool HasMirrorSymmetry(const IdctTables* tables) {
    for (int i = 0; i < 64; ++i) {
        if ((kAsymmetricColumns >> i) & 1) continue;
        const int32_t u_sign = (i & 1) != 0 ? -1 : 1;
        const int32_t v_sign = ((i >> 3) & 1) != 0 ? -1 : 1;
        const int32_t* column = tables->columns[i];
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 4; ++x) {
                const int32_t w = column[8 * y + x];
                if (column[8 * y + 7 - x] != u_sign * w || column[8 * (7 - y) + x] != v_sign * w ||
                    column[8 * (7 - y) + 7 - x] != u_sign * v_sign * w) {
                    return false;
                }
            }
        }
    }
    return true;
}

// Where position x of frequency u takes its weight from along one axis (the slot within
// the frequency's own, 0 to kSlotCount[u] - 1) and with which sign.
struct Representative {
    int position;
    int32_t sign;
};

constexpr Representative RepresentativeOf(int u, int x) {
    int32_t sign = 1;
    if (x >= 4) {
        x = 7 - x;
        if ((u & 1) != 0) sign = -sign;
    }
    if ((u & 1) == 0) {
        if (x >= 2) {
            x = 3 - x;
            if (((u >> 1) & 1) != 0) sign = -sign;
        }
        if ((u & 3) == 0 && x == 1) {
            x = 0;
            if (((u >> 2) & 1) != 0) sign = -sign;
        }
    }
    return {x, sign};
}

}  // namespace

void BuildIdctTables(IdctTables* tables) {
    for (int p = 0; p < 64; ++p) {
        for (int i = 0; i < 64; ++i) {
            const int32_t weight = idct_matrix[64 * p + i];
            tables->columns[i][p] = weight;
            tables->pairs[i / 2][2 * p + (i & 1)] = static_cast<int16_t>(weight);
        }
    }
    tables->symmetric = HasMirrorSymmetry(tables);
    tables->corrected = 0;
    tables->corrected_by_row = 0;
    tables->corrected_by_column = 0;
    int corrections = 0;
    for (int i = 0; i < 64; ++i) {
        const int32_t* column = tables->columns[i];
        const int u = i % 8;
        const int v = i / 8;
        for (int k = 0; k < 16; ++k) tables->slot_weights[i][k] = 0;
        for (int y = 0; y < kSlotCount[v]; ++y) {
            for (int x = 0; x < kSlotCount[u]; ++x) {
                tables->slot_weights[i][kSlotCount[u] * y + x] = column[8 * y + x];
            }
        }
        int32_t difference[64];
        bool any = false;
        for (int y = 0; y < 8; ++y) {
            const Representative ry = RepresentativeOf(v, y);
            for (int x = 0; x < 8; ++x) {
                const Representative rx = RepresentativeOf(u, x);
                const int32_t given = rx.sign * ry.sign * column[8 * ry.position + rx.position];
                difference[8 * y + x] = column[8 * y + x] - given;
                any = any || difference[8 * y + x] != 0;
            }
        }
        bool same_rows = any;
        bool same_columns = any;
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                same_rows = same_rows && difference[8 * y + x] == difference[x];
                same_columns = same_columns && difference[8 * y + x] == difference[8 * y];
            }
        }
        for (int k = 0; k < 8; ++k) {
            tables->row_difference[i][k] = same_rows ? difference[k] : 0;
            tables->column_difference[i][k] = same_columns && !same_rows ? difference[8 * k] : 0;
        }
        if (same_rows) {
            tables->corrected_by_row |= uint64_t{1} << i;
        } else if (same_columns) {
            tables->corrected_by_column |= uint64_t{1} << i;
        }
        tables->correction_start[i] = static_cast<uint16_t>(corrections);
        if (!any || same_rows || same_columns) continue;
        for (int p = 0; p < 64; ++p) {
            if (difference[p] == 0) continue;
            tables->correction_sample[corrections] = static_cast<uint8_t>(p);
            tables->correction_place[corrections] = static_cast<uint8_t>(8 * (p % 8) + p / 8);
            tables->correction_difference[corrections] = difference[p];
            ++corrections;
        }
        tables->corrected |= uint64_t{1} << i;
    }
    tables->correction_start[64] = static_cast<uint16_t>(corrections);
    for (int i = 0; i < 64; ++i) {
        for (int q = 0; q < 16; ++q) {
            const int p = 8 * (q / 4) + q % 4;
            const bool first = (i & 2) == 0;
            const bool clean = ((kAsymmetricColumns >> i) & 1) == 0;
            tables->quadrant_pairs[i][2 * q] =
                first && clean ? static_cast<int16_t>(tables->columns[i][p]) : int16_t{0};
            tables->quadrant_pairs[i][2 * q + 1] =
                first ? static_cast<int16_t>(tables->columns[i + 2][p]) : int16_t{0};
        }
    }
    for (int p = 0; p < 64; ++p) {
        tables->edge_pairs[0][2 * p] = static_cast<int16_t>(tables->columns[4][p]);
        tables->edge_pairs[0][2 * p + 1] = static_cast<int16_t>(tables->columns[32][p]);
        tables->edge_pairs[1][2 * p] = static_cast<int16_t>(tables->columns[36][p]);
        tables->edge_pairs[1][2 * p + 1] = 0;
    }
    tables->rows_repeat = true;
    tables->columns_repeat = true;
    for (int k = 0; k < 8; ++k) {
        for (int j = 0; j < 8; ++j) {
            tables->row_weights[k][j] = tables->columns[k][j];
            tables->column_weights[k][j] = tables->columns[8 * k][8 * j];
            for (int other = 0; other < 8; ++other) {
                if (tables->columns[k][8 * other + j] != tables->row_weights[k][j]) {
                    tables->rows_repeat = false;
                }
                if (tables->columns[8 * k][8 * j + other] != tables->column_weights[k][j]) {
                    tables->columns_repeat = false;
                }
            }
        }
    }
    tables->dc_weight = tables->columns[0][0];
    tables->dc_uniform = true;
    for (int p = 0; p < 64; ++p) {
        if (tables->columns[0][p] != tables->dc_weight) tables->dc_uniform = false;
    }
}

namespace {

// The tables of CurrentIdctTables and the matrix they were built from, in static storage like
// idct_matrix itself (a heap block would outlive the library when a host unloads it).
struct IdctTablesCache {
    int32_t matrix[4096];
    IdctTables tables;
    bool built;
};
IdctTablesCache g_idct_tables_cache;

}  // namespace

const IdctTables* CurrentIdctTables() {
    IdctTablesCache& cache = g_idct_tables_cache;
    if (!cache.built || std::memcmp(cache.matrix, idct_matrix, sizeof(cache.matrix)) != 0) {
        std::memcpy(cache.matrix, idct_matrix, sizeof(cache.matrix));
        BuildIdctTables(&cache.tables);
        cache.built = true;
    }
    return &cache.tables;
}

namespace {

// The stores of the blocks whose rows or columns repeat. On 32-bit ARM (ARM state) a row of
// eight samples is one STM of r0 to r7 (or two of r0 to r3): compilers store the samples one by
// one, in loops, at up to three instructions a sample, which made the many blocks of a DC
// coefficient alone cost more than their decoding.
//
// The assembly is written out instruction by instruction, one a line, never with the
// assembler's repetitions (.rept, .irp): GCC sizes an asm by its lines when it places the
// constant pools that its own loads reach, and a block larger than its lines put one out of
// reach ("bad immediate value for offset").
#if defined(__arm__) && !defined(__thumb__)
// clang-format off
#define VARNEL_STORE_ROW "stm %[o], {r0-r7}\n\tadd %[o], %[o], %[s]\n\t"
#define VARNEL_STORE_EIGHT_ROWS                                        \
    VARNEL_STORE_ROW VARNEL_STORE_ROW VARNEL_STORE_ROW VARNEL_STORE_ROW \
    VARNEL_STORE_ROW VARNEL_STORE_ROW VARNEL_STORE_ROW VARNEL_STORE_ROW
#define VARNEL_STORE_COLUMN_ROW(offset)                                \
    "ldr r0, [%[c], #" #offset "]\n\tmov r1, r0\n\tmov r2, r0\n\tmov r3, r0\n\t" \
    "stmia %[o]!, {r0-r3}\n\tstm %[o], {r0-r3}\n\tadd %[o], %[o], %[s]\n\t"
// clang-format on
#endif

// Every sample of the block is `value`.
inline void FillBlock(int32_t value, int32_t* out, ptrdiff_t stride) {
#if defined(__arm__) && !defined(__thumb__)
    const auto stride_bytes = static_cast<int32_t>(stride * 4);
    asm volatile(
        "mov r0, %[v]\n\tmov r1, %[v]\n\tmov r2, %[v]\n\tmov r3, %[v]\n\t"
        "mov r4, %[v]\n\tmov r5, %[v]\n\tmov r6, %[v]\n\tmov r7, %[v]\n\t" VARNEL_STORE_EIGHT_ROWS
        : [o] "+r"(out)
        : [v] "r"(value), [s] "r"(stride_bytes)
        : "r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7", "memory");
#else
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) out[y * stride + x] = value;
    }
#endif
}

// Every row of the block is `row`.
inline void RepeatRow(const int32_t (&row)[8], int32_t* out, ptrdiff_t stride) {
#if defined(__arm__) && !defined(__thumb__)
    const auto stride_bytes = static_cast<int32_t>(stride * 4);
    asm volatile("ldm %[r], {r0-r7}\n\t" VARNEL_STORE_EIGHT_ROWS
                 : [o] "+r"(out)
                 : [r] "r"(row), [s] "r"(stride_bytes)
                 : "r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7", "memory");
#else
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) out[y * stride + x] = row[x];
    }
#endif
}

// Every sample of row y of the block is column[y].
inline void RepeatColumn(const int32_t (&column)[8], int32_t* out, ptrdiff_t stride) {
#if defined(__arm__) && !defined(__thumb__)
    const auto step = static_cast<int32_t>(stride * 4 - 16);
    asm volatile(VARNEL_STORE_COLUMN_ROW(0) VARNEL_STORE_COLUMN_ROW(4) VARNEL_STORE_COLUMN_ROW(8)
                     VARNEL_STORE_COLUMN_ROW(12) VARNEL_STORE_COLUMN_ROW(16)
                         VARNEL_STORE_COLUMN_ROW(20) VARNEL_STORE_COLUMN_ROW(24)
                             VARNEL_STORE_COLUMN_ROW(28)
                 : [o] "+r"(out)
                 : [c] "r"(column), [s] "r"(step)
                 : "r0", "r1", "r2", "r3", "memory");
#else
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) out[y * stride + x] = column[y];
    }
#endif
}

// The frequencies of one slot group along an axis: u 0, u 4, u 2 and 6, the odd ones.
constexpr uint32_t kGroupFrequencies[4] = {0x01, 0x10, 0x44, 0xAA};
constexpr int kGroupStart[4] = {0, 1, 2, 4};
constexpr int kGroupCount[4] = {1, 1, 2, 4};

// The natural indices of the coefficients (u, v) with u in group gu and v in group gv.
constexpr uint64_t GroupMask(int gu, int gv) {
    uint64_t mask = 0;
    for (int v = 0; v < 8; ++v) {
        if ((kGroupFrequencies[gv] >> v) & 1) mask |= uint64_t{kGroupFrequencies[gu]} << (8 * v);
    }
    return mask;
}

// Adds the clean coefficients of one pair of groups into their slots: rows are the slots
// along y, columns those along x.
// sum + c x weight modulo 2^32. GCC for ARM before v6 keeps a multiply-accumulate's result
// apart from all of its operands, the sum included (those processors only need it apart from
// the first factor), and so follows every one with a move back into the sum's register: here
// it is the one instruction, with the sum in place and apart from the factors.
inline uint32_t MultiplyAdd(uint32_t sum, uint32_t c, int32_t weight) {
#if defined(__arm__) && !defined(__thumb__)
    asm("mla %0, %1, %2, %0" : "+&r"(sum) : "r"(c), "r"(weight));
    return sum;
#else
    return sum + c * static_cast<uint32_t>(weight);
#endif
}

// Eight sums set to zero. GCC for ARMv4T clears eight words in memory with a call of memset,
// about 35 instructions with the call where eight stores (or two STMs) do: there the zero
// passes through an empty asm, so that the stores are not recognised as a fill. Elsewhere the
// fill, which compilers make stores.
inline void ClearEight(uint32_t (&sums)[8]) {
#if defined(__arm__)
    uint32_t zero = 0;
    asm("" : "+r"(zero));
    for (uint32_t& sum : sums) sum = zero;
#else
    std::memset(sums, 0, sizeof(sums));
#endif
}

// Sums the coefficients of one pair of groups into their block of slots (rows are the slots
// along y, columns those along x) and stores the block, zero when none of its coefficients is
// there: the sixteen blocks tile the slots, so together they write every slot once. The sums
// are held in locals, which the compiler keeps in registers (a slot in memory costs a load and
// a store for every coefficient); the blocks of sixteen slots are summed in two halves of
// eight rows' worth, as sixteen sums do not fit the registers of a 32-bit ARM.
template <int kGu, int kGv>
inline void StoreSlotGroup(const IdctTables* tables, const int32_t* coef, uint64_t mask,
                           uint32_t (&slots)[8][8]) {
    constexpr int kNx = kGroupCount[kGu];
    constexpr int kNy = kGroupCount[kGv];
    constexpr int kSx = kGroupStart[kGu];
    constexpr int kSy = kGroupStart[kGv];
    constexpr int kRowsPerPass = kNx * kNy > 8 ? kNy / 2 : kNy;
    const uint64_t members = mask & GroupMask(kGu, kGv);
    for (int first_row = 0; first_row < kNy; first_row += kRowsPerPass) {
        uint32_t sums[kRowsPerPass * kNx] = {};
        ForEachBit(members, [&](int i) {
            const uint32_t c = static_cast<uint32_t>(coef[i]);
            // On 32-bit ARM through an empty asm, so that the weights are loaded at small
            // offsets from one register: GCC otherwise keeps a register (or a stack slot) for
            // every offset into the tables.
            const int32_t* weights = tables->slot_weights[i] + kNx * first_row;
#if defined(__arm__)
            asm("" : "+r"(weights));
#endif
#pragma GCC unroll 8
            for (int k = 0; k < kRowsPerPass * kNx; ++k) {
                sums[k] = MultiplyAdd(sums[k], c, weights[k]);
            }
        });
#pragma GCC unroll 4
        for (int y = 0; y < kRowsPerPass; ++y) {
#pragma GCC unroll 4
            for (int x = 0; x < kNx; ++x) slots[kSy + first_row + y][kSx + x] = sums[kNx * y + x];
        }
    }
}

template <int kGu>
inline void StoreSlotGroupsOf(const IdctTables* tables, const int32_t* coef, uint64_t mask,
                              uint32_t (&slots)[8][8]) {
    StoreSlotGroup<kGu, 0>(tables, coef, mask, slots);
    StoreSlotGroup<kGu, 1>(tables, coef, mask, slots);
    StoreSlotGroup<kGu, 2>(tables, coef, mask, slots);
    StoreSlotGroup<kGu, 3>(tables, coef, mask, slots);
}

// The eight positions of one axis from its eight slots (see kSlotStart), in place.
inline void ExpandSlots(uint32_t* v, ptrdiff_t step) {
    const uint32_t t0 = v[0] + v[step];    // u 0 and u 4 at positions 0 and 3
    const uint32_t t1 = v[0] - v[step];    // at positions 1 and 2
    const uint32_t e0 = t0 + v[2 * step];  // with u 2 and 6
    const uint32_t e3 = t0 - v[2 * step];
    const uint32_t e1 = t1 + v[3 * step];
    const uint32_t e2 = t1 - v[3 * step];
    const uint32_t o0 = v[4 * step];
    const uint32_t o1 = v[5 * step];
    const uint32_t o2 = v[6 * step];
    const uint32_t o3 = v[7 * step];
    v[0] = e0 + o0;
    v[7 * step] = e0 - o0;
    v[step] = e1 + o1;
    v[6 * step] = e1 - o1;
    v[2 * step] = e2 + o2;
    v[5 * step] = e2 - o2;
    v[3 * step] = e3 + o3;
    v[4 * step] = e3 - o3;
}

#if defined(__arm__)
#define VARNEL_UNROLL_ON_ARM _Pragma("GCC unroll 4")
#else
#define VARNEL_UNROLL_ON_ARM
#endif

// ExpandSlots along a row of eight slots, in place. On 32-bit ARM (ARM state) in assembly:
// the eight slots come in with one LDM and go out with one STM (the positions in registers r0
// to r7 in order), where compilers make sixteen loads and stores of them.
inline void ExpandRowOfSlots(uint32_t* v) {
#if defined(__arm__) && !defined(__thumb__)
    asm volatile(
        "ldm %[v], {r0-r7}\n\t"
        "add ip, r0, r1\n\t"  // t0 = u 0 + u 4 (positions 0 and 3)
        "sub lr, r0, r1\n\t"  // t1 (positions 1 and 2)
        "add r0, ip, r2\n\t"  // e0
        "sub r1, ip, r2\n\t"  // e3
        "add ip, lr, r3\n\t"  // e1
        "sub lr, lr, r3\n\t"  // e2; the odd ones o0 to o3 are in r4 to r7
        "add r2, lr, r6\n\t"  // position 2: e2 + o2
        "sub lr, lr, r6\n\t"  // position 5: e2 - o2
        "sub r6, ip, r5\n\t"  // position 6: e1 - o1
        "add ip, ip, r5\n\t"  // position 1: e1 + o1
        "mov r5, lr\n\t"
        "add r3, r1, r7\n\t"  // position 3: e3 + o3
        "sub lr, r1, r7\n\t"  // position 4: e3 - o3
        "sub r7, r0, r4\n\t"  // position 7: e0 - o0
        "add r0, r0, r4\n\t"  // position 0: e0 + o0
        "mov r4, lr\n\t"
        "mov r1, ip\n\t"
        "stm %[v], {r0-r7}"
        :
        : [v] "r"(v)
        : "r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7", "ip", "lr", "memory");
#else
    ExpandSlots(v, 1);
#endif
}

#if defined(__arm__) && !defined(__thumb__)
// One sample of a column in ExpandColumnsToSamples' assembly: the odd slot at odd_offset
// (bytes) added to or taken from the even sum in register `even`, `correct` (nothing, or the
// addition of the next correction), its quotient plus the level stored, and the pointer
// stepped to the next row. The quotient's low word goes to r0, free once the odd slot is used.
// clang-format off
#define VARNEL_COLUMN_SAMPLE(op, even, odd_offset, correct) \
    "ldr r0, [%[c], #" #odd_offset "]\n\t"               \
    #op " r1, " #even ", r0\n\t"                          \
    correct                                                \
    "smull r0, r6, r1, %[m]\n\t"                          \
    "add r6, %[l], r6, asr #14\n\t"                       \
    "add r6, r6, r1, lsr #31\n\t"                         \
    "str r6, [%[o]], %[s]\n\t"
#define VARNEL_COLUMN_CORRECTION "ldr r0, [%[d]], #4\n\tadd r1, r1, r0\n\t"
#define VARNEL_ROW_CORRECTION(y) "ldr r0, [%[d], #" #y "]\n\tadd r1, r1, r0\n\t"
#define VARNEL_COLUMN_EVENS                   \
    "ldr r0, [%[c]]\n\t"                     \
    "ldr r1, [%[c], #32]\n\t"                \
    "add r2, r0, r1\n\t" /* t0 */            \
    "sub r3, r0, r1\n\t" /* t1 */            \
    "ldr r0, [%[c], #64]\n\t"                \
    "ldr r1, [%[c], #96]\n\t"                \
    "add r4, r2, r0\n\t" /* e0 */            \
    "sub r2, r2, r0\n\t" /* e3 */            \
    "add r5, r3, r1\n\t" /* e1 */            \
    "sub r3, r3, r1\n\t" /* e2 */
#define VARNEL_COLUMN_SAMPLES(correct)                  \
    VARNEL_COLUMN_SAMPLE(add, r4, 128, correct)         \
    VARNEL_COLUMN_SAMPLE(add, r5, 160, correct)         \
    VARNEL_COLUMN_SAMPLE(add, r3, 192, correct)         \
    VARNEL_COLUMN_SAMPLE(add, r2, 224, correct)         \
    VARNEL_COLUMN_SAMPLE(sub, r2, 224, correct)         \
    VARNEL_COLUMN_SAMPLE(sub, r3, 192, correct)         \
    VARNEL_COLUMN_SAMPLE(sub, r5, 160, correct)         \
    VARNEL_COLUMN_SAMPLE(sub, r4, 128, correct)
#define VARNEL_COLUMN_SAMPLES_BY_ROW                              \
    VARNEL_COLUMN_SAMPLE(add, r4, 128, VARNEL_ROW_CORRECTION(0))  \
    VARNEL_COLUMN_SAMPLE(add, r5, 160, VARNEL_ROW_CORRECTION(4))  \
    VARNEL_COLUMN_SAMPLE(add, r3, 192, VARNEL_ROW_CORRECTION(8))  \
    VARNEL_COLUMN_SAMPLE(add, r2, 224, VARNEL_ROW_CORRECTION(12)) \
    VARNEL_COLUMN_SAMPLE(sub, r2, 224, VARNEL_ROW_CORRECTION(16)) \
    VARNEL_COLUMN_SAMPLE(sub, r3, 192, VARNEL_ROW_CORRECTION(20)) \
    VARNEL_COLUMN_SAMPLE(sub, r5, 160, VARNEL_ROW_CORRECTION(24)) \
    VARNEL_COLUMN_SAMPLE(sub, r4, 128, VARNEL_ROW_CORRECTION(28))
// clang-format on
#endif

// What ExpandColumnsToSamples adds to the sums before their quotients: nothing, a difference
// per row (by_row[y]), or a difference per sample (corrections[x][y], a column after another).
enum class ColumnCorrection { kNone, kByRow, kBySample };

// The samples of the block from the row-expanded slots, column by column: the butterfly along
// y, then the differences of kCorrection, the quotient and the level, stored straight into the
// block. Written out sample by sample: a loop over an array of the eight sums costs a load and
// the loop's own steps per sample.
template <ColumnCorrection kCorrection>
inline void ExpandColumnsToSamples(const uint32_t (&slots)[8][8], const uint32_t* by_row,
                                   const uint32_t (*corrections)[8], int32_t level, int32_t* out,
                                   ptrdiff_t stride) {
#if defined(__arm__) && !defined(__thumb__)
    {
        // In assembly on 32-bit ARM (ARM state): the four even sums in registers, each odd slot
        // loaded again for the lower half of the column, so that the whole column fits the
        // registers (compilers spill here); 58 instructions a column instead of about 69, and
        // two more a sample with differences. Each quotient is QuotientPlusLevel's: SMULL by
        // 1759218605, then the level plus the high word shifted right by 14, plus the sum's
        // sign bit.
        const uint32_t magic = 1759218605u;
        const auto stride_bytes = static_cast<int32_t>(stride * 4);
        for (int x = 0; x < 8; ++x) {
            const uint32_t* column = &slots[0][x];
            int32_t* sample = out + x;
            if (kCorrection == ColumnCorrection::kNone) {
                asm volatile(
                    VARNEL_COLUMN_EVENS VARNEL_COLUMN_SAMPLES("")
                    : [o] "+r"(sample)
                    : [c] "r"(column), [m] "r"(magic), [l] "r"(level), [s] "r"(stride_bytes)
                    : "r0", "r1", "r2", "r3", "r4", "r5", "r6", "memory");
            } else if (kCorrection == ColumnCorrection::kByRow) {
                asm volatile(VARNEL_COLUMN_EVENS VARNEL_COLUMN_SAMPLES_BY_ROW
                             : [o] "+r"(sample)
                             : [c] "r"(column), [m] "r"(magic), [l] "r"(level),
                               [s] "r"(stride_bytes), [d] "r"(by_row)
                             : "r0", "r1", "r2", "r3", "r4", "r5", "r6", "memory");
            } else {
                const uint32_t* difference = corrections[x];
                asm volatile(
                    VARNEL_COLUMN_EVENS VARNEL_COLUMN_SAMPLES(VARNEL_COLUMN_CORRECTION)
                    : [o] "+r"(sample), [d] "+r"(difference)
                    : [c] "r"(column), [m] "r"(magic), [l] "r"(level), [s] "r"(stride_bytes)
                    : "r0", "r1", "r2", "r3", "r4", "r5", "r6", "memory");
            }
        }
        return;
    }
#endif
    for (int x = 0; x < 8; ++x) {
        const uint32_t t0 = slots[0][x] + slots[1][x];
        const uint32_t t1 = slots[0][x] - slots[1][x];
        const uint32_t e0 = t0 + slots[2][x];
        const uint32_t e3 = t0 - slots[2][x];
        const uint32_t e1 = t1 + slots[3][x];
        const uint32_t e2 = t1 - slots[3][x];
        const uint32_t o0 = slots[4][x];
        const uint32_t o1 = slots[5][x];
        const uint32_t o2 = slots[6][x];
        const uint32_t o3 = slots[7][x];
        // One pointer stepped down the column. The empty asm hides where it points from the
        // compiler, which would otherwise keep a pointer per row across the columns: eight of
        // them do not stay in registers beside the sums.
        int32_t* sample = out + x;
        asm("" : "+r"(sample));
        const auto put = [&](int y, uint32_t sum) {
            if (kCorrection == ColumnCorrection::kByRow) sum += by_row[y];
            if (kCorrection == ColumnCorrection::kBySample) sum += corrections[x][y];
            *sample = QuotientPlusLevel(sum, level);
            sample += stride;
        };
        put(0, e0 + o0);
        put(1, e1 + o1);
        put(2, e2 + o2);
        put(3, e3 + o3);
        put(4, e3 - o3);
        put(5, e2 - o2);
        put(6, e1 - o1);
        put(7, e0 - o0);
    }
}

// The general block through the slots: every coefficient into the slots of its
// representatives, the butterflies along x and then y, then the corrections of the columns
// whose weights the representatives do not give exactly. The samples are stored as the
// butterflies along y give them, unless a column has corrections at single samples, which are
// added to all 64 sums first.
inline void InverseDctThroughSlots(const IdctTables* tables, const int32_t* coef, uint64_t mask,
                                   int32_t level, int32_t* out, ptrdiff_t stride) {
    uint32_t slots[8][8];
    StoreSlotGroupsOf<0>(tables, coef, mask, slots);
    StoreSlotGroupsOf<1>(tables, coef, mask, slots);
    StoreSlotGroupsOf<2>(tables, coef, mask, slots);
    StoreSlotGroupsOf<3>(tables, coef, mask, slots);
    // The rows of slots along y that no coefficient reached stay zero, as their butterflies
    // would leave them: v 0, v 4, v 2 and 6, the odd v.
    constexpr uint64_t kRowsOfV[4] = {0xFFull, 0xFFull << 32, 0x00FF000000FF0000ull,
                                      0xFF00FF00FF00FF00ull};
    // Unrolled on ARM, where the loop's own steps and spills cost as much as the rows' LDM and
    // STM save; on x86 the plain loop is faster.
    VARNEL_UNROLL_ON_ARM
    for (int g = 0; g < 4; ++g) {
        if ((mask & kRowsOfV[g]) == 0) continue;
        VARNEL_UNROLL_ON_ARM
        for (int y = kGroupStart[g]; y < kGroupStart[g] + kGroupCount[g]; ++y) {
            ExpandRowOfSlots(slots[y]);
        }
    }
    // A difference shared by every row goes into the slots of v 0, which the butterflies
    // along y add to every row unchanged.
    ForEachBit(mask & tables->corrected_by_row, [&](int i) {
        const uint32_t c = static_cast<uint32_t>(coef[i]);
        for (int x = 0; x < 8; ++x) {
            slots[0][x] += c * static_cast<uint32_t>(tables->row_difference[i][x]);
        }
    });
    uint32_t by_row[8];
    ClearEight(by_row);
    const bool any_by_row = (mask & tables->corrected_by_column) != 0;
    ForEachBit(mask & tables->corrected_by_column, [&](int i) {
        const uint32_t c = static_cast<uint32_t>(coef[i]);
        for (int y = 0; y < 8; ++y) {
            by_row[y] += c * static_cast<uint32_t>(tables->column_difference[i][y]);
        }
    });
#if !defined(__SSE2__)
    // Where DivideBy40000 is not written for SIMD, the samples are stored as the butterflies
    // along y give them, the corrections of single samples gathered first into a block of
    // their own (by column) with the differences per row. Where it is (x86), compilers
    // vectorise the quotients of the 64 sums below, which is faster than this.
    if ((mask & tables->corrected) == 0) {
        if (any_by_row) {
            ExpandColumnsToSamples<ColumnCorrection::kByRow>(slots, by_row, nullptr, level, out,
                                                             stride);
        } else {
            ExpandColumnsToSamples<ColumnCorrection::kNone>(slots, by_row, nullptr, level, out,
                                                            stride);
        }
        return;
    }
    uint32_t corrections[8][8];
    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < 8; ++y) corrections[x][y] = by_row[y];
    }
    uint32_t* const by_place = &corrections[0][0];
    ForEachBit(mask & tables->corrected, [&](int i) {
        const uint32_t c = static_cast<uint32_t>(coef[i]);
        for (int k = tables->correction_start[i]; k < tables->correction_start[i + 1]; ++k) {
            by_place[tables->correction_place[k]] = MultiplyAdd(
                by_place[tables->correction_place[k]], c, tables->correction_difference[k]);
        }
    });
    ExpandColumnsToSamples<ColumnCorrection::kBySample>(slots, by_row, corrections, level, out,
                                                        stride);
#else
    for (int x = 0; x < 8; ++x) ExpandSlots(&slots[0][x], 8);
    uint32_t* sums = &slots[0][0];
    if (any_by_row) {
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) sums[8 * y + x] += by_row[y];
        }
    }
    ForEachBit(mask & tables->corrected, [&](int i) {
        const uint32_t c = static_cast<uint32_t>(coef[i]);
        for (int k = tables->correction_start[i]; k < tables->correction_start[i + 1]; ++k) {
            sums[tables->correction_sample[k]] +=
                c * static_cast<uint32_t>(tables->correction_difference[k]);
        }
    });
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) out[y * stride + x] = QuotientPlusLevel(sums[8 * y + x], level);
    }
#endif
}

}  // namespace

void InverseDctPortable(const IdctTables* tables, const int32_t* coef, uint64_t mask, int32_t level,
                        int32_t* out, ptrdiff_t stride) {
    constexpr uint64_t kFirstRow = 0xFF;
    constexpr uint64_t kFirstColumn = 0x0101010101010101ull;
    if (mask == 1 && tables->dc_uniform) {
        FillBlock(WrapMul(coef[0], tables->dc_weight) / 40000 + level, out, stride);
        return;
    }
    if ((mask & ~kFirstRow) == 0 && tables->rows_repeat) {
        // Eight equal rows: one row of sums over the coefficients (u, 0).
        uint32_t row[8];
        ClearEight(row);
        ForEachBit32(static_cast<uint32_t>(mask), [&](int u) {
            const uint32_t c = static_cast<uint32_t>(coef[u]);
            for (int x = 0; x < 8; ++x) row[x] = MultiplyAdd(row[x], c, tables->row_weights[u][x]);
        });
        int32_t samples[8];
        for (int x = 0; x < 8; ++x) samples[x] = QuotientPlusLevel(row[x], level);
        RepeatRow(samples, out, stride);
        return;
    }
    if ((mask & ~kFirstColumn) == 0 && tables->columns_repeat) {
        // Eight equal columns: one column of sums over the coefficients (0, v).
        uint32_t column[8];
        ClearEight(column);
        ForEachBit(mask, [&](int i) {
            const uint32_t c = static_cast<uint32_t>(coef[i]);
            for (int y = 0; y < 8; ++y) {
                column[y] = MultiplyAdd(column[y], c, tables->column_weights[i / 8][y]);
            }
        });
        int32_t samples[8];
        for (int y = 0; y < 8; ++y) samples[y] = QuotientPlusLevel(column[y], level);
        RepeatColumn(samples, out, stride);
        return;
    }
    InverseDctThroughSlots(tables, coef, mask, level, out, stride);
}
#if VARNEL_HAS_X86_KERNELS
// Compiled for SSE2 whatever the baseline (the 32-bit builds have none), and run only where
// the processor has it.
#define VARNEL_SSE2 __attribute__((target("sse2")))

namespace {

// Low 32 bits of the products of a broadcast value with each lane of b.
VARNEL_SSE2 inline __m128i MulLo32(__m128i broadcast, __m128i b) {
    const __m128i even = _mm_mul_epu32(broadcast, b);
    const __m128i odd = _mm_mul_epu32(broadcast, _mm_srli_epi64(b, 32));
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

VARNEL_SSE2 inline __m128i Quotients(__m128i sums, __m128d inverse, __m128i level) {
    const __m128d low = _mm_mul_pd(_mm_cvtepi32_pd(sums), inverse);
    const __m128d high = _mm_mul_pd(_mm_cvtepi32_pd(_mm_srli_si128(sums, 8)), inverse);
    return _mm_add_epi32(_mm_unpacklo_epi64(_mm_cvttpd_epi32(low), _mm_cvttpd_epi32(high)), level);
}

// Two 16-bit coefficients in each 32-bit lane, first in the low half.
VARNEL_SSE2 inline __m128i PackedPair(int32_t first, int32_t second) {
    return _mm_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(first) & 0xFFFF) |
                                               (static_cast<uint32_t>(second) << 16)));
}

// Adds the pairs (i, i + 2) named by `firsts` into the four quadrant rows of one class. The
// rows are summed in locals: through `rows` the compiler would load and store each of them
// for every pair.
VARNEL_SSE2 inline void AddQuadrantPairs(const IdctTables* tables, const int32_t* coef,
                                         uint64_t firsts, __m128i* rows) {
    __m128i row0 = _mm_setzero_si128();
    __m128i row1 = _mm_setzero_si128();
    __m128i row2 = _mm_setzero_si128();
    __m128i row3 = _mm_setzero_si128();
    while (firsts != 0) {
        const int i = __builtin_ctzll(firsts);
        firsts &= firsts - 1;
        const __m128i c = PackedPair(coef[i], coef[i + 2]);
        const auto* weights = reinterpret_cast<const __m128i*>(tables->quadrant_pairs[i]);
        row0 = _mm_add_epi32(row0, _mm_madd_epi16(c, _mm_load_si128(weights)));
        row1 = _mm_add_epi32(row1, _mm_madd_epi16(c, _mm_load_si128(weights + 1)));
        row2 = _mm_add_epi32(row2, _mm_madd_epi16(c, _mm_load_si128(weights + 2)));
        row3 = _mm_add_epi32(row3, _mm_madd_epi16(c, _mm_load_si128(weights + 3)));
    }
    rows[0] = row0;
    rows[1] = row1;
    rows[2] = row2;
    rows[3] = row3;
}

// Whether all 64 coefficients lie within the 16-bit signed range: c + 2^15 has no bit above
// the low 16 for any of them.
VARNEL_SSE2 inline bool FitsSixteenBits(const int32_t* coef) {
    const __m128i bias = _mm_set1_epi32(0x8000);
    __m128i high = _mm_setzero_si128();
#pragma GCC unroll 16
    for (int j = 0; j < 16; ++j) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + 4 * j));
        high = _mm_or_si128(high, _mm_add_epi32(c, bias));
    }
    high = _mm_srli_epi32(high, 16);
    return _mm_movemask_epi8(_mm_cmpeq_epi32(high, _mm_setzero_si128())) == 0xFFFF;
}

VARNEL_SSE2 inline __m128i Reversed(__m128i v) {
    return _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3));
}

}  // namespace

VARNEL_SSE2 void InverseDctSse2(const IdctTables* tables, const int32_t* coef, uint64_t mask,
                                int32_t level, int32_t* out, ptrdiff_t stride) {
    if (mask == 1 && tables->dc_uniform) {
        const __m128i value = _mm_set1_epi32(WrapMul(coef[0], tables->dc_weight) / 40000 + level);
        for (int y = 0; y < 8; ++y) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + y * stride), value);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + y * stride + 4), value);
        }
        return;
    }
    const __m128d inverse = _mm_set1_pd(kInverse40000);
    const __m128i shift = _mm_set1_epi32(level);
    constexpr uint64_t kFirstRow = 0xFF;
    constexpr uint64_t kFirstColumn = 0x0101010101010101ull;
    if ((mask & ~kFirstRow) == 0 && tables->rows_repeat) {
        // Eight equal rows: one row of sums over the coefficients (u, 0).
        __m128i left = _mm_setzero_si128();
        __m128i right = _mm_setzero_si128();
        for (uint64_t m = mask; m != 0; m &= m - 1) {
            const int u = __builtin_ctzll(m);
            const __m128i c = _mm_set1_epi32(coef[u]);
            const auto* weights = reinterpret_cast<const __m128i*>(tables->row_weights[u]);
            left = _mm_add_epi32(left, MulLo32(c, _mm_load_si128(weights)));
            right = _mm_add_epi32(right, MulLo32(c, _mm_load_si128(weights + 1)));
        }
        const __m128i low = Quotients(left, inverse, shift);
        const __m128i high = Quotients(right, inverse, shift);
        for (int y = 0; y < 8; ++y) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + y * stride), low);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + y * stride + 4), high);
        }
        return;
    }
    if ((mask & ~kFirstColumn) == 0 && tables->columns_repeat) {
        // Eight equal columns: one column of sums over the coefficients (0, v), lane y.
        __m128i top = _mm_setzero_si128();
        __m128i bottom = _mm_setzero_si128();
        for (uint64_t m = mask; m != 0; m &= m - 1) {
            const int i = __builtin_ctzll(m);
            const __m128i c = _mm_set1_epi32(coef[i]);
            const auto* weights = reinterpret_cast<const __m128i*>(tables->column_weights[i / 8]);
            top = _mm_add_epi32(top, MulLo32(c, _mm_load_si128(weights)));
            bottom = _mm_add_epi32(bottom, MulLo32(c, _mm_load_si128(weights + 1)));
        }
        alignas(16) int32_t samples[8];
        _mm_store_si128(reinterpret_cast<__m128i*>(samples), Quotients(top, inverse, shift));
        _mm_store_si128(reinterpret_cast<__m128i*>(samples + 4), Quotients(bottom, inverse, shift));
        for (int y = 0; y < 8; ++y) {
            const __m128i value = _mm_set1_epi32(samples[y]);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + y * stride), value);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + y * stride + 4), value);
        }
        return;
    }
    // sums[2y] holds samples 0 to 3 of row y, sums[2y + 1] samples 4 to 7.
    __m128i sums[16];
    const bool fits16 = FitsSixteenBits(coef);
    if (fits16 && tables->symmetric) {
        const uint64_t clean = mask & ~kAsymmetricColumns;
        const uint64_t firsts = clean | (clean >> 2);
        __m128i ee[4], oe[4], eo[4], oo[4];
        AddQuadrantPairs(tables, coef, firsts & kPairEvenEven, ee);
        AddQuadrantPairs(tables, coef, firsts & kPairOddEven, oe);
        AddQuadrantPairs(tables, coef, firsts & kPairEvenOdd, eo);
        AddQuadrantPairs(tables, coef, firsts & kPairOddOdd, oo);
        for (int y = 0; y < 4; ++y) {
            const __m128i a = _mm_add_epi32(ee[y], eo[y]);
            const __m128i b = _mm_add_epi32(oe[y], oo[y]);
            const __m128i c = _mm_sub_epi32(ee[y], eo[y]);
            const __m128i d = _mm_sub_epi32(oe[y], oo[y]);
            sums[2 * y] = _mm_add_epi32(a, b);
            sums[2 * y + 1] = Reversed(_mm_sub_epi32(a, b));
            sums[2 * (7 - y)] = _mm_add_epi32(c, d);
            sums[2 * (7 - y) + 1] = Reversed(_mm_sub_epi32(c, d));
        }
        for (int e = 0; e < 2; ++e) {
            const uint64_t needed =
                e == 0 ? (uint64_t{1} << 4) | (uint64_t{1} << 32) : uint64_t{1} << 36;
            if ((mask & needed) == 0) continue;
            const __m128i c = e == 0 ? PackedPair(coef[4], coef[32]) : PackedPair(coef[36], 0);
            const auto* weights = reinterpret_cast<const __m128i*>(tables->edge_pairs[e]);
            for (int j = 0; j < 16; ++j) {
                sums[j] = _mm_add_epi32(sums[j], _mm_madd_epi16(c, _mm_load_si128(weights + j)));
            }
        }
    } else if (fits16) {
        for (__m128i& s : sums) s = _mm_setzero_si128();
        uint64_t pairs = (mask | (mask >> 1)) & 0x5555555555555555ull;
        while (pairs != 0) {
            const int i = __builtin_ctzll(pairs);
            pairs &= pairs - 1;
            const __m128i c = PackedPair(coef[i], coef[i + 1]);
            const auto* weights = reinterpret_cast<const __m128i*>(tables->pairs[i / 2]);
            for (int j = 0; j < 16; ++j) {
                sums[j] = _mm_add_epi32(sums[j], _mm_madd_epi16(c, _mm_load_si128(weights + j)));
            }
        }
    } else {
        for (__m128i& s : sums) s = _mm_setzero_si128();
        while (mask != 0) {
            const int i = __builtin_ctzll(mask);
            mask &= mask - 1;
            const __m128i c = _mm_set1_epi32(coef[i]);
            const auto* weights = reinterpret_cast<const __m128i*>(tables->columns[i]);
            for (int j = 0; j < 16; ++j) {
                sums[j] = _mm_add_epi32(sums[j], MulLo32(c, _mm_load_si128(weights + j)));
            }
        }
    }
    for (int y = 0; y < 8; ++y) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + y * stride),
                         Quotients(sums[2 * y], inverse, shift));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + y * stride + 4),
                         Quotients(sums[2 * y + 1], inverse, shift));
    }
}
#endif

}  // namespace varnel
