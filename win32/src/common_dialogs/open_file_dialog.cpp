// The file-open dialog, headless. A person's choice comes from the queued actions: a path typed
// into the name box, or Cancel. The dialog checks the choice as the real one does before it
// closes:
//  - a folder is opened, not chosen: the dialog stays open for the next action;
//  - OFN_FILEMUSTEXIST refuses a file that does not exist, OFN_PATHMUSTEXIST a file whose
//    folder does not exist: the dialog tells the person and stays open;
//  - a full path that does not fit nMaxFile closes it with FNERR_BUFFERTOOSMALL.
// A name typed into the box is taken whatever the filter shows, as on Windows; the filter block
// is read pair by pair, and nFilterIndex reports the pair in use.
#include <deque>
#include <filesystem>
#include <string>
#include <system_error>

#include "dialog_actions.h"
#include "fault_plan.h"
#include "utf16_path.h"
#include "win32/common_dialogs.h"
#include "win32/kernel.h"
#include "win32/dialog_driver.h"

namespace {

thread_local DWORD extended_error = 0;

struct AskedDialog {
    HWND owner;
    DWORD struct_size;
    DWORD flags;
    bool has_filter;
    std::u16string filter;  // the whole block, its final NUL included
    DWORD filter_index;
    DWORD max_file;
    bool has_result;
    std::u16string result;
};

std::deque<AskedDialog>& AskedDialogs() {
    static std::deque<AskedDialog> dialogs;
    return dialogs;
}

// The filter block up to and including the NUL that ends it; the number of pairs it holds.
std::u16string FilterBlock(LPCWSTR filter, DWORD* pairs) {
    std::u16string block;
    *pairs = 0;
    if (filter == nullptr) return block;
    const WCHAR* p = filter;
    int strings = 0;
    while (*p != 0) {
        std::u16string text = p;
        block += text;
        block.push_back(0);
        p += text.size() + 1;
        ++strings;
    }
    block.push_back(0);
    *pairs = static_cast<DWORD>(strings / 2);
    return block;
}

// The chosen name as a full, normalised path; false when it cannot be converted.
bool FullPath(const std::u16string& chosen, LPCWSTR initial_folder, std::u16string* out) {
    std::string linux_path;
    if (!WindowsPathToLinux(chosen.c_str(), &linux_path) || linux_path.empty()) return false;
    std::filesystem::path path(linux_path);
    if (path.is_relative()) {
        std::string folder;
        std::error_code failure;
        std::filesystem::path base = initial_folder != nullptr && initial_folder[0] != 0 &&
                                             WindowsPathToLinux(initial_folder, &folder)
                                         ? std::filesystem::path(folder)
                                         : std::filesystem::current_path(failure);
        if (failure) return false;
        path = base / path;
    }
    return Utf8ToUtf16(path.lexically_normal().string(), out);
}

enum class Choice { Accepted, Refused, Unusable };

Choice CheckChoice(const std::u16string& full, DWORD flags) {
    DWORD attributes = GetFileAttributesW(full.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return Choice::Refused;  // the dialog opens the folder
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if ((flags & OFN_FILEMUSTEXIST) != 0) return Choice::Refused;
        if ((flags & OFN_PATHMUSTEXIST) != 0) {
            size_t slash = full.find_last_of(u'/');
            std::u16string folder = slash == 0 ? u"/" : full.substr(0, slash);
            DWORD folder_attributes = GetFileAttributesW(folder.c_str());
            if (folder_attributes == INVALID_FILE_ATTRIBUTES ||
                (folder_attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                return Choice::Refused;
            }
        }
    }
    return Choice::Accepted;
}

// Writes the accepted path into the record. False (with the extended error) when it does not
// fit.
bool ReturnPath(LPOPENFILENAMEW record, const std::u16string& full) {
    if (full.size() + 1 > record->nMaxFile) {
        // The capacity needed, in characters, in the buffer's first character.
        if (record->nMaxFile >= 1) {
            record->lpstrFile[0] =
                static_cast<WCHAR>(full.size() + 1 > 0xFFFF ? 0xFFFF : full.size() + 1);
        }
        extended_error = FNERR_BUFFERTOOSMALL;
        return false;
    }
    size_t slash = full.find_last_of(u'/');
    size_t name = slash == std::u16string::npos ? 0 : slash + 1;
    size_t dot = full.find_last_of(u'.');
    std::u16string title = full.substr(name);
    if (record->lpstrFileTitle != nullptr && record->nMaxFileTitle > 0) {
        if (title.size() + 1 > record->nMaxFileTitle) {
            extended_error = FNERR_BUFFERTOOSMALL;
            return false;
        }
        title.copy(record->lpstrFileTitle, title.size());
        record->lpstrFileTitle[title.size()] = 0;
    }
    full.copy(record->lpstrFile, full.size());
    record->lpstrFile[full.size()] = 0;
    record->nFileOffset = static_cast<WORD>(name);
    record->nFileExtension =
        dot != std::u16string::npos && dot > name ? static_cast<WORD>(dot + 1) : 0;
    return true;
}

}  // namespace

extern "C" {

WIN32LAYER_API BOOL WINAPI GetOpenFileNameW(LPOPENFILENAMEW record) {
    extended_error = 0;
    if (record == nullptr) {
        extended_error = CDERR_INITIALIZATION;
        return FALSE;
    }
    AskedDialog asked{record->hwndOwner, record->lStructSize, 0, false, {}, 0, 0, false, {}};
    if (record->lStructSize != sizeof(OPENFILENAMEW)) {
        AskedDialogs().push_back(std::move(asked));
        extended_error = CDERR_STRUCTSIZE;
        return FALSE;
    }
    asked.flags = record->Flags;
    asked.has_filter = record->lpstrFilter != nullptr;
    DWORD pairs = 0;
    asked.filter = FilterBlock(record->lpstrFilter, &pairs);
    asked.filter_index = record->nFilterIndex;
    asked.max_file = record->nMaxFile;
    AskedDialogs().push_back(std::move(asked));
    if (FaultPlanFails(WIN32LAYER_FAULT_GET_OPEN_FILE_NAME)) {
        extended_error = FaultPointError(WIN32LAYER_FAULT_GET_OPEN_FILE_NAME);
        return FALSE;
    }
    if (record->lpstrFile == nullptr) {
        extended_error = CDERR_INITIALIZATION;
        return FALSE;
    }
    bool custom = record->lpstrCustomFilter != nullptr && record->lpstrCustomFilter[0] != 0;
    if (pairs > 0 && (record->nFilterIndex > pairs || (record->nFilterIndex == 0 && !custom))) {
        record->nFilterIndex = 1;
    }

    for (;;) {
        const PersonAction* next = PeekAction();
        if (next == nullptr ||
            (next->kind != ActionKind::ChooseFile && next->kind != ActionKind::CancelFile)) {
            MarkModalStuck();  // the dialog stays open
            return FALSE;
        }
        PersonAction action = *next;
        PopAction();
        if (action.kind == ActionKind::CancelFile) return FALSE;
        std::u16string full;
        if (!FullPath(action.text, record->lpstrInitialDir, &full)) continue;
        if (CheckChoice(full, record->Flags) != Choice::Accepted) continue;
        if (!ReturnPath(record, full)) return FALSE;
        AskedDialogs().back().has_result = true;
        AskedDialogs().back().result = full;
        return TRUE;
    }
}

WIN32LAYER_API DWORD WINAPI CommDlgExtendedError() {
    return extended_error;
}

WIN32LAYER_API int Win32LayerOpenFileDialogCount() {
    return static_cast<int>(AskedDialogs().size());
}

WIN32LAYER_API BOOL Win32LayerGetOpenFileDialog(int index, Win32LayerOpenFileDialog* dialog) {
    auto& dialogs = AskedDialogs();
    if (dialog == nullptr || index < 0 || static_cast<size_t>(index) >= dialogs.size())
        return FALSE;
    const AskedDialog& asked = dialogs[static_cast<size_t>(index)];
    dialog->owner = asked.owner;
    dialog->struct_size = asked.struct_size;
    dialog->flags = asked.flags;
    dialog->filter = asked.has_filter ? asked.filter.c_str() : nullptr;
    dialog->filter_chars = static_cast<DWORD>(asked.filter.size());
    dialog->filter_index = asked.filter_index;
    dialog->max_file = asked.max_file;
    dialog->result = asked.has_result ? asked.result.c_str() : nullptr;
    return TRUE;
}

WIN32LAYER_API void Win32LayerClearOpenFileDialogs() {
    AskedDialogs().clear();
}

}  // extern "C"
