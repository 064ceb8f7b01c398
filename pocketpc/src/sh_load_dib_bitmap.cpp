// SHLoadDIBitmap: the shell's loader of Windows bitmap files. Reads the whole file, decodes it
// (bmp_decode.cpp) and returns a bottom-up DIB section of 24 bits per pixel, or 32 when the file
// carries an alpha mask, which the caller owns and can select into a memory DC.
//
// A file whose pixel data ends early still loads, with the missing pixels black; a file that is
// missing, unreadable, not a bitmap file, of a format the decoder does not read, damaged in its
// headers or too large (width * height * 4 above 2^31 - 1) gives null, with the last error set.
#include <memory>
#include <new>

#include "bmp_decode.h"
#include "pocketpc.h"
#ifndef _WIN32
#include "win32/fault_points.h"
#endif

namespace {

// The largest picture the decoder accepts has 2^31 - 1 bytes of pixels; its file needs little
// more (headers, palette, row padding). Larger files are refused before any allocation.
constexpr DWORD kMaxFileBytes = 0x7fffffffu + (1u << 20);

// Reads a whole file into memory; null with the last error set on failure.
std::unique_ptr<uint8_t[]> ReadWholeFile(LPCWSTR path, size_t* size) {
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    DWORD high = 0;
    const DWORD low = GetFileSize(file, &high);
    if ((low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) || high != 0 ||
        low > kMaxFileBytes) {
        CloseHandle(file);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[low == 0 ? 1 : low]);
    if (!data) {
        CloseHandle(file);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    DWORD total = 0;
    while (total < low) {
        DWORD read = 0;
        if (!ReadFile(file, data.get() + total, low - total, &read, nullptr) || read == 0) break;
        total += read;
    }
    CloseHandle(file);
    *size = total;  // a file that shrank while being read is decoded as far as it goes
    return data;
}

}  // namespace

extern "C" WIN32LAYER_API HBITMAP WINAPI SHLoadDIBitmap(LPCWSTR path) {
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
#ifndef _WIN32
    if (Win32LayerFaultPointFails(WIN32LAYER_FAULT_SH_LOAD_DIB_BITMAP)) return nullptr;
#endif
    size_t size = 0;
    SetLastError(ERROR_SUCCESS);
    const std::unique_ptr<uint8_t[]> file = ReadWholeFile(path, &size);
    if (!file) return nullptr;

    BmpInfo info;
    if (BmpReadInfo(file.get(), size, &info) != BmpResult::Ok) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    BITMAPINFO bitmap_info = {};
    BITMAPINFOHEADER& header = bitmap_info.bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = info.width;
    header.biHeight = info.height;  // positive: bottom-up
    header.biPlanes = 1;
    header.biBitCount = info.has_alpha ? 32 : 24;
    header.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &bitmap_info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr || bits == nullptr) {
        if (bitmap != nullptr) DeleteObject(bitmap);
        return nullptr;
    }
    const size_t stride = (static_cast<size_t>(info.width) * header.biBitCount + 31) / 32 * 4;
    const BmpResult result =
        BmpDecode(file.get(), size, static_cast<uint8_t*>(bits), header.biBitCount / 8, stride);
    if (!BmpResultHasPicture(result)) {
        DeleteObject(bitmap);
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    return bitmap;
}
