// LoadJpeg's two paths: the reference, which assembles the bitmap from the decoder's
// full-size planes through a pixel block, and the fast path, which streams the rows into it.
// Both read the file the same way and give the same bitmap.
#include "load_jpeg_kernels.h"

#include <cstring>

#include "decoder_heap.h"
#include "fast_scan.h"
#include "jpeg_decoder.h"
#ifndef _WIN32
#include "win32/fault_points.h"
#endif

namespace varnel {

namespace {

// Bytes per bitmap row: 3 x width rounded up to a multiple of 4.
int64_t RowStride(int32_t width) {
    const int64_t bits = int64_t{24} * width;
    return 4 * ((bits >> 5) + ((bits & 31) != 0 ? 1 : 0));
}

// Reads the whole file into a local-heap block whose bytes past what was read are zero.
// Returns null when the file cannot be opened or the block cannot be had. The reference asks
// for a zero-filled block and reads into it; `zero_first` false gives the same block for less:
// an uninitialised one, with only the bytes that the read did not reach cleared afterwards, so
// that a large file's pages are written once, not twice.
BYTE* ReadFileImage(const WCHAR* path, int32_t* length, bool zero_first) {
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    const DWORD size = GetFileSize(file, nullptr);
    // The reader addresses the image with 32-bit signed offsets.
    if (size == INVALID_FILE_SIZE || size > 0x7FFFFFFF) {
        CloseHandle(file);
        return nullptr;
    }
    auto* image = static_cast<BYTE*>(LocalAlloc(zero_first ? LPTR : LMEM_FIXED, size));
    if (image == nullptr) {
        CloseHandle(file);
        return nullptr;
    }
    // A read that fails (a card pulled out, a network file gone) gives no picture: what it
    // did read would decode into a picture cut short, shown as if it were the file. A read
    // that succeeds short (the file shrank meanwhile) leaves the rest of the block zero, where
    // the parse finds no picture.
    DWORD read = 0;
    const BOOL read_ok = ReadFile(file, image, size, &read, nullptr);
    CloseHandle(file);
    if (!read_ok) {
        LocalFree(image);
        return nullptr;
    }
    if (!zero_first) {
        const DWORD reached = read < size ? read : size;
        std::memset(image + reached, 0, size - reached);
    }
    *length = static_cast<int32_t>(size);
    return image;
}

// Assembles the bottom-up BGR rows of the picture from the three planes.
void FillBitmapRows(BYTE* bits, int64_t stride, const uint8_t* red, const uint8_t* green,
                    const uint8_t* blue, int32_t width, int32_t height) {
    for (int32_t y = 0; y < height; ++y) {
        BYTE* out = bits + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(stride);
        const size_t row = static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int32_t x = 0; x < width; ++x) {
            *out++ = blue[row + x];
            *out++ = green[row + x];
            *out++ = red[row + x];
        }
        std::memset(out, 0, static_cast<size_t>(stride - int64_t{3} * width));
    }
}

// The 24-bit bottom-up DIB section that LoadJpeg returns, created for the window's device
// context, which is released at once.
HBITMAP CreateBitmapForWindow(HWND window, int32_t width, int32_t height, void** bits) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    HDC dc = GetDC(window);
    HBITMAP bitmap = CreateDIBSection(dc, reinterpret_cast<const BITMAPINFO*>(&header),
                                      DIB_RGB_COLORS, bits, nullptr, 0);
    ReleaseDC(window, dc);
    return bitmap;
}

// On Linux the decoder's heap blocks are failure points of the layer's fault plan, like the
// local heap that LoadJpeg's own blocks come from.
void HookDecoderHeap() {
#ifndef _WIN32
    SetDecoderHeapFaultHook(
        [] { return Win32LayerFaultPointFails(WIN32LAYER_FAULT_DECODER_HEAP) != FALSE; });
#endif
}

HBITMAP LoadJpegReference(HWND window, const WCHAR* path, POINT* size, DecodeNotes* notes) {
    HookDecoderHeap();
    int32_t length = 0;
    BYTE* image = ReadFileImage(path, &length, true);
    if (image == nullptr) return nullptr;

    JpegDecoder decoder;
    ConstructDecoder(&decoder);
    int32_t consumed = 0;
    decoder.consumed = &consumed;
    if (Attach(&decoder, image, length) < 0 || Decode(&decoder) < 0) {
        DestroyDecoder(&decoder);
        LocalFree(image);
        return nullptr;
    }

    uint8_t *red = nullptr, *green = nullptr, *blue = nullptr;
    int32_t width = 0, height = 0;
    GetPlanes(&decoder, &red, &green, &blue, &width, &height);
    LocalFree(image);

    const int64_t stride = RowStride(width);
    const int64_t bits_size = stride * height;  // the decode gate keeps this below 2^31
    auto* pixels = static_cast<BYTE*>(LocalAlloc(LPTR, static_cast<SIZE_T>(bits_size)));
    if (pixels == nullptr) {
        DestroyDecoder(&decoder);
        return nullptr;
    }
    FillBitmapRows(pixels, stride, red, green, blue, width, height);

    if (size != nullptr) {
        size->x = width;
        size->y = height;
    }

    void* bits = nullptr;
    HBITMAP bitmap = CreateBitmapForWindow(window, width, height, &bits);
    if (bitmap != nullptr && bits != nullptr) {
        std::memcpy(bits, pixels, static_cast<size_t>(bits_size));
    }
    if (bitmap != nullptr && notes != nullptr) *notes = TakeDecodeNotes(&decoder);
    LocalFree(pixels);
    DestroyDecoder(&decoder);
    return bitmap;
}

// The fast path: the header parse and the decode gate of the reference, then the bitmap is
// created and the scan streams its rows straight into its bits. Peak memory is the file
// image, the bitmap and the scan's work areas of one MCU row.
HBITMAP LoadJpegFast(HWND window, const WCHAR* path, POINT* size, const FastKernels& kernels,
                     DecodeNotes* notes) {
    HookDecoderHeap();
    int32_t length = 0;
    BYTE* image = ReadFileImage(path, &length, false);
    if (image == nullptr) return nullptr;

    JpegDecoder decoder;
    ConstructDecoder(&decoder);
    int32_t consumed = 0;
    decoder.consumed = &consumed;
    if (Attach(&decoder, image, length) < 0 || !IsDecodable(&decoder)) {
        DestroyDecoder(&decoder);
        LocalFree(image);
        return nullptr;
    }
    const int32_t width = decoder.width;
    const int32_t height = decoder.height;
    const int64_t stride = RowStride(width);

    void* bits = nullptr;
    HBITMAP bitmap = CreateBitmapForWindow(window, width, height, &bits);
    bool decoded = false;
    if (bitmap != nullptr && bits != nullptr) {
        decoded = DecodeScanToRows(&decoder, static_cast<uint8_t*>(bits), stride, kernels);
    }
    if (decoded && notes != nullptr) *notes = TakeDecodeNotes(&decoder);
    DestroyDecoder(&decoder);
    LocalFree(image);
    if (!decoded) {
        if (bitmap != nullptr) DeleteObject(bitmap);
        return nullptr;
    }
    if (size != nullptr) {
        size->x = width;
        size->y = height;
    }
    return bitmap;
}

}  // namespace

HBITMAP LoadJpegWithKernelSet(HWND window, const WCHAR* path, POINT* size, KernelSet set,
                              DecodeNotes* notes) {
    return LoadJpegFast(window, path, size, KernelsOf(set), notes);
}

HBITMAP LoadJpegWithKernels(HWND window, const WCHAR* path, POINT* size, Kernels kernels,
                            DecodeNotes* notes) {
    return kernels == Kernels::Reference
               ? LoadJpegReference(window, path, size, notes)
               : LoadJpegWithKernelSet(window, path, size, BestKernelSet(), notes);
}

}  // namespace varnel
