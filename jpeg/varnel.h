// varnel: a small baseline JPEG decoder. Its one export reads a JPEG file and returns a 24-bit
// bottom-up blue-green-red device-independent bitmap of the picture.
#pragma once

#include <windows.h>

#if defined(_WIN32)
#define VARNEL_API
#else
#define VARNEL_API __attribute__((visibility("default")))
#endif

extern "C" {
// Reads the JPEG file at `path` (NUL-terminated UTF-16) and returns a DIB section created for
// the window's device context: 24 bits per pixel, bottom-up rows of blue, green, red bytes,
// each row padded with zero bytes to a multiple of 4. The caller owns the bitmap and deletes it
// with DeleteObject. On success the picture's width and height are stored in `size` when it is
// not null; on failure the result is null and `size` is left as it was.
VARNEL_API HBITMAP WINAPI LoadJpeg(HWND window, const WCHAR* path, POINT* size);
}
