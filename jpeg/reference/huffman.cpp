// Huffman tables from DHT segments (ITU-T T.81 B.2.4.2, Annex C) and the entropy decoding of
// one block (T.81 F.2.2), one bit at a time with a linear search of the code table.
#include <cstdlib>

#include "jpeg_decoder.h"

namespace varnel {

namespace {

void ForgetTable(HuffmanTable* table) {
    std::free(table->sizes);
    std::free(table->codes);
    std::free(table->values);
    *table = HuffmanTable{0, nullptr, nullptr, nullptr};
}

// EXTEND (T.81 Figure F.12): a magnitude category of `size` bits and its raw bits `v`.
int32_t Extend(int32_t v, int32_t size) {
    if (size <= 0) return 0;
    const int32_t half = static_cast<int32_t>(1u << (size - 1));
    if (v < half) return WrapAdd(WrapSub(v, static_cast<int32_t>(1u << size)), 1);
    return v;
}

}  // namespace

void AnalysisDHT(JpegDecoder* decoder, int32_t length) {
    JpegReader* reader = decoder->reader;
    const uint8_t* start = Position(reader);
    if (start == nullptr) return;
    const int64_t segment_end = (start - reader->begin) + int64_t{length};
    for (;;) {
        const int32_t b = ReadByte(reader);
        const int32_t table_class = b >> 4;
        const int32_t identifier = b & 0x0F;
        if (table_class > 1 || identifier > 3) return;

        int32_t counts[16];
        int32_t count = 0;
        for (int32_t& c : counts) {
            c = ReadByte(reader);
            count += c;
        }

        HuffmanTable* table = &decoder->huffman[table_class][identifier];
        table->count = count;
        AllocIntArray(&table->sizes, count, 0, "AnalysisDHT:Huffman Size-T");
        AllocIntArray(&table->codes, count, 0, "AnalysisDHT:Huffman Code-T");
        AllocIntArray(&table->values, count, 0, "AnalysisDHT:Huffman Value-T");
        if (count == 0 || table->sizes == nullptr || table->codes == nullptr ||
            table->values == nullptr) {
            // An empty table, or one that cannot be held, is left undefined; its symbol
            // bytes are still passed over so that the parse goes on where it would. A table
            // that could not be held is remembered: without it the picture would come out
            // wrong, so the decode gate refuses the file.
            if (count > 0) decoder->table_lost = 1;
            ForgetTable(table);
            for (int32_t i = 0; i < count; ++i) ReadByte(reader);
        } else {
            // Figure C.1: the size of each code.
            int32_t k = 0;
            for (int32_t size = 1; size <= 16; ++size) {
                for (int32_t i = 0; i < counts[size - 1]; ++i) table->sizes[k++] = size;
            }
            // Figure C.2: the canonical codes.
            k = 0;
            int32_t code = 0;
            int32_t size = table->sizes[0];
            for (;;) {
                while (k < count && table->sizes[k] == size) {
                    table->codes[k] = code;
                    code = WrapAdd(code, 1);
                    ++k;
                }
                if (k == count) break;
                do {
                    code = WrapMul(code, 2);
                    ++size;
                } while (size != table->sizes[k]);
            }
            for (int32_t i = 0; i < count; ++i) table->values[i] = ReadByte(reader);
        }

        const uint8_t* position = Position(reader);
        if (position == nullptr || !reader->valid) return;
        if (position - reader->begin >= segment_end) return;
    }
}

int32_t DecodeHuffman(JpegDecoder* decoder, int32_t table_class, int32_t component) {
    const ScanComponent& scan = decoder->scan_components[component];
    const HuffmanTable& table = decoder->huffman[table_class][table_class == 0 ? scan.td : scan.ta];
    if (table.count <= 0) return 0;
    int32_t code = 0;
    int32_t length = 0;
    int32_t k = 0;
    while (length < 16) {
        const int32_t bit = ReadBits(decoder->reader, 1);
        if (bit < 0) return bit;
        ++length;
        code = code * 2 + bit;
        while (k < table.count && table.sizes[k] == length) {
            if (table.codes[k] == code) return table.values[k];
            ++k;
        }
        if (k == table.count) return 0;
    }
    return 0;
}

void DecodeBlock(JpegDecoder* decoder, int32_t component) {
    JpegReader* reader = decoder->reader;
    int32_t* coef = decoder->coef;

    // DC coefficient: a magnitude category, then that many bits of difference.
    const int32_t t = DecodeHuffman(decoder, 0, component);
    if (t < 0 || t > 15) return;  // a marker or the end of data; or a category no DC has
    int32_t difference = 0;
    if (t > 0) {
        const int32_t v = ReadBits(reader, t);
        if (v < 0) return;
        difference = Extend(v, t);
    }
    decoder->dc_pred[component] = WrapAdd(decoder->dc_pred[component], difference);
    coef[0] = decoder->dc_pred[component];

    // AC coefficients in zig-zag order: run of zeros and magnitude category per symbol.
    int32_t k = 1;
    while (k < 64) {
        const int32_t rs = DecodeHuffman(decoder, 1, component);
        if (rs == 0) {  // end of block
            for (int32_t j = k; j < 64; ++j) coef[zigzag_order[j]] = 0;
            return;
        }
        if (rs < 0) return;
        const int32_t r = rs >> 4;
        const int32_t s = rs & 15;
        if (s == 0 && r != 15) return;
        int32_t value = 0;
        if (s != 0) {
            const int32_t v = ReadBits(reader, s);
            if (v < 0) return;
            value = Extend(v, s);
        }
        if (k + r > 63) return;
        for (int32_t j = k; j < k + r; ++j) coef[zigzag_order[j]] = 0;
        coef[zigzag_order[k + r]] = value;
        k += r + 1;
    }
}

}  // namespace varnel
