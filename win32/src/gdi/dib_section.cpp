// Bitmap creation: DIB sections, whose bits the caller reads and writes directly, and bitmaps
// compatible with a device context (32 bits per pixel, blue, green, red, unused, top row
// first, so colours copied through them stay exact; monochrome for a memory DC that holds a
// monochrome bitmap, as on Windows).
#include <cstring>

#include "gdi_objects.h"
#include "fault_plan.h"

namespace {

bool IsContiguousMask(DWORD mask) {
    if (mask == 0) return false;
    DWORD shifted = mask >> __builtin_ctz(mask);
    return (shifted & (shifted + 1)) == 0;
}

HBITMAP Publish(Bitmap* bitmap) {
    HBITMAP handle = static_cast<HBITMAP>(HandleCreate(HandleKind::Bitmap, bitmap));
    if (handle == nullptr) {
        BitmapDestroy(bitmap);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return handle;
}

}  // namespace

extern "C" WIN32LAYER_API HBITMAP WINAPI CreateDIBSection(HDC /*dc*/, const BITMAPINFO* info,
                                                          UINT usage, void** bits, HANDLE section,
                                                          DWORD offset) {
    if (bits != nullptr) *bits = nullptr;
    if (FaultPlanFails(WIN32LAYER_FAULT_CREATE_DIB_SECTION)) return nullptr;
    if (info == nullptr || section != nullptr || offset != 0 ||
        (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const BITMAPINFOHEADER& header = info->bmiHeader;
    int bpp = header.biBitCount;
    bool bpp_ok = bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
    bool compression_ok = header.biCompression == BI_RGB ||
                          (header.biCompression == BI_BITFIELDS && (bpp == 16 || bpp == 32));
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biWidth <= 0 || header.biHeight == 0 ||
        header.biPlanes != 1 || !bpp_ok || !compression_ok) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // Negative heights mark top-down rows; INT_MIN has no positive counterpart.
    if (header.biHeight == INT32_MIN) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    bool top_down = header.biHeight < 0;
    int height = top_down ? -header.biHeight : header.biHeight;
    // Palette entries and masks follow the header, whatever its size.
    const auto* after_header = reinterpret_cast<const uint8_t*>(info) + header.biSize;

    Bitmap* bitmap = BitmapAllocate(header.biWidth, height, bpp, top_down);
    if (bitmap == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    bitmap->is_dib = true;
    bitmap->compression = header.biCompression;
    if (header.biCompression == BI_BITFIELDS) {
        std::memcpy(bitmap->masks, after_header, sizeof(bitmap->masks));
        for (DWORD mask : bitmap->masks) {
            if (!IsContiguousMask(mask)) {
                BitmapDestroy(bitmap);
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
        }
    }
    if (bpp <= 8) {
        int limit = 1 << bpp;
        int count = header.biClrUsed == 0 || header.biClrUsed > static_cast<DWORD>(limit)
                        ? limit
                        : static_cast<int>(header.biClrUsed);
        bitmap->color_count = count;
        if (usage == DIB_RGB_COLORS) {
            std::memcpy(bitmap->colors, after_header, sizeof(RGBQUAD) * count);
        } else {
            // Palette indices into the default palette: its first entries are black, the
            // last white; the layer keeps a grey ramp between them.
            for (int i = 0; i < count; ++i) {
                auto level = static_cast<BYTE>(count == 1 ? 0 : i * 255 / (count - 1));
                bitmap->colors[i] = RGBQUAD{level, level, level, 0};
            }
        }
    }
    bitmap->header = header;
    bitmap->header.biSize = sizeof(BITMAPINFOHEADER);
    bitmap->header.biSizeImage = static_cast<DWORD>(bitmap->stride * height);
    if (bpp <= 8) bitmap->header.biClrUsed = static_cast<DWORD>(bitmap->color_count);

    HBITMAP handle = Publish(bitmap);
    if (handle != nullptr && bits != nullptr) *bits = bitmap->bits;
    return handle;
}

extern "C" WIN32LAYER_API HBITMAP WINAPI CreateCompatibleBitmap(HDC dc, int width, int height) {
    DeviceContext* context = LookupDC(dc);
    if (context == nullptr) return nullptr;
    if (FaultPlanFails(WIN32LAYER_FAULT_CREATE_COMPATIBLE_BITMAP)) return nullptr;
    if (width < 0 || height < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // An empty size yields the stock 1 x 1 monochrome bitmap, as on Windows.
    if (width == 0 || height == 0) return StockDefaultBitmap();
    int bpp = 32;
    if (context->kind == HandleKind::MemoryDC) {
        const Bitmap* selected = LookupBitmap(context->bitmap);
        if (selected != nullptr && selected->bpp == 1) bpp = 1;
    }
    Bitmap* bitmap = BitmapAllocate(width, height, bpp, true);
    if (bitmap == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (bpp == 1) {
        bitmap->color_count = 2;
        bitmap->colors[1] = RGBQUAD{0xFF, 0xFF, 0xFF, 0};
    }
    return Publish(bitmap);
}
