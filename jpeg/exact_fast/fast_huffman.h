// Lookahead Huffman tables for the fast decode path, built from the decoder's HuffmanTable
// records. For every string of 16 bits they give the symbol and the number of bits that
// DecodeHuffman's one-bit-at-a-time linear search returns and takes, including strings that
// match no code (symbol 0 after the longest code's length) and tables with oversubscribed or
// odd code counts (the search returns the first match in entry order).
#pragma once

#include <cstdint>

#include "fast_bit_reader.h"
#include "jpeg_decoder.h"

namespace varnel {

// Bits of the first lookup.
inline constexpr int32_t kLookaheadBits = 10;

struct FastHuffman {
    // Per lookahead string: bits taken << 8 | symbol, or kLongerCode when the search needs
    // more than kLookaheadBits bits.
    uint16_t lookup[1 << kLookaheadBits];
    // Per lookahead string, what one AC symbol does when its code and magnitude bits fit in
    // the lookahead: a coefficient `value` after `run` zeros, taking `total` bits. The end of
    // block has run kEndOfBlockRun and ZRL a zero value after 15 zeros; every other string
    // has total kSearchNeeded and leaves the symbol to the lookup and the search. Read with
    // a DC table, run 0 gives a DC difference and kEndOfBlockRun the symbol 0.
    struct Combined {
        int16_t value;
        uint8_t run;
        uint8_t total;
    } combined[1 << kLookaheadBits];
    // Codes by length, for the strings that the lookup leaves to the search (T.81 F.2.2.3).
    int32_t first_code[17];    // canonical code of the first entry of each length
    int32_t length_count[17];  // entries of each length
    int32_t first_entry[17];   // index of that first entry
    int32_t max_length;        // longest code; 0 for an undefined table
    bool consecutive;          // the codes of each length are first_code, first_code + 1, ...
    const HuffmanTable* table;
};

inline constexpr uint16_t kLongerCode = 0xFFFF;
inline constexpr uint8_t kEndOfBlockRun = 0x80;
inline constexpr uint8_t kSearchNeeded = 0xFF;

void BuildFastHuffman(FastHuffman* fast, const HuffmanTable* table);

// The search of DecodeHuffman over the 16 bits `window` (most significant first): the symbol
// in the low byte and the bits taken above it.
uint32_t SearchCode(const FastHuffman* fast, uint32_t window);

// The same search where the lookup gave kLongerCode: no code of up to kLookaheadBits bits
// starts the window, so the search starts at the lengths after them.
uint32_t SearchLongCode(const FastHuffman* fast, uint32_t window);

// EXTEND (T.81 Figure F.12) of `size` raw bits `v`, size 1 to 15.
inline int32_t ExtendValue(int32_t v, int32_t size) {
    return v < (1 << (size - 1)) ? v - (1 << size) + 1 : v;
}

// Decodes one block as DecodeBlock does and dequantises it in place as Dequantize does.
// `coef` holds the dequantised coefficients in natural order and persists from block to
// block as the reference's array does (a block cut short keeps the previous values at the
// positions it did not reach, and they are dequantised again); `mask` has a bit set for
// every natural index whose coefficient may be non-zero.
void FastDecodeBlock(FastBitReader* bits, const FastHuffman* dc, const FastHuffman* ac,
                     int32_t* dc_pred, const int32_t* quant, int32_t* coef, uint64_t* mask);

}  // namespace varnel
