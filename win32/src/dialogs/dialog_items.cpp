// A dialog's controls by id: finding them, their text and numbers, and messages to them.
#include "window_object.h"
#include "win32/dialogs.h"

extern "C" {

WIN32LAYER_API HWND WINAPI GetDlgItem(HWND dialog, int id) {
    Window* window = LookupWindow(dialog);
    if (window == nullptr) return nullptr;
    for (HWND child : window->children) {
        Window* control = LookupWindow(child);
        if (control != nullptr && static_cast<UINT>(control->id) == static_cast<UINT>(id)) {
            return child;
        }
    }
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

WIN32LAYER_API int WINAPI GetDlgCtrlID(HWND control) {
    return static_cast<int>(GetWindowLongPtrW(control, GWLP_ID));
}

WIN32LAYER_API UINT WINAPI GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int capacity) {
    if (text == nullptr || capacity <= 0) return 0;
    text[0] = 0;
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) return 0;
    return static_cast<UINT>(GetWindowTextW(control, text, capacity));
}

WIN32LAYER_API BOOL WINAPI SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) return FALSE;
    return SetWindowTextW(control, text);
}

WIN32LAYER_API LRESULT WINAPI SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wparam,
                                                  LPARAM lparam) {
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) return 0;
    return SendMessageW(control, message, wparam, lparam);
}

WIN32LAYER_API UINT WINAPI GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL is_signed) {
    if (translated != nullptr) *translated = FALSE;
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr) return 0;
    int length = GetWindowTextLengthW(control);
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
    size_t at = 0;
    while (at < text.size() && text[at] == u' ') ++at;
    bool negative = false;
    if (is_signed && at < text.size() && text[at] == u'-') {
        negative = true;
        ++at;
    }
    if (at == text.size()) return 0;
    // Up to 2^31 for a signed value (its magnitude when negative), 2^32 - 1 otherwise.
    uint64_t limit = is_signed ? (negative ? 0x80000000ULL : 0x7FFFFFFFULL) : 0xFFFFFFFFULL;
    uint64_t value = 0;
    for (; at < text.size(); ++at) {
        char16_t c = text[at];
        if (c < u'0' || c > u'9') return 0;
        value = value * 10 + static_cast<uint64_t>(c - u'0');
        if (value > limit) return 0;
    }
    if (translated != nullptr) *translated = TRUE;
    uint32_t magnitude = static_cast<uint32_t>(value);
    return negative ? 0U - magnitude : magnitude;
}

}  // extern "C"
