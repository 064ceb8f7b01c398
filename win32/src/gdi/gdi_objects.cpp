// GDI objects: stock objects, brushes, selection into device contexts, deletion and
// GetObject. An object deleted while selected into a DC stays alive until it is deselected,
// as Windows and Wine defer it, so a DC never points at freed memory.
#include <cstring>
#include <mutex>
#include <new>

#include "gdi_objects.h"
#include "fault_plan.h"

namespace {

constexpr int kStockBrushCount = 6;

struct StockObjects {
    HBRUSH brushes[kStockBrushCount] = {};
    HBITMAP default_bitmap = nullptr;
};

StockObjects& Stock() {
    static StockObjects stock;
    static std::once_flag once;
    std::call_once(once, [] {
        static const COLORREF kColors[kStockBrushCount] = {RGB(255, 255, 255), RGB(192, 192, 192),
                                                           RGB(128, 128, 128), RGB(64, 64, 64),
                                                           RGB(0, 0, 0),       RGB(0, 0, 0)};
        static Brush brushes[kStockBrushCount];
        for (int i = 0; i < kStockBrushCount; ++i) {
            brushes[i].color = kColors[i];
            brushes[i].hollow = i == NULL_BRUSH;
            stock.brushes[i] =
                static_cast<HBRUSH>(HandleCreateStock(HandleKind::Brush, &brushes[i]));
        }
        static Bitmap default_bitmap;
        static uint8_t default_bits[4] = {};
        default_bitmap.width = 1;
        default_bitmap.height = 1;
        default_bitmap.bpp = 1;
        default_bitmap.stride = 4;
        default_bitmap.bits = default_bits;
        default_bitmap.color_count = 2;
        default_bitmap.colors[1] = RGBQUAD{0xFF, 0xFF, 0xFF, 0};
        stock.default_bitmap =
            static_cast<HBITMAP>(HandleCreateStock(HandleKind::Bitmap, &default_bitmap));
    });
    return stock;
}

void DestroyBitmapHandle(HGDIOBJ handle) {
    BitmapDestroy(static_cast<Bitmap*>(HandleRelease(handle, HandleKind::Bitmap)));
}

void DestroyBrushHandle(HGDIOBJ handle) {
    delete static_cast<Brush*>(HandleRelease(handle, HandleKind::Brush));
}

}  // namespace

HBITMAP StockDefaultBitmap() {
    return Stock().default_bitmap;
}

HBRUSH StockWhiteBrush() {
    return Stock().brushes[WHITE_BRUSH];
}

Bitmap* LookupBitmap(HGDIOBJ handle) {
    auto* bitmap = static_cast<Bitmap*>(HandleLookup(handle, HandleKind::Bitmap));
    if (bitmap == nullptr) SetLastError(ERROR_INVALID_HANDLE);
    return bitmap;
}

void GdiObjectDeselected(HGDIOBJ object) {
    HandleKind kind;
    if (!HandleKindOf(object, &kind) || HandleIsStock(object)) return;
    if (kind == HandleKind::Bitmap) {
        auto* bitmap = static_cast<Bitmap*>(HandleLookup(object, kind));
        bitmap->selected_into = nullptr;
        if (bitmap->delete_pending) DestroyBitmapHandle(object);
    } else if (kind == HandleKind::Brush) {
        auto* brush = static_cast<Brush*>(HandleLookup(object, kind));
        if (brush->select_count > 0) --brush->select_count;
        if (brush->select_count == 0 && brush->delete_pending) DestroyBrushHandle(object);
    }
}

extern "C" WIN32LAYER_API HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    auto* brush = new (std::nothrow) Brush;
    if (brush == nullptr) return nullptr;
    brush->color = color & 0x00FFFFFF;
    auto handle = static_cast<HBRUSH>(HandleCreate(HandleKind::Brush, brush));
    if (handle == nullptr) delete brush;
    return handle;
}

extern "C" WIN32LAYER_API HGDIOBJ WINAPI GetStockObject(int index) {
    if (index < 0 || index >= kStockBrushCount) return nullptr;
    if (FaultPlanFails(WIN32LAYER_FAULT_GET_STOCK_OBJECT)) return nullptr;
    return Stock().brushes[index];
}

extern "C" WIN32LAYER_API HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    Stock();  // stock handles exist before any can be selected
    DeviceContext* context = LookupDC(dc);
    HandleKind kind;
    if (context == nullptr || !HandleKindOf(object, &kind)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (FaultPlanFails(WIN32LAYER_FAULT_SELECT_OBJECT)) return nullptr;
    bool stock = HandleIsStock(object);
    if (kind == HandleKind::Bitmap) {
        // Only a memory DC takes a bitmap, and a bitmap is in one DC at a time.
        auto* bitmap = static_cast<Bitmap*>(HandleLookup(object, kind));
        if (context->kind != HandleKind::MemoryDC || bitmap->delete_pending) return nullptr;
        if (!stock && bitmap->selected_into != nullptr && bitmap->selected_into != dc) {
            return nullptr;
        }
        HBITMAP previous = context->bitmap;
        if (previous == object) return previous;
        if (!stock) bitmap->selected_into = dc;
        context->bitmap = static_cast<HBITMAP>(object);
        GdiObjectDeselected(previous);
        return previous;
    }
    if (kind == HandleKind::Brush) {
        auto* brush = static_cast<Brush*>(HandleLookup(object, kind));
        if (brush->delete_pending) return nullptr;
        HBRUSH previous = context->brush;
        if (previous == object) return previous;
        if (!stock) ++brush->select_count;
        context->brush = static_cast<HBRUSH>(object);
        GdiObjectDeselected(previous);
        return previous;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

extern "C" WIN32LAYER_API BOOL WINAPI DeleteObject(HGDIOBJ object) {
    HandleKind kind;
    if (!HandleKindOf(object, &kind) || (kind != HandleKind::Bitmap && kind != HandleKind::Brush)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (HandleIsStock(object)) return TRUE;  // stock objects are never deleted
    if (kind == HandleKind::Bitmap) {
        auto* bitmap = static_cast<Bitmap*>(HandleLookup(object, kind));
        if (bitmap->selected_into != nullptr) {
            bitmap->delete_pending = true;
        } else {
            DestroyBitmapHandle(object);
        }
    } else {
        auto* brush = static_cast<Brush*>(HandleLookup(object, kind));
        if (brush->select_count > 0) {
            brush->delete_pending = true;
        } else {
            DestroyBrushHandle(object);
        }
    }
    return TRUE;
}

extern "C" WIN32LAYER_API int WINAPI GetObjectW(HGDIOBJ object, int size, LPVOID out) {
    HandleKind kind;
    if (!HandleKindOf(object, &kind)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (kind == HandleKind::Bitmap) {
        const auto* bitmap = static_cast<const Bitmap*>(HandleLookup(object, kind));
        BITMAP bm = {};
        bm.bmType = 0;
        bm.bmWidth = bitmap->width;
        bm.bmHeight = bitmap->height;
        // A DIB section reports its DWORD-aligned rows and its bits; a device-dependent
        // bitmap WORD-aligned rows and no bits.
        bm.bmWidthBytes = bitmap->is_dib
                              ? static_cast<LONG>(bitmap->stride)
                              : static_cast<LONG>(((bitmap->width * bitmap->bpp + 15) / 16) * 2);
        bm.bmPlanes = 1;
        bm.bmBitsPixel = static_cast<WORD>(bitmap->bpp);
        bm.bmBits = bitmap->is_dib ? bitmap->bits : nullptr;
        if (out == nullptr) return sizeof(BITMAP);
        if (bitmap->is_dib && size >= static_cast<int>(sizeof(DIBSECTION))) {
            DIBSECTION ds = {};
            ds.dsBm = bm;
            ds.dsBmih = bitmap->header;
            if (bitmap->compression == BI_BITFIELDS) {
                std::memcpy(ds.dsBitfields, bitmap->masks, sizeof(ds.dsBitfields));
            }
            std::memcpy(out, &ds, sizeof(ds));
            return sizeof(DIBSECTION);
        }
        if (size < static_cast<int>(sizeof(BITMAP))) return 0;
        std::memcpy(out, &bm, sizeof(bm));
        return sizeof(BITMAP);
    }
    if (kind == HandleKind::Brush) {
        const auto* brush = static_cast<const Brush*>(HandleLookup(object, kind));
        if (out == nullptr) return sizeof(LOGBRUSH);
        if (size < static_cast<int>(sizeof(LOGBRUSH))) return 0;
        LOGBRUSH lb = {};
        lb.lbStyle = brush->hollow ? BS_NULL : BS_SOLID;
        lb.lbColor = brush->hollow ? 0 : brush->color;
        std::memcpy(out, &lb, sizeof(lb));
        return sizeof(LOGBRUSH);
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
}

extern "C" WIN32LAYER_API DWORD WINAPI GetObjectType(HGDIOBJ object) {
    HandleKind kind;
    if (!HandleKindOf(object, &kind)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    switch (kind) {
        case HandleKind::Bitmap:
            return OBJ_BITMAP;
        case HandleKind::Brush:
            return OBJ_BRUSH;
        case HandleKind::MemoryDC:
            return OBJ_MEMDC;
        case HandleKind::WindowDC:
            return OBJ_DC;
        default:
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
    }
}
