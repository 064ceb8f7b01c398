// Files, the local heap and errors.
#pragma once

#include "win32/base.h"

#define GENERIC_READ 0x80000000UL
#define GENERIC_WRITE 0x40000000UL
#define FILE_SHARE_READ 0x00000001UL
#define FILE_SHARE_WRITE 0x00000002UL
#define FILE_SHARE_DELETE 0x00000004UL
#define GENERIC_EXECUTE 0x20000000UL
#define GENERIC_ALL 0x10000000UL
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_READONLY 0x00000001UL
#define FILE_ATTRIBUTE_HIDDEN 0x00000002UL
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010UL
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020UL
#define FILE_ATTRIBUTE_NORMAL 0x00000080UL
#define FILE_FLAG_RANDOM_ACCESS 0x10000000UL
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000UL
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000UL
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFUL
#define INVALID_FILE_SIZE 0xFFFFFFFFUL
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFUL

#define LMEM_FIXED 0x0000
#define LMEM_MOVEABLE 0x0002
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

extern "C" {
WIN32LAYER_API HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD share,
                                         LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                         DWORD flags, HANDLE template_file);
WIN32LAYER_API DWORD WINAPI GetFileSize(HANDLE file, LPDWORD size_high);
WIN32LAYER_API BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD to_read, LPDWORD read,
                                    LPOVERLAPPED overlapped);
WIN32LAYER_API BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD to_write, LPDWORD written,
                                     LPOVERLAPPED overlapped);
WIN32LAYER_API BOOL WINAPI CloseHandle(HANDLE handle);
WIN32LAYER_API DWORD WINAPI GetFileAttributesW(LPCWSTR path);
WIN32LAYER_API DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, LPLONG distance_high,
                                           DWORD method);
WIN32LAYER_API BOOL WINAPI DeleteFileW(LPCWSTR path);

WIN32LAYER_API HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes);
WIN32LAYER_API HLOCAL WINAPI LocalFree(HLOCAL block);
}

#define CreateFile CreateFileW
#define GetFileAttributes GetFileAttributesW
#define DeleteFile DeleteFileW
