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
