// Construction and destruction of the decoder record, Attach, the decode gate and the small
// helpers that other stages share.
#include <cstdlib>
#include <cstring>

#include "decoder_heap.h"
#include "jpeg_decoder.h"

namespace varnel {

const int32_t zigzag_order[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

void ConstructDecoder(JpegDecoder* decoder) {
    std::memset(decoder, 0, sizeof(*decoder));
    for (auto& by_class : decoder->huffman) {
        for (HuffmanTable& table : by_class) table = HuffmanTable{0, nullptr, nullptr, nullptr};
    }
    decoder->x_density = 1;
    decoder->y_density = 1;
    BuildCosTable(decoder);
    BuildIdctMatrix(decoder);
}

void ReleasePlanes(JpegDecoder* decoder) {
    for (uint8_t*& plane : decoder->planes) {
        std::free(plane);
        plane = nullptr;
    }
}

void DestroyDecoder(JpegDecoder* decoder) {
    ReleasePlanes(decoder);
    for (auto& by_class : decoder->huffman) {
        for (HuffmanTable& table : by_class) {
            std::free(table.codes);
            std::free(table.sizes);
            std::free(table.values);
            table = HuffmanTable{0, nullptr, nullptr, nullptr};
        }
    }
    std::free(decoder->comment);
    decoder->comment = nullptr;
    std::free(decoder->reader);
    decoder->reader = nullptr;
}

int32_t Attach(JpegDecoder* decoder, const uint8_t* image, int32_t length) {
    std::free(decoder->reader);
    decoder->reader = static_cast<JpegReader*>(DecoderAllocate(sizeof(JpegReader)));
    if (decoder->reader == nullptr) return -1;
    decoder->reader->consumed = nullptr;
    Init(decoder->reader, image, length);
    if (decoder->consumed != nullptr) {
        *decoder->consumed = 0;
        decoder->reader->consumed = decoder->consumed;
    }
    return AnalysisHeader(decoder);
}

void AllocIntArray(int32_t** slot, int32_t count, int32_t fill, const char* /*label*/) {
    std::free(*slot);
    *slot = nullptr;
    if (count < 0) return;
    // One element at least, so that a count of 0 still gives a block as the allocator would.
    auto* values =
        static_cast<int32_t*>(DecoderAllocate(sizeof(int32_t) * (count > 0 ? count : 1)));
    *slot = values;
    if (values == nullptr) return;
    for (int32_t i = 0; i < count; ++i) values[i] = fill;
}

McuLayout ComputeMcuLayout(const JpegDecoder* decoder) {
    McuLayout layout{};
    const bool single = decoder->component_count == 1;
    layout.h_max = single ? 1 : decoder->h_max;
    layout.v_max = single ? 1 : decoder->v_max;
    for (int i = 0; i < 3; ++i) {
        layout.h[i] = single ? 1 : decoder->frame_components[i].h;
        layout.v[i] = single ? 1 : decoder->frame_components[i].v;
    }
    if (layout.h_max <= 0 || layout.v_max <= 0) return layout;
    const int32_t blocks_across = (decoder->width >> 3) + ((decoder->width & 7) != 0 ? 1 : 0);
    const int32_t blocks_down = (decoder->height >> 3) + ((decoder->height & 7) != 0 ? 1 : 0);
    layout.mcu_cols = blocks_across / layout.h_max + (blocks_across % layout.h_max != 0 ? 1 : 0);
    layout.mcu_rows = blocks_down / layout.v_max + (blocks_down % layout.v_max != 0 ? 1 : 0);
    return layout;
}

bool IsDecodable(const JpegDecoder* decoder) {
    if ((decoder->segment_flags & kSegmentSOS) == 0) return false;
    if (decoder->component_count != 1 && decoder->component_count != 3) return false;
    for (int32_t i = 0; i < decoder->component_count; ++i) {
        const FrameComponent& component = decoder->frame_components[i];
        if (component.h < 1 || component.v < 1) return false;
        if (component.tq < 0 || component.tq > 3) return false;
    }
    if (decoder->width < 1 || decoder->height < 1) return false;
    if (!decoder->scan_header_complete) return false;
    if (decoder->scan_component_count != decoder->component_count) return false;
    if (!FitsBlockLimit(decoder)) return false;
    return decoder->table_lost == 0;
}

bool FitsBlockLimit(const JpegDecoder* decoder) {
    // Every block the decode allocates must fit: a plane of whole MCUs, and the bitmap.
    const McuLayout layout = ComputeMcuLayout(decoder);
    const int64_t plane_bytes =
        int64_t{layout.mcu_cols} * layout.h_max * 8 * (int64_t{layout.mcu_rows} * layout.v_max * 8);
    const int64_t stride = ((int64_t{decoder->width} * 24 + 31) >> 5) * 4;
    const int64_t bitmap_bytes = stride * decoder->height;
    return plane_bytes <= kMaxBlockBytes && bitmap_bytes <= kMaxBlockBytes;
}

int32_t Decode(JpegDecoder* decoder) {
    if ((decoder->segment_flags & (kSegmentDHT | kSegmentDQT | kSegmentSOS)) == 0) {
        return kNothingToDecode;
    }
    if (!IsDecodable(decoder)) return kNothingToDecode;
    return DecodeScan(decoder) ? 0 : kNothingToDecode;
}

void GetPlanes(const JpegDecoder* decoder, uint8_t** r, uint8_t** g, uint8_t** b, int32_t* width,
               int32_t* height) {
    *r = decoder->planes[0];
    *g = decoder->planes[1];
    *b = decoder->planes[2];
    *width = decoder->width;
    *height = decoder->height;
}

}  // namespace varnel
