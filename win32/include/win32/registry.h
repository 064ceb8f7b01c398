// The registry: keys under the predefined roots HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE, each
// holding named values of a type with raw bytes. On Linux the layer keeps them in a SQLite
// database (see Win32LayerSetRegistryPath in win32/host_services.h for where it lives). Key and
// value names compare without regard to ASCII letter case and keep the case they were created with.
#pragma once

#include "win32/base.h"

// The predefined keys, with the values (sign-extended on 64-bit) that Windows gives them. The
// layer has these two roots; other predefined keys are not provided.
#define HKEY_CURRENT_USER    \
    (reinterpret_cast<HKEY>( \
        static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(0x80000001)))))
#define HKEY_LOCAL_MACHINE   \
    (reinterpret_cast<HKEY>( \
        static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(0x80000002)))))

// Access rights.
#define DELETE 0x00010000UL
#define READ_CONTROL 0x00020000UL
#define SYNCHRONIZE 0x00100000UL
#define STANDARD_RIGHTS_READ READ_CONTROL
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#define STANDARD_RIGHTS_ALL 0x001F0000UL
#define KEY_QUERY_VALUE 0x0001UL
#define KEY_SET_VALUE 0x0002UL
#define KEY_CREATE_SUB_KEY 0x0004UL
#define KEY_ENUMERATE_SUB_KEYS 0x0008UL
#define KEY_NOTIFY 0x0010UL
#define KEY_CREATE_LINK 0x0020UL
#define KEY_READ 0x00020019UL
#define KEY_WRITE 0x00020006UL
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0x000F003FUL

// Value types.
#define REG_NONE 0UL
#define REG_SZ 1UL
#define REG_EXPAND_SZ 2UL
#define REG_BINARY 3UL
#define REG_DWORD 4UL
#define REG_DWORD_LITTLE_ENDIAN 4UL
#define REG_DWORD_BIG_ENDIAN 5UL
#define REG_LINK 6UL
#define REG_MULTI_SZ 7UL
#define REG_QWORD 11UL

// Options of RegCreateKeyExW and its dispositions.
#define REG_OPTION_RESERVED 0x00000000UL
#define REG_OPTION_NON_VOLATILE 0x00000000UL
#define REG_OPTION_VOLATILE 0x00000001UL
#define REG_CREATED_NEW_KEY 0x00000001UL
#define REG_OPENED_EXISTING_KEY 0x00000002UL

#ifndef ERROR_BAD_PATHNAME
#define ERROR_BAD_PATHNAME 161L
#endif

#ifndef WIN32LAYER_FILETIME_DEFINED
#define WIN32LAYER_FILETIME_DEFINED
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
typedef FILETIME* PFILETIME;
typedef FILETIME* LPFILETIME;
#endif

extern "C" {
WIN32LAYER_API LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD options, REGSAM sam,
                                            PHKEY result);
WIN32LAYER_API LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR sub_key, DWORD reserved,
                                              LPWSTR key_class, DWORD options, REGSAM sam,
                                              LPSECURITY_ATTRIBUTES security, PHKEY result,
                                              LPDWORD disposition);
WIN32LAYER_API LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR value_name, LPDWORD reserved,
                                               LPDWORD type, LPBYTE data, LPDWORD data_size);
WIN32LAYER_API LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR value_name, DWORD reserved,
                                             DWORD type, const BYTE* data, DWORD data_size);
WIN32LAYER_API LSTATUS WINAPI RegDeleteKeyW(HKEY key, LPCWSTR sub_key);
WIN32LAYER_API LSTATUS WINAPI RegDeleteValueW(HKEY key, LPCWSTR value_name);
WIN32LAYER_API LSTATUS WINAPI RegCloseKey(HKEY key);
WIN32LAYER_API LSTATUS WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_length,
                                            LPDWORD reserved, LPWSTR key_class,
                                            LPDWORD class_length, PFILETIME last_write_time);
WIN32LAYER_API LSTATUS WINAPI RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_length,
                                            LPDWORD reserved, LPDWORD type, LPBYTE data,
                                            LPDWORD data_size);
WIN32LAYER_API LSTATUS WINAPI RegQueryInfoKeyW(HKEY key, LPWSTR key_class, LPDWORD class_length,
                                               LPDWORD reserved, LPDWORD sub_keys,
                                               LPDWORD max_sub_key_length, LPDWORD max_class_length,
                                               LPDWORD values, LPDWORD max_value_name_length,
                                               LPDWORD max_value_length,
                                               LPDWORD security_descriptor_size,
                                               PFILETIME last_write_time);
}

#define RegOpenKeyEx RegOpenKeyExW
#define RegCreateKeyEx RegCreateKeyExW
#define RegQueryValueEx RegQueryValueExW
#define RegSetValueEx RegSetValueExW
#define RegDeleteKey RegDeleteKeyW
#define RegDeleteValue RegDeleteValueW
#define RegEnumKeyEx RegEnumKeyExW
#define RegEnumValue RegEnumValueW
#define RegQueryInfoKey RegQueryInfoKeyW
