// The settings store over the registry.
#include "picture_settings.h"

#include <cstring>

namespace {

const WCHAR kSettingsKey[] = TEXT("Software\\Quenby\\Lumetta");
const WCHAR kModeValue[] = TEXT("Mode");
const WCHAR kHeightValue[] = TEXT("Height");
const WCHAR kPathValue[] = TEXT("Path");

// Reads a value into a buffer of the field's size and, when the query succeeds, copies the
// bytes it returned over the start of the field. The value's type is not examined.
void LoadField(HKEY key, const WCHAR* name, void* field, DWORD field_size) {
    BYTE buffer[sizeof(PictureSettings::path)];
    DWORD size = field_size;
    if (RegQueryValueExW(key, name, nullptr, nullptr, buffer, &size) == ERROR_SUCCESS &&
        size <= field_size) {
        memcpy(field, buffer, size);
    }
}

}  // namespace

PictureSettings DefaultPictureSettings() {
    PictureSettings settings;
    memset(&settings, 0, sizeof(settings));
    settings.mode = DrawMode::Stretch;
    settings.height = 24;
    return settings;
}

LSTATUS LoadPictureSettings(PictureSettings* settings) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) return status;
    LoadField(key, kModeValue, &settings->mode, sizeof(settings->mode));
    LoadField(key, kHeightValue, &settings->height, sizeof(settings->height));
    LoadField(key, kPathValue, settings->path, sizeof(settings->path));
    // Another tool may have stored 520 bytes without a terminator; the path must end within
    // its field all the same.
    settings->path[MAX_PATH - 1] = 0;
    return RegCloseKey(key);
}

LSTATUS SavePictureSettings(const PictureSettings* settings) {
    WCHAR no_class[] = TEXT("");
    HKEY key = nullptr;
    DWORD disposition = 0;
    LSTATUS status =
        RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, no_class, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, &disposition);
    if (status != ERROR_SUCCESS) return status;
    // Every value is attempted; the first failure is the result, so that a store that cannot
    // be written (a read-only database) is not reported as saved.
    const LSTATUS results[] = {
        RegSetValueExW(key, kHeightValue, 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&settings->height), sizeof(settings->height)),
        RegSetValueExW(key, kModeValue, 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&settings->mode), sizeof(settings->mode)),
        RegSetValueExW(key, kPathValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(settings->path),
                       sizeof(settings->path)),
        RegCloseKey(key),
    };
    for (LSTATUS result : results) {
        if (result != ERROR_SUCCESS) return result;
    }
    return ERROR_SUCCESS;
}
