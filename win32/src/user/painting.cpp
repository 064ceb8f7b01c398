// Painting. Each window keeps its update region as one rectangle (the union of everything
// invalidated since the last paint) and a flag for a pending background erase. UpdateWindow
// sends WM_PAINT when that rectangle is not empty, then updates the children. BeginPaint
// hands out a DC that draws on the window's surface, clipped to the damaged rectangle, erases
// it first through WM_ERASEBKGND (the default fills with the class background brush) and
// validates the window.
#include <vector>

#include "window_object.h"
#include "fault_plan.h"

namespace {

bool Empty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

RECT ClientRect(const Window& window) {
    return RECT{0, 0, window.rect.right - window.rect.left, window.rect.bottom - window.rect.top};
}

}  // namespace

void AddUpdateRect(Window& window, const RECT* rect, bool erase) {
    RECT client = ClientRect(window);
    RECT damaged = client;
    if (rect != nullptr && !IntersectRect(&damaged, rect, &client)) return;
    if (Empty(damaged)) return;
    if (!window.has_update) {
        window.update = damaged;
        window.has_update = true;
    } else {
        if (damaged.left < window.update.left) window.update.left = damaged.left;
        if (damaged.top < window.update.top) window.update.top = damaged.top;
        if (damaged.right > window.update.right) window.update.right = damaged.right;
        if (damaged.bottom > window.update.bottom) window.update.bottom = damaged.bottom;
    }
    if (erase) window.erase_pending = true;
}

extern "C" WIN32LAYER_API BOOL WINAPI InvalidateRect(HWND handle, const RECT* rect, BOOL erase) {
    Window* window = LookupWindow(handle);
    if (window == nullptr) return FALSE;
    AddUpdateRect(*window, rect, erase != FALSE);
    return TRUE;
}

extern "C" WIN32LAYER_API BOOL WINAPI ValidateRect(HWND handle, const RECT* rect) {
    Window* window = LookupWindow(handle);
    if (window == nullptr) return FALSE;
    // With one rectangle for the region, validating a part that leaves the rest a rectangle
    // shrinks it; anything else keeps the whole (a repaint of too much is harmless).
    if (rect == nullptr) {
        window->has_update = false;
        window->erase_pending = false;
        return TRUE;
    }
    RECT& u = window->update;
    if (!window->has_update) return TRUE;
    if (rect->left <= u.left && rect->right >= u.right) {
        if (rect->top <= u.top && rect->bottom >= u.bottom) {
            window->has_update = false;
            window->erase_pending = false;
        } else if (rect->top <= u.top && rect->bottom > u.top) {
            u.top = rect->bottom;
        } else if (rect->bottom >= u.bottom && rect->top < u.bottom) {
            u.bottom = rect->top;
        }
    } else if (rect->top <= u.top && rect->bottom >= u.bottom) {
        if (rect->left <= u.left && rect->right > u.left) {
            u.left = rect->right;
        } else if (rect->right >= u.right && rect->left < u.right) {
            u.right = rect->left;
        }
    }
    return TRUE;
}

extern "C" WIN32LAYER_API BOOL WINAPI GetUpdateRect(HWND handle, LPRECT rect, BOOL erase) {
    Window* window = LookupWindow(handle);
    if (window == nullptr) return FALSE;
    if (erase && window->has_update) window->erase_pending = true;
    if (rect != nullptr) *rect = window->has_update ? window->update : RECT{0, 0, 0, 0};
    return window->has_update ? TRUE : FALSE;
}

extern "C" WIN32LAYER_API BOOL WINAPI UpdateWindow(HWND handle) {
    Window* window = LookupWindow(handle);
    if (window == nullptr) return FALSE;
    if (window->has_update) SendMessageW(handle, WM_PAINT, 0, 0);
    // As on Windows, the child windows are brought up to date too.
    window = LookupWindow(handle);
    if (window == nullptr) return TRUE;
    std::vector<HWND> children = window->children;
    for (HWND child : children) {
        const Window* child_window = LookupWindow(child);
        if (child_window != nullptr && (child_window->style & WS_CHILD) != 0) UpdateWindow(child);
    }
    return TRUE;
}

extern "C" WIN32LAYER_API HDC WINAPI BeginPaint(HWND handle, LPPAINTSTRUCT paint) {
    Window* window = LookupWindow(handle);
    if (window == nullptr || paint == nullptr) return nullptr;
    if (FaultPlanFails(WIN32LAYER_FAULT_BEGIN_PAINT)) return nullptr;
    *paint = PAINTSTRUCT{};
    // The device context first: a BeginPaint that fails leaves the window invalid, so that it
    // is painted again, instead of validated and never painted.
    HDC dc = GetDC(handle);
    if (dc == nullptr) return nullptr;
    RECT damaged = window->has_update ? window->update : RECT{0, 0, 0, 0};
    bool erase = window->erase_pending;
    window->has_update = false;
    window->erase_pending = false;
    auto* context = static_cast<DeviceContext*>(HandleLookup(dc, HandleKind::WindowDC));
    context->has_clip = true;
    context->clip = damaged;
    paint->hdc = dc;
    paint->rcPaint = damaged;
    if (erase && !Empty(damaged)) {
        paint->fErase =
            SendMessageW(handle, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
    }
    return dc;
}

extern "C" WIN32LAYER_API BOOL WINAPI EndPaint(HWND handle, const PAINTSTRUCT* paint) {
    if (paint == nullptr) return FALSE;
    ReleaseDC(handle, paint->hdc);
    return TRUE;
}
