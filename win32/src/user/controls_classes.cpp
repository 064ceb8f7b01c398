// Registration of the predefined control classes and the dialog class, and what the controls
// share: notifications to the parent and the test of a control's class.
#include "controls.h"

namespace {

bool RegisterOnce(LPCWSTR name, WNDPROC procedure, int window_extra, HBRUSH background) {
    WNDCLASSW fields = {};
    fields.style = CS_HREDRAW | CS_VREDRAW;
    fields.lpfnWndProc = procedure;
    fields.cbWndExtra = window_extra;
    fields.hbrBackground = background;
    fields.lpszClassName = name;
    return RegisterClassW(&fields) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

bool EnsureControlClasses() {
    static bool registered = false;
    if (registered) return true;
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    int pointer = static_cast<int>(sizeof(LONG_PTR));
    registered = RegisterOnce(u"STATIC", StaticWindowProc, 0, white) &&
                 RegisterOnce(u"EDIT", EditWindowProc, pointer, white) &&
                 RegisterOnce(u"BUTTON", ButtonWindowProc, pointer, white) &&
                 RegisterOnce(u"COMBOBOX", ComboBoxWindowProc, pointer, white) &&
                 // The message result, the dialog procedure, the application's value and the
                 // layer's own record of the dialog.
                 RegisterOnce(DIALOG_CLASS_NAME, DefDlgProcW, 4 * pointer, white);
    return registered;
}

void NotifyParent(HWND control, WORD code) {
    HWND parent = GetParent(control);
    if (parent == nullptr) return;
    WORD id = static_cast<WORD>(GetWindowLongPtrW(control, GWLP_ID));
    SendMessageW(parent, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
}

LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(window, message, wparam, lparam);
}
