// The BUTTON class: push buttons notify their parent with BN_CLICKED when clicked; check boxes
// and radio buttons keep a check state (the automatic kinds toggle it on a click).
#include "controls.h"

namespace {

bool Disabled(HWND window) {
    return (GetWindowLongW(window, GWL_STYLE) & static_cast<LONG>(WS_DISABLED)) != 0;
}

void Clicked(HWND window) {
    DWORD kind = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)) & 0x0F;
    if (kind == BS_AUTOCHECKBOX) {
        LONG_PTR check = GetWindowLongPtrW(window, 0);
        SetWindowLongPtrW(window, 0, check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
    } else if (kind == BS_AUTORADIOBUTTON) {
        SetWindowLongPtrW(window, 0, BST_CHECKED);
    }
    NotifyParent(window, BN_CLICKED);
}

}  // namespace

LRESULT CALLBACK ButtonWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_LBUTTONDOWN:
            return 0;
        case WM_LBUTTONUP:
            if (!Disabled(window)) Clicked(window);
            return 0;
        case BM_CLICK:
            if (Disabled(window)) return 0;
            SendMessageW(window, WM_LBUTTONDOWN, 0, 0);
            SendMessageW(window, WM_LBUTTONUP, 0, 0);
            return 0;
        case BM_GETCHECK:
            return GetWindowLongPtrW(window, 0);
        case BM_SETCHECK:
            SetWindowLongPtrW(window, 0, static_cast<LONG_PTR>(wparam));
            return 0;
        default:
            return DefWindowProcW(window, message, wparam, lparam);
    }
}

bool PersonClicksButton(HWND button) {
    if (GetWindowLongPtrW(button, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(ButtonWindowProc))
        return false;
    if (Disabled(button)) return false;
    SendMessageW(button, BM_CLICK, 0, 0);
    return true;
}
