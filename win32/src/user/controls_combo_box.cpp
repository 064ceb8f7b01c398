// The COMBOBOX class with the semantics of a drop-down list (CBS_DROPDOWNLIST): a list of
// strings and at most one selected entry, whose text is the control's text. The program's
// CB_SETCURSEL sends no notification; a person's choice sends CBN_DROPDOWN, CBN_SELCHANGE,
// CBN_SELENDOK and CBN_CLOSEUP, as a choice made with the pointer does.
#include <cstring>
#include <new>
#include <vector>

#include "controls.h"
#include "fault_plan.h"

namespace {

struct ComboState {
    std::vector<std::u16string> entries;
    int selection = CB_ERR;
};

ComboState* State(HWND window) {
    return reinterpret_cast<ComboState*>(GetWindowLongPtrW(window, 0));
}

char16_t Fold(char16_t c) {
    return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c;
}

// Compares without regard to ASCII letter case, as list boxes do.
int Compare(const std::u16string& a, const std::u16string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        if (Fold(a[i]) != Fold(b[i])) return Fold(a[i]) < Fold(b[i]) ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool ValidIndex(const ComboState& state, WPARAM index) {
    return index < state.entries.size();
}

// The first entry from `start` + 1 onwards (wrapping round) that equals `text` (exact) or
// begins with it; CB_ERR when none does.
LRESULT Find(const ComboState& state, WPARAM start, LPCWSTR text, bool exact) {
    if (text == nullptr || state.entries.empty()) return CB_ERR;
    std::u16string wanted = text;
    size_t count = state.entries.size();
    size_t first = static_cast<INT_PTR>(start) < 0 || start >= count ? 0 : start + 1;
    for (size_t n = 0; n < count; ++n) {
        size_t i = (first + n) % count;
        const std::u16string& entry = state.entries[i];
        if (exact ? Compare(entry, wanted) == 0
                  : entry.size() >= wanted.size() &&
                        Compare(entry.substr(0, wanted.size()), wanted) == 0) {
            return static_cast<LRESULT>(i);
        }
    }
    return CB_ERR;
}

LRESULT Insert(ComboState& state, HWND window, size_t at, LPCWSTR text) {
    if (text == nullptr) text = u"";
    if ((GetWindowLongW(window, GWL_STYLE) & static_cast<LONG>(CBS_SORT)) != 0) {
        at = 0;
        while (at < state.entries.size() && Compare(state.entries[at], text) <= 0) ++at;
    }
    state.entries.insert(state.entries.begin() + static_cast<std::ptrdiff_t>(at), text);
    if (state.selection != CB_ERR && static_cast<size_t>(state.selection) >= at) ++state.selection;
    return static_cast<LRESULT>(at);
}

LRESULT CopyEntry(const ComboState& state, WPARAM index, LPARAM buffer) {
    if (!ValidIndex(state, index)) return CB_ERR;
    const std::u16string& entry = state.entries[index];
    if (buffer != 0) {
        auto* out = reinterpret_cast<LPWSTR>(buffer);
        std::memcpy(out, entry.c_str(), (entry.size() + 1) * sizeof(WCHAR));
    }
    return static_cast<LRESULT>(entry.size());
}

}  // namespace

LRESULT CALLBACK ComboBoxWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    ComboState* state = State(window);
    if (message == WM_NCCREATE) {
        state = new (std::nothrow) ComboState;
        if (state == nullptr) return FALSE;
        SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(state));
        return DefWindowProcW(window, message, wparam, lparam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, 0, 0);
        delete state;
        return 0;
    }
    if (state == nullptr) return DefWindowProcW(window, message, wparam, lparam);
    switch (message) {
        case CB_ADDSTRING:
            if (FaultPlanFails(WIN32LAYER_FAULT_COMBO_ADD_STRING)) return CB_ERRSPACE;
            return Insert(*state, window, state->entries.size(), reinterpret_cast<LPCWSTR>(lparam));
        case CB_INSERTSTRING: {
            auto at = static_cast<INT_PTR>(wparam);
            if (at == -1) at = static_cast<INT_PTR>(state->entries.size());
            if (at < 0 || static_cast<size_t>(at) > state->entries.size()) return CB_ERR;
            state->entries.insert(state->entries.begin() + at,
                                  lparam != 0 ? reinterpret_cast<LPCWSTR>(lparam) : u"");
            if (state->selection != CB_ERR && state->selection >= at) ++state->selection;
            return at;
        }
        case CB_DELETESTRING: {
            if (!ValidIndex(*state, wparam)) return CB_ERR;
            auto at = static_cast<int>(wparam);
            state->entries.erase(state->entries.begin() + at);
            if (state->selection == at) {
                state->selection = CB_ERR;
            } else if (state->selection > at) {
                --state->selection;
            }
            return static_cast<LRESULT>(state->entries.size());
        }
        case CB_RESETCONTENT:
            state->entries.clear();
            state->selection = CB_ERR;
            return CB_OKAY;
        case CB_GETCOUNT:
            return static_cast<LRESULT>(state->entries.size());
        case CB_SETCURSEL:
            // An index outside the list (-1 included) leaves nothing selected and answers CB_ERR.
            if (!ValidIndex(*state, wparam)) {
                state->selection = CB_ERR;
                return CB_ERR;
            }
            state->selection = static_cast<int>(wparam);
            return state->selection;
        case CB_GETCURSEL:
            return state->selection;
        case CB_GETLBTEXT:
            return CopyEntry(*state, wparam, lparam);
        case CB_GETLBTEXTLEN:
            return ValidIndex(*state, wparam) ? static_cast<LRESULT>(state->entries[wparam].size())
                                              : CB_ERR;
        case CB_FINDSTRING:
        case CB_FINDSTRINGEXACT:
            return Find(*state, wparam, reinterpret_cast<LPCWSTR>(lparam),
                        message == CB_FINDSTRINGEXACT);
        case CB_SELECTSTRING: {
            LRESULT found = Find(*state, wparam, reinterpret_cast<LPCWSTR>(lparam), false);
            if (found != CB_ERR) state->selection = static_cast<int>(found);
            return found;
        }
        case WM_GETTEXTLENGTH:
            return state->selection == CB_ERR
                       ? 0
                       : static_cast<LRESULT>(state->entries[state->selection].size());
        case WM_GETTEXT: {
            auto* buffer = reinterpret_cast<LPWSTR>(lparam);
            if (buffer == nullptr || wparam == 0) return 0;
            std::u16string text =
                state->selection == CB_ERR ? std::u16string() : state->entries[state->selection];
            size_t count = std::min(text.size(), static_cast<size_t>(wparam - 1));
            std::memcpy(buffer, text.data(), count * sizeof(WCHAR));
            buffer[count] = 0;
            return static_cast<LRESULT>(count);
        }
        case WM_SETTEXT: {
            // The text of a drop-down list is its selected entry: only an entry's text selects.
            LRESULT found =
                Find(*state, static_cast<WPARAM>(-1), reinterpret_cast<LPCWSTR>(lparam), true);
            if (found == CB_ERR) return CB_ERR;
            state->selection = static_cast<int>(found);
            return TRUE;
        }
        default:
            return DefWindowProcW(window, message, wparam, lparam);
    }
}

bool PersonChoosesComboEntry(HWND combo, int index) {
    if (GetWindowLongPtrW(combo, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(ComboBoxWindowProc))
        return false;
    if ((GetWindowLongW(combo, GWL_STYLE) & static_cast<LONG>(WS_DISABLED)) != 0) return false;
    ComboState* state = State(combo);
    if (state == nullptr || index < 0 || static_cast<size_t>(index) >= state->entries.size())
        return false;
    NotifyParent(combo, CBN_DROPDOWN);
    state = State(combo);
    if (state == nullptr || static_cast<size_t>(index) >= state->entries.size()) return false;
    state->selection = index;
    NotifyParent(combo, CBN_SELCHANGE);
    NotifyParent(combo, CBN_SELENDOK);
    NotifyParent(combo, CBN_CLOSEUP);
    return true;
}
