// A small writer of Windows bitmap files for the tests: any header size, bit depth, compression
// and row order that the loader reads, with raw pixel values given per pixel, or run-length data
// given as bytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

struct BmpWriteSpec {
    int header_size = 40;  // 12, 40, 52, 56, 108 or 124
    int bpp = 24;
    uint32_t compression = 0;  // BI_RGB
    bool top_down = false;
    int width = 13;
    int height = 7;
    // Bit-field masks (red, green, blue, alpha). With a 40-byte header they follow it (three,
    // or four for BI_ALPHABITFIELDS); larger headers hold them.
    uint32_t masks[4] = {0, 0, 0, 0};
    uint32_t colours_used = 0;
    std::vector<uint8_t> palette;  // bytes as stored: 3 per entry with a 12-byte header, else 4
};

inline void PutU16(std::vector<uint8_t>* out, size_t at, uint32_t v) {
    (*out)[at] = static_cast<uint8_t>(v);
    (*out)[at + 1] = static_cast<uint8_t>(v >> 8);
}

inline void PutU32(std::vector<uint8_t>* out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) (*out)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// raw(x, y) gives the stored value of a pixel, y counting from the top: a palette index, a 16 or
// 32-bit word, or 0xRRGGBB for 24 bits. rle, when given, is the whole pixel data.
inline std::vector<uint8_t> WriteBmp(const BmpWriteSpec& spec,
                                     const std::function<uint32_t(int, int)>& raw,
                                     const std::vector<uint8_t>* rle = nullptr) {
    const bool core = spec.header_size == 12;
    size_t mask_bytes = 0;
    if (spec.header_size == 40 && spec.compression == 3) mask_bytes = 12;
    if (spec.header_size == 40 && spec.compression == 6) mask_bytes = 16;
    const size_t pixel_offset = 14 + spec.header_size + mask_bytes + spec.palette.size();
    const size_t row_bytes = (static_cast<size_t>(spec.width) * spec.bpp + 31) / 32 * 4;
    std::vector<uint8_t> pixels;
    if (rle != nullptr) {
        pixels = *rle;
    } else {
        pixels.assign(row_bytes * spec.height, 0);
        for (int r = 0; r < spec.height; ++r) {
            const int y = spec.top_down ? r : spec.height - 1 - r;  // file row r shows row y
            uint8_t* row = pixels.data() + r * row_bytes;
            for (int x = 0; x < spec.width; ++x) {
                const uint32_t v = raw(x, y);
                switch (spec.bpp) {
                    case 1:
                        row[x / 8] |= static_cast<uint8_t>((v & 1) << (7 - x % 8));
                        break;
                    case 4:
                        row[x / 2] |= static_cast<uint8_t>((v & 15) << (x % 2 ? 0 : 4));
                        break;
                    case 8:
                        row[x] = static_cast<uint8_t>(v);
                        break;
                    case 16:
                        row[2 * x] = static_cast<uint8_t>(v);
                        row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
                        break;
                    case 24:
                        row[3 * x] = static_cast<uint8_t>(v);
                        row[3 * x + 1] = static_cast<uint8_t>(v >> 8);
                        row[3 * x + 2] = static_cast<uint8_t>(v >> 16);
                        break;
                    default:
                        for (int i = 0; i < 4; ++i)
                            row[4 * x + i] = static_cast<uint8_t>(v >> (8 * i));
                        break;
                }
            }
        }
    }
    std::vector<uint8_t> file(pixel_offset + pixels.size(), 0);
    file[0] = 'B';
    file[1] = 'M';
    PutU32(&file, 2, static_cast<uint32_t>(file.size()));
    PutU32(&file, 10, static_cast<uint32_t>(pixel_offset));
    PutU32(&file, 14, static_cast<uint32_t>(spec.header_size));
    if (core) {
        PutU16(&file, 18, static_cast<uint32_t>(spec.width));
        PutU16(&file, 20, static_cast<uint32_t>(spec.height));
        PutU16(&file, 22, 1);
        PutU16(&file, 24, static_cast<uint32_t>(spec.bpp));
    } else {
        PutU32(&file, 18, static_cast<uint32_t>(spec.width));
        PutU32(&file, 22, static_cast<uint32_t>(spec.top_down ? -spec.height : spec.height));
        PutU16(&file, 26, 1);
        PutU16(&file, 28, static_cast<uint32_t>(spec.bpp));
        PutU32(&file, 30, spec.compression);
        PutU32(&file, 34, static_cast<uint32_t>(pixels.size()));
        PutU32(&file, 38, 2835);
        PutU32(&file, 42, 2835);
        PutU32(&file, 46, spec.colours_used);
        const int mask_count = spec.compression == 6 ? 4 : 3;
        if (mask_bytes > 0 || spec.header_size >= 52) {
            for (int i = 0; i < mask_count; ++i) PutU32(&file, 54 + 4 * i, spec.masks[i]);
        }
        if (spec.header_size >= 56) PutU32(&file, 66, spec.masks[3]);
        if (spec.header_size >= 108) PutU32(&file, 70, 0x73524742);  // LCS_sRGB
    }
    std::copy(spec.palette.begin(), spec.palette.end(),
              file.begin() + 14 + spec.header_size + static_cast<std::ptrdiff_t>(mask_bytes));
    std::copy(pixels.begin(), pixels.end(),
              file.begin() + static_cast<std::ptrdiff_t>(pixel_offset));
    return file;
}
