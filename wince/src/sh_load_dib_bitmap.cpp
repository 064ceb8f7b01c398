// SHLoadDIBitmap for the desktop: reads a Windows bitmap file and creates a DIB section with
// the file's own header, colour table and pixel bits. Top-down files (negative height) give a
// top-down section; the desktop's LoadImage cannot be relied on for them.
#include <cstdint>
#include <cstring>
#include <vector>

#include "pocketpc.h"

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kMaxFileSize = 256u * 1024u * 1024u;

uint16_t ReadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool ReadWholeFile(LPCWSTR path, std::vector<uint8_t>* bytes) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const DWORD size = GetFileSize(file, nullptr);
    bool ok = size != INVALID_FILE_SIZE && size <= kMaxFileSize;
    if (ok) {
        bytes->resize(size);
        DWORD read = 0;
        ok = size == 0 || (ReadFile(file, bytes->data(), size, &read, nullptr) && read == size);
    }
    CloseHandle(file);
    return ok;
}

// Bytes of one pixel row of an uncompressed DIB: rows are padded to four bytes.
uint64_t RowBytes(int64_t width, uint32_t bit_count) {
    return ((static_cast<uint64_t>(width) * bit_count + 31) / 32) * 4;
}

}  // namespace

extern "C" HBITMAP WINAPI SHLoadDIBitmap(LPCWSTR path) {
    if (path == nullptr) return nullptr;
    std::vector<uint8_t> file;
    if (!ReadWholeFile(path, &file)) return nullptr;
    if (file.size() < kFileHeaderSize + sizeof(BITMAPINFOHEADER)) return nullptr;
    const uint8_t* data = file.data();
    if (data[0] != 'B' || data[1] != 'M') return nullptr;
    const uint32_t bits_offset = ReadU32(data + 10);

    const uint8_t* info = data + kFileHeaderSize;
    const uint32_t info_size = ReadU32(info);
    const int32_t width = static_cast<int32_t>(ReadU32(info + 4));
    const int32_t height = static_cast<int32_t>(ReadU32(info + 8));
    const uint16_t bit_count = ReadU16(info + 14);
    const uint32_t compression = ReadU32(info + 16);
    uint32_t colours_used = ReadU32(info + 32);
    if (info_size < sizeof(BITMAPINFOHEADER) || info_size > file.size() - kFileHeaderSize) {
        return nullptr;
    }
    if (width <= 0 || height == 0 || height == INT32_MIN) return nullptr;
    if (compression != BI_RGB && compression != BI_BITFIELDS) return nullptr;
    switch (bit_count) {
        case 1:
        case 4:
        case 8:
            if (colours_used == 0 || colours_used > (1u << bit_count))
                colours_used = 1u << bit_count;
            break;
        case 16:
        case 24:
        case 32:
            if (colours_used > 256) return nullptr;
            break;
        default:
            return nullptr;
    }
    if (compression == BI_BITFIELDS && bit_count != 16 && bit_count != 32) return nullptr;

    // The header that CreateDIBSection reads: the 40-byte header, the colour masks and the
    // colour table. A 40-byte header is followed by its masks in the file; the larger ones
    // (V4, V5) carry them at offset 40.
    const bool bitfields = compression == BI_BITFIELDS;
    if (bitfields && info_size > sizeof(BITMAPINFOHEADER) &&
        info_size < sizeof(BITMAPINFOHEADER) + 12) {
        return nullptr;
    }
    const uint32_t masks_after_info = (bitfields && info_size == sizeof(BITMAPINFOHEADER)) ? 12 : 0;
    const uint32_t palette_entries = bit_count <= 8 ? colours_used : 0;
    const uint64_t palette_offset = kFileHeaderSize + uint64_t{info_size} + masks_after_info;
    if (palette_offset + uint64_t{palette_entries} * 4 > file.size()) return nullptr;

    const uint64_t rows = height < 0 ? -static_cast<int64_t>(height) : height;
    const uint64_t bits_size = RowBytes(width, bit_count) * rows;
    if (bits_offset < palette_offset || bits_offset > file.size() ||
        bits_size > file.size() - bits_offset) {
        return nullptr;
    }

    std::vector<uint8_t> header(sizeof(BITMAPINFOHEADER) + (bitfields ? 12 : 0) +
                                size_t{palette_entries} * 4);
    std::memcpy(header.data(), info, sizeof(BITMAPINFOHEADER));
    auto* bmi = reinterpret_cast<BITMAPINFOHEADER*>(header.data());
    bmi->biSize = sizeof(BITMAPINFOHEADER);
    bmi->biSizeImage = 0;
    bmi->biClrUsed = palette_entries;
    uint8_t* after_header = header.data() + sizeof(BITMAPINFOHEADER);
    if (bitfields) {
        std::memcpy(after_header, info + sizeof(BITMAPINFOHEADER), 12);
        after_header += 12;
    }
    std::memcpy(after_header, data + palette_offset, size_t{palette_entries} * 4);

    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(header.data()),
                                      DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr || bits == nullptr) {
        if (bitmap != nullptr) DeleteObject(bitmap);
        return nullptr;
    }
    std::memcpy(bits, data + bits_offset, static_cast<size_t>(bits_size));
    GdiFlush();
    return bitmap;
}
