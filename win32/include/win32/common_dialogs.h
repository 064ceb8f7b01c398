// Common dialogs: the file-open dialog and its extended errors.
//
// OPENFILENAMEW has the layout of the Pocket PC platform's record (76 bytes on the 32-bit
// device; larger on a 64-bit build), without the reserved members that desktop Windows added
// later. GetOpenFileNameW wants lStructSize to be sizeof(OPENFILENAMEW).
#pragma once

#include "win32/base.h"

typedef UINT_PTR(CALLBACK* LPOFNHOOKPROC)(HWND, UINT, WPARAM, LPARAM);

struct OPENFILENAMEW {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCWSTR lpstrFilter;  // pairs of display text and patterns, each NUL-ended, then one NUL
    LPWSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;  // 1-based; 0: the custom filter, or the first pair without one
    LPWSTR lpstrFile;    // in: the initial file name; out: the chosen full path
    DWORD nMaxFile;      // lpstrFile's capacity in characters
    LPWSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCWSTR lpstrInitialDir;
    LPCWSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;     // out: where the file name starts in lpstrFile
    WORD nFileExtension;  // out: where the extension starts (after the '.'); 0 without one
    LPCWSTR lpstrDefExt;
    LPARAM lCustData;
    LPOFNHOOKPROC lpfnHook;
    LPCWSTR lpTemplateName;
};
typedef OPENFILENAMEW* LPOPENFILENAMEW;
static_assert(sizeof(void*) != 4 || sizeof(OPENFILENAMEW) == 76);

#define OFN_READONLY 0x00000001
#define OFN_OVERWRITEPROMPT 0x00000002
#define OFN_HIDEREADONLY 0x00000004
#define OFN_NOCHANGEDIR 0x00000008
#define OFN_SHOWHELP 0x00000010
#define OFN_ENABLEHOOK 0x00000020
#define OFN_ENABLETEMPLATE 0x00000040
#define OFN_ENABLETEMPLATEHANDLE 0x00000080
#define OFN_NOVALIDATE 0x00000100
#define OFN_ALLOWMULTISELECT 0x00000200
#define OFN_EXTENSIONDIFFERENT 0x00000400
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000
#define OFN_CREATEPROMPT 0x00002000
#define OFN_SHAREAWARE 0x00004000
#define OFN_NOREADONLYRETURN 0x00008000
#define OFN_NOTESTFILECREATE 0x00010000
#define OFN_EXPLORER 0x00080000

// CommDlgExtendedError.
#define CDERR_DIALOGFAILURE 0xFFFF
#define CDERR_STRUCTSIZE 0x0001
#define CDERR_INITIALIZATION 0x0002
#define FNERR_SUBCLASSFAILURE 0x3001
#define FNERR_INVALIDFILENAME 0x3002
#define FNERR_BUFFERTOOSMALL 0x3003

extern "C" {
// The file-open dialog. The person's choice (a path) or cancellation comes from the queued
// actions (win32/dialog_driver.h). Returns non-zero with the chosen full path in lpstrFile; zero
// when cancelled (CommDlgExtendedError 0) or on failure (CommDlgExtendedError says which). When the
// path does not fit nMaxFile, the first character of lpstrFile receives the capacity needed,
// in characters, and the error is FNERR_BUFFERTOOSMALL.
WIN32LAYER_API BOOL WINAPI GetOpenFileNameW(LPOPENFILENAMEW record);
// The error of the last common dialog call on this thread; 0 after success or cancellation.
WIN32LAYER_API DWORD WINAPI CommDlgExtendedError();
}

#define OPENFILENAME OPENFILENAMEW
#define LPOPENFILENAME LPOPENFILENAMEW
#define GetOpenFileName GetOpenFileNameW
