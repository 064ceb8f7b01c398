// The calls that a fault plan can make fail: one row per failure point, with what the call
// then returns and the error it reports, as the device reports that failure (a Pocket PC runs
// out of memory, its storage card fills up or is locked by another program). The plan itself
// is set by the tests (test_probes.h) or, for a whole program, by the environment variable
// WIN32LAYER_FAULT_PLAN; the layer's calls and the decoder's heap hook ask it with
// Win32LayerFaultPointFails before they do anything.
#pragma once

#include "win32/base.h"

// How a failing call hands over its error: through the last error (SetLastError), as its
// returned status (the registry), as the result code given to SQLite under the registry, or
// not at all (a plain heap block).
enum Win32LayerFaultReport {
    WIN32LAYER_FAULT_BY_LAST_ERROR,
    WIN32LAYER_FAULT_BY_STATUS,
    WIN32LAYER_FAULT_BY_SQLITE_CODE,
    WIN32LAYER_FAULT_BY_NOTHING,
};

// POINT(ID, Name, "what the call returns", error, report). Errors are written as numbers
// where their names are not in the layer's headers: 30 ERROR_READ_FAULT, 9
// CDERR_MEMALLOCFAILURE (through CommDlgExtendedError), 13 SQLITE_FULL, 5 SQLITE_BUSY, 778
// SQLITE_IOERR_WRITE, 1034 SQLITE_IOERR_FSYNC, 14 SQLITE_CANTOPEN.
#define WIN32LAYER_FAULT_POINTS(POINT)                                                             \
    /* kernel: the local heap and files */                                                         \
    POINT(LOCAL_ALLOC, LocalAlloc, "null", ERROR_NOT_ENOUGH_MEMORY, LAST_ERROR)                    \
    POINT(CREATE_FILE, CreateFileW, "INVALID_HANDLE_VALUE", ERROR_SHARING_VIOLATION, LAST_ERROR)   \
    POINT(GET_FILE_SIZE, GetFileSize, "INVALID_FILE_SIZE", ERROR_GEN_FAILURE, LAST_ERROR)          \
    POINT(READ_FILE, ReadFile, "FALSE after a short read", 30, LAST_ERROR)                         \
    POINT(WRITE_FILE, WriteFile, "FALSE after a short write", ERROR_DISK_FULL, LAST_ERROR)         \
    POINT(GET_FILE_ATTRIBUTES, GetFileAttributesW, "INVALID_FILE_ATTRIBUTES", ERROR_ACCESS_DENIED, \
          LAST_ERROR)                                                                              \
    /* GDI */                                                                                      \
    POINT(GET_DC, GetDC, "null", ERROR_NOT_ENOUGH_MEMORY, LAST_ERROR)                              \
    POINT(CREATE_COMPATIBLE_DC, CreateCompatibleDC, "null", ERROR_NOT_ENOUGH_MEMORY, LAST_ERROR)   \
    POINT(CREATE_DIB_SECTION, CreateDIBSection, "null, bits null", ERROR_NOT_ENOUGH_MEMORY,        \
          LAST_ERROR)                                                                              \
    POINT(CREATE_COMPATIBLE_BITMAP, CreateCompatibleBitmap, "null", ERROR_NOT_ENOUGH_MEMORY,       \
          LAST_ERROR)                                                                              \
    POINT(SELECT_OBJECT, SelectObject, "null", ERROR_NOT_ENOUGH_MEMORY, LAST_ERROR)                \
    POINT(BIT_BLT, BitBlt, "FALSE", ERROR_NOT_ENOUGH_MEMORY, LAST_ERROR)                           \
    POINT(STRETCH_BLT, StretchBlt, "FALSE", ERROR_NOT_ENOUGH_MEMORY, LAST_ERROR)                   \
    POINT(FILL_RECT, FillRect, "0", ERROR_NOT_ENOUGH_MEMORY, LAST_ERROR)                           \
    POINT(GET_STOCK_OBJECT, GetStockObject, "null", ERROR_NOT_ENOUGH_MEMORY, LAST_ERROR)           \
    /* windows */                                                                                  \
    POINT(REGISTER_CLASS, RegisterClassW, "0", ERROR_NOT_ENOUGH_MEMORY, LAST_ERROR)                \
    POINT(CREATE_WINDOW, CreateWindowExW, "null", ERROR_NOT_ENOUGH_MEMORY, LAST_ERROR)             \
    POINT(BEGIN_PAINT, BeginPaint, "null", ERROR_NOT_ENOUGH_MEMORY, LAST_ERROR)                    \
    POINT(SET_WINDOW_TEXT, SetWindowTextW, "FALSE", ERROR_NOT_ENOUGH_MEMORY, LAST_ERROR)           \
    /* dialogs and controls, message boxes, the shell and the file-open dialog */                  \
    POINT(DIALOG_BOX, DialogBoxParamW, "-1", ERROR_NOT_ENOUGH_MEMORY, LAST_ERROR)                  \
    POINT(COMBO_ADD_STRING, CB_ADDSTRING, "CB_ERRSPACE", ERROR_NOT_ENOUGH_MEMORY, LAST_ERROR)      \
    POINT(MESSAGE_BOX, MessageBoxW, "0", ERROR_NOT_ENOUGH_MEMORY, LAST_ERROR)                      \
    POINT(SH_INIT_DIALOG, SHInitDialog, "FALSE", ERROR_NOT_ENOUGH_MEMORY, LAST_ERROR)              \
    POINT(SH_LOAD_DIB_BITMAP, SHLoadDIBitmap, "null", ERROR_NOT_ENOUGH_MEMORY, LAST_ERROR)         \
    POINT(GET_OPEN_FILE_NAME, GetOpenFileNameW, "FALSE", 9, NOTHING)                               \
    /* the registry, and the database file under it */                                             \
    POINT(REG_OPEN_KEY, RegOpenKeyExW, "the status", ERROR_OUTOFMEMORY, STATUS)                    \
    POINT(REG_CREATE_KEY, RegCreateKeyExW, "the status", ERROR_OUTOFMEMORY, STATUS)                \
    POINT(REG_QUERY_VALUE, RegQueryValueExW, "the status", ERROR_OUTOFMEMORY, STATUS)              \
    POINT(REG_SET_VALUE, RegSetValueExW, "the status", ERROR_OUTOFMEMORY, STATUS)                  \
    POINT(REG_DELETE_KEY, RegDeleteKeyW, "the status", ERROR_OUTOFMEMORY, STATUS)                  \
    POINT(SQLITE_OPEN, SqliteOpen, "SQLITE_CANTOPEN: a file it cannot create", 14, SQLITE_CODE)    \
    POINT(SQLITE_WRITE_FULL, SqliteWriteDiskFull, "SQLITE_FULL: the disk is full", 13,             \
          SQLITE_CODE)                                                                             \
    POINT(SQLITE_WRITE_PROTECTED, SqliteWriteProtected,                                            \
          "SQLITE_IOERR_WRITE: the file became read-only", 778, SQLITE_CODE)                       \
    POINT(SQLITE_SYNC, SqliteSync, "SQLITE_IOERR_FSYNC", 1034, SQLITE_CODE)                        \
    POINT(SQLITE_LOCK, SqliteLock, "SQLITE_BUSY: another program holds the file", 5, SQLITE_CODE)  \
    /* the decoder's own heap blocks (its record's arrays, AllocIntArray, scan buffers) */         \
    POINT(DECODER_HEAP, DecoderHeap, "null", 0, NOTHING)

// Values of the fault plan's points, in the table's order.
enum Win32LayerFaultPoint {
#define WIN32LAYER_FAULT_ENUMERATOR(ID, Name, returns, error, report) WIN32LAYER_FAULT_##ID,
    WIN32LAYER_FAULT_POINTS(WIN32LAYER_FAULT_ENUMERATOR)
#undef WIN32LAYER_FAULT_ENUMERATOR
        WIN32LAYER_FAULT_POINT_COUNT
};

extern "C" {
// Counts one call at `point` against the plan and tells whether it is the one to fail. When it
// is, a point that reports through the last error has set it. Every other call changes nothing.
WIN32LAYER_API BOOL Win32LayerFaultPointFails(int point);
}
