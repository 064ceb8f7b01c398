// Modules: loading libraries, finding their exports and their file names. On Linux a module is
// a shared object loaded with dlopen, and its HMODULE is the address at which its ELF header is
// mapped (its base address), as an HMODULE is on Windows. Exports by ordinal are the dynamic
// symbols "ordinal.<n>" that the build makes from a library's module-definition file.
#pragma once

#include "win32/base.h"

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#ifndef MAKEINTRESOURCEA
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#endif

typedef INT_PTR(WINAPI* FARPROC)();

extern "C" {
// Loads a library (and what it needs) with every symbol bound at once; a second load of the
// same library returns the same module and counts one more reference.
WIN32LAYER_API HMODULE WINAPI LoadLibraryW(LPCWSTR path);
// Drops one reference taken by LoadLibraryW; the library is unloaded with its last one.
WIN32LAYER_API BOOL WINAPI FreeLibrary(HMODULE module);
// An export of the module itself (not of what it links against): by name, or by ordinal when
// name is MAKEINTRESOURCEA(n).
WIN32LAYER_API FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
// The full path of a loaded module (null: the program). Returns the characters written without
// the terminator; when the path does not fit, writes size - 1 characters and a terminator,
// returns size and sets ERROR_INSUFFICIENT_BUFFER.
WIN32LAYER_API DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR path, DWORD size);
// A module already loaded, by its file name or full path (null: the program); no reference is
// taken.
WIN32LAYER_API HMODULE WINAPI GetModuleHandleW(LPCWSTR name);
}

#define LoadLibrary LoadLibraryW
#define GetModuleFileName GetModuleFileNameW
#define GetModuleHandle GetModuleHandleW
