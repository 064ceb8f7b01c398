// The layer's services for a host program, beside the Win32 subset: the emulated screen, where
// the registry database lives, and read-back of what was drawn, for the host's picture writer.
// Code of varnel and lumetta never calls these; they do not exist on Windows.
#pragma once

#include "win32/base.h"

extern "C" {
// The emulated screen, 240 x 320 pixels unless set otherwise; sizes below 1 are ignored.
WIN32LAYER_API void Win32LayerSetScreenSize(int width, int height);

// The registry database file (UTF-8 path). Closes the database in use; the next registry call
// opens this one, creating its folder and the file when missing. Handles opened on the
// previous database stop working. Null returns to the default: the environment variable
// WIN32LAYER_REGISTRY, else $XDG_CONFIG_HOME/win32layer/registry.sqlite3, else
// ~/.config/win32layer/registry.sqlite3.
WIN32LAYER_API void Win32LayerSetRegistryPath(const char* utf8_path);

// Reads a bitmap's pixels as 32-bit values 0x00RRGGBB (bytes blue, green, red, 0), top row
// first, width x height of them. Stores the size; pixels may be null to query the size only.
// FALSE for a handle that is not a bitmap.
WIN32LAYER_API BOOL Win32LayerReadBitmap(HBITMAP bitmap, int* width, int* height, uint32_t* pixels);
// The same for what a window has painted into its off-screen surface (its client area).
// FALSE for a handle that is not a window; a window of empty size reads as 0 x 0.
WIN32LAYER_API BOOL Win32LayerReadWindow(HWND window, int* width, int* height, uint32_t* pixels);
}
