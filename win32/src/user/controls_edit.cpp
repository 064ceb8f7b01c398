// The EDIT class, single-line. The text lives in the window (WM_SETTEXT, WM_GETTEXT of the
// default procedure); the control keeps its selection and its limit.
//
// Typed characters (WM_CHAR) replace the selection and meet the control's rules as a person's
// typing does: a character that would make the text longer than the limit is dropped
// (EN_MAXTEXT), and under ES_NUMBER anything but the digits 0 to 9 is refused. Text set by the
// program (WM_SETTEXT, SetWindowText, SetDlgItemText) is not limited, as on Windows.
#include <algorithm>
#include <new>

#include "controls.h"

namespace {

// The limit of a new single-line edit control, and the one that EM_LIMITTEXT 0 sets.
constexpr UINT kDefaultLimit = 30000;
constexpr UINT kMaximumLimit = 0x7FFFFFFE;

struct EditState {
    UINT limit = kDefaultLimit;
    size_t selection_start = 0;  // the selection, start <= end; the caret is at its end
    size_t selection_end = 0;
};

EditState* State(HWND window) {
    return reinterpret_cast<EditState*>(GetWindowLongPtrW(window, 0));
}

std::u16string Text(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied));
    return text;
}

// Replaces the text without the edit control's own WM_SETTEXT handling (which resets the
// selection and is the program's way in).
void StoreText(HWND window, const std::u16string& text) {
    DefWindowProcW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void ClampSelection(EditState& state, size_t length) {
    state.selection_start = std::min(state.selection_start, length);
    state.selection_end = std::min(state.selection_end, length);
}

void Changed(HWND window) {
    NotifyParent(window, EN_UPDATE);
    NotifyParent(window, EN_CHANGE);
}

// Replaces the selection with `inserted`, as much of it as the limit lets in when `limited`.
// Returns false when the limit dropped any of it.
bool ReplaceSelection(HWND window, EditState& state, std::u16string inserted, bool limited) {
    std::u16string text = Text(window);
    ClampSelection(state, text.size());
    size_t kept = text.size() - (state.selection_end - state.selection_start);
    bool fits = true;
    if (limited && kept + inserted.size() > state.limit) {
        size_t room = state.limit > kept ? state.limit - kept : 0;
        inserted.resize(room);
        fits = false;
    }
    if (inserted.empty() && state.selection_start == state.selection_end) return fits;
    text.replace(state.selection_start, state.selection_end - state.selection_start, inserted);
    state.selection_start += inserted.size();
    state.selection_end = state.selection_start;
    StoreText(window, text);
    Changed(window);
    return fits;
}

// Backspace or Delete: the selection, or else the character before or after the caret.
void DeleteAtCaret(HWND window, EditState& state, bool backward) {
    size_t length = Text(window).size();
    ClampSelection(state, length);
    if (state.selection_start == state.selection_end) {
        if (backward) {
            if (state.selection_start == 0) return;
            --state.selection_start;
        } else {
            if (state.selection_end == length) return;
            ++state.selection_end;
        }
    }
    ReplaceSelection(window, state, std::u16string(), false);
}

void TypeCharacter(HWND window, EditState& state, char16_t c) {
    DWORD style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
    if ((style & ES_READONLY) != 0) return;
    if (c == VK_BACK) {
        DeleteAtCaret(window, state, true);
        return;
    }
    if (c < 0x20) return;  // Enter, Tab and Escape belong to the dialog
    if ((style & ES_NUMBER) != 0 && (c < u'0' || c > u'9')) return;
    if ((style & ES_UPPERCASE) != 0 && c >= u'a' && c <= u'z') c = c - u'a' + u'A';
    if ((style & ES_LOWERCASE) != 0 && c >= u'A' && c <= u'Z') c = c - u'A' + u'a';
    if (!ReplaceSelection(window, state, std::u16string(1, c), true)) {
        NotifyParent(window, EN_MAXTEXT);
    }
}

}  // namespace

LRESULT CALLBACK EditWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    EditState* state = State(window);
    switch (message) {
        case WM_NCCREATE: {
            state = new (std::nothrow) EditState;
            if (state == nullptr) return FALSE;
            SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(state));
            return DefWindowProcW(window, message, wparam, lparam);
        }
        case WM_NCDESTROY:
            SetWindowLongPtrW(window, 0, 0);
            delete state;
            return 0;
        default:
            break;
    }
    if (state == nullptr) return DefWindowProcW(window, message, wparam, lparam);
    switch (message) {
        case WM_SETTEXT: {
            LRESULT result = DefWindowProcW(window, message, wparam, lparam);
            state->selection_start = state->selection_end = 0;
            Changed(window);
            return result;
        }
        case WM_CHAR:
            TypeCharacter(window, *state, static_cast<char16_t>(wparam));
            return 0;
        case WM_KEYDOWN:
            if (wparam == VK_DELETE &&
                (GetWindowLongW(window, GWL_STYLE) & static_cast<LONG>(ES_READONLY)) == 0) {
                DeleteAtCaret(window, *state, false);
            }
            return 0;
        case EM_SETSEL: {
            // A start of -1 removes the selection; an end of -1 reaches the end of the text.
            size_t length = Text(window).size();
            auto start = static_cast<INT_PTR>(wparam);
            INT_PTR end = lparam;
            if (start == -1) {
                ClampSelection(*state, length);
                state->selection_start = state->selection_end;
                return 0;
            }
            auto place = [length](INT_PTR at) {
                return at < 0 || static_cast<size_t>(at) > length ? length
                                                                  : static_cast<size_t>(at);
            };
            size_t from = place(start);
            size_t to = place(end);
            state->selection_start = std::min(from, to);
            state->selection_end = std::max(from, to);
            return 0;
        }
        case EM_GETSEL: {
            ClampSelection(*state, Text(window).size());
            auto start = static_cast<DWORD>(state->selection_start);
            auto end = static_cast<DWORD>(state->selection_end);
            if (wparam != 0) *reinterpret_cast<DWORD*>(wparam) = start;
            if (lparam != 0) *reinterpret_cast<DWORD*>(lparam) = end;
            return static_cast<LRESULT>(static_cast<DWORD>(MAKELONG(start, end)));
        }
        case EM_REPLACESEL: {
            const auto* inserted = reinterpret_cast<LPCWSTR>(lparam);
            ReplaceSelection(window, *state, inserted != nullptr ? inserted : u"", true);
            return 0;
        }
        case EM_LIMITTEXT:
            state->limit =
                wparam == 0 || wparam > kMaximumLimit ? kMaximumLimit : static_cast<UINT>(wparam);
            return 0;
        case EM_GETLIMITTEXT:
            return static_cast<LRESULT>(state->limit);
        default:
            return DefWindowProcW(window, message, wparam, lparam);
    }
}

bool PersonTypesText(HWND control, const std::u16string& text) {
    if (GetWindowLongPtrW(control, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(EditWindowProc))
        return false;
    if ((GetWindowLongW(control, GWL_STYLE) & static_cast<LONG>(WS_DISABLED)) != 0) return false;
    SendMessageW(control, EM_SETSEL, 0, -1);
    SendMessageW(control, WM_KEYDOWN, VK_DELETE, 0);
    for (char16_t c : text) SendMessageW(control, WM_CHAR, c, 0);
    return true;
}
