// What only the Pocket PC platform has, beside <windows.h>: the Today host's item record and
// messages, the shell's dialog initialisation and its bitmap file loader. One header for both
// platforms: on Linux <windows.h> is the layer's and the shim is built into the layer's library;
// on Windows it is the system's and the shim is the static library pocketpc_shim.
#pragma once

#include <windows.h>

// The layer marks its exports with this; the Windows shim is a static library and exports
// nothing.
#ifndef WIN32LAYER_API
#define WIN32LAYER_API
#endif

// The Today host's record for one item, passed to the item's initialisation export (ordinal
// 240). The host owns it; the item reads szName and fEnabled and writes cyp, szDLLPath,
// hinstDLL and hwndCustom during the call.
#define MAX_ITEMNAME 32

typedef enum _TODAY_TYPE {
    tlitOwnerInfo = 0,
    tlitAppointments,
    tlitMail,
    tlitTasks,
    tlitCustom,
    tlitNil
} TODAY_TYPE;

typedef struct _TODAYLISTITEM {
    WCHAR szName[MAX_ITEMNAME];  // the item's name, used as its window title
    TODAY_TYPE tlit;             // kind of item: tlitCustom for a plug-in
    DWORD dwOrder;               // position in the host's list
    DWORD cyp;                   // written by the item: its height in pixels
    BOOL fEnabled;               // zero: the item must not create a window
    BOOL fOptions;               // the item has an options dialog
    DWORD grfFlags;              // flags from the item's registration
    WCHAR szDLLPath[MAX_PATH];   // written by the item: the full path of its library
    HINSTANCE hinstDLL;          // written by the item: its instance handle
    HWND hwndCustom;             // written by the item: its window
    BOOL fSizeOnDraw;            // the host asks the item's height at every paint
    BYTE* prgbCachedData;        // the host's cache for the item
    DWORD cbCachedData;
} TODAYLISTITEM, *PTODAYLISTITEM;

// The item's exports, by ordinal.
#define ORDINAL_INITIALIZEITEM 240
#define ORDINAL_OPTIONSDLGPROC 241
typedef HWND(WINAPI* PFNCUSTOMINITIALIZEITEM)(TODAYLISTITEM* item, HWND host);

// Messages that the Today host sends to an item window (WM_USER + 242 and + 243).
#define WM_TODAYCUSTOM_CLEARCACHE 0x04F2
#define WM_TODAYCUSTOM_QUERYREFRESHCACHE 0x04F3

// Shell dialog initialisation (SHInitDialog).
#define SHIDIM_FLAGS 0x0001

#define SHIDIF_DONEBUTTON 0x0001
#define SHIDIF_SIZEDLG 0x0002
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
#define SHIDIF_SIPDOWN 0x0008
#define SHIDIF_FULLSCREENNOMENUBAR 0x0010

typedef struct tagSHINITDLGINFO {
    DWORD dwMask;   // which members are valid: SHIDIM_FLAGS
    HWND hDlg;      // the dialog
    DWORD dwFlags;  // SHIDIF_ flags
} SHINITDLGINFO, *PSHINITDLGINFO;

extern "C" {
// Sizes the dialog as its flags ask: SHIDIF_SIZEDLG, SHIDIF_SIZEDLGFULLSCREEN and
// SHIDIF_FULLSCREENNOMENUBAR make it as large as the screen (the emulated one on Linux). The
// Done button (SHIDIF_DONEBUTTON: the title bar's OK, which sends IDOK) and the lowered input
// panel have no desktop counterpart; on Linux the layer records them for the host and tests
// (Win32LayerLastShInitDialog). FALSE for a null record, an unknown mask or a dialog that is
// not a window.
WIN32LAYER_API BOOL WINAPI SHInitDialog(PSHINITDLGINFO info);

// The shell's bitmap file loader: reads a Windows bitmap file (1, 4, 8, 16, 24 or 32 bits per
// pixel; uncompressed, bit fields or run-length encoded; bottom-up or top-down) into a bottom-up
// DIB section of 24 bits per pixel (32 when the file has an alpha mask) that the caller deletes.
// Null when the file cannot be read or is not a bitmap file this loader reads.
WIN32LAYER_API HBITMAP WINAPI SHLoadDIBitmap(LPCWSTR path);
}
