// Decoding of Windows bitmap files held in memory: bytes in, pixels out, no platform calls, so
// tests and fuzz targets can run it on any buffer.
//
// Accepted: the 12-byte core header (3-byte palette entries) and the 40, 52, 56, 108 and
// 124-byte information headers; 1, 4, 8, 16, 24 and 32 bits per pixel; BI_RGB, BI_RLE8 (8 bpp),
// BI_RLE4 (4 bpp), BI_BITFIELDS and BI_ALPHABITFIELDS (16 and 32 bpp); bottom-up and top-down
// rows (top-down only uncompressed, as on Windows).
//
// Every read is checked against the end of the buffer. A picture whose pixel data ends early is
// still decoded: the pixels the file holds are kept, the missing ones stay black, and the result
// says Truncated. A file whose headers or palette are cut off, or with no pixel data at all, is
// Damaged. Width times height times 4 must not exceed 2^31 - 1 (TooLarge otherwise), which the
// caller can rely on when it allocates the output.
#pragma once

#include <cstddef>
#include <cstdint>

#define BMP_BI_ALPHABITFIELDS 6u

enum class BmpResult : uint8_t {
    Ok,
    Truncated,    // decoded, but the pixel data ended early; missing pixels are black
    NotBitmap,    // no "BM" signature
    Unsupported,  // a header size, bit depth or compression this decoder does not read
    Damaged,      // headers or palette cut off or contradictory, or no pixel data
    TooLarge,     // width * height * 4 above 2^31 - 1
};

struct BmpInfo {
    int32_t width = 0;   // pixels, at least 1
    int32_t height = 0;  // pixels, at least 1
    bool top_down = false;
    uint16_t bit_count = 0;
    uint32_t compression = 0;
    bool has_alpha = false;  // the file gives an alpha mask (bit fields, 16 or 32 bpp)
};

// True for Ok and Truncated: there is a picture.
inline bool BmpResultHasPicture(BmpResult result) {
    return result == BmpResult::Ok || result == BmpResult::Truncated;
}

// Reads and checks the headers of a file image. Ok when BmpDecode can decode it.
BmpResult BmpReadInfo(const uint8_t* file, size_t size, BmpInfo* info);

// Decodes a file image into out: info.height rows of info.width pixels, bottom row first, each
// row out_stride bytes apart; out_bytes_per_pixel is 3 (blue, green, red) or 4 (blue, green,
// red, then alpha when the file has an alpha mask, else 0). The caller sizes out from
// BmpReadInfo; every byte of each row's pixels is written. Returns Ok or Truncated with a
// picture, or the failure of BmpReadInfo.
BmpResult BmpDecode(const uint8_t* file, size_t size, uint8_t* out, int out_bytes_per_pixel,
                    size_t out_stride);
