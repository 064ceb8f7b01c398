/* SPDX-License-Identifier: MIT */
/* varnel: a small baseline JPEG decoder. Its one export reads a JPEG file and returns a 24-bit
 * bottom-up blue-green-red device-independent bitmap of the picture.
 *
 * This is the header for programs that call varnel, in C (C89 and later) or C++. The types come
 * from the platform: <windows.h> on Windows; on Linux the Win32-subset layer's base and GDI
 * headers, installed beside this one, which also declare GetObjectW and DeleteObject for the
 * returned bitmap. Link with varnel (and on Linux with the layer: pkg-config varnel, or CMake's
 * varnel::varnel). */
#ifndef VARNEL_H
#define VARNEL_H

#if defined(_WIN32)
#include <windows.h>
#else
#include "win32/base.h"
#include "win32/gdi.h"
#endif

/* VARNEL_API: how the declaration meets the library. On Windows a caller may define
 * VARNEL_DLLIMPORT to declare LoadJpeg __declspec(dllimport), as the system's own headers do
 * (one indirect call through the import table; both import libraries support it), and the
 * library itself defines nothing. On Linux the build of the library exports it by name. */
#if defined(_WIN32)
#if defined(VARNEL_DLLIMPORT)
#define VARNEL_API __declspec(dllimport)
#else
#define VARNEL_API
#endif
#else
#define VARNEL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Reads the JPEG file at `path` (NUL-terminated UTF-16) and returns a DIB section created for
 * the window's device context: 24 bits per pixel, bottom-up rows of blue, green, red bytes,
 * each row padded with zero bytes to a multiple of 4. The caller owns the bitmap and deletes it
 * with DeleteObject. On success the picture's width and height are stored in `size` when it is
 * not null; on failure the result is null and `size` is left as it was. */
VARNEL_API HBITMAP WINAPI LoadJpeg(HWND window, const WCHAR* path, POINT* size);

#ifdef __cplusplus
}
#endif

#endif /* VARNEL_H */
