// The default window procedure and window text.
#include <cstring>

#include "window_object.h"
#include "fault_plan.h"

extern "C" WIN32LAYER_API LRESULT WINAPI DefWindowProcW(HWND handle, UINT message, WPARAM wparam,
                                                        LPARAM lparam) {
    Window* window = LookupWindow(handle);
    if (window == nullptr) return 0;
    switch (message) {
        case WM_NCCREATE: {
            // The title reaches the window here, as on Windows.
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
            if (create != nullptr && create->lpszName != nullptr &&
                !IS_INTRESOURCE(create->lpszName)) {
                window->text = create->lpszName;
            }
            return TRUE;
        }
        case WM_SETTEXT: {
            const auto* text = reinterpret_cast<LPCWSTR>(lparam);
            window->text = text != nullptr ? text : u"";
            return TRUE;
        }
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(window->text.size());
        case WM_GETTEXT: {
            // wparam is the buffer's capacity in characters, the terminator included.
            auto* buffer = reinterpret_cast<LPWSTR>(lparam);
            if (buffer == nullptr || wparam == 0) return 0;
            size_t count = window->text.size();
            if (count > wparam - 1) count = wparam - 1;
            std::memcpy(buffer, window->text.data(), count * sizeof(WCHAR));
            buffer[count] = 0;
            return static_cast<LRESULT>(count);
        }
        case WM_ERASEBKGND: {
            HBRUSH background = window->window_class->fields.hbrBackground;
            if (background == nullptr) return 0;
            RECT client;
            GetClientRect(handle, &client);
            FillRect(reinterpret_cast<HDC>(wparam), &client, background);
            return 1;
        }
        case WM_PAINT: {
            PAINTSTRUCT paint;
            if (BeginPaint(handle, &paint) != nullptr) EndPaint(handle, &paint);
            return 0;
        }
        case WM_CLOSE:
            DestroyWindow(handle);
            return 0;
        default:
            return 0;
    }
}

extern "C" WIN32LAYER_API int WINAPI GetWindowTextW(HWND handle, LPWSTR text, int capacity) {
    if (text == nullptr || capacity <= 0) return 0;
    text[0] = 0;
    if (LookupWindow(handle) == nullptr) return 0;
    return static_cast<int>(SendMessageW(handle, WM_GETTEXT, static_cast<WPARAM>(capacity),
                                         reinterpret_cast<LPARAM>(text)));
}

extern "C" WIN32LAYER_API int WINAPI GetWindowTextLengthW(HWND handle) {
    return static_cast<int>(SendMessageW(handle, WM_GETTEXTLENGTH, 0, 0));
}

extern "C" WIN32LAYER_API BOOL WINAPI SetWindowTextW(HWND handle, LPCWSTR text) {
    if (LookupWindow(handle) == nullptr) return FALSE;
    if (FaultPlanFails(WIN32LAYER_FAULT_SET_WINDOW_TEXT)) return FALSE;
    return SendMessageW(handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}
