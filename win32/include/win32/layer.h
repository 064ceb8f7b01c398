// The layer's own interface, beside the Win32 subset: live-object counts for tests, the
// emulated screen, and read-back of what was drawn, for the host's picture writer. Code of
// varnel and lumetta never calls these; they do not exist on Windows.
#pragma once

#include "win32/base.h"

extern "C" {
// Live, non-stock handles of one kind (the layer's internal HandleKind as int: 0 files,
// 1 bitmaps, 2 memory DCs, 3 window DCs, 4 brushes, 5 windows, 6 registry keys, 7 modules);
// -1 for an unknown kind.
WIN32LAYER_API int Win32LayerLiveHandleCount(int kind);
// Blocks of the local heap (LocalAlloc) not yet freed.
WIN32LAYER_API int Win32LayerLiveLocalBlockCount();

// The emulated screen, 240 x 320 pixels unless set otherwise; sizes below 1 are ignored.
WIN32LAYER_API void Win32LayerSetScreenSize(int width, int height);

// Reads a bitmap's pixels as 32-bit values 0x00RRGGBB (bytes blue, green, red, 0), top row
// first, width x height of them. Stores the size; pixels may be null to query the size only.
// FALSE for a handle that is not a bitmap.
WIN32LAYER_API BOOL Win32LayerReadBitmap(HBITMAP bitmap, int* width, int* height, uint32_t* pixels);
// The same for what a window has painted into its off-screen surface (its client area).
// FALSE for a handle that is not a window; a window of empty size reads as 0 x 0.
WIN32LAYER_API BOOL Win32LayerReadWindow(HWND window, int* width, int* height, uint32_t* pixels);
}

// Values of Win32LayerLiveHandleCount's kind.
#define WIN32LAYER_KIND_FILE 0
#define WIN32LAYER_KIND_BITMAP 1
#define WIN32LAYER_KIND_MEMORY_DC 2
#define WIN32LAYER_KIND_WINDOW_DC 3
#define WIN32LAYER_KIND_BRUSH 4
#define WIN32LAYER_KIND_WINDOW 5
#define WIN32LAYER_KIND_REGISTRY_KEY 6
#define WIN32LAYER_KIND_MODULE 7

extern "C" {
// The registry database file (UTF-8 path). Closes the database in use; the next registry call
// opens this one, creating its folder and the file when missing. Handles opened on the
// previous database stop working. Null returns to the default: the environment variable
// WIN32LAYER_REGISTRY, else $XDG_CONFIG_HOME/win32layer/registry.sqlite3, else
// ~/.config/win32layer/registry.sqlite3.
WIN32LAYER_API void Win32LayerSetRegistryPath(const char* utf8_path);
}

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

// The last SHInitDialog call's record: mask and flags. FALSE before any call.
WIN32LAYER_API BOOL Win32LayerLastShInitDialog(HWND* dialog, DWORD* mask, DWORD* flags);

// A modal dialog from a template in memory of `size` bytes, as DialogBoxParamW runs one from a
// resource; the template is checked against its size.
WIN32LAYER_API INT_PTR Win32LayerDialogBoxFromBytes(HINSTANCE instance, const void* bytes,
                                                    size_t size, HWND owner, DLGPROC procedure,
                                                    LPARAM param);
}
