// Building the picture cache: read the picture (a JPEG through varnel's LoadJpeg, anything else
// as a Windows bitmap file), place it by the settings' mode into a white bitmap of the window's
// client size, and keep that bitmap for the paints.
#include "picture_cache.h"

#include <cstdint>
#include <cstring>

#include "item_state.h"
#include "pocketpc.h"
#include "varnel.h"

namespace {

char16_t AsciiLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c;
}

bool ExtensionEquals(const WCHAR* extension, const char16_t* wanted) {
    size_t i = 0;
    for (; wanted[i] != u'\0'; ++i) {
        if (AsciiLower(static_cast<char16_t>(extension[i])) != wanted[i]) return false;
    }
    return extension[i] == 0;
}

int32_t ReadInt32(const BYTE* at) {
    uint32_t value = static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                     static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
    int32_t result;
    memcpy(&result, &value, sizeof(result));
    return result;
}

// Reads the picture size from a Windows bitmap file's headers: the 14-byte file header, which
// must start with "BM", and the 40-byte information header, whose width and height (at its
// bytes 4 and 8) are taken as stored. False when the file cannot be opened or is too short.
bool ReadBitmapFileSize(const WCHAR* path, POINT* size) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BYTE file_header[14];
    DWORD read = 0;
    if (!ReadFile(file, file_header, sizeof(file_header), &read, nullptr) ||
        read != sizeof(file_header) || file_header[0] != 0x42 || file_header[1] != 0x4D) {
        CloseHandle(file);
        return false;
    }
    BYTE info_header[40];
    read = 0;
    BOOL complete = ReadFile(file, info_header, sizeof(info_header), &read, nullptr) &&
                    read == sizeof(info_header);
    CloseHandle(file);
    if (!complete) return false;
    size->x = ReadInt32(info_header + 4);
    size->y = ReadInt32(info_header + 8);
    return true;
}

// A bitmap stored with a negative height has its rows top-down; the picture is as tall as the
// absolute value. A width that is not positive leaves nothing to draw.
POINT DrawableSize(POINT stored) {
    POINT size = stored;
    if (size.y < 0) size.y = size.y == INT32_MIN ? 0 : -size.y;
    if (size.x <= 0) size.x = 0;
    return size;
}

// Places a picture of width pw and height ph, selected into picture_dc, into the cache of
// width w and height h selected into cache_dc. False when a copy failed, which leaves the
// picture drawn in part.
bool PlacePicture(HDC cache_dc, int w, int h, HDC picture_dc, int pw, int ph, DrawMode mode) {
    switch (mode) {
        case DrawMode::Stretch:
            return StretchBlt(cache_dc, 0, 0, w, h, picture_dc, 0, 0, pw, ph, SRCCOPY) != FALSE;
        case DrawMode::Center: {
            // Signed halving that truncates toward zero: the odd pixel of margin or crop falls
            // on the right or bottom.
            int64_t x = (static_cast<int64_t>(w) - pw) / 2;
            int64_t y = (static_cast<int64_t>(h) - ph) / 2;
            return BitBlt(cache_dc, static_cast<int>(x), static_cast<int>(y), pw, ph, picture_dc, 0,
                          0, SRCCOPY) != FALSE;
        }
        case DrawMode::Tile:
            if (pw <= 0 || ph <= 0) return true;
            // Columns outer, rows inner; the copies at the right and bottom edges are clipped.
            for (int64_t x = 0; x < w; x += pw) {
                for (int64_t y = 0; y < h; y += ph) {
                    if (!BitBlt(cache_dc, static_cast<int>(x), static_cast<int>(y), pw, ph,
                                picture_dc, 0, 0, SRCCOPY)) {
                        return false;
                    }
                }
            }
            return true;
        default:
            // An unknown placement draws nothing: the cache stays white.
            return true;
    }
}

void ComposeCache(HWND window, HBITMAP picture, POINT picture_size) {
    RECT client = {0, 0, 0, 0};
    GetClientRect(window, &client);
    int w = client.right - client.left;
    int h = client.bottom - client.top;

    // The cache is kept only when it was made white first: a bitmap that could not be
    // selected or filled holds whatever the memory held, which is no picture and not white.
    // Without a cache the window shows its white background.
    HDC window_dc = GetDC(window);
    HDC cache_dc = window_dc != nullptr ? CreateCompatibleDC(window_dc) : nullptr;
    HBITMAP cache = cache_dc != nullptr ? CreateCompatibleBitmap(window_dc, w, h) : nullptr;
    HGDIOBJ cache_dc_bitmap = cache != nullptr ? SelectObject(cache_dc, cache) : nullptr;
    const auto white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    bool whole =
        cache_dc_bitmap != nullptr && white != nullptr && FillRect(cache_dc, &client, white) != 0;

    // A picture without a positive width and height has nothing to draw.
    if (whole && picture != nullptr && picture_size.x > 0 && picture_size.y > 0) {
        HDC picture_dc = CreateCompatibleDC(window_dc);
        HGDIOBJ picture_dc_bitmap =
            picture_dc != nullptr ? SelectObject(picture_dc, picture) : nullptr;
        const bool placed =
            picture_dc_bitmap != nullptr && PlacePicture(cache_dc, w, h, picture_dc, picture_size.x,
                                                         picture_size.y, item_settings.mode);
        if (picture_dc_bitmap != nullptr) SelectObject(picture_dc, picture_dc_bitmap);
        if (picture_dc != nullptr) DeleteDC(picture_dc);
        // A picture drawn in part is not shown: the item is white again, or has no cache.
        if (!placed && FillRect(cache_dc, &client, white) == 0) whole = false;
    }

    if (cache_dc_bitmap != nullptr) SelectObject(cache_dc, cache_dc_bitmap);
    if (cache_dc != nullptr) DeleteDC(cache_dc);
    if (window_dc != nullptr) ReleaseDC(window, window_dc);
    if (picture != nullptr) DeleteObject(picture);
    if (!whole && cache != nullptr) {
        DeleteObject(cache);
        cache = nullptr;
    }
    picture_cache = cache;
}

}  // namespace

bool IsJpegPath(const WCHAR* path) {
    const WCHAR* extension = nullptr;
    for (size_t i = 0; i < MAX_PATH && path[i] != 0; ++i) {
        if (path[i] == u'.') extension = path + i;
    }
    if (extension == nullptr) return false;
    return ExtensionEquals(extension, u".jpg") || ExtensionEquals(extension, u".jpeg");
}

void BuildPictureCache(HWND window) {
    DropPictureCache();
    LoadPictureSettings(&item_settings);
    POINT picture_size = {0, 0};
    HCURSOR previous_cursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));

    HBITMAP picture = nullptr;
    if (IsJpegPath(item_settings.path)) {
        picture = LoadJpeg(window, item_settings.path, &picture_size);
    } else {
        if (!ReadBitmapFileSize(item_settings.path, &picture_size)) {
            // No picture file to show: no cache, and the window shows its white background.
            SetCursor(previous_cursor);
            return;
        }
        picture_size = DrawableSize(picture_size);
        picture = SHLoadDIBitmap(item_settings.path);
    }
    ComposeCache(window, picture, picture_size);
    SetCursor(previous_cursor);
}

void PaintFromCache(HWND, HDC dc, const RECT* damaged) {
    if (picture_cache == nullptr) return;
    // When the cache cannot be selected, nothing is copied (not the memory DC's default
    // bitmap): the damaged area keeps the white background that the paint erased it to.
    HDC cache_dc = CreateCompatibleDC(dc);
    if (cache_dc == nullptr) return;
    HGDIOBJ cache_dc_bitmap = SelectObject(cache_dc, picture_cache);
    if (cache_dc_bitmap != nullptr) {
        BitBlt(dc, damaged->left, damaged->top, damaged->right - damaged->left,
               damaged->bottom - damaged->top, cache_dc, damaged->left, damaged->top, SRCCOPY);
        SelectObject(cache_dc, cache_dc_bitmap);
    }
    DeleteDC(cache_dc);
}

void DropPictureCache() {
    if (picture_cache == nullptr) return;
    DeleteObject(picture_cache);
    picture_cache = nullptr;
}
