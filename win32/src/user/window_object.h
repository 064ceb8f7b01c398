// The records behind window classes and window handles.
#pragma once

#include <string>
#include <vector>

#include "gdi_objects.h"
#include "win32/user.h"

struct WindowClass {
    std::u16string name;
    ATOM atom = 0;
    WNDCLASSW fields = {};       // lpszClassName and lpszMenuName are not kept
    std::vector<uint8_t> extra;  // cbClsExtra bytes
    int window_count = 0;
};

struct Window {
    HWND handle = nullptr;
    WindowClass* window_class = nullptr;
    WNDPROC procedure = nullptr;
    HWND parent = nullptr;
    std::vector<HWND> children;  // in creation order
    DWORD style = 0;
    DWORD ex_style = 0;
    RECT rect = {};  // in the parent's client coordinates; screen coordinates at the top
    std::u16string text;
    HINSTANCE instance = nullptr;
    LONG_PTR id = 0;
    LONG_PTR user_data = 0;
    std::vector<uint8_t> extra;  // cbWndExtra bytes
    bool has_update = false;     // the update region, kept as one rectangle
    RECT update = {};
    bool erase_pending = false;
    bool destroying = false;
    Bitmap* surface = nullptr;  // owned: the client area's pixels; null when empty
};

// The window's record, or null (ERROR_INVALID_WINDOW_HANDLE) for a handle that is no window.
Window* LookupWindow(HWND window);
// The class registered under a name or atom, or null.
WindowClass* FindWindowClass(LPCWSTR name_or_atom);
// Adds a rectangle of the client area (null: all of it) to the window's update region.
void AddUpdateRect(Window& window, const RECT* rect, bool erase);
