// Windows: creation and destruction, parents and children, geometry, window fields and
// message sending. Windows belong to the thread that drives the user interface; like the
// window procedures they call, these functions are not made safe for use from other threads.
//
// CreateWindowExW sends WM_NCCREATE and WM_CREATE (with the CREATESTRUCTW) before it returns,
// then WM_SIZE and WM_MOVE; a WM_NCCREATE answer of FALSE or a WM_CREATE answer of -1
// destroys the new window (with WM_DESTROY and WM_NCDESTROY) and creation returns null.
// DestroyWindow sends WM_DESTROY to the window and then to its children and owned windows,
// frees the children, each with WM_NCDESTROY, and frees the window last.
#include <algorithm>
#include <cstring>
#include <new>

#include "screen.h"
#include "fault_plan.h"
#include "window_object.h"
#include "win32/host_services.h"

namespace {

// Gives the window a surface of the new client size; the old pixels are dropped (the window
// is repainted). False when the pixels cannot be had.
bool ResizeSurface(Window& window, int width, int height) {
    Bitmap* surface = nullptr;
    if (width > 0 && height > 0) {
        surface = BitmapAllocate(width, height, 32, true);
        if (surface == nullptr) return false;
    }
    BitmapDestroy(window.surface);
    window.surface = surface;
    return true;
}

void SendDestroyMessages(HWND handle) {
    Window* window = LookupWindow(handle);
    if (window == nullptr) return;
    window->destroying = true;
    SendMessageW(handle, WM_DESTROY, 0, 0);
    window = LookupWindow(handle);
    if (window == nullptr) return;
    std::vector<HWND> children = window->children;
    for (HWND child : children) SendDestroyMessages(child);
}

void FreeWindow(HWND handle) {
    Window* window = LookupWindow(handle);
    if (window == nullptr) return;
    std::vector<HWND> children = window->children;
    for (HWND child : children) FreeWindow(child);
    SendMessageW(handle, WM_NCDESTROY, 0, 0);
    window = static_cast<Window*>(HandleRelease(handle, HandleKind::Window));
    if (window == nullptr) return;
    if (Window* parent = LookupWindow(window->parent)) {
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), handle), siblings.end());
    }
    if (window->window_class != nullptr) --window->window_class->window_count;
    BitmapDestroy(window->surface);
    delete window;
}

LPARAM PackPoint(LONG x, LONG y) {
    return static_cast<LPARAM>(static_cast<DWORD>(static_cast<WORD>(x)) |
                               (static_cast<DWORD>(static_cast<WORD>(y)) << 16));
}

// Moves and sizes a window, with WM_MOVE and WM_SIZE, and repaints as the class asks.
BOOL PlaceWindow(HWND handle, int x, int y, int width, int height, bool move, bool size,
                 bool repaint) {
    Window* window = LookupWindow(handle);
    if (window == nullptr) return FALSE;
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    RECT old = window->rect;
    RECT placed = old;
    if (move) {
        placed.left = x;
        placed.top = y;
    }
    LONG old_width = old.right - old.left;
    LONG old_height = old.bottom - old.top;
    placed.right = placed.left + (size ? width : old_width);
    placed.bottom = placed.top + (size ? height : old_height);
    LONG new_width = placed.right - placed.left;
    LONG new_height = placed.bottom - placed.top;
    bool resized = new_width != old_width || new_height != old_height;
    if (resized && !ResizeSurface(*window, new_width, new_height)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    window->rect = placed;
    if (resized) {
        // The surface was made anew, so all of it is repainted, as CS_HREDRAW and
        // CS_VREDRAW ask (the old update region may lie outside the new size).
        window->has_update = false;
        AddUpdateRect(*window, nullptr, true);
    } else if (repaint) {
        AddUpdateRect(*window, nullptr, true);
    }
    if (placed.left != old.left || placed.top != old.top) {
        SendMessageW(handle, WM_MOVE, 0, PackPoint(placed.left, placed.top));
    }
    if (resized) SendMessageW(handle, WM_SIZE, 0, PackPoint(new_width, new_height));
    return TRUE;
}

// The LONG at byte `index` (0 or more) of the window's extra bytes, or null with
// ERROR_INVALID_INDEX when it does not lie wholly inside them.
uint8_t* ExtraLong(Window* window, int index) {
    if (static_cast<size_t>(index) + sizeof(LONG) > window->extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return nullptr;
    }
    return window->extra.data() + index;
}

}  // namespace

Window* LookupWindow(HWND handle) {
    auto* window = static_cast<Window*>(HandleLookup(handle, HandleKind::Window));
    if (window == nullptr) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return window;
}

Bitmap* WindowSurface(HWND handle) {
    auto* window = static_cast<Window*>(HandleLookup(handle, HandleKind::Window));
    return window != nullptr ? window->surface : nullptr;
}

extern "C" WIN32LAYER_API HWND WINAPI CreateWindowExW(DWORD ex_style, LPCWSTR class_name,
                                                      LPCWSTR title, DWORD style, int x, int y,
                                                      int width, int height, HWND parent,
                                                      HMENU menu, HINSTANCE instance,
                                                      LPVOID param) {
    if (FaultPlanFails(WIN32LAYER_FAULT_CREATE_WINDOW)) return nullptr;
    WindowClass* window_class = FindWindowClass(class_name);
    if (window_class == nullptr) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    bool child = (style & WS_CHILD) != 0;
    if (child && parent == nullptr) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }
    Window* parent_window = nullptr;
    if (parent != nullptr) {
        parent_window = LookupWindow(parent);
        if (parent_window == nullptr || parent_window->destroying) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
    }
    if (x == CW_USEDEFAULT) x = y = 0;
    if (width == CW_USEDEFAULT) {
        width = child ? 0 : ScreenWidth();
        height = child ? 0 : ScreenHeight();
    }
    if (width < 0) width = 0;
    if (height < 0) height = 0;

    auto* window = new (std::nothrow) Window;
    if (window == nullptr || !ResizeSurface(*window, width, height)) {
        delete window;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    window->window_class = window_class;
    window->procedure = window_class->fields.lpfnWndProc;
    window->parent = parent;
    window->style = style;
    window->ex_style = ex_style;
    window->rect = RECT{x, y, x + width, y + height};
    window->instance = instance;
    window->id = child ? reinterpret_cast<LONG_PTR>(menu) : 0;
    window->extra.assign(static_cast<size_t>(window_class->fields.cbWndExtra), 0);
    HWND handle = static_cast<HWND>(HandleCreate(HandleKind::Window, window));
    if (handle == nullptr) {
        BitmapDestroy(window->surface);
        delete window;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    window->handle = handle;
    ++window_class->window_count;
    if (parent_window != nullptr) parent_window->children.push_back(handle);

    CREATESTRUCTW create = {};
    create.lpCreateParams = param;
    create.hInstance = instance;
    create.hMenu = menu;
    create.hwndParent = parent;
    create.cy = height;
    create.cx = width;
    create.y = y;
    create.x = x;
    create.style = static_cast<LONG>(style);
    create.lpszName = title;
    create.lpszClass = class_name;
    create.dwExStyle = ex_style;
    if (!SendMessageW(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create)) ||
        SendMessageW(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    window = LookupWindow(handle);
    if (window == nullptr) return nullptr;  // destroyed by its own creation messages
    SendMessageW(handle, WM_SIZE, 0, PackPoint(width, height));
    SendMessageW(handle, WM_MOVE, 0, PackPoint(x, y));
    window = LookupWindow(handle);
    if (window == nullptr) return nullptr;
    if ((window->style & WS_VISIBLE) != 0) AddUpdateRect(*window, nullptr, true);
    return handle;
}

extern "C" WIN32LAYER_API BOOL WINAPI DestroyWindow(HWND handle) {
    Window* window = LookupWindow(handle);
    if (window == nullptr) return FALSE;
    if (window->destroying) return TRUE;  // already on its way out
    SendDestroyMessages(handle);
    FreeWindow(handle);
    return TRUE;
}

extern "C" WIN32LAYER_API BOOL WINAPI IsWindow(HWND handle) {
    return HandleLookup(handle, HandleKind::Window) != nullptr ? TRUE : FALSE;
}

extern "C" WIN32LAYER_API BOOL WINAPI IsWindowVisible(HWND handle) {
    auto* window = static_cast<Window*>(HandleLookup(handle, HandleKind::Window));
    while (window != nullptr) {
        if ((window->style & WS_VISIBLE) == 0) return FALSE;
        if ((window->style & WS_CHILD) == 0) return TRUE;
        window = static_cast<Window*>(HandleLookup(window->parent, HandleKind::Window));
    }
    return FALSE;
}

extern "C" WIN32LAYER_API BOOL WINAPI ShowWindow(HWND handle, int command) {
    Window* window = LookupWindow(handle);
    if (window == nullptr) return FALSE;
    bool was_visible = (window->style & WS_VISIBLE) != 0;
    bool show = command != SW_HIDE;
    if (show == was_visible) return was_visible ? TRUE : FALSE;
    SendMessageW(handle, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    window = LookupWindow(handle);
    if (window == nullptr) return was_visible ? TRUE : FALSE;
    if (show) {
        window->style |= WS_VISIBLE;
        AddUpdateRect(*window, nullptr, true);
    } else {
        window->style &= ~static_cast<DWORD>(WS_VISIBLE);
    }
    return was_visible ? TRUE : FALSE;
}

extern "C" WIN32LAYER_API LRESULT WINAPI SendMessageW(HWND handle, UINT message, WPARAM wparam,
                                                      LPARAM lparam) {
    Window* window = LookupWindow(handle);
    if (window == nullptr) return 0;
    return window->procedure(handle, message, wparam, lparam);
}

extern "C" WIN32LAYER_API LRESULT WINAPI CallWindowProcW(WNDPROC procedure, HWND handle,
                                                         UINT message, WPARAM wparam,
                                                         LPARAM lparam) {
    if (procedure == nullptr) return 0;
    return procedure(handle, message, wparam, lparam);
}

extern "C" WIN32LAYER_API HWND WINAPI GetParent(HWND handle) {
    Window* window = LookupWindow(handle);
    if (window == nullptr) return nullptr;
    // A child's parent, or a pop-up's owner; other top-level windows have none.
    if ((window->style & (WS_CHILD | WS_POPUP)) == 0) return nullptr;
    return window->parent;
}

extern "C" WIN32LAYER_API BOOL WINAPI GetClientRect(HWND handle, LPRECT rect) {
    Window* window = LookupWindow(handle);
    if (window == nullptr || rect == nullptr) return FALSE;
    *rect =
        RECT{0, 0, window->rect.right - window->rect.left, window->rect.bottom - window->rect.top};
    return TRUE;
}

extern "C" WIN32LAYER_API BOOL WINAPI GetWindowRect(HWND handle, LPRECT rect) {
    Window* window = LookupWindow(handle);
    if (window == nullptr || rect == nullptr) return FALSE;
    RECT screen = window->rect;
    // Children are placed in their parent's client area; add up to the screen.
    for (const Window* w = window; (w->style & WS_CHILD) != 0;) {
        w = static_cast<Window*>(HandleLookup(w->parent, HandleKind::Window));
        if (w == nullptr) break;
        screen.left += w->rect.left;
        screen.right += w->rect.left;
        screen.top += w->rect.top;
        screen.bottom += w->rect.top;
    }
    *rect = screen;
    return TRUE;
}

extern "C" WIN32LAYER_API BOOL WINAPI MoveWindow(HWND handle, int x, int y, int width, int height,
                                                 BOOL repaint) {
    return PlaceWindow(handle, x, y, width, height, true, true, repaint != FALSE);
}

extern "C" WIN32LAYER_API BOOL WINAPI SetWindowPos(HWND handle, HWND /*insert_after*/, int x, int y,
                                                   int width, int height, UINT flags) {
    BOOL placed = PlaceWindow(handle, x, y, width, height, (flags & SWP_NOMOVE) == 0,
                              (flags & SWP_NOSIZE) == 0, false);
    if (!placed) return FALSE;
    if ((flags & SWP_SHOWWINDOW) != 0) ShowWindow(handle, SW_SHOW);
    if ((flags & SWP_HIDEWINDOW) != 0) ShowWindow(handle, SW_HIDE);
    return TRUE;
}

extern "C" WIN32LAYER_API LONG_PTR WINAPI GetWindowLongPtrW(HWND handle, int index) {
    Window* window = LookupWindow(handle);
    if (window == nullptr) return 0;
    switch (index) {
        case GWL_STYLE:
            return static_cast<LONG>(window->style);
        case GWL_EXSTYLE:
            return static_cast<LONG>(window->ex_style);
        case GWLP_WNDPROC:
            return reinterpret_cast<LONG_PTR>(window->procedure);
        case GWLP_HINSTANCE:
            return reinterpret_cast<LONG_PTR>(window->instance);
        case GWLP_HWNDPARENT:
            return reinterpret_cast<LONG_PTR>(window->parent);
        case GWLP_ID:
            return window->id;
        case GWLP_USERDATA:
            return window->user_data;
        default:
            break;
    }
    if (index < 0 || static_cast<size_t>(index) + sizeof(LONG_PTR) > window->extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR value;
    std::memcpy(&value, window->extra.data() + index, sizeof(value));
    return value;
}

extern "C" WIN32LAYER_API LONG_PTR WINAPI SetWindowLongPtrW(HWND handle, int index,
                                                            LONG_PTR value) {
    Window* window = LookupWindow(handle);
    if (window == nullptr) return 0;
    LONG_PTR previous = GetWindowLongPtrW(handle, index);
    switch (index) {
        case GWL_STYLE:
            window->style = static_cast<DWORD>(value);
            return previous;
        case GWL_EXSTYLE:
            window->ex_style = static_cast<DWORD>(value);
            return previous;
        case GWLP_WNDPROC:
            if (value == 0) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return 0;
            }
            window->procedure = reinterpret_cast<WNDPROC>(value);
            return previous;
        case GWLP_HINSTANCE:
            window->instance = reinterpret_cast<HINSTANCE>(value);
            return previous;
        case GWLP_ID:
            window->id = value;
            return previous;
        case GWLP_USERDATA:
            window->user_data = value;
            return previous;
        case GWLP_HWNDPARENT:
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        default:
            break;
    }
    if (index < 0 || static_cast<size_t>(index) + sizeof(LONG_PTR) > window->extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    std::memcpy(window->extra.data() + index, &value, sizeof(value));
    return previous;
}

extern "C" WIN32LAYER_API LONG WINAPI GetWindowLongW(HWND handle, int index) {
    Window* window = LookupWindow(handle);
    if (window == nullptr) return 0;
    if (index >= 0) {
        const uint8_t* slot = ExtraLong(window, index);
        if (slot == nullptr) return 0;
        LONG value;
        std::memcpy(&value, slot, sizeof(value));
        return value;
    }
    return static_cast<LONG>(GetWindowLongPtrW(handle, index));
}

extern "C" WIN32LAYER_API LONG WINAPI SetWindowLongW(HWND handle, int index, LONG value) {
    Window* window = LookupWindow(handle);
    if (window == nullptr) return 0;
    if (index >= 0) {
        uint8_t* slot = ExtraLong(window, index);
        if (slot == nullptr) return 0;
        LONG previous;
        std::memcpy(&previous, slot, sizeof(previous));
        std::memcpy(slot, &value, sizeof(value));
        return previous;
    }
    return static_cast<LONG>(SetWindowLongPtrW(handle, index, value));
}

extern "C" WIN32LAYER_API BOOL Win32LayerReadWindow(HWND handle, int* width, int* height,
                                                    uint32_t* pixels) {
    auto* window = static_cast<Window*>(HandleLookup(handle, HandleKind::Window));
    if (window == nullptr) return FALSE;
    const Bitmap* surface = window->surface;
    int w = surface != nullptr ? surface->width : 0;
    int h = surface != nullptr ? surface->height : 0;
    if (width != nullptr) *width = w;
    if (height != nullptr) *height = h;
    if (pixels == nullptr) return TRUE;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) *pixels++ = BitmapReadPixel(*surface, x, y);
    }
    return TRUE;
}
