// The layer's probes for tests, beside the Win32 subset: counts of what is alive, the record of
// the last SHInitDialog call, and a modal dialog from a template in memory. Code of varnel and
// lumetta never calls these; they do not exist on Windows.
#pragma once

#include "win32/base.h"
#include "win32/dialogs.h"
#include "win32/handle_kinds.h"

extern "C" {
// Live, non-stock handles of one kind (a WIN32LAYER_KIND_ value); -1 for an unknown kind.
WIN32LAYER_API int Win32LayerLiveHandleCount(int kind);
// Blocks of the local heap (LocalAlloc) not yet freed.
WIN32LAYER_API int Win32LayerLiveLocalBlockCount();

// The last SHInitDialog call's record: mask and flags. FALSE before any call.
WIN32LAYER_API BOOL Win32LayerLastShInitDialog(HWND* dialog, DWORD* mask, DWORD* flags);

// A modal dialog from a template in memory of `size` bytes, as DialogBoxParamW runs one from a
// resource; the template is checked against its size.
WIN32LAYER_API INT_PTR Win32LayerDialogBoxFromBytes(HINSTANCE instance, const void* bytes,
                                                    size_t size, HWND owner, DLGPROC procedure,
                                                    LPARAM param);
}
