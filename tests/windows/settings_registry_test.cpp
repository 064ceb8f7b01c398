// The settings store on the real registry, under Wine: the names, types, sizes and bytes of the
// three values under HKEY_CURRENT_USER\Software\Quenby\Lumetta, as the store and the options
// dialog write them, and how the store loads what it finds there.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "picture_settings.h"
#include "pocketpc.h"

#ifndef JPEG_5X3_PATH
#error "JPEG_5X3_PATH names a 5 x 3 JPEG file made by cjpeg"
#endif

namespace {

const wchar_t kSettingsKey[] = L"Software\\Quenby\\Lumetta";

struct RawValue {
    LSTATUS status = ERROR_FILE_NOT_FOUND;
    DWORD type = 0;
    DWORD size = 0;
    std::vector<uint8_t> bytes;
    bool sentinel_intact = false;  // nothing written past the reported size
};

RawValue QueryRaw(const wchar_t* name) {
    RawValue value;
    HKEY key = nullptr;
    value.status = RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key);
    if (value.status != ERROR_SUCCESS) return value;
    std::vector<uint8_t> buffer(1024, 0xBD);
    value.size = static_cast<DWORD>(buffer.size());
    value.status = RegQueryValueExW(key, name, nullptr, &value.type, buffer.data(), &value.size);
    RegCloseKey(key);
    if (value.status == ERROR_SUCCESS && value.size <= buffer.size()) {
        value.bytes.assign(buffer.begin(), buffer.begin() + value.size);
        value.sentinel_intact = value.size == buffer.size() || buffer[value.size] == 0xBD;
    }
    return value;
}

void SetRaw(const wchar_t* name, DWORD type, const void* bytes, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(bytes), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

std::vector<uint8_t> PathField(const std::wstring& path) {
    std::vector<uint8_t> field(520, 0);
    std::memcpy(field.data(), path.c_str(), path.size() * sizeof(wchar_t));
    return field;
}

std::vector<uint8_t> Le32(uint32_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

PictureSettings Settings(DrawMode mode, int32_t height, const wchar_t* path) {
    PictureSettings settings = DefaultPictureSettings();
    settings.mode = mode;
    settings.height = height;
    std::wcscpy(settings.path, path);
    return settings;
}

class SettingsRegistryTest : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey); }
    void TearDown() override { RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey); }
};

TEST_F(SettingsRegistryTest, SaveWritesTwoDwordsAndTheWhole520BytePathField) {
    const PictureSettings settings = Settings(DrawMode::Tile, 0x01020304, L"C:\\写真\\a.jpg");
    EXPECT_EQ(SavePictureSettings(&settings), ERROR_SUCCESS);

    const RawValue mode = QueryRaw(L"Mode");
    ASSERT_EQ(mode.status, ERROR_SUCCESS);
    EXPECT_EQ(mode.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(mode.bytes, Le32(2));
    const RawValue height = QueryRaw(L"Height");
    ASSERT_EQ(height.status, ERROR_SUCCESS);
    EXPECT_EQ(height.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(height.bytes, Le32(0x01020304));
    const RawValue path = QueryRaw(L"Path");
    ASSERT_EQ(path.status, ERROR_SUCCESS);
    EXPECT_EQ(path.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(path.size, 520u);
    EXPECT_EQ(path.bytes, PathField(L"C:\\写真\\a.jpg"));
    EXPECT_TRUE(path.sentinel_intact);
}

TEST_F(SettingsRegistryTest, LoadGivesBackWhatWasSavedAndAShorterPathLeavesNoTrace) {
    PictureSettings saved = Settings(DrawMode::Center, 120, L"C:\\a\\very\\long\\path\\name.bmp");
    SavePictureSettings(&saved);
    saved = Settings(DrawMode::Stretch, 40, L"C:\\b.jpg");
    SavePictureSettings(&saved);

    PictureSettings loaded = Settings(DrawMode::Tile, 7, L"C:\\something\\else\\entirely.bmp");
    EXPECT_EQ(LoadPictureSettings(&loaded), ERROR_SUCCESS);
    EXPECT_EQ(std::memcmp(&loaded, &saved, sizeof(PictureSettings)), 0);
}

TEST_F(SettingsRegistryTest, LoadKeepsTheFieldsItCannotRead) {
    PictureSettings settings = DefaultPictureSettings();
    EXPECT_NE(LoadPictureSettings(&settings), ERROR_SUCCESS) << "no key yet";
    EXPECT_EQ(settings.mode, DrawMode::Stretch);
    EXPECT_EQ(settings.height, 24);
    EXPECT_EQ(settings.path[0], L'\0');

    // Two bytes of "Mode" replace only the first two bytes of the field; a "Path" longer than
    // the field is not read at all; a "Height" of 7 is taken as it is.
    const uint8_t two_bytes[] = {0x05, 0x00};
    SetRaw(L"Mode", REG_BINARY, two_bytes, sizeof(two_bytes));
    const uint32_t height = 7;
    SetRaw(L"Height", REG_DWORD, &height, sizeof(height));
    const std::wstring long_path(300, L'x');
    SetRaw(L"Path", REG_SZ, long_path.c_str(), static_cast<DWORD>((long_path.size() + 1) * 2));

    settings = Settings(static_cast<DrawMode>(0x7F7F0000), 24, L"C:\\kept.bmp");
    LoadPictureSettings(&settings);
    EXPECT_EQ(static_cast<uint32_t>(settings.mode), 0x7F7F0005u);
    EXPECT_EQ(settings.height, 7);
    EXPECT_EQ(std::wstring(settings.path), L"C:\\kept.bmp");
}

TEST_F(SettingsRegistryTest, OptionsDialogConfirmationWritesTheValues) {
    HMODULE module = LoadLibraryW(L"lumetta.dll");
    ASSERT_NE(module, nullptr);
    const struct FreeOnExit {
        HMODULE module;
        ~FreeOnExit() { FreeLibrary(module); }
    } free_on_exit{module};
    auto procedure = reinterpret_cast<DLGPROC>(
        reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(ORDINAL_OPTIONSDLGPROC))));
    ASSERT_NE(procedure, nullptr);
    HWND dialog = CreateDialogParamW(module, MAKEINTRESOURCEW(500), nullptr, procedure, 0);
    ASSERT_NE(dialog, nullptr);

    // Input that passes the checks, so that no message box waits for a person.
    std::wstring picture = L"Z:";
    for (const char* c = JPEG_5X3_PATH; *c != '\0'; ++c) {
        picture.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));
    }
    ASSERT_NE(GetFileAttributesW(picture.c_str()), INVALID_FILE_ATTRIBUTES);
    SetDlgItemTextW(dialog, 1001, picture.c_str());
    SetDlgItemTextW(dialog, 1004, L"100");
    SendDlgItemMessageW(dialog, 1003, CB_SETCURSEL, 1, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    DestroyWindow(dialog);

    const RawValue mode = QueryRaw(L"Mode");
    EXPECT_EQ(mode.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(mode.bytes, Le32(1));
    const RawValue height = QueryRaw(L"Height");
    EXPECT_EQ(height.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(height.bytes, Le32(100));
    const RawValue path = QueryRaw(L"Path");
    EXPECT_EQ(path.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(path.size, 520u);
    EXPECT_EQ(path.bytes, PathField(picture));
}

}  // namespace
