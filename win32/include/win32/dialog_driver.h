// The layer's dialog driver, beside the Win32 subset: the actions of a person that the host or a
// test queues for the headless dialogs, and the records of the message boxes and file-open
// dialogs that they met. Code of varnel and lumetta never calls these; they do not exist on
// Windows (where the host drives a real dialog with window messages).
#pragma once

#include "win32/base.h"
#include "win32/dialogs.h"

// A person's actions for the modal dialogs, message boxes and file-open dialogs that follow,
// queued by the host or a test beforehand and taken in order. A dialog performs the actions
// meant for it until it ends; a message box or file-open dialog takes the next action when it
// is an answer for it. When the next action does not fit (none left, another kind, a control
// that is missing or disabled, an entry that does not exist), the dialog or box stays open:
// DialogBoxParamW returns -1 and Win32LayerDialogStayedOpen says so; the action stays queued.
extern "C" {
// Selects the whole text of control `id`, deletes it, and types `text` one UTF-16 unit at a
// time (WM_CHAR), so that the control's rules (edit limit, digits only) meet each character.
WIN32LAYER_API void Win32LayerQueueTypeText(int id, LPCWSTR text);
// Opens combo box `id` and chooses the entry at `index` / the entry whose text is `text`.
WIN32LAYER_API void Win32LayerQueueChooseComboIndex(int id, int index);
WIN32LAYER_API void Win32LayerQueueChooseComboText(int id, LPCWSTR text);
// Presses button `id`. IDOK and IDCANCEL without such a button act as the Enter and Escape
// keys (and the title bar's OK button): WM_COMMAND with the id and no control.
WIN32LAYER_API void Win32LayerQueuePressButton(int id);
// Answers the next message box with the button `answer` (IDOK, IDCANCEL, IDYES, ...); an
// answer the box does not offer leaves it open.
WIN32LAYER_API void Win32LayerQueueAnswerMessageBox(int answer);
// Chooses `path` in the next file-open dialog by typing it into the name box; null cancels the
// dialog. A choice the dialog refuses (OFN_FILEMUSTEXIST, OFN_PATHMUSTEXIST) keeps it open for
// the next action.
WIN32LAYER_API void Win32LayerQueueChooseFile(LPCWSTR path);
WIN32LAYER_API void Win32LayerClearActions();
WIN32LAYER_API int Win32LayerPendingActionCount();
// Whether the last modal dialog to return ran out of actions while still open.
WIN32LAYER_API BOOL Win32LayerDialogStayedOpen();

// What the message boxes showed, in order, since the record was last cleared. The texts stay
// valid until Win32LayerClearMessageBoxes.
struct Win32LayerMessageBox {
    HWND owner;
    LPCWSTR text;
    LPCWSTR caption;       // as shown: the default "Error" when the caller gave none
    BOOL default_caption;  // the caller passed a null caption
    UINT type;             // MB_ flags as passed
    int answer;            // the button pressed; 0 when the box stayed open
};
WIN32LAYER_API int Win32LayerMessageBoxCount();
WIN32LAYER_API BOOL Win32LayerGetMessageBox(int index, Win32LayerMessageBox* box);
WIN32LAYER_API void Win32LayerClearMessageBoxes();

// What the file-open dialogs were asked, in order, since the record was last cleared. The
// filter is the whole block, pairs and final NUL included; texts stay valid until cleared.
struct Win32LayerOpenFileDialog {
    HWND owner;
    DWORD struct_size;
    DWORD flags;
    LPCWSTR filter;      // null when none was given
    DWORD filter_chars;  // characters of the block, the final NUL included
    DWORD filter_index;  // as passed
    DWORD max_file;
    LPCWSTR result;  // the path returned; null when cancelled or failed
};
WIN32LAYER_API int Win32LayerOpenFileDialogCount();
WIN32LAYER_API BOOL Win32LayerGetOpenFileDialog(int index, Win32LayerOpenFileDialog* dialog);
WIN32LAYER_API void Win32LayerClearOpenFileDialogs();
}
