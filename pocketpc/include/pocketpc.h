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

#ifdef _WIN32
// Where desktop Windows answers otherwise than the device, the shim answers as the device does.
// Every file that includes this header on Windows calls these in place of the system's (the
// macros below), so the item draws and measures as on the device without a line of its own
// changed; on Linux the layer answers so itself.
//  - GetSystemMetrics: SM_CXSCREEN and SM_CYSCREEN are the emulated device's screen, which a
//    host names in the environment variable POCKETPC_SCREEN ("240x320"); without it (or with a
//    value that is not WIDTHxHEIGHT), the machine's screen. Other metrics are the system's.
//  - GetDC and CreateCompatibleDC: the context shrinks a picture by deleting lines
//    (COLORONCOLOR), the device's way, where the desktop's default (BLACKONWHITE) ANDs the
//    deleted lines into the kept ones and streaks colour pictures.
//  - StretchBlt: a source copy keeps the same lines as on the device and the layer: destination
//    pixel i of a row takes source pixel i * source_width / width (rows likewise), made of
//    unscaled one-pixel-wide copies; the desktop's own line deletion keeps others. Other raster
//    operations, mirrored or reversed extents and source rectangles outside the source bitmap go
//    to the system's StretchBlt (with the device's stretch mode).
#define POCKETPC_SCREEN_VARIABLE "POCKETPC_SCREEN"
extern "C" {
int WINAPI PocketPcGetSystemMetrics(int index);
HDC WINAPI PocketPcGetDC(HWND window);
HDC WINAPI PocketPcCreateCompatibleDC(HDC dc);
BOOL WINAPI PocketPcStretchBlt(HDC dest, int x, int y, int width, int height, HDC source,
                               int source_x, int source_y, int source_width, int source_height,
                               DWORD rop);
}
#ifndef POCKETPC_DEVICE_CALLS_SOURCE
#define GetSystemMetrics PocketPcGetSystemMetrics
#define GetDC PocketPcGetDC
#define CreateCompatibleDC PocketPcCreateCompatibleDC
#define StretchBlt PocketPcStretchBlt
#endif
#endif
