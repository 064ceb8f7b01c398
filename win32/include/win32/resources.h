// Resources: the compiled resources of a module (a resource compiler's .res stream, which the
// build embeds in each library), found by type, name and language, and the version resource
// with its query language.
#pragma once

#include "win32/base.h"

#define RT_CURSOR MAKEINTRESOURCEW(1)
#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_MENU MAKEINTRESOURCEW(4)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_GROUP_CURSOR MAKEINTRESOURCEW(12)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)
#define RT_VERSION MAKEINTRESOURCEW(16)
#define RT_MANIFEST MAKEINTRESOURCEW(24)

#define VS_VERSION_INFO 1
#define VS_FFI_SIGNATURE 0xFEEF04BDUL
#define VS_FFI_STRUCVERSION 0x00010000UL
#define VFT_APP 0x00000001UL
#define VFT_DLL 0x00000002UL

#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define LANG_JAPANESE 0x11
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) (static_cast<WORD>((static_cast<WORD>(s) << 10) | static_cast<WORD>(p)))
#define PRIMARYLANGID(l) (static_cast<WORD>(l) & 0x3ff)
#define SUBLANGID(l) (static_cast<WORD>(l) >> 10)

struct VS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};
static_assert(sizeof(VS_FIXEDFILEINFO) == 52);

extern "C" {
// A resource of the module (null: the program) by type and name, each an integer made with
// MAKEINTRESOURCEW or a string (compared without regard to ASCII case; "#n" is the integer n).
// FindResourceW prefers the neutral language and otherwise takes the first; FindResourceExW
// wants the language given, or one of the same primary language.
WIN32LAYER_API HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
WIN32LAYER_API HRSRC WINAPI FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name,
                                            WORD language);
// The resource's bytes, inside the loaded module: valid while the module stays loaded, never
// freed by the caller.
WIN32LAYER_API HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource);
WIN32LAYER_API LPVOID WINAPI LockResource(HGLOBAL data);
WIN32LAYER_API DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource);

// The version resource of a library file, read from the file (it need not be loaded).
WIN32LAYER_API DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR path, LPDWORD handle);
WIN32LAYER_API BOOL WINAPI GetFileVersionInfoW(LPCWSTR path, DWORD handle, DWORD size, LPVOID data);
// A value of a version block: "\\" (the VS_FIXEDFILEINFO), "\\VarFileInfo\\Translation",
// "\\StringFileInfo\\<language><code page>\\<name>" (text; the length counts characters).
WIN32LAYER_API BOOL WINAPI VerQueryValueW(LPCVOID block, LPCWSTR sub_block, LPVOID* buffer,
                                          UINT* length);
}

#define FindResource FindResourceW
#define FindResourceEx FindResourceExW
#define GetFileVersionInfoSize GetFileVersionInfoSizeW
#define GetFileVersionInfo GetFileVersionInfoW
#define VerQueryValue VerQueryValueW
