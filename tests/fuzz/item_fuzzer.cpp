// libFuzzer target: the Today item as the host drives it, on random settings and a random
// picture file. The settings values are stored well-formed, left out, or as raw bytes of any
// type and size; the picture file is named .jpg, .JPEG, .bmp or otherwise, or is missing. Then
// export ordinal 240 creates the item window, it is painted, sent the host's cache messages
// and destroyed. Every handle and local block the item obtained must be given back.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bmp_decode.h"
#include "jpeg_size.h"
#include "live_count_check.h"
#include "picture_settings.h"
#include "pocketpc.h"
#include "scratch_files.h"
#include "win32/host_services.h"

namespace {

// Pictures up to this many pixels are decoded; larger claims only slow the search (the decoder
// has targets of its own). 128 x 128 is still wider than the item and taller than most heights.
constexpr int64_t kMaxPixels = int64_t{1} << 14;

const char16_t kHostClass[] = u"FuzzHostWnd";
const char16_t kSettingsKey[] = u"Software\\Quenby\\Lumetta";
const char* const kPictureNames[] = {"picture.jpg", "picture.JPEG", "picture.bmp", "picture.gif"};
const int32_t kModes[] = {0, 1, 2, 3, -1, INT32_MIN};
// Heights a window can have, and heights whose window cannot be created.
const int32_t kHeights[] = {24, 1, 0, -1, 320, 80, INT32_MAX, INT32_MIN, 2300000};

struct ByteSource {
    const uint8_t* data;
    size_t size;
    size_t position = 0;
    uint8_t Next() { return position < size ? data[position++] : 0; }
};

struct Process {
    PFNCUSTOMINITIALIZEITEM initialize = nullptr;
    HWND host = nullptr;
};

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(window, message, wparam, lparam);
}

HWND host_window = nullptr;

// The host window lives as long as the process; the layer's objects are released at exit so
// that the leak check sees none.
void DestroyHostWindow() {
    DestroyWindow(host_window);
}

const Process& TheProcess() {
    static const Process process = [] {
        Process made;
        Win32LayerSetScreenSize(240, 320);
        const std::string library = LUMETTA_PATH;
        const std::u16string wide(library.begin(), library.end());
        HMODULE module = LoadLibraryW(reinterpret_cast<LPCWSTR>(wide.c_str()));
        if (module == nullptr) {
            std::fprintf(stderr, "cannot load %s\n", LUMETTA_PATH);
            std::abort();
        }
        made.initialize = reinterpret_cast<PFNCUSTOMINITIALIZEITEM>(reinterpret_cast<void (*)()>(
            GetProcAddress(module, MAKEINTRESOURCEA(ORDINAL_INITIALIZEITEM))));
        WNDCLASSW host_class = {};
        host_class.lpfnWndProc = HostProc;
        host_class.lpszClassName = reinterpret_cast<LPCWSTR>(kHostClass);
        RegisterClassW(&host_class);
        made.host = CreateWindowExW(0, reinterpret_cast<LPCWSTR>(kHostClass), u"Today",
                                    WS_POPUP | WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr,
                                    nullptr, nullptr);
        if (made.initialize == nullptr || made.host == nullptr) std::abort();
        host_window = made.host;
        std::atexit(DestroyHostWindow);
        return made;
    }();
    return process;
}

TODAYLISTITEM EnabledRecord() {
    TODAYLISTITEM record = {};
    std::u16string(u"Lumetta").copy(reinterpret_cast<char16_t*>(record.szName), 7);
    record.tlit = tlitCustom;
    record.fEnabled = TRUE;
    return record;
}

// Creates, paints and destroys the item window once.
void RunItem(const Process& process) {
    TODAYLISTITEM record = EnabledRecord();
    HWND window = process.initialize(&record, process.host);
    if (window != record.hwndCustom) {
        std::fprintf(stderr, "ordinal 240 returned another window than it recorded\n");
        std::abort();
    }
    if (window == nullptr) return;
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
    SendMessageW(window, WM_TODAYCUSTOM_QUERYREFRESHCACHE, 0, reinterpret_cast<LPARAM>(&record));
    SendMessageW(window, WM_TODAYCUSTOM_CLEARCACHE, 0, 0);
    DestroyWindow(window);
}

// Brings the item's process-wide settings back to the stored ones: ordinal 240 reads them.
void ResetItem(const Process& process) {
    TODAYLISTITEM record = EnabledRecord();
    HWND window = process.initialize(&record, process.host);
    if (window != nullptr) DestroyWindow(window);
}

// Stores one value: well-formed, missing, or raw bytes of a chosen type taken from the input.
void StoreValue(HKEY key, const char16_t* name, uint8_t form, DWORD type, const void* proper,
                DWORD proper_size, ByteSource* source) {
    const LPCWSTR wide = reinterpret_cast<LPCWSTR>(name);
    switch (form % 4) {
        case 1:
            RegDeleteValueW(key, wide);
            break;
        case 2: {
            const DWORD raw_type = source->Next() % 5;
            std::vector<uint8_t> raw(source->Next() % 8 == 0 ? 600 : source->Next() % 16);
            for (uint8_t& byte : raw) byte = source->Next();
            if (std::u16string_view(name) == u"Height") {
                // A window is as tall as this; a tall one only costs time in proportion (a
                // million rows take minutes here). The bytes replace the low bytes of the
                // height held before, so positive heights are kept below 256 (the choices
                // above have taller ones).
                if (raw.size() >= 2) raw[1] = 0;
                if (raw.size() == 3) raw[2] = 0;
                if (raw.size() == 4 && raw[3] < 0x80) raw[2] = raw[3] = 0;
            }
            RegSetValueExW(key, wide, 0, raw_type, raw.data(), static_cast<DWORD>(raw.size()));
            break;
        }
        default:
            RegSetValueExW(key, wide, 0, type, static_cast<const BYTE*>(proper), proper_size);
            break;
    }
}

bool PictureTooLarge(const uint8_t* data, size_t size) {
    if (fuzzing::TooLargeToFuzz(fuzzing::MeasureJpeg(data, size), kMaxPixels)) return true;
    // The item takes the size from the 40-byte header; the loader from its own check.
    BmpInfo info;
    if (BmpReadInfo(data, size, &info) == BmpResult::Ok &&
        int64_t{info.width} * info.height > kMaxPixels) {
        return true;
    }
    if (size >= 26) {
        int32_t width = 0;
        int32_t height = 0;
        std::memcpy(&width, data + 18, 4);
        std::memcpy(&height, data + 22, 4);
        if (width > 0 && height != 0 && height != INT32_MIN &&
            int64_t{width} * (height < 0 ? -int64_t{height} : height) > kMaxPixels) {
            return true;  // a picture to tile or centre at this size
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8 || size > (1u << 18)) return 0;
    const Process& process = TheProcess();
    ByteSource source{data, 8};
    const uint8_t forms = source.Next();
    const int32_t mode = kModes[source.Next() % 6];
    const uint8_t height_choice = source.Next();
    const int32_t height =
        height_choice < 128 ? kHeights[height_choice % 9] : height_choice - 128 + 1;
    const uint8_t path_choice = source.Next() % 6;
    const uint8_t* picture = data + 8;
    const size_t picture_size = size - 8;
    if (PictureTooLarge(picture, picture_size)) return 0;

    std::u16string path;
    if (path_choice < 4) {
        path = fuzzing::WriteScratchFile(kPictureNames[path_choice], picture, picture_size);
    } else if (path_choice == 4) {
        const std::string missing = fuzzing::ScratchFolder() + "/missing.bmp";
        path.assign(missing.begin(), missing.end());
    }

    // One database in memory for the process (opening one and making its tables costs more
    // than the rest of an input). Every input starts from the default settings, stored whole
    // (the three values below replace or delete them) and read into the item's process-wide
    // settings by ordinal 240; that window is not painted.
    static const bool in_memory = [] {
        Win32LayerSetRegistryPath(":memory:");
        return true;
    }();
    (void)in_memory;
    const PictureSettings defaults = DefaultPictureSettings();
    SavePictureSettings(&defaults);
    ResetItem(process);

    const fuzzing::LiveCounts before = fuzzing::TakeLiveCounts();
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, reinterpret_cast<LPCWSTR>(kSettingsKey), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        std::abort();
    }
    WCHAR stored_path[MAX_PATH] = {};
    path.copy(reinterpret_cast<char16_t*>(stored_path), MAX_PATH - 1);
    ByteSource raw{picture, picture_size};
    StoreValue(key, u"Mode", forms, REG_DWORD, &mode, sizeof(mode), &raw);
    StoreValue(key, u"Height", forms >> 2, REG_DWORD, &height, sizeof(height), &raw);
    StoreValue(key, u"Path", forms >> 4, REG_SZ, stored_path, sizeof(stored_path), &raw);
    RegCloseKey(key);

    RunItem(process);
    fuzzing::RequireSameLiveCounts(before, "create, paint and destroy of the item");
    return 0;
}
