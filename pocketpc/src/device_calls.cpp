// On Windows, the device's answers to the calls in which desktop Windows differs from it (see
// pocketpc.h): the emulated screen's size, and device contexts and copies that stretch as the
// device's do.
#define POCKETPC_DEVICE_CALLS_SOURCE
#include "pocketpc.h"

#include <cstdlib>
#include <cwchar>

namespace {

// The emulated screen named by POCKETPC_SCREEN; false when it names none.
bool EmulatedScreen(int* width, int* height) {
    wchar_t text[32] = {};
    const DWORD length = GetEnvironmentVariableW(TEXT(POCKETPC_SCREEN_VARIABLE), text, 32);
    if (length == 0 || length >= 32) return false;
    int w = 0;
    int h = 0;
    wchar_t tail = 0;
    if (swscanf(text, L"%dx%d%lc", &w, &h, &tail) != 2 || w < 1 || h < 1) return false;
    *width = w;
    *height = h;
    return true;
}

HDC StretchingAsTheDevice(HDC dc) {
    if (dc != nullptr) SetStretchBltMode(dc, COLORONCOLOR);
    return dc;
}

}  // namespace

extern "C" int WINAPI PocketPcGetSystemMetrics(int index) {
    int width = 0;
    int height = 0;
    if ((index == SM_CXSCREEN || index == SM_CYSCREEN) && EmulatedScreen(&width, &height))
        return index == SM_CXSCREEN ? width : height;
    return GetSystemMetrics(index);
}

extern "C" HDC WINAPI PocketPcGetDC(HWND window) {
    return StretchingAsTheDevice(GetDC(window));
}

extern "C" HDC WINAPI PocketPcCreateCompatibleDC(HDC dc) {
    return StretchingAsTheDevice(CreateCompatibleDC(dc));
}

extern "C" BOOL WINAPI PocketPcStretchBlt(HDC dest, int x, int y, int width, int height, HDC source,
                                          int source_x, int source_y, int source_width,
                                          int source_height, DWORD rop) {
    BITMAP bitmap = {};
    HGDIOBJ source_bitmap = GetCurrentObject(source, OBJ_BITMAP);
    const bool plain = rop == SRCCOPY && width > 0 && height > 0 && source_width > 0 &&
                       source_height > 0 && source_bitmap != nullptr &&
                       GetObjectW(source_bitmap, sizeof(bitmap), &bitmap) == sizeof(bitmap) &&
                       source_x >= 0 && source_y >= 0 &&
                       source_x + source_width <= bitmap.bmWidth &&
                       source_y + source_height <= std::abs(bitmap.bmHeight);
    if (!plain) {
        SetStretchBltMode(dest, COLORONCOLOR);
        return StretchBlt(dest, x, y, width, height, source, source_x, source_y, source_width,
                          source_height, rop);
    }
    // Columns first, into a bitmap of the destination's width and the source's height; then the
    // rows of that into the destination.
    HDC columns_dc = CreateCompatibleDC(dest);
    HBITMAP columns = CreateCompatibleBitmap(dest, width, source_height);
    if (columns_dc == nullptr || columns == nullptr) {
        if (columns != nullptr) DeleteObject(columns);
        if (columns_dc != nullptr) DeleteDC(columns_dc);
        return FALSE;
    }
    HGDIOBJ previous = SelectObject(columns_dc, columns);
    BOOL done = TRUE;
    for (int i = 0; i < width && done; ++i) {
        const int column = static_cast<int>(static_cast<long long>(i) * source_width / width);
        done = BitBlt(columns_dc, i, 0, 1, source_height, source, source_x + column, source_y,
                      SRCCOPY);
    }
    for (int j = 0; j < height && done; ++j) {
        const int row = static_cast<int>(static_cast<long long>(j) * source_height / height);
        done = BitBlt(dest, x, y + j, width, 1, columns_dc, 0, row, SRCCOPY);
    }
    SelectObject(columns_dc, previous);
    DeleteObject(columns);
    DeleteDC(columns_dc);
    return done;
}
