// Modal dialogs: the dialog window and its controls made from a template, WM_INITDIALOG, the
// action loop that stands in for the modal message loop, EndDialog and the default dialog
// procedure.
//
// A dialog runs the queued actions of a person (dialog_actions.h) one after the other until
// the dialog procedure ends it or the next action cannot be performed; then the window is
// destroyed and DialogBoxParamW returns. An action that cannot be performed stays queued.
#include <cstdint>
#include <map>
#include <vector>

#include "controls.h"
#include "fault_plan.h"
#include "dialog_actions.h"
#include "dialog_template.h"
#include "window_object.h"
#include "win32/test_probes.h"
#include "win32/resources.h"

namespace {

struct DialogRecord {
    bool ended = false;
    INT_PTR result = 0;
};

// The modal dialogs running, by window.
std::map<HWND, DialogRecord*>& RunningDialogs() {
    static std::map<HWND, DialogRecord*> dialogs;
    return dialogs;
}

DialogRecord* FindDialog(HWND dialog) {
    auto& dialogs = RunningDialogs();
    auto found = dialogs.find(dialog);
    return found == dialogs.end() ? nullptr : found->second;
}

// Dialog base units in pixels: the font's height at 96 dots per inch and half of it as the
// average character width; the system font's 8 x 16 without a font.
struct BaseUnits {
    int x;
    int y;
};

BaseUnits DialogBaseUnits(const DialogTemplate& dialog) {
    if (!dialog.has_font || dialog.point_size == 0 || dialog.point_size > 1000) return {8, 16};
    int height = (dialog.point_size * 96 + 36) / 72;
    return {height / 2 > 0 ? height / 2 : 1, height};
}

// value * multiplier / divisor, rounded half away from zero, as MulDiv does.
int ScaleRounded(int value, int multiplier, int divisor) {
    int64_t product = static_cast<int64_t>(value) * multiplier;
    int64_t half = divisor / 2;
    return static_cast<int>(product >= 0 ? (product + half) / divisor
                                         : -((-product + half) / divisor));
}

RECT ToPixels(const BaseUnits& units, int x, int y, int cx, int cy) {
    int left = ScaleRounded(x, units.x, 4);
    int top = ScaleRounded(y, units.y, 8);
    return RECT{left, top, left + ScaleRounded(cx, units.x, 4), top + ScaleRounded(cy, units.y, 8)};
}

LPCWSTR NameArgument(const TemplateName& name) {
    if (!name.present) return nullptr;
    if (name.is_ordinal) return MAKEINTRESOURCEW(name.ordinal);
    return name.text.c_str();
}

bool CreateControl(HWND dialog, HINSTANCE instance, const BaseUnits& units,
                   const DialogItemTemplate& item) {
    LPCWSTR class_name = nullptr;
    if (item.window_class.is_ordinal) {
        class_name = PredefinedControlClass(item.window_class.ordinal);
    } else if (item.window_class.present) {
        class_name = item.window_class.text.c_str();
    }
    if (class_name == nullptr) return false;
    LPCWSTR text = item.title.present && !item.title.is_ordinal ? item.title.text.c_str() : u"";
    // The creation data reaches WM_CREATE as Windows passes it: its size word, then the bytes.
    std::vector<uint8_t> data;
    if (!item.creation_data.empty()) {
        auto size = static_cast<uint16_t>(item.creation_data.size());
        data.push_back(static_cast<uint8_t>(size & 0xFF));
        data.push_back(static_cast<uint8_t>(size >> 8));
        data.insert(data.end(), item.creation_data.begin(), item.creation_data.end());
    }
    RECT place = ToPixels(units, item.x, item.y, item.cx, item.cy);
    DWORD style = (item.style | WS_CHILD) & ~static_cast<DWORD>(WS_POPUP);
    HWND control = CreateWindowExW(item.ex_style, class_name, text, style, place.left, place.top,
                                   place.right - place.left, place.bottom - place.top, dialog,
                                   reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(item.id)),
                                   instance, data.empty() ? nullptr : data.data());
    return control != nullptr;
}

HWND CreateDialogWindow(HINSTANCE instance, const DialogTemplate& dialog, HWND owner,
                        DLGPROC procedure) {
    BaseUnits units = DialogBaseUnits(dialog);
    RECT place = ToPixels(units, dialog.x, dialog.y, dialog.cx, dialog.cy);
    LPCWSTR class_name =
        dialog.window_class.present ? NameArgument(dialog.window_class) : DIALOG_CLASS_NAME;
    LPCWSTR title =
        dialog.title.present && !dialog.title.is_ordinal ? dialog.title.text.c_str() : u"";
    // Shown once WM_INITDIALOG has filled it, as Windows does.
    DWORD style = dialog.style & ~static_cast<DWORD>(WS_VISIBLE);
    HWND window = CreateWindowExW(dialog.ex_style, class_name, title, style, place.left, place.top,
                                  place.right - place.left, place.bottom - place.top, owner,
                                  nullptr, instance, nullptr);
    if (window == nullptr) return nullptr;
    SetWindowLongPtrW(window, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(procedure));
    for (const DialogItemTemplate& item : dialog.items) {
        if (!CreateControl(window, instance, units, item) &&
            (dialog.style & DS_NOFAILCREATE) == 0) {
            DestroyWindow(window);
            return nullptr;
        }
    }
    return window;
}

bool Accepts(HWND control, WNDPROC kind) {
    return control != nullptr &&
           GetWindowLongPtrW(control, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(kind) &&
           (GetWindowLongW(control, GWL_STYLE) & static_cast<LONG>(WS_DISABLED)) == 0;
}

// Performs the next action on the dialog. False, with the action left queued, when it cannot
// be performed there.
bool PerformNextAction(HWND dialog) {
    const PersonAction* next = PeekAction();
    if (next == nullptr) return false;
    PersonAction action = *next;
    HWND control = GetDlgItem(dialog, action.id);
    switch (action.kind) {
        case ActionKind::TypeText:
            if (!Accepts(control, EditWindowProc)) return false;
            PopAction();
            return PersonTypesText(control, action.text);
        case ActionKind::ChooseComboIndex:
        case ActionKind::ChooseComboText: {
            if (!Accepts(control, ComboBoxWindowProc)) return false;
            LRESULT index = action.number;
            if (action.kind == ActionKind::ChooseComboText) {
                index = SendMessageW(control, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(action.text.c_str()));
            }
            if (index < 0 || index >= SendMessageW(control, CB_GETCOUNT, 0, 0)) return false;
            PopAction();
            return PersonChoosesComboEntry(control, static_cast<int>(index));
        }
        case ActionKind::PressButton:
            if (Accepts(control, ButtonWindowProc)) {
                PopAction();
                return PersonClicksButton(control);
            }
            // Enter and Escape, and the title bar's OK button, without a button of that id.
            if (control == nullptr && (action.id == IDOK || action.id == IDCANCEL)) {
                PopAction();
                SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(action.id, BN_CLICKED), 0);
                return true;
            }
            return false;
        case ActionKind::AnswerMessageBox:
        case ActionKind::ChooseFile:
        case ActionKind::CancelFile:
            return false;  // no message box or file-open dialog is open
    }
    return false;
}

HWND FirstTabStop(HWND dialog) {
    Window* window = LookupWindow(dialog);
    if (window == nullptr) return nullptr;
    for (HWND child : window->children) {
        LONG style = GetWindowLongW(child, GWL_STYLE);
        if ((style & static_cast<LONG>(WS_TABSTOP)) != 0 &&
            (style & static_cast<LONG>(WS_DISABLED)) == 0) {
            return child;
        }
    }
    return nullptr;
}

INT_PTR RunDialog(HINSTANCE instance, const DialogTemplate& dialog, HWND owner, DLGPROC procedure,
                  LPARAM param) {
    EnterModalDialog();
    HWND window = nullptr;
    if (EnsureControlClasses()) window = CreateDialogWindow(instance, dialog, owner, procedure);
    if (window == nullptr) {
        LeaveModalDialog(false);
        return -1;
    }
    DialogRecord record;
    RunningDialogs()[window] = &record;
    SendMessageW(window, WM_INITDIALOG, reinterpret_cast<WPARAM>(FirstTabStop(window)), param);
    if (!record.ended && IsWindow(window) && (dialog.style & WS_VISIBLE) != 0) {
        ShowWindow(window, SW_SHOW);
    }
    while (!record.ended && !ModalStuck() && IsWindow(window)) {
        if (!PerformNextAction(window)) break;
    }
    RunningDialogs().erase(window);
    bool stayed_open = !record.ended && IsWindow(window);
    if (IsWindow(window)) DestroyWindow(window);
    LeaveModalDialog(stayed_open);
    return record.ended ? record.result : -1;
}

INT_PTR DialogFromBytes(HINSTANCE instance, const void* bytes, size_t size, HWND owner,
                        DLGPROC procedure, LPARAM param) {
    DialogTemplate dialog;
    if (!ParseDialogTemplate(static_cast<const uint8_t*>(bytes), size, &dialog)) {
        SetLastError(ERROR_INVALID_DATA);
        RecordDialogOutcome(false);
        return -1;
    }
    return RunDialog(instance, dialog, owner, procedure, param);
}

}  // namespace

extern "C" {

WIN32LAYER_API INT_PTR WINAPI DialogBoxParamW(HINSTANCE instance, LPCWSTR name, HWND owner,
                                              DLGPROC procedure, LPARAM param) {
    if (FaultPlanFails(WIN32LAYER_FAULT_DIALOG_BOX)) {
        RecordDialogOutcome(false);
        return -1;
    }
    HRSRC resource = FindResourceW(instance, name, RT_DIALOG);
    HGLOBAL loaded = resource != nullptr ? LoadResource(instance, resource) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        RecordDialogOutcome(false);
        return -1;
    }
    return DialogFromBytes(instance, bytes, SizeofResource(instance, resource), owner, procedure,
                           param);
}

WIN32LAYER_API INT_PTR Win32LayerDialogBoxFromBytes(HINSTANCE instance, const void* bytes,
                                                    size_t size, HWND owner, DLGPROC procedure,
                                                    LPARAM param) {
    if (bytes == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        RecordDialogOutcome(false);
        return -1;
    }
    return DialogFromBytes(instance, bytes, size, owner, procedure, param);
}

WIN32LAYER_API BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
    DialogRecord* record = FindDialog(dialog);
    if (record == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    record->ended = true;
    record->result = result;
    ShowWindow(dialog, SW_HIDE);
    return TRUE;
}

WIN32LAYER_API LRESULT WINAPI DefDlgProcW(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    auto procedure = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(dialog, DWLP_DLGPROC));
    INT_PTR handled = 0;
    if (procedure != nullptr) {
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 0);
        handled = procedure(dialog, message, wparam, lparam);
    }
    if (handled != 0) {
        // These answers are the procedure's own result; the others come from DWLP_MSGRESULT.
        if (message == WM_INITDIALOG) return handled;
        return IsWindow(dialog) ? GetWindowLongPtrW(dialog, DWLP_MSGRESULT) : 0;
    }
    if (!IsWindow(dialog)) return 0;
    switch (message) {
        case WM_INITDIALOG:
            return 0;
        case WM_CLOSE:
            // Closing a dialog is its Cancel command.
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            return 0;
        default:
            return DefWindowProcW(dialog, message, wparam, lparam);
    }
}

}  // extern "C"
