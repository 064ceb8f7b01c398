// JpegDecoder: all state of one decode of a baseline sequential DCT JPEG image (ITU-T T.81
// SOF0, Huffman coding, one or three components, the first scan only), and the operations
// that act on it. The record owns its planes, comment, reader and Huffman arrays.
#pragma once

#include <cstdint>

#include "jpeg_reader.h"

namespace varnel {

// Bits of JpegDecoder::segment_flags.
inline constexpr int32_t kSegmentDHT = 0x01;
inline constexpr int32_t kSegmentDQT = 0x02;
inline constexpr int32_t kSegmentJFIF = 0x04;
inline constexpr int32_t kSegmentCOM = 0x08;
inline constexpr int32_t kSegmentSOS = 0x10;

// Result of Decode when there is nothing it can decode.
inline constexpr int32_t kNothingToDecode = -2;

// Largest block, in bytes, that a decode allocates for a plane or the bitmap.
inline constexpr int64_t kMaxBlockBytes = 0x7FFFFFFF;

struct FrameComponent {
    uint8_t id;  // component identifier Ci
    int8_t h;    // horizontal sampling factor Hi
    int8_t v;    // vertical sampling factor Vi
    int8_t tq;   // quantisation table selector Tqi, as read
};

struct ScanComponent {
    uint8_t cs;  // component selector Csj (stored, never compared)
    int8_t td;   // DC table selector Tdj
    int8_t ta;   // AC table selector Taj
};

struct HuffmanTable {
    int32_t count;    // number of codes; 0: the table is not defined
    int32_t* sizes;   // code length in bits of entry k, non-decreasing
    int32_t* codes;   // canonical code of entry k, right-aligned in sizes[k] bits
    int32_t* values;  // symbol of entry k, in the order the segment lists them
};

struct JpegDecoder {
    uint8_t* planes[3];        // R, G, B after colour conversion, `width` samples a row
    int32_t* unit_buffers[3];  // MCU-sized sample buffers, alive during the scan only
    int32_t dc_pred[3];        // DC predictor per frame component
    int32_t coef[64];          // current block's coefficients, natural order
    int32_t samples[64];       // current block after the inverse DCT, level-shifted
    int32_t segment_flags;     // kSegment* bits of the segments seen
    int32_t width;             // X of SOF0
    int32_t height;            // Y of SOF0, or of a DNL before the first SOS
    int32_t component_count;   // Nf of SOF0
    int32_t precision;         // P of SOF0
    char* comment;             // text of the last COM segment, zero-terminated
    int32_t app0_kind;         // 0 none, 1 JFIF, 2 JFXX
    uint8_t jfif_major;
    uint8_t jfif_minor;
    int32_t density_units;
    int32_t x_density;
    int32_t y_density;
    int32_t thumb_width;
    int32_t thumb_height;
    int32_t jfxx_code;
    uint8_t scan_component_count;  // Ns of SOS
    uint8_t ss;
    uint8_t se;
    uint8_t ah;
    uint8_t al;
    FrameComponent frame_components[3];
    ScanComponent scan_components[3];
    int32_t* consumed;           // byte counter handed to the reader, not owned
    HuffmanTable huffman[2][4];  // [class: 0 DC, 1 AC][destination identifier]
    int32_t quant[4][64];        // quantisation tables, natural order
    double cos_table[8][8];      // cos((2x + 1) u pi / 16), [u][x]
    int32_t in_image;            // 1 from SOI until EOI
    JpegReader* reader;          // owned
    int8_t h_max;
    int8_t v_max;
    int32_t restart_interval;  // MCUs per restart interval; 0: none
    // Set by AnalysisSOS when every byte of the scan header was read from the image and no
    // table selector stopped it; the decode gate requires it.
    int32_t scan_header_complete;
    // What the header parse met, for telling a reader why a file is refused; the decode does
    // not look at them. frame_marker: the code of the last frame header (SOF0 to SOF15), 0 when
    // there was none; soi_found: 1 once the SOI search succeeded.
    int32_t frame_marker;
    int32_t soi_found;
    // Set by AnalysisDHT when a table's arrays could not be allocated: the scan would decode
    // with that table missing, a different picture, so the decode gate refuses the file.
    int32_t table_lost;
    // Where the entropy-coded data first failed the scan, for telling a reader that the picture
    // is cut short or damaged; the decode does not look at them (blocks after that point decode
    // from whatever the reads give). data_ended: 1 once a block's read met a marker or the end
    // of the image; data_end_mcu: the MCU being decoded then, counted in raster order from 0;
    // data_end_marker: the marker's code, or 0 when the image ended.
    int32_t data_ended;
    int32_t data_end_mcu;
    int32_t data_end_marker;
};

// Zig-zag sequence of T.81 Figure A.6: the natural index of each zig-zag position.
extern const int32_t zigzag_order[64];

// --- Record, marker parser and decode gate ---
void ConstructDecoder(JpegDecoder* decoder);
void DestroyDecoder(JpegDecoder* decoder);
void ReleasePlanes(JpegDecoder* decoder);
int32_t Attach(JpegDecoder* decoder, const uint8_t* image, int32_t length);
int32_t AnalysisHeader(JpegDecoder* decoder);
int32_t AnalysisSegment(JpegDecoder* decoder);
int32_t NextMarker(JpegDecoder* decoder);
void AnalysisDQT(JpegDecoder* decoder, int32_t n);
void AnalysisSOF0(JpegDecoder* decoder);
void AnalysisSOS(JpegDecoder* decoder);
void AnalysisJFIF(JpegDecoder* decoder);
void AnalysisJFXX(JpegDecoder* decoder);
int32_t Decode(JpegDecoder* decoder);
void AllocIntArray(int32_t** slot, int32_t count, int32_t fill, const char* label);
void GetPlanes(const JpegDecoder* decoder, uint8_t** r, uint8_t** g, uint8_t** b, int32_t* width,
               int32_t* height);

// True when the frame and scan read by the header parse can be decoded.
bool IsDecodable(const JpegDecoder* decoder);
// True when a plane of whole MCUs and the bitmap of the frame each fit in kMaxBlockBytes.
bool FitsBlockLimit(const JpegDecoder* decoder);

// --- Huffman tables and block entropy decoding ---
void AnalysisDHT(JpegDecoder* decoder, int32_t length);
int32_t DecodeHuffman(JpegDecoder* decoder, int32_t table_class, int32_t component);
void DecodeBlock(JpegDecoder* decoder, int32_t component);

// --- Dequantisation and inverse DCT ---
extern int32_t idct_matrix[4096];
extern const double inv_sqrt2;
void BuildCosTable(JpegDecoder* decoder);
void BuildIdctMatrix(const JpegDecoder* decoder);
void Dequantize(JpegDecoder* decoder, int32_t component);
void InverseDCT(JpegDecoder* decoder);

// --- Scan loop, upsampling and colour conversion ---
// The MCU grid of a frame. A three-component frame is interleaved: an MCU holds h x v blocks
// of each component. A one-component frame is a non-interleaved scan (T.81 A.2.2): one block
// per MCU whatever its sampling factors.
struct McuLayout {
    int32_t h_max;
    int32_t v_max;
    int32_t h[3];
    int32_t v[3];
    int32_t mcu_cols;
    int32_t mcu_rows;
};
McuLayout ComputeMcuLayout(const JpegDecoder* decoder);
// Returns false when a plane or unit buffer could not be allocated.
bool DecodeScan(JpegDecoder* decoder);
void DecodeMcu(JpegDecoder* decoder);
void ConvertMcu(JpegDecoder* decoder, int32_t mcu_column, int32_t mcu_row);
// Notes MCU `mcu` as where the data ended, with what stood in the way (a marker's code, or
// kImageEnded), unless an earlier MCU is noted already.
void NoteDataEnd(JpegDecoder* decoder, int32_t mcu, int32_t barrier);
uint8_t ClampSample(int32_t value);

// --- 32-bit arithmetic that wraps modulo 2^32, as damaged files can make it ---
inline int32_t WrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t WrapSub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline int32_t WrapMul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

}  // namespace varnel
