// The records behind GDI handles: bitmaps (device-dependent and DIB sections alike), brushes
// and device contexts, with the operations the GDI files share.
#pragma once

#include <cstdint>

#include "handle_table.h"
#include "win32/gdi.h"

struct Bitmap {
    int width = 0;
    int height = 0;  // always positive; row order is in top_down
    int bpp = 32;
    size_t stride = 0;  // bytes per row, a multiple of 4
    bool top_down = true;
    bool is_dib = false;
    DWORD compression = BI_RGB;
    DWORD masks[3] = {};  // red, green, blue masks of a BI_BITFIELDS section
    int color_count = 0;  // colour table entries, for 1, 4 and 8 bits per pixel
    RGBQUAD colors[256] = {};
    BITMAPINFOHEADER header = {};  // a DIB section's header, reported by GetObject
    uint8_t* bits = nullptr;       // owned, stride x height bytes
    size_t mapped_bytes = 0;       // bits is a mapping of this many bytes, else from calloc
    HDC selected_into = nullptr;   // the memory DC it is selected into, if any
    bool delete_pending = false;   // DeleteObject while selected: deleted when deselected
};

struct Brush {
    COLORREF color = 0;
    bool hollow = false;
    int select_count = 0;
    bool delete_pending = false;
};

struct DeviceContext {
    HandleKind kind = HandleKind::MemoryDC;  // MemoryDC or WindowDC
    HBITMAP bitmap = nullptr;                // memory DC: the selected bitmap
    HBRUSH brush = nullptr;                  // the selected brush
    HWND window = nullptr;                   // window DC: its window; null for the screen
    bool has_clip = false;                   // a paint DC draws only inside clip
    RECT clip = {};
};

// Bytes of one row of width pixels, rounded up to 4; 0 when it does not fit in 31 bits.
size_t BitmapStride(int64_t width, int bpp);
// A new bitmap record with zeroed bits, or null when the size is invalid or memory is short.
// Heights are positive; the total size must stay below 2^31 bytes.
Bitmap* BitmapAllocate(int width, int height, int bpp, bool top_down);
void BitmapDestroy(Bitmap* bitmap);
// A bitmap handle's record; null (and ERROR_INVALID_HANDLE) when it is not one.
Bitmap* LookupBitmap(HGDIOBJ handle);
DeviceContext* LookupDC(HDC dc);

uint8_t* BitmapRow(const Bitmap& bitmap, int y);
// Pixel (x, y), which must be inside the bitmap, as 0x00RRGGBB.
uint32_t BitmapReadPixel(const Bitmap& bitmap, int x, int y);
void BitmapWritePixel(Bitmap& bitmap, int x, int y, uint32_t rgb);

// The bitmap a DC draws on: the selected bitmap of a memory DC, the surface of a window DC's
// window; null when there is none (the screen has no pixels of its own).
Bitmap* DCSurface(const DeviceContext& dc);
// The DC's drawing limits: the surface, cut down to the paint clip.
RECT DCBounds(const DeviceContext& dc, const Bitmap& surface);

// The stock 1 x 1 monochrome bitmap that a fresh memory DC holds.
HBITMAP StockDefaultBitmap();
HBRUSH StockWhiteBrush();
// Drops one selection of an object; deletes it when its deletion was pending.
void GdiObjectDeselected(HGDIOBJ object);

// The off-screen surface of a window, or null when the handle is no window.
Bitmap* WindowSurface(HWND window);

inline uint32_t RgbFromColorref(COLORREF color) {
    return ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
}
inline COLORREF ColorrefFromRgb(uint32_t rgb) {
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}
