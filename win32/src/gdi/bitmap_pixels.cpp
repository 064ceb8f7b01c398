// Bitmap storage and pixel access in every format the layer keeps: 1, 4 and 8 bits through a
// colour table, 16 bits as 5-5-5 or by masks, 24 bits as blue, green, red, 32 bits as blue,
// green, red and an unused byte (or by masks).
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>

#include "gdi_objects.h"

namespace {

// Pixels of a large bitmap get their own anonymous mapping, aligned to 2 MiB and marked for
// transparent huge pages: a picture of 4000 x 3000 pixels is 36 MiB, and filling fresh memory
// page by page cost nine thousand page faults, more than decoding into it. The mapping is
// exactly the bitmap rounded to whole pages, so what is resident stays what the bitmap needs;
// where the kernel gives no huge pages it is an ordinary zero-filled mapping. Below 32 MiB the
// bitmap comes from calloc, as before: the C library serves such blocks again and again from
// memory it already has (glibc raises its mapping threshold up to 32 MiB as blocks are freed),
// which is cheaper still, while above that it maps fresh small pages every time.
constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kMappedFrom = size_t{32} << 20;

uint8_t* MapPixels(size_t bytes, size_t* mapped) {
    const size_t length = (bytes + 4095) / 4096 * 4096;
    void* block = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(block);
    const uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    // The parts before and after the aligned range go back at once.
    if (aligned > start) munmap(block, aligned - start);
    const size_t after = start + kHugePage - aligned;
    if (after > 0) munmap(reinterpret_cast<void*>(aligned + length), after);
    madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
    *mapped = length;
    return reinterpret_cast<uint8_t*>(aligned);
}

// The 8-bit value of a colour channel held under mask.
uint32_t ChannelFromMask(uint32_t value, uint32_t mask) {
    if (mask == 0) return 0;
    int shift = __builtin_ctz(mask);
    uint32_t max = mask >> shift;
    return (((value & mask) >> shift) * 255 + max / 2) / max;
}

uint32_t ChannelToMask(uint32_t channel, uint32_t mask) {
    if (mask == 0) return 0;
    int shift = __builtin_ctz(mask);
    uint32_t max = mask >> shift;
    return (((channel * max + 127) / 255) << shift) & mask;
}

void PixelMasks(const Bitmap& bitmap, uint32_t masks[3]) {
    if (bitmap.compression == BI_BITFIELDS) {
        for (int i = 0; i < 3; ++i) masks[i] = bitmap.masks[i];
    } else if (bitmap.bpp == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    } else {
        masks[0] = 0xFF0000;
        masks[1] = 0x00FF00;
        masks[2] = 0x0000FF;
    }
}

int NearestColorIndex(const Bitmap& bitmap, uint32_t rgb) {
    int best = 0;
    int64_t best_distance = INT64_MAX;
    int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    for (int i = 0; i < bitmap.color_count; ++i) {
        const RGBQUAD& c = bitmap.colors[i];
        int64_t dr = c.rgbRed - r, dg = c.rgbGreen - g, db = c.rgbBlue - b;
        int64_t distance = dr * dr + dg * dg + db * db;
        if (distance < best_distance) {
            best_distance = distance;
            best = i;
        }
    }
    return best;
}

// Where pixel x of a row of 1, 4 or 8 bits a pixel lies: its byte, and the shift of its bits
// in that byte (the leftmost pixel in the most significant bits).
struct PackedPixel {
    int byte;
    int shift;
};

PackedPixel PackedPixelAt(int bpp, int x) {
    const int per_byte = 8 / bpp;
    return {x / per_byte, 8 - bpp * (x % per_byte + 1)};
}

}  // namespace

size_t BitmapStride(int64_t width, int bpp) {
    if (width <= 0 || bpp <= 0) return 0;
    int64_t stride = ((width * bpp + 31) / 32) * 4;
    if (stride > INT32_MAX) return 0;
    return static_cast<size_t>(stride);
}

Bitmap* BitmapAllocate(int width, int height, int bpp, bool top_down) {
    size_t stride = BitmapStride(width, bpp);
    if (stride == 0 || height <= 0) return nullptr;
    // The whole image must be addressable with a signed 32-bit byte count, as on Windows.
    if (static_cast<uint64_t>(stride) * static_cast<uint64_t>(height) > INT32_MAX) return nullptr;
    auto* bitmap = new (std::nothrow) Bitmap;
    if (bitmap == nullptr) return nullptr;
    const size_t bytes = stride * static_cast<size_t>(height);
    bitmap->bits = bytes >= kMappedFrom ? MapPixels(bytes, &bitmap->mapped_bytes)
                                        : static_cast<uint8_t*>(std::calloc(bytes, 1));
    if (bitmap->bits == nullptr) {
        delete bitmap;
        return nullptr;
    }
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bpp = bpp;
    bitmap->stride = stride;
    bitmap->top_down = top_down;
    return bitmap;
}

void BitmapDestroy(Bitmap* bitmap) {
    if (bitmap == nullptr) return;
    if (bitmap->mapped_bytes != 0) {
        munmap(bitmap->bits, bitmap->mapped_bytes);
    } else {
        std::free(bitmap->bits);
    }
    delete bitmap;
}

uint8_t* BitmapRow(const Bitmap& bitmap, int y) {
    size_t row = static_cast<size_t>(bitmap.top_down ? y : bitmap.height - 1 - y);
    return bitmap.bits + row * bitmap.stride;
}

uint32_t BitmapReadPixel(const Bitmap& bitmap, int x, int y) {
    const uint8_t* row = BitmapRow(bitmap, y);
    switch (bitmap.bpp) {
        case 1:
        case 4:
        case 8: {
            const PackedPixel at = PackedPixelAt(bitmap.bpp, x);
            int index = (row[at.byte] >> at.shift) & ((1 << bitmap.bpp) - 1);
            if (index >= bitmap.color_count) return 0;
            const RGBQUAD& c = bitmap.colors[index];
            return (uint32_t{c.rgbRed} << 16) | (uint32_t{c.rgbGreen} << 8) | c.rgbBlue;
        }
        case 16:
        case 32: {
            uint32_t value;
            if (bitmap.bpp == 16) {
                value = row[2 * x] | (uint32_t{row[2 * x + 1]} << 8);
            } else {
                const uint8_t* p = row + 4 * static_cast<size_t>(x);
                if (bitmap.compression != BI_BITFIELDS) {
                    return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
                }
                value =
                    p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
            }
            uint32_t masks[3];
            PixelMasks(bitmap, masks);
            return (ChannelFromMask(value, masks[0]) << 16) |
                   (ChannelFromMask(value, masks[1]) << 8) | ChannelFromMask(value, masks[2]);
        }
        case 24: {
            const uint8_t* p = row + 3 * static_cast<size_t>(x);
            return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
        }
        default:
            return 0;
    }
}

void BitmapWritePixel(Bitmap& bitmap, int x, int y, uint32_t rgb) {
    uint8_t* row = BitmapRow(bitmap, y);
    switch (bitmap.bpp) {
        case 1:
        case 4:
        case 8: {
            const PackedPixel at = PackedPixelAt(bitmap.bpp, x);
            auto mask = static_cast<uint8_t>(((1 << bitmap.bpp) - 1) << at.shift);
            auto index = static_cast<uint8_t>(NearestColorIndex(bitmap, rgb) << at.shift);
            uint8_t& byte = row[at.byte];
            byte = static_cast<uint8_t>((byte & ~mask) | (index & mask));
            return;
        }
        case 16:
        case 32: {
            if (bitmap.bpp == 32 && bitmap.compression != BI_BITFIELDS) {
                uint8_t* p = row + 4 * static_cast<size_t>(x);
                p[0] = static_cast<uint8_t>(rgb);
                p[1] = static_cast<uint8_t>(rgb >> 8);
                p[2] = static_cast<uint8_t>(rgb >> 16);
                p[3] = 0;
                return;
            }
            uint32_t masks[3];
            PixelMasks(bitmap, masks);
            uint32_t value = ChannelToMask((rgb >> 16) & 0xFF, masks[0]) |
                             ChannelToMask((rgb >> 8) & 0xFF, masks[1]) |
                             ChannelToMask(rgb & 0xFF, masks[2]);
            if (bitmap.bpp == 16) {
                row[2 * x] = static_cast<uint8_t>(value);
                row[2 * x + 1] = static_cast<uint8_t>(value >> 8);
            } else {
                uint8_t* p = row + 4 * static_cast<size_t>(x);
                for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
            }
            return;
        }
        case 24: {
            uint8_t* p = row + 3 * static_cast<size_t>(x);
            p[0] = static_cast<uint8_t>(rgb);
            p[1] = static_cast<uint8_t>(rgb >> 8);
            p[2] = static_cast<uint8_t>(rgb >> 16);
            return;
        }
        default:
            return;
    }
}
