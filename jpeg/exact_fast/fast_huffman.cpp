// The exact fast kernels' Huffman decoding: lookahead tables of 16-bit strings built from the
// decoder's HuffmanTable records, and the decoding of a block's coefficients (symbol and
// magnitude) with them, giving exactly what DecodeHuffman and the reference scan loop give.
#include "fast_huffman.h"

#include <cstring>

#include "fast_idct.h"  // VARNEL_HAS_X86_KERNELS
#include "mask_bits.h"

namespace varnel {

namespace {

// Zig-zag position of each natural index.
struct ZigzagPositions {
    uint8_t of[64];
    constexpr ZigzagPositions() : of{} {
        constexpr uint8_t order[64] = {
            0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
            41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
            30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
        };
        for (int k = 0; k < 64; ++k) of[order[k]] = static_cast<uint8_t>(k);
    }
};
constexpr ZigzagPositions kZigzagPosition;

// Natural index of each zig-zag position, with 15 spare entries so that a run past position
// 63 can be looked up before it is refused.
constexpr uint8_t kNatural[80] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33,
    40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36,
    29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54,
    47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63,
};

}  // namespace

namespace {

uint32_t SearchFrom(const FastHuffman* fast, uint32_t window, int32_t from) {
    const HuffmanTable* table = fast->table;
    if (table == nullptr || table->count <= 0) return 0;
    for (int32_t length = from; length <= 16; ++length) {
        const int32_t code = static_cast<int32_t>(window >> (16 - length));
        const int32_t n = fast->length_count[length];
        if (n > 0) {
            const int32_t first = fast->first_entry[length];
            if (fast->consecutive) {
                const int64_t d = int64_t{code} - fast->first_code[length];
                if (d >= 0 && d < n) {
                    return static_cast<uint32_t>(length) << 8 |
                           static_cast<uint32_t>(table->values[first + d] & 0xFF);
                }
            } else {
                for (int32_t k = first; k < first + n; ++k) {
                    if (table->codes[k] == code) {
                        return static_cast<uint32_t>(length) << 8 |
                               static_cast<uint32_t>(table->values[k] & 0xFF);
                    }
                }
            }
        }
        // Every entry has been passed: the string matches no code.
        if (length >= fast->max_length) return static_cast<uint32_t>(length) << 8;
    }
    return 16u << 8;
}

}  // namespace

uint32_t SearchCode(const FastHuffman* fast, uint32_t window) {
    return SearchFrom(fast, window, 1);
}

uint32_t SearchLongCode(const FastHuffman* fast, uint32_t window) {
    return SearchFrom(fast, window, kLookaheadBits + 1);
}

void BuildFastHuffman(FastHuffman* fast, const HuffmanTable* table) {
    fast->table = table;
    fast->max_length = 0;
    fast->consecutive = true;
    for (int32_t length = 0; length <= 16; ++length) {
        fast->first_code[length] = 0;
        fast->length_count[length] = 0;
        fast->first_entry[length] = 0;
    }
    const bool defined = table != nullptr && table->count > 0;
    if (defined) {
        for (int32_t k = 0; k < table->count; ++k) {
            const int32_t length = table->sizes[k];
            if (length < 1 || length > 16) continue;  // AnalysisDHT makes 1 to 16 only
            if (fast->length_count[length] == 0) {
                fast->first_entry[length] = k;
                fast->first_code[length] = table->codes[k];
            } else if (table->codes[k] !=
                           fast->first_code[length] + (k - fast->first_entry[length]) ||
                       k != fast->first_entry[length] + fast->length_count[length]) {
                fast->consecutive = false;
            }
            ++fast->length_count[length];
            if (length > fast->max_length) fast->max_length = length;
        }
        // Sizes are non-decreasing, so the search ends after the last entry's length.
        fast->max_length = table->sizes[table->count - 1];
        if (fast->max_length < 1 || fast->max_length > 16) fast->max_length = 16;
    }

    // The lookup holds what SearchCode gives for each lookahead string where that takes no
    // more bits than the lookahead. A string that starts with no code of up to kLookaheadBits
    // bits matches nothing (symbol 0 after the longest code's length) or needs the search.
    // The codes are painted from the last entry to the first, so that where a string starts
    // with several, the first in entry order, which the search meets first, stays; each code
    // paints its strings' combined entries at the same time, from its symbol and the bits after
    // it.
    uint16_t unmatched = 0;  // an undefined table: symbol 0 after no bits
    if (defined) {
        unmatched = fast->max_length <= kLookaheadBits
                        ? static_cast<uint16_t>(fast->max_length << 8)
                        : kLongerCode;
    }
    // Symbol 0 is the end of block (and, read with a DC table, a zero difference).
    const FastHuffman::Combined unmatched_combined =
        unmatched == kLongerCode
            ? FastHuffman::Combined{0, 0, kSearchNeeded}
            : FastHuffman::Combined{0, kEndOfBlockRun, static_cast<uint8_t>(unmatched >> 8)};
    for (uint16_t& entry : fast->lookup) entry = unmatched;
    for (FastHuffman::Combined& entry : fast->combined) entry = unmatched_combined;
    for (int32_t k = defined ? table->count - 1 : -1; k >= 0; --k) {
        const int32_t length = table->sizes[k];
        const int32_t code = table->codes[k];
        // Codes past the end of their length (an oversubscribed table) match nothing.
        if (length < 1 || length > kLookaheadBits || code < 0 || code >= (1 << length)) continue;
        const int32_t spare = kLookaheadBits - length;
        const int32_t first = code << spare;
        const int32_t rs = table->values[k] & 0xFF;
        const auto entry = static_cast<uint16_t>(length << 8 | rs);
        for (int32_t j = 0; j < (1 << spare); ++j) fast->lookup[first + j] = entry;

        const int32_t size = rs & 15;
        FastHuffman::Combined same{0, 0, kSearchNeeded};  // for every string of this code
        if (rs == 0) {
            same = {0, kEndOfBlockRun, static_cast<uint8_t>(length)};
        } else if (rs == 0xF0) {
            same = {0, 15, static_cast<uint8_t>(length)};
        } else if (size != 0 && size <= spare) {
            // A coefficient whose magnitude bits follow the code within the lookahead.
            const auto run = static_cast<uint8_t>(rs >> 4);
            const auto total = static_cast<uint8_t>(length + size);
            for (int32_t j = 0; j < (1 << spare); ++j) {
                const int32_t v = (j >> (spare - size)) & ((1 << size) - 1);
                fast->combined[first + j] = {static_cast<int16_t>(ExtendValue(v, size)), run,
                                             total};
            }
            continue;
        }
        for (int32_t j = 0; j < (1 << spare); ++j) fast->combined[first + j] = same;
    }
}

namespace {

// The buffer of the bit reader, held in registers while a block is decoded; the rest of the
// reader stays in its record.
struct HeldBits {
    BitBuffer bits;
    int32_t count;
};

// The bits a refill guarantees unless the barrier comes first: a code and its magnitude bits
// (up to 31) with a 64-bit buffer; with a 32-bit one at least 25, enough for any one lookup,
// code or magnitude, so the decoder refills again between a long code and its magnitude.
inline constexpr int32_t kRefilledBits = kBufferBits == 64 ? 32 : kBufferBits - 7;

// Makes sure that at least kRefilledBits bits are held, unless the barrier comes first: with a
// 64-bit buffer eight bytes at once where none of them is 0xFF, with a 32-bit one byte by byte
// up to the first 0xFF (a 32-bit processor has no cheaper way to find one among four, and one
// without unaligned loads no cheaper way to load them).
inline void RefillHeld(FastBitReader* reader, HeldBits* held, int32_t below = kRefilledBits) {
    if (held->count >= below) return;
    if constexpr (kBufferBits == 64) {
        if (reader->barrier == 0 && reader->end - reader->src >= 8) {
            uint64_t word;
            std::memcpy(&word, reader->src, 8);
            word = __builtin_bswap64(word);
            // No byte 0xFF among the eight: none is a marker or needs its stuffed zero removed.
            const uint64_t inverted = ~word;
            if (((inverted - 0x0101010101010101ull) & ~inverted & 0x8080808080808080ull) == 0) {
                const int32_t bytes = (64 - held->count) >> 3;
                const int32_t kept = held->count + 8 * bytes;  // 57 to 64
                uint64_t incoming = word >> held->count;
                if (kept < 64) incoming &= ~(~uint64_t{0} >> kept);
                held->bits |= static_cast<BitBuffer>(incoming);
                held->count = kept;
                reader->src += bytes;
                return;
            }
        }
    } else {
        // Up to four bytes are taken (the count is at least 0), so four must be there.
        if (reader->barrier == 0 && reader->end - reader->src >= 4) {
            const uint8_t* src = reader->src;
            BitBuffer bits = held->bits;
            int32_t count = held->count;
            do {
                const BitBuffer byte = *src;
                if (byte == 0xFF) break;
                bits |= byte << (kBufferBits - 8 - count);
                count += 8;
                ++src;
            } while (count <= kBufferBits - 8);
            held->bits = bits;
            held->count = count;
            reader->src = src;
            if (count >= kRefilledBits) return;
        }
    }
    reader->bits = held->bits;
    reader->count = held->count;
    RefillSlow(reader);
    held->bits = reader->bits;
    held->count = reader->count;
}

// Before the magnitude bits of a code that the lookup did not decode: a 32-bit buffer may hold
// too few for both.
inline void RefillForMagnitude(FastBitReader* reader, HeldBits* held) {
    if constexpr (kBufferBits < 64) RefillHeld(reader, held);
}

// The bits below which the AC loop refills before each lookup. A 64-bit buffer is kept above
// a code and its magnitude bits. A 32-bit one is refilled only when a lookup could fall short
// (below kLookaheadBits), so that each refill takes two or three bytes and not one: a lookup
// whose code and magnitude bits are not all held goes to the search, which refills first.
inline constexpr int32_t kLoopRefillBelow = kBufferBits == 64 ? kRefilledBits : kLookaheadBits;

// Before the search of a code that the lookup did not decode, for a 32-bit buffer refilled
// below kLoopRefillBelow only.
inline void RefillForSearch(FastBitReader* reader, HeldBits* held) {
    if constexpr (kLoopRefillBelow < kRefilledBits) RefillHeld(reader, held);
}

// Whether the coefficients outside the mask must be zero. The SIMD inverse DCTs read some
// (in pairs, and in their check of the 16-bit range); the portable one reads only the mask's,
// and the decoder only those of the previous mask, so a build without SIMD kernels leaves the
// previous block's values there (clearing them cost a dense block about 8 instructions a
// coefficient on 32-bit ARM).
inline constexpr bool kClearOutsideMask = VARNEL_HAS_X86_KERNELS != 0;

// The mask bit of a natural index: one shift on a 64-bit processor, a lookup on a 32-bit one,
// where a variable 64-bit shift takes several instructions.
struct NaturalBits {
    uint64_t of[64];
    constexpr NaturalBits() : of{} {
        for (int i = 0; i < 64; ++i) of[i] = uint64_t{1} << i;
    }
};
constexpr NaturalBits kNaturalBits;

inline uint64_t BitOf(int natural) {
    if constexpr (kBufferBits == 64) {
        return uint64_t{1} << natural;
    } else {
        return kNaturalBits.of[natural];
    }
}

// A read that needed more bits than are left before the barrier: the reference takes them all
// and returns the barrier's code.
inline int32_t FailHeld(FastBitReader* reader, HeldBits* held) {
    held->bits = 0;
    held->count = 0;
    reader->failed = true;
    return reader->barrier;
}

// One symbol, exactly as DecodeHuffman reads it (the symbol, 0 to 255, or the barrier's
// negative code), from the held bits, which the caller has refilled.
inline int32_t SymbolHeld(FastBitReader* reader, const FastHuffman* fast, HeldBits* held) {
    uint32_t entry = fast->lookup[held->bits >> (kBufferBits - kLookaheadBits)];
    if (entry == kLongerCode) {
        entry = SearchLongCode(fast, static_cast<uint32_t>(held->bits >> (kBufferBits - 16)));
    }
    const int32_t length = static_cast<int32_t>(entry >> 8);
    if (length > held->count) return FailHeld(reader, held);
    held->bits <<= length;
    held->count -= length;
    return static_cast<int32_t>(entry & 0xFF);
}

// `size` (1 to 15) magnitude bits with EXTEND, or the barrier's negative code.
inline bool MagnitudeHeld(FastBitReader* reader, int32_t size, HeldBits* held, int32_t* value) {
    if (size > held->count) {
        FailHeld(reader, held);
        return false;
    }
    *value = ExtendValue(static_cast<int32_t>(held->bits >> (kBufferBits - size)), size);
    held->bits <<= size;
    held->count -= size;
    return true;
}

}  // namespace

void FastDecodeBlock(FastBitReader* reader, const FastHuffman* dc, const FastHuffman* ac,
                     int32_t* dc_pred, const int32_t* quant, int32_t* coef, uint64_t* mask) {
    HeldBits held{reader->bits, reader->count};
    uint64_t written = 0;
    // Zig-zag position from which the previous block's values stand: 64 when the block is
    // complete, 0 when not even its DC coefficient was decoded.
    int32_t kept_from = 0;

    RefillHeld(reader, &held);
    bool dc_done = false;
    int32_t difference = 0;
    const FastHuffman::Combined first = dc->combined[held.bits >> (kBufferBits - kLookaheadBits)];
    if (first.total <= held.count && (first.run == 0 || first.run == kEndOfBlockRun)) {
        held.bits <<= first.total;
        held.count -= first.total;
        difference = first.value;  // 0 for the symbol 0
        dc_done = true;
    } else {
        const int32_t t = SymbolHeld(reader, dc, &held);
        if (t >= 0 && t <= 15) {
            if (t != 0) RefillForMagnitude(reader, &held);
            dc_done = t == 0 || MagnitudeHeld(reader, t, &held, &difference);
        }
    }
    if (dc_done) {
        *dc_pred = WrapAdd(*dc_pred, difference);
        coef[0] = WrapMul(*dc_pred, quant[0]);
        written = 1;
        kept_from = 64;
        int32_t k = 1;
        while (k < 64) {
            RefillHeld(reader, &held, kLoopRefillBelow);
            const FastHuffman::Combined e =
                ac->combined[held.bits >> (kBufferBits - kLookaheadBits)];
            if (e.total <= held.count) {
                held.bits <<= e.total;
                held.count -= e.total;
                const int32_t at = k + e.run;
                if (at > 63) {
                    // The end of block, or a run past the block's end (kept as it stands).
                    if (e.run != kEndOfBlockRun) kept_from = k;
                    break;
                }
                const int32_t natural = kNatural[at];
                coef[natural] = WrapMul(e.value, quant[natural]);
                written |= BitOf(natural);
                k = at + 1;
                continue;
            }
            RefillForSearch(reader, &held);
            const int32_t rs = SymbolHeld(reader, ac, &held);
            if (rs == 0) break;  // end of block: the rest is zero
            if (rs < 0) {
                kept_from = k;
                break;
            }
            const int32_t r = rs >> 4;
            const int32_t s = rs & 15;
            if (s == 0) {
                if (r != 15 || k + 15 > 63) {
                    kept_from = k;
                    break;
                }
                k += 16;  // sixteen zeros
                continue;
            }
            int32_t value = 0;
            RefillForMagnitude(reader, &held);
            if (!MagnitudeHeld(reader, s, &held, &value) || k + r > 63) {
                kept_from = k;
                break;
            }
            const int32_t natural = kNatural[k + r];
            coef[natural] = WrapMul(value, quant[natural]);
            written |= BitOf(natural);
            k += r + 1;
        }
    }
    reader->bits = held.bits;
    reader->count = held.count;

    // The previous values: zero where this block reached, dequantised once more elsewhere.
    const uint64_t previous = *mask & ~written;
    if (kept_from == 64) {
        if constexpr (kClearOutsideMask) {
            ForEachBit(previous, [&](int natural) { coef[natural] = 0; });
        }
        *mask = written;
        return;
    }
    uint64_t kept = 0;
    ForEachBit(previous, [&](int natural) {
        if (kZigzagPosition.of[natural] < kept_from) {
            coef[natural] = 0;
        } else {
            coef[natural] = WrapMul(coef[natural], quant[natural]);
            kept |= uint64_t{1} << natural;
        }
    });
    *mask = written | kept;
}

}  // namespace varnel
