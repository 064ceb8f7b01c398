// Drawing: FillRect, BitBlt and StretchBlt (source copy only), GetPixel and SetPixel.
//
// Every copy is clipped to both bitmaps: a destination pixel is written only when it lies
// inside the destination (and inside the paint clip of a paint DC) and its source pixel lies
// inside the source bitmap; other pixels are left as they were. Nothing outside either bitmap
// is ever read or written, whatever the arguments. Pixels are converted between the two
// bitmaps' formats through 0x00RRGGBB.
//
// Stretching is nearest neighbour. With the extents taken as absolute values, destination
// pixel i (0 <= i < |width|, counted from the left edge of the destination rectangle) takes
// source pixel j = (i * |source_width|) / |width|, computed in 64-bit integers, counted from
// the left edge of the source rectangle; rows likewise. A negative extent puts the rectangle
// to the left of (above) its origin: x + width .. x - 1. When the signs of the destination and
// source extents differ the image is mirrored on that axis: j becomes |source_width| - 1 - j.
#include <cstring>
#include <vector>

#include "gdi_objects.h"
#include "fault_plan.h"
#include "win32/user.h"

namespace {

// One axis of a copy: the destination pixels [dest_first, dest_first + dest_count) and the
// source pixels [source_first, source_first + source_count), mirrored or not.
struct Axis {
    int64_t dest_first;
    int64_t dest_count;
    int64_t source_first;
    int64_t source_count;
    bool mirrored;
};

Axis MakeAxis(int dest, int dest_extent, int source, int source_extent) {
    Axis axis;
    axis.dest_count = dest_extent < 0 ? -int64_t{dest_extent} : dest_extent;
    axis.dest_first = dest_extent < 0 ? int64_t{dest} + dest_extent : dest;
    axis.source_count = source_extent < 0 ? -int64_t{source_extent} : source_extent;
    axis.source_first = source_extent < 0 ? int64_t{source} + source_extent : source;
    axis.mirrored = (dest_extent < 0) != (source_extent < 0);
    return axis;
}

// The source coordinate for destination index i of an axis.
int64_t SourceAt(const Axis& axis, int64_t i) {
    int64_t j = (i * axis.source_count) / axis.dest_count;
    if (axis.mirrored) j = axis.source_count - 1 - j;
    return axis.source_first + j;
}

// The range of destination indices that fall inside [low, high).
void DestRange(const Axis& axis, int64_t low, int64_t high, int64_t* begin, int64_t* end) {
    *begin = low - axis.dest_first;
    if (*begin < 0) *begin = 0;
    *end = high - axis.dest_first;
    if (*end > axis.dest_count) *end = axis.dest_count;
}

bool IsPlainRgb(const Bitmap& bitmap) {
    return (bitmap.bpp == 24 || bitmap.bpp == 32) && bitmap.compression == BI_RGB;
}

bool CopyPixels(DeviceContext& dest_dc, Bitmap& dest, const Axis& ax, const Axis& ay,
                const Bitmap& source) {
    RECT bounds = DCBounds(dest_dc, dest);
    int64_t x_begin, x_end, y_begin, y_end;
    DestRange(ax, bounds.left, bounds.right, &x_begin, &x_end);
    DestRange(ay, bounds.top, bounds.bottom, &y_begin, &y_end);
    if (x_begin >= x_end || y_begin >= y_end) return true;

    bool same_format = IsPlainRgb(dest) && dest.bpp == source.bpp && IsPlainRgb(source);
    size_t pixel_bytes = static_cast<size_t>(dest.bpp / 8);
    // Runs of destination columns in range that read consecutive source columns: a plain copy
    // moves each run of a row in one piece. Columns outside the source are left out.
    struct Run {
        int dest_x, source_x, length;
    };
    std::vector<Run> runs;
    for (int64_t k = x_begin; k < x_end; ++k) {
        int64_t source_column = SourceAt(ax, k);
        if (source_column < 0 || source_column >= source.width) continue;
        auto sx = static_cast<int>(source_column);
        auto dx = static_cast<int>(ax.dest_first + k);
        if (!runs.empty() && runs.back().dest_x + runs.back().length == dx &&
            runs.back().source_x + runs.back().length == sx) {
            ++runs.back().length;
        } else {
            runs.push_back({dx, sx, 1});
        }
    }
    for (int64_t i = y_begin; i < y_end; ++i) {
        int64_t sy = SourceAt(ay, i);
        if (sy < 0 || sy >= source.height) continue;
        auto dy = static_cast<int>(ay.dest_first + i);
        uint8_t* dest_row = BitmapRow(dest, dy);
        const uint8_t* source_row = BitmapRow(source, static_cast<int>(sy));
        for (const Run& run : runs) {
            if (same_format) {
                uint8_t* to = dest_row + pixel_bytes * static_cast<size_t>(run.dest_x);
                std::memcpy(to, source_row + pixel_bytes * static_cast<size_t>(run.source_x),
                            pixel_bytes * static_cast<size_t>(run.length));
                if (dest.bpp == 32) {
                    for (int n = 0; n < run.length; ++n) to[4 * static_cast<size_t>(n) + 3] = 0;
                }
                continue;
            }
            for (int n = 0; n < run.length; ++n) {
                BitmapWritePixel(dest, run.dest_x + n, dy,
                                 BitmapReadPixel(source, run.source_x + n, static_cast<int>(sy)));
            }
        }
    }
    return true;
}

BOOL Blit(HDC dest_handle, int x, int y, int width, int height, HDC source_handle, int source_x,
          int source_y, int source_width, int source_height, DWORD rop) {
    DeviceContext* dest_dc = LookupDC(dest_handle);
    if (dest_dc == nullptr) return FALSE;
    if (rop != SRCCOPY) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DeviceContext* source_dc = LookupDC(source_handle);
    if (source_dc == nullptr) return FALSE;
    Bitmap* dest = DCSurface(*dest_dc);
    const Bitmap* source = DCSurface(*source_dc);
    // The screen keeps no pixels: nothing to draw on, nothing to read.
    if (dest == nullptr || source == nullptr) return TRUE;
    if (width == 0 || height == 0 || source_width == 0 || source_height == 0) return TRUE;
    Axis ax = MakeAxis(x, width, source_x, source_width);
    Axis ay = MakeAxis(y, height, source_y, source_height);
    if (dest == source) {
        // A copy within one bitmap reads from a snapshot, so overlapping areas copy whole.
        Bitmap snapshot = *source;
        std::vector<uint8_t> bits(source->bits, source->bits + source->stride * source->height);
        snapshot.bits = bits.data();
        return CopyPixels(*dest_dc, *dest, ax, ay, snapshot) ? TRUE : FALSE;
    }
    return CopyPixels(*dest_dc, *dest, ax, ay, *source) ? TRUE : FALSE;
}

}  // namespace

extern "C" WIN32LAYER_API BOOL WINAPI BitBlt(HDC dest, int x, int y, int width, int height,
                                             HDC source, int source_x, int source_y, DWORD rop) {
    if (FaultPlanFails(WIN32LAYER_FAULT_BIT_BLT)) return FALSE;
    return Blit(dest, x, y, width, height, source, source_x, source_y, width, height, rop);
}

extern "C" WIN32LAYER_API BOOL WINAPI StretchBlt(HDC dest, int x, int y, int width, int height,
                                                 HDC source, int source_x, int source_y,
                                                 int source_width, int source_height, DWORD rop) {
    if (FaultPlanFails(WIN32LAYER_FAULT_STRETCH_BLT)) return FALSE;
    return Blit(dest, x, y, width, height, source, source_x, source_y, source_width, source_height,
                rop);
}

extern "C" WIN32LAYER_API int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush_handle) {
    DeviceContext* context = LookupDC(dc);
    if (context == nullptr || rect == nullptr) return 0;
    if (FaultPlanFails(WIN32LAYER_FAULT_FILL_RECT)) return 0;
    COLORREF color;
    // Small values stand for a system colour plus one, as in a class background.
    auto value = reinterpret_cast<uintptr_t>(brush_handle);
    if (value > 0 && value <= COLOR_BTNHIGHLIGHT + 1) {
        color = GetSysColor(static_cast<int>(value - 1));
    } else {
        const auto* brush =
            static_cast<const Brush*>(HandleLookup(brush_handle, HandleKind::Brush));
        if (brush == nullptr) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        if (brush->hollow) return 1;
        color = brush->color;
    }
    Bitmap* surface = DCSurface(*context);
    if (surface == nullptr) return 1;
    RECT bounds = DCBounds(*context, *surface);
    LONG left = rect->left > bounds.left ? rect->left : bounds.left;
    LONG top = rect->top > bounds.top ? rect->top : bounds.top;
    LONG right = rect->right < bounds.right ? rect->right : bounds.right;
    LONG bottom = rect->bottom < bounds.bottom ? rect->bottom : bounds.bottom;
    if (left >= right || top >= bottom) return 1;
    uint32_t rgb = RgbFromColorref(color);
    if (surface->bpp < 8) {
        // Pixels share bytes with their neighbours outside the rectangle: one at a time.
        for (LONG y = top; y < bottom; ++y) {
            for (LONG x = left; x < right; ++x) BitmapWritePixel(*surface, x, y, rgb);
        }
        return 1;
    }
    // Whole-byte pixels: the first row pixel by pixel, the others copies of it.
    for (LONG x = left; x < right; ++x) BitmapWritePixel(*surface, x, top, rgb);
    const size_t pixel_bytes = static_cast<size_t>(surface->bpp / 8);
    const size_t offset = pixel_bytes * static_cast<size_t>(left);
    const size_t length = pixel_bytes * static_cast<size_t>(right - left);
    const uint8_t* first = BitmapRow(*surface, top) + offset;
    for (LONG y = top + 1; y < bottom; ++y) {
        std::memcpy(BitmapRow(*surface, y) + offset, first, length);
    }
    return 1;
}

extern "C" WIN32LAYER_API COLORREF WINAPI GetPixel(HDC dc, int x, int y) {
    const DeviceContext* context = LookupDC(dc);
    if (context == nullptr) return CLR_INVALID;
    const Bitmap* surface = DCSurface(*context);
    if (surface == nullptr) return CLR_INVALID;
    RECT bounds = DCBounds(*context, *surface);
    if (x < bounds.left || x >= bounds.right || y < bounds.top || y >= bounds.bottom) {
        return CLR_INVALID;
    }
    return ColorrefFromRgb(BitmapReadPixel(*surface, x, y));
}

extern "C" WIN32LAYER_API COLORREF WINAPI SetPixel(HDC dc, int x, int y, COLORREF color) {
    const DeviceContext* context = LookupDC(dc);
    if (context == nullptr) return CLR_INVALID;
    Bitmap* surface = DCSurface(*context);
    if (surface == nullptr) return CLR_INVALID;
    RECT bounds = DCBounds(*context, *surface);
    if (x < bounds.left || x >= bounds.right || y < bounds.top || y >= bounds.bottom) {
        return CLR_INVALID;
    }
    BitmapWritePixel(*surface, x, y, RgbFromColorref(color));
    // The colour actually set, after the bitmap's format had its say.
    return ColorrefFromRgb(BitmapReadPixel(*surface, x, y));
}
