// Device contexts: window DCs (GetDC, ReleaseDC), which draw on a window's off-screen
// surface or, for the null window, on the screen (which keeps no pixels in the layer), and
// memory DCs (CreateCompatibleDC, DeleteDC), which draw on their selected bitmap and start
// out with the stock 1 x 1 monochrome bitmap, as on Windows.
#include <new>

#include "gdi_objects.h"
#include "fault_plan.h"
#include "screen.h"

namespace {

HDC PublishDC(DeviceContext* context) {
    auto dc = static_cast<HDC>(HandleCreate(context->kind, context));
    if (dc == nullptr) {
        delete context;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return dc;
}

void DeselectAll(DeviceContext* context) {
    HBITMAP bitmap = context->bitmap;
    HBRUSH brush = context->brush;
    context->bitmap = nullptr;
    context->brush = nullptr;
    if (bitmap != nullptr) GdiObjectDeselected(bitmap);
    if (brush != nullptr) GdiObjectDeselected(brush);
}

}  // namespace

DeviceContext* LookupDC(HDC dc) {
    HandleKind kind;
    if (!HandleKindOf(dc, &kind) ||
        (kind != HandleKind::MemoryDC && kind != HandleKind::WindowDC)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return static_cast<DeviceContext*>(HandleLookup(dc, kind));
}

Bitmap* DCSurface(const DeviceContext& dc) {
    if (dc.kind == HandleKind::MemoryDC) {
        return static_cast<Bitmap*>(HandleLookup(dc.bitmap, HandleKind::Bitmap));
    }
    return dc.window != nullptr ? WindowSurface(dc.window) : nullptr;
}

RECT DCBounds(const DeviceContext& dc, const Bitmap& surface) {
    RECT bounds = {0, 0, surface.width, surface.height};
    if (dc.has_clip) {
        if (dc.clip.left > bounds.left) bounds.left = dc.clip.left;
        if (dc.clip.top > bounds.top) bounds.top = dc.clip.top;
        if (dc.clip.right < bounds.right) bounds.right = dc.clip.right;
        if (dc.clip.bottom < bounds.bottom) bounds.bottom = dc.clip.bottom;
    }
    return bounds;
}

extern "C" WIN32LAYER_API HDC WINAPI GetDC(HWND window) {
    if (window != nullptr && HandleLookup(window, HandleKind::Window) == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (FaultPlanFails(WIN32LAYER_FAULT_GET_DC)) return nullptr;
    auto* context = new (std::nothrow) DeviceContext;
    if (context == nullptr) return nullptr;
    context->kind = HandleKind::WindowDC;
    context->window = window;
    context->brush = StockWhiteBrush();
    return PublishDC(context);
}

extern "C" WIN32LAYER_API int WINAPI ReleaseDC(HWND window, HDC dc) {
    auto* context = static_cast<DeviceContext*>(HandleLookup(dc, HandleKind::WindowDC));
    if (context == nullptr || context->window != window) return 0;
    HandleRelease(dc, HandleKind::WindowDC);
    DeselectAll(context);
    delete context;
    return 1;
}

extern "C" WIN32LAYER_API HDC WINAPI CreateCompatibleDC(HDC dc) {
    if (dc != nullptr && LookupDC(dc) == nullptr) return nullptr;
    if (FaultPlanFails(WIN32LAYER_FAULT_CREATE_COMPATIBLE_DC)) return nullptr;
    auto* context = new (std::nothrow) DeviceContext;
    if (context == nullptr) return nullptr;
    context->kind = HandleKind::MemoryDC;
    context->bitmap = StockDefaultBitmap();
    context->brush = StockWhiteBrush();
    return PublishDC(context);
}

extern "C" WIN32LAYER_API BOOL WINAPI DeleteDC(HDC dc) {
    auto* context = static_cast<DeviceContext*>(HandleRelease(dc, HandleKind::MemoryDC));
    if (context == nullptr) {
        // DeleteDC also takes a window DC, as Windows allows.
        context = static_cast<DeviceContext*>(HandleRelease(dc, HandleKind::WindowDC));
    }
    if (context == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DeselectAll(context);
    delete context;
    return TRUE;
}

extern "C" WIN32LAYER_API int WINAPI GetDeviceCaps(HDC dc, int index) {
    const DeviceContext* context = LookupDC(dc);
    if (context == nullptr) return 0;
    switch (index) {
        case HORZRES:
            return ScreenWidth();
        case VERTRES:
            return ScreenHeight();
        case BITSPIXEL:
            return 32;
        case PLANES:
            return 1;
        default:
            return 0;
    }
}
