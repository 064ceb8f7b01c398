// Windows bitmap file decoding over a byte buffer (see bmp_decode.h for what is accepted).
//
// File layout: BITMAPFILEHEADER (14 bytes: "BM", file size, two reserved words, offset of the
// pixel data), then the information header whose first DWORD is its own size, then for
// BI_BITFIELDS with a 40-byte header three DWORD masks (four for BI_ALPHABITFIELDS), then the
// palette for 1, 4 and 8 bits per pixel, then the rows, each padded to a multiple of 4 bytes.
#include "bmp_decode.h"

#include <cstring>

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr uint64_t kMaxPixelBytes = 0x7fffffffu;  // width * height * 4

struct Colour {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
    uint8_t alpha;
};

// One channel of a bit-field pixel: where its bits are and how many.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
};

struct BmpLayout {
    BmpInfo info;
    uint32_t palette_count = 0;
    Colour palette[256] = {};
    Channel channels[4];  // red, green, blue, alpha
    size_t pixel_offset = 0;
    uint64_t row_bytes = 0;
};

uint16_t ReadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

int32_t ReadI32(const uint8_t* p) {
    return static_cast<int32_t>(ReadU32(p));
}

Channel ChannelFromMask(uint32_t mask) {
    Channel channel;
    channel.mask = mask;
    if (mask == 0) return channel;
    channel.shift = __builtin_ctz(mask);
    uint32_t shifted = mask >> channel.shift;
    while (shifted != 0) {
        ++channel.bits;
        shifted >>= 1;
    }
    return channel;
}

// A channel's value as 8 bits: wider fields keep their top 8 bits; narrower ones repeat their
// bits downwards (5 bits abcde give abcdeabc), as the Windows DIB engine does, so that the
// largest value becomes 255 and zero stays zero.
uint8_t ChannelValue(const Channel& channel, uint32_t pixel) {
    if (channel.bits == 0) return 0;
    const uint32_t value = (pixel & channel.mask) >> channel.shift;
    if (channel.bits >= 8) return static_cast<uint8_t>(value >> (channel.bits - 8));
    uint32_t result = 0;
    for (int shift = 8 - channel.bits; shift > -channel.bits; shift -= channel.bits) {
        result |= shift >= 0 ? value << shift : value >> -shift;
    }
    return static_cast<uint8_t>(result);
}

BmpResult ParseLayout(const uint8_t* file, size_t size, BmpLayout* layout) {
    if (file == nullptr || size < 2 || file[0] != 'B' || file[1] != 'M') {
        return BmpResult::NotBitmap;
    }
    if (size < 18) return BmpResult::Damaged;
    const uint32_t data_offset = ReadU32(file + 10);
    const uint32_t header_size = ReadU32(file + 14);
    const bool core = header_size == 12;
    if (!core && header_size != 40 && header_size != 52 && header_size != 56 &&
        header_size != 108 && header_size != 124) {
        return BmpResult::Unsupported;
    }
    if (size - 14 < header_size) return BmpResult::Damaged;
    const uint8_t* header = file + 14;
    BmpInfo& info = layout->info;
    int64_t height = 0;
    uint32_t colours_used = 0;
    if (core) {
        info.width = ReadU16(header + 4);
        height = ReadU16(header + 6);
        info.bit_count = ReadU16(header + 10);
        info.compression = kBiRgb;
    } else {
        info.width = ReadI32(header + 4);
        height = ReadI32(header + 8);
        info.bit_count = ReadU16(header + 14);
        info.compression = ReadU32(header + 16);
        colours_used = ReadU32(header + 32);
    }
    if (info.width <= 0 || height == 0) return BmpResult::Damaged;
    info.top_down = height < 0;
    if (info.top_down) height = -height;  // in 64 bits, so INT32_MIN is no trap
    if (height > INT32_MAX) return BmpResult::Damaged;
    info.height = static_cast<int32_t>(height);
    if (static_cast<uint64_t>(info.width) * static_cast<uint64_t>(info.height) * 4 >
        kMaxPixelBytes) {
        return BmpResult::TooLarge;
    }

    const uint16_t bpp = info.bit_count;
    switch (info.compression) {
        case kBiRgb:
            if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
                return BmpResult::Unsupported;
            }
            if (core && (bpp == 16 || bpp == 32)) return BmpResult::Unsupported;
            break;
        case kBiRle8:
        case kBiRle4:
            if (bpp != (info.compression == kBiRle8 ? 8 : 4)) return BmpResult::Damaged;
            if (info.top_down) return BmpResult::Damaged;  // compressed files run bottom-up
            break;
        case kBiBitfields:
        case BMP_BI_ALPHABITFIELDS:
            if (bpp != 16 && bpp != 32) return BmpResult::Damaged;
            break;
        default:
            return BmpResult::Unsupported;
    }

    // Bit fields: the masks sit inside headers of 52 bytes and more, after a 40-byte one.
    size_t palette_offset = 14 + static_cast<size_t>(header_size);
    uint32_t masks[4] = {0, 0, 0, 0};
    if (info.compression == kBiBitfields || info.compression == BMP_BI_ALPHABITFIELDS) {
        const int mask_count = info.compression == kBiBitfields ? 3 : 4;
        const uint8_t* mask_bytes = header + 40;
        if (header_size == 40) {
            if (size - palette_offset < static_cast<size_t>(mask_count) * 4) {
                return BmpResult::Damaged;
            }
            palette_offset += static_cast<size_t>(mask_count) * 4;
        } else if (header_size < 40 + static_cast<uint32_t>(mask_count) * 4) {
            return BmpResult::Damaged;
        }
        for (int i = 0; i < mask_count; ++i) masks[i] = ReadU32(mask_bytes + 4 * i);
        // Headers of 56 bytes and more always carry an alpha mask.
        if (mask_count == 3 && header_size >= 56) masks[3] = ReadU32(mask_bytes + 12);
        if (bpp == 16) {
            for (uint32_t& mask : masks) mask &= 0xffffu;
        }
    } else if (bpp == 16) {
        masks[0] = 0x7c00;
        masks[1] = 0x03e0;
        masks[2] = 0x001f;
    } else if (bpp == 32) {
        masks[0] = 0x00ff0000;
        masks[1] = 0x0000ff00;
        masks[2] = 0x000000ff;
    }
    for (int i = 0; i < 4; ++i) layout->channels[i] = ChannelFromMask(masks[i]);
    info.has_alpha = masks[3] != 0;

    // The palette: 2^bpp entries, fewer when the header says so or when the pixel data starts
    // before that many; an index past the end is black.
    size_t palette_end = palette_offset;
    if (bpp <= 8) {
        const uint32_t nominal = 1u << bpp;
        uint32_t count = colours_used == 0 || colours_used > nominal ? nominal : colours_used;
        const size_t entry = core ? 3 : 4;
        if (data_offset > palette_offset) {
            const size_t room = (data_offset - palette_offset) / entry;
            if (room < count) count = static_cast<uint32_t>(room);
        }
        if ((size - palette_offset) / entry < count) return BmpResult::Damaged;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* p = file + palette_offset + i * entry;
            layout->palette[i] = Colour{p[0], p[1], p[2], 0};
        }
        layout->palette_count = count;
        palette_end = palette_offset + count * entry;
    }

    // Pixel data: where the file header says, but never inside the headers or palette.
    layout->pixel_offset = data_offset < palette_end ? palette_end : data_offset;
    if (layout->pixel_offset >= size) return BmpResult::Damaged;
    layout->row_bytes = (static_cast<uint64_t>(info.width) * bpp + 31) / 32 * 4;
    return BmpResult::Ok;
}

// Where decoded pixels go: bottom-up rows.
struct Output {
    uint8_t* bits;
    size_t stride;
    int bytes_per_pixel;
    int32_t width;
    int32_t height;
    bool keep_alpha;
};

// Writes one pixel; row counts from the bottom. Pixels outside the picture are dropped.
void PutPixel(const Output& out, int64_t x, int64_t row, const Colour& colour) {
    if (x < 0 || x >= out.width || row < 0 || row >= out.height) return;
    uint8_t* p = out.bits + static_cast<size_t>(row) * out.stride +
                 static_cast<size_t>(x) * static_cast<size_t>(out.bytes_per_pixel);
    p[0] = colour.blue;
    p[1] = colour.green;
    p[2] = colour.red;
    if (out.bytes_per_pixel == 4) p[3] = out.keep_alpha ? colour.alpha : 0;
}

Colour PaletteColour(const BmpLayout& layout, uint32_t index) {
    return index < layout.palette_count ? layout.palette[index] : Colour{0, 0, 0, 0};
}

Colour FieldColour(const BmpLayout& layout, uint32_t pixel) {
    return Colour{ChannelValue(layout.channels[2], pixel), ChannelValue(layout.channels[1], pixel),
                  ChannelValue(layout.channels[0], pixel), ChannelValue(layout.channels[3], pixel)};
}

// Rows stored as they are: every complete pixel that the file holds is decoded.
BmpResult DecodeUncompressed(const uint8_t* file, size_t size, const BmpLayout& layout,
                             const Output& out) {
    const BmpInfo& info = layout.info;
    const int bpp = info.bit_count;
    bool truncated = false;
    for (int32_t r = 0; r < info.height; ++r) {
        const int64_t row = info.top_down ? info.height - 1 - r : r;
        const uint64_t start = layout.pixel_offset + static_cast<uint64_t>(r) * layout.row_bytes;
        const uint64_t available = start < size ? size - start : 0;
        // Pixels whose bits lie wholly inside the file.
        const uint64_t complete = available * 8 / static_cast<uint64_t>(bpp);
        const int32_t count = complete < static_cast<uint64_t>(info.width)
                                  ? static_cast<int32_t>(complete)
                                  : info.width;
        if (count < info.width) truncated = true;
        if (count == 0) continue;
        const uint8_t* src = file + start;
        for (int32_t x = 0; x < count; ++x) {
            Colour colour;
            switch (bpp) {
                case 1:
                    colour = PaletteColour(layout, (src[x >> 3] >> (7 - (x & 7))) & 1u);
                    break;
                case 4:
                    colour = PaletteColour(layout, (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xfu);
                    break;
                case 8:
                    colour = PaletteColour(layout, src[x]);
                    break;
                case 16:
                    colour = FieldColour(layout, ReadU16(src + 2 * static_cast<size_t>(x)));
                    break;
                case 24: {
                    const uint8_t* p = src + 3 * static_cast<size_t>(x);
                    colour = Colour{p[0], p[1], p[2], 0};
                    break;
                }
                default:
                    colour = FieldColour(layout, ReadU32(src + 4 * static_cast<size_t>(x)));
                    break;
            }
            PutPixel(out, x, row, colour);
        }
    }
    return truncated ? BmpResult::Truncated : BmpResult::Ok;
}

// BI_RLE8 and BI_RLE4: pairs (count, value) give runs; a count of 0 escapes to end of line (0),
// end of bitmap (1), a move right and up (2, dx, dy) or an absolute run of n >= 3 pixels whose
// bytes are padded to an even number. Pixels not reached stay black.
BmpResult DecodeRunLength(const uint8_t* file, size_t size, const BmpLayout& layout,
                          const Output& out) {
    const bool four_bit = layout.info.compression == kBiRle4;
    const uint8_t* p = file + layout.pixel_offset;
    const uint8_t* const end = file + size;
    int64_t x = 0;
    int64_t row = 0;
    while (row < layout.info.height) {
        if (end - p < 2) return BmpResult::Truncated;
        const uint8_t count = p[0];
        const uint8_t value = p[1];
        p += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i) {
                const uint32_t index = four_bit ? ((i & 1) ? value & 0xfu : value >> 4) : value;
                PutPixel(out, x + i, row, PaletteColour(layout, index));
            }
            x += count;
        } else if (value == 0) {
            x = 0;
            ++row;
        } else if (value == 1) {
            return BmpResult::Ok;
        } else if (value == 2) {
            if (end - p < 2) return BmpResult::Truncated;
            x += p[0];
            row += p[1];
            p += 2;
        } else {
            const int pixels = value;
            const size_t bytes = four_bit ? (static_cast<size_t>(pixels) + 1) / 2 : pixels;
            const size_t available = static_cast<size_t>(end - p);
            const size_t usable = bytes < available ? bytes : available;
            for (int i = 0; i < pixels; ++i) {
                const size_t byte = four_bit ? static_cast<size_t>(i) / 2 : static_cast<size_t>(i);
                if (byte >= usable) return BmpResult::Truncated;
                const uint32_t index =
                    four_bit ? ((i & 1) ? p[byte] & 0xfu : p[byte] >> 4) : p[byte];
                PutPixel(out, x + i, row, PaletteColour(layout, index));
            }
            x += pixels;
            const size_t padded = bytes + (bytes & 1);
            if (padded > available) return BmpResult::Truncated;
            p += padded;
        }
    }
    return BmpResult::Ok;
}

}  // namespace

BmpResult BmpReadInfo(const uint8_t* file, size_t size, BmpInfo* info) {
    BmpLayout layout;
    const BmpResult result = ParseLayout(file, size, &layout);
    if (result == BmpResult::Ok) *info = layout.info;
    return result;
}

BmpResult BmpDecode(const uint8_t* file, size_t size, uint8_t* out_bits, int out_bytes_per_pixel,
                    size_t out_stride) {
    BmpLayout layout;
    const BmpResult result = ParseLayout(file, size, &layout);
    if (result != BmpResult::Ok) return result;
    const Output out{out_bits,          out_stride,         out_bytes_per_pixel,
                     layout.info.width, layout.info.height, layout.info.has_alpha};
    const size_t row_pixels_bytes =
        static_cast<size_t>(layout.info.width) * static_cast<size_t>(out_bytes_per_pixel);
    for (int32_t row = 0; row < layout.info.height; ++row) {
        std::memset(out_bits + static_cast<size_t>(row) * out_stride, 0, row_pixels_bytes);
    }
    if (layout.info.compression == kBiRle8 || layout.info.compression == kBiRle4) {
        return DecodeRunLength(file, size, layout, out);
    }
    return DecodeUncompressed(file, size, layout, out);
}
