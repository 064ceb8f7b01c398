// Window classes. Class names compare without regard to letter case, as on Windows, and a
// name can be registered once in the process: a second RegisterClassW of it fails with
// ERROR_CLASS_ALREADY_EXISTS until the class is unregistered.
#include <memory>
#include <vector>

#include "window_object.h"
#include "fault_plan.h"

namespace {

struct ClassList {
    std::vector<std::unique_ptr<WindowClass>> classes;
    ATOM next_atom = 0xC000;  // registered class atoms start here on Windows
};

ClassList& Classes() {
    static ClassList list;
    return list;
}

char16_t FoldCase(char16_t c) {
    return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c;
}

bool SameName(const std::u16string& a, LPCWSTR b) {
    size_t i = 0;
    for (; i < a.size(); ++i) {
        if (b[i] == 0 || FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return b[i] == 0;
}

}  // namespace

WindowClass* FindWindowClass(LPCWSTR name_or_atom) {
    if (name_or_atom == nullptr) return nullptr;
    for (auto& window_class : Classes().classes) {
        if (IS_INTRESOURCE(name_or_atom)) {
            if (window_class->atom == reinterpret_cast<ULONG_PTR>(name_or_atom)) {
                return window_class.get();
            }
        } else if (SameName(window_class->name, name_or_atom)) {
            return window_class.get();
        }
    }
    return nullptr;
}

extern "C" WIN32LAYER_API ATOM WINAPI RegisterClassW(const WNDCLASSW* fields) {
    if (fields == nullptr || fields->lpszClassName == nullptr ||
        IS_INTRESOURCE(fields->lpszClassName) || fields->lpszClassName[0] == 0 ||
        fields->lpfnWndProc == nullptr || fields->cbClsExtra < 0 || fields->cbWndExtra < 0 ||
        fields->cbClsExtra > 40 * 1024 || fields->cbWndExtra > 40 * 1024) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (FaultPlanFails(WIN32LAYER_FAULT_REGISTER_CLASS)) return 0;
    if (FindWindowClass(fields->lpszClassName) != nullptr) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    ClassList& list = Classes();
    if (list.next_atom == 0) {  // every atom used
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    auto window_class = std::make_unique<WindowClass>();
    window_class->name = fields->lpszClassName;
    window_class->atom = list.next_atom++;
    window_class->fields = *fields;
    window_class->fields.lpszClassName = nullptr;
    window_class->fields.lpszMenuName = nullptr;
    window_class->extra.assign(static_cast<size_t>(fields->cbClsExtra), 0);
    ATOM atom = window_class->atom;
    list.classes.push_back(std::move(window_class));
    return atom;
}

extern "C" WIN32LAYER_API BOOL WINAPI UnregisterClassW(LPCWSTR class_name, HINSTANCE /*instance*/) {
    WindowClass* window_class = FindWindowClass(class_name);
    if (window_class == nullptr) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (window_class->window_count > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    auto& classes = Classes().classes;
    for (auto it = classes.begin(); it != classes.end(); ++it) {
        if (it->get() == window_class) {
            classes.erase(it);
            break;
        }
    }
    return TRUE;
}
