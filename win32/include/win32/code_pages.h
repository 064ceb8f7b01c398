// Conversion between UTF-16 and multi-byte text. Only the UTF-8 code page is supported.
#pragma once

#include "win32/base.h"

#define CP_ACP 0
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x00000008
#define ERROR_NO_UNICODE_TRANSLATION 1113L

extern "C" {
// As on Windows: a length of -1 converts through the terminator and counts it; a capacity of 0
// returns the size needed; too small a capacity fails with ERROR_INSUFFICIENT_BUFFER.
WIN32LAYER_API int WINAPI MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR text,
                                              int length, LPWSTR out, int capacity);
WIN32LAYER_API int WINAPI WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR text,
                                              int length, LPSTR out, int capacity,
                                              LPCSTR default_char, LPBOOL used_default);
}
