// The exact fast kernels' scan decode: MCU rows decoded with the fast bit reader, Huffman
// tables and inverse DCT, and converted in strips straight into the bottom-up bitmap rows,
// the same bytes as DecodeScan followed by LoadJpeg's row assembly.
#include "fast_scan.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "decoder_heap.h"
#include "fast_bit_reader.h"
#include "fast_color.h"
#include "fast_huffman.h"
#include "fast_idct.h"
#include "fast_kernels.h"

namespace varnel {

namespace {

// Spare values after each row so that SIMD kernels may read a little past the width.
constexpr int64_t kRowSlack = 32;

// Bytes of samples (32-bit, 256 bytes a block) that a strip of MCUs aims at.
constexpr int32_t kStripBytes = 48 * 1024;

struct ComponentState {
    const FastHuffman* dc;
    const FastHuffman* ac;
    const int32_t* quant;
    int32_t h;
    int32_t v;
    int32_t hrep;
    int32_t vrep;
    int32_t* samples;  // one strip of an MCU row: v x 8 rows of `width` values
    int64_t width;     // strip_cols x h x 8 (+ slack)
};

struct ScanWork {
    FastHuffman huffman[6];
    alignas(64) int32_t coef[64];
};

// The pixel order of the standard layouts: Y at the largest factors, Cb and Cr alike and
// dividing them. Everything else goes through GenericRow.
bool IsStandardLayout(const McuLayout& layout, int32_t component_count) {
    if (component_count == 1) return true;
    if (layout.h[0] != layout.h_max || layout.v[0] != layout.v_max) return false;
    if (layout.h[1] != layout.h[2] || layout.v[1] != layout.v[2]) return false;
    return layout.h_max % layout.h[1] == 0 && layout.v_max % layout.v[1] == 0;
}

// One picture row of an MCU row by the unit-buffer rule of DecodeMcu: a place of the MCU
// that a component's replicated blocks do not reach keeps the unit buffer's initial fill
// (0 for Y, 128 for Cb and Cr), since the blocks land on the same places in every MCU.
void GenericRow(const ComponentState* components, int32_t component_count, const McuLayout& layout,
                int32_t row, int32_t width, uint8_t* bgr) {
    const int32_t mcu_width = layout.h_max * 8;
    for (int32_t x = 0; x < width; ++x) {
        const int32_t mcu = x / mcu_width;
        const int32_t k = x % mcu_width;
        int32_t value[3] = {0, 128, 128};
        for (int32_t i = 0; i < component_count; ++i) {
            const ComponentState& c = components[i];
            if (k / (8 * c.hrep) >= c.h || row / (8 * c.vrep) >= c.v) continue;
            const int64_t column = int64_t{mcu} * c.h * 8 + k / c.hrep;
            value[i] = c.samples[(row / c.vrep) * c.width + column];
        }
        const int32_t y = value[0];
        const int32_t cb = value[1];
        const int32_t cr = value[2];
        const int32_t red = WrapAdd(y, WrapMul(14020, WrapSub(cr, 128)) / 10000);
        const int32_t green = WrapAdd(WrapAdd(y, WrapMul(3441, WrapSub(128, cb)) / 10000),
                                      WrapMul(7139, WrapSub(128, cr)) / 10000);
        const int32_t blue = WrapAdd(y, WrapMul(17718, WrapSub(cb, 128)) / 10000);
        bgr[3 * x] = ClampSample(blue);
        bgr[3 * x + 1] = ClampSample(green);
        bgr[3 * x + 2] = ClampSample(red);
    }
}

// What the failed read of the fast reader met, as JpegReader::barrier_met gives it: the code of
// the marker at the reader's place, or kImageEnded.
int32_t Barrier(const FastBitReader& bits) {
    if (bits.barrier_steps && bits.end - bits.src >= 2 && bits.src[1] != 0) return bits.src[1];
    return kImageEnded;
}

void* AlignUp(void* p) {
    const auto address = reinterpret_cast<uintptr_t>(p);
    return reinterpret_cast<void*>((address + 63) & ~uintptr_t{63});
}

// Colour conversion of one strip of an MCU row (MCU columns strip to strip_end - 1) into
// the bitmap's rows; after the last strip of a row, its padding bytes are cleared.
void ConvertStrip(const ComponentState* components, int32_t count, const McuLayout& layout,
                  const ColorKernels& color, int32_t* const* terms, int64_t term_width,
                  int32_t mcu_row, int32_t strip, int32_t strip_end, int32_t width, int32_t height,
                  uint8_t* rows, int64_t stride) {
    const int32_t mcu_height = layout.v_max * 8;
    const int32_t x0 = strip * layout.h_max * 8;
    const int32_t n = std::min(width, strip_end * layout.h_max * 8) - x0;
    const bool last = strip_end == layout.mcu_cols;
    int32_t chroma_row = -1;
    for (int32_t r = 0; r < mcu_height; ++r) {
        const int64_t y = int64_t{mcu_row} * mcu_height + r;
        if (y >= height) break;
        uint8_t* row = rows + (height - 1 - y) * stride;
        uint8_t* out = row + int64_t{3} * x0;
        if (!IsStandardLayout(layout, count)) {
            GenericRow(components, count, layout, r, width, out);  // one strip: x0 is 0
        } else if (count == 1) {
            color.grey_row(components[0].samples + r * components[0].width, n, out);
        } else if (components[1].hrep == 1 && components[1].vrep == 1) {
            const int64_t offset = r * components[1].width;
            color.color_row_full(components[0].samples + r * components[0].width,
                                 components[1].samples + offset, components[2].samples + offset, n,
                                 out);
        } else {
            const ComponentState& chroma = components[1];
            if (r / chroma.vrep != chroma_row) {
                chroma_row = r / chroma.vrep;
                const int32_t chroma_n = (n + chroma.hrep - 1) / chroma.hrep;
                const int64_t offset = chroma_row * chroma.width;
                // Terms at chroma resolution: used as they are for factors 1 and 2,
                // repeated to full width for larger ones.
                int32_t* source = chroma.hrep <= 2 ? terms[0] : terms[3];
                color.chroma_terms(components[1].samples + offset, components[2].samples + offset,
                                   chroma_n, source, source + term_width, source + 2 * term_width);
                if (chroma.hrep > 2) {
                    for (int t = 0; t < 3; ++t) {
                        RepeatSamples(terms[3] + t * term_width, chroma_n, chroma.hrep,
                                      terms[0] + t * term_width);
                    }
                }
            }
            const ColorRowKernel row_kernel =
                chroma.hrep == 2 ? color.color_row_half : color.color_row;
            row_kernel(components[0].samples + r * components[0].width, terms[0],
                       terms[0] + term_width, terms[0] + 2 * term_width, n, out);
        }
        if (last) {
            std::memset(row + int64_t{3} * width, 0,
                        static_cast<size_t>(stride - int64_t{3} * width));
        }
    }
}

}  // namespace

bool DecodeScanToRows(JpegDecoder* decoder, uint8_t* rows, int64_t stride,
                      const FastKernels& kernels) {
    const McuLayout layout = ComputeMcuLayout(decoder);
    const int32_t count = decoder->component_count;
    const int32_t width = decoder->width;
    const int32_t height = decoder->height;
    const bool standard = IsStandardLayout(layout, count);

    // The MCU rows are decoded and converted in strips of strip_cols MCUs, so that the
    // samples of a strip stay in the cache until they are converted.
    int32_t blocks_per_mcu = 0;
    for (int32_t i = 0; i < count; ++i) blocks_per_mcu += layout.h[i] * layout.v[i];
    const int32_t strip_cols =
        standard ? std::clamp(kStripBytes / (256 * blocks_per_mcu), 1, layout.mcu_cols)
                 : layout.mcu_cols;

    // One block for everything: the tables, the strip's samples and the chroma terms.
    ComponentState components[3] = {};
    int64_t total = static_cast<int64_t>(sizeof(ScanWork)) + 64;
    for (int32_t i = 0; i < count; ++i) {
        ComponentState& c = components[i];
        c.h = layout.h[i];
        c.v = layout.v[i];
        c.hrep = layout.h_max / c.h;
        c.vrep = layout.v_max / c.v;
        c.width = int64_t{strip_cols} * c.h * 8 + kRowSlack;
        total += int64_t{c.v} * 8 * c.width * 4 + 64;
    }
    const int64_t term_width = int64_t{strip_cols} * layout.h_max * 8 + kRowSlack;
    total += 6 * term_width * 4 + 64;
    if (total > kMaxBlockBytes) return false;
    void* block = DecoderAllocate(static_cast<size_t>(total));
    if (block == nullptr) return false;

    auto* cursor = static_cast<uint8_t*>(AlignUp(block));
    auto* work = reinterpret_cast<ScanWork*>(cursor);
    cursor += sizeof(ScanWork);
    for (int32_t i = 0; i < count; ++i) {
        cursor = static_cast<uint8_t*>(AlignUp(cursor));
        components[i].samples = reinterpret_cast<int32_t*>(cursor);
        cursor += int64_t{components[i].v} * 8 * components[i].width * 4;
    }
    cursor = static_cast<uint8_t*>(AlignUp(cursor));
    int32_t* terms[6];
    for (int32_t*& t : terms) {
        t = reinterpret_cast<int32_t*>(cursor);
        cursor += term_width * 4;
    }

    const IdctTables* idct_tables = CurrentIdctTables();
    for (int32_t i = 0; i < count; ++i) {
        const ScanComponent& scan = decoder->scan_components[i];
        const HuffmanTable* dc = &decoder->huffman[0][scan.td];
        const HuffmanTable* ac = &decoder->huffman[1][scan.ta];
        components[i].dc = &work->huffman[2 * i];
        components[i].ac = &work->huffman[2 * i + 1];
        // Components that share a table (the two chroma ones, as a rule) share its lookup.
        for (int32_t j = 0; j < i; ++j) {
            if (components[j].dc->table == dc) components[i].dc = components[j].dc;
            if (components[j].ac->table == ac) components[i].ac = components[j].ac;
        }
        if (components[i].dc == &work->huffman[2 * i]) BuildFastHuffman(&work->huffman[2 * i], dc);
        if (components[i].ac == &work->huffman[2 * i + 1]) {
            BuildFastHuffman(&work->huffman[2 * i + 1], ac);
        }
        components[i].quant = decoder->quant[decoder->frame_components[i].tq];
    }
    // The reference's coefficient array starts zero and carries over from block to block.
    std::memset(work->coef, 0, sizeof(work->coef));
    uint64_t mask = 0;

    const IdctKernel idct = kernels.idct;
    const ColorKernels color = kernels.color;
    const int32_t level = decoder->precision == 8 ? 128 : 2048;

    FastBitReader bits;
    StartFastBits(&bits, decoder->reader);
    for (int32_t& prediction : decoder->dc_pred) prediction = 0;
    int32_t restart_count = 0;

    for (int32_t mcu_row = 0; mcu_row < layout.mcu_rows; ++mcu_row) {
        for (int32_t strip = 0; strip < layout.mcu_cols; strip += strip_cols) {
            const int32_t strip_end = std::min(layout.mcu_cols, strip + strip_cols);
            for (int32_t mcu_column = strip; mcu_column < strip_end; ++mcu_column) {
                for (int32_t i = 0; i < count; ++i) {
                    ComponentState& c = components[i];
                    for (int32_t by = 0; by < c.v; ++by) {
                        for (int32_t bx = 0; bx < c.h; ++bx) {
                            FastDecodeBlock(&bits, c.dc, c.ac, &decoder->dc_pred[i], c.quant,
                                            work->coef, &mask);
                            int32_t* out = c.samples + int64_t{by} * 8 * c.width +
                                           (int64_t{mcu_column - strip} * c.h + bx) * 8;
                            idct(idct_tables, work->coef, mask, level, out, c.width);
                        }
                    }
                }
                if (bits.failed && decoder->data_ended == 0) {
                    NoteDataEnd(decoder, mcu_row * layout.mcu_cols + mcu_column, Barrier(bits));
                }
                if (decoder->restart_interval != 0) {
                    ++restart_count;
                    if (restart_count >= decoder->restart_interval) {
                        restart_count = 0;
                        // The marker search runs on the reference reader, from where it would
                        // stand after the bits taken so far.
                        MaterialiseReader(&bits, decoder->reader);
                        const int32_t code = NextMarker(decoder);
                        if (code >= 0xD0 && code <= 0xD7) {
                            for (int32_t& prediction : decoder->dc_pred) prediction = 0;
                        }
                        StartFastBits(&bits, decoder->reader);
                    }
                }
            }
            ConvertStrip(components, count, layout, color, terms, term_width, mcu_row, strip,
                         strip_end, width, height, rows, stride);
        }
    }

    // Leave the reference reader where the bits taken so far would have left it.
    MaterialiseReader(&bits, decoder->reader);
    std::free(block);
    return true;
}

}  // namespace varnel
