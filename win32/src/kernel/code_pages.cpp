// Code page conversion: MultiByteToWideChar and WideCharToMultiByte for UTF-8 (CP_UTF8) and
// the ANSI code page, which the layer takes to be UTF-8 too.
#include <cstring>
#include <string>

#include "utf16_path.h"
#include "win32/code_pages.h"

namespace {

// Copies `text` (with `count` units) into `out` as Windows does: a capacity of 0 asks for the
// size; a smaller capacity is an error.
template <typename Unit>
int CopyOut(const Unit* text, size_t count, Unit* out, int capacity) {
    if (count > 0x7FFFFFFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (capacity == 0) return static_cast<int>(count);
    if (capacity < 0 || static_cast<size_t>(capacity) < count || out == nullptr) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, text, count * sizeof(Unit));
    return static_cast<int>(count);
}

}  // namespace

extern "C" WIN32LAYER_API int WINAPI MultiByteToWideChar(UINT code_page, DWORD /*flags*/,
                                                         LPCSTR text, int length, LPWSTR out,
                                                         int capacity) {
    if ((code_page != CP_UTF8 && code_page != CP_ACP) || text == nullptr || length == 0 ||
        length < -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t bytes = length == -1 ? std::strlen(text) + 1 : static_cast<size_t>(length);
    std::u16string wide;
    if (!Utf8ToUtf16(std::string(text, bytes), &wide)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    return CopyOut(wide.data(), wide.size(), out, capacity);
}

extern "C" WIN32LAYER_API int WINAPI WideCharToMultiByte(UINT code_page, DWORD /*flags*/,
                                                         LPCWSTR text, int length, LPSTR out,
                                                         int capacity, LPCSTR /*default_char*/,
                                                         LPBOOL used_default) {
    if ((code_page != CP_UTF8 && code_page != CP_ACP) || text == nullptr || length == 0 ||
        length < -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (used_default != nullptr) *used_default = FALSE;
    size_t units = 0;
    if (length == -1) {
        while (text[units] != 0) ++units;
        ++units;  // the terminator is converted and counted
    } else {
        units = static_cast<size_t>(length);
    }
    // Utf16ToUtf8 stops at a NUL, so convert the pieces between NULs one by one.
    std::string narrow;
    size_t start = 0;
    while (start < units) {
        size_t stop = start;
        while (stop < units && text[stop] != 0) ++stop;
        std::u16string piece(text + start, stop - start);
        std::string converted;
        if (!Utf16ToUtf8(piece.c_str(), &converted)) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
        narrow += converted;
        if (stop < units) narrow.push_back('\0');
        start = stop + 1;
    }
    return CopyOut(narrow.data(), narrow.size(), out, capacity);
}
