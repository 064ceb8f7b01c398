// The settings store: defaults when nothing is stored, partial and short values, the exact
// layout of what it writes, and paths that another tool stored without a terminator.
#include "picture_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "temp_registry.h"

namespace {

class PictureSettingsTest : public TempRegistryTest {};

PictureSettings WithPath(const std::u16string& path) {
    PictureSettings settings = DefaultPictureSettings();
    path.copy(settings.path, path.size());
    return settings;
}

struct StoredValue {
    std::u16string name;
    DWORD type;
    std::vector<BYTE> bytes;
};

// Every value under the settings key, in the registry's order.
std::vector<StoredValue> StoredValues() {
    std::vector<StoredValue> values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Quenby\\Lumetta", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return values;
    for (DWORD index = 0;; ++index) {
        WCHAR name[64];
        DWORD name_length = 64;
        BYTE data[1024];
        DWORD size = sizeof(data);
        DWORD type = 0;
        if (RegEnumValueW(key, index, name, &name_length, nullptr, &type, data, &size) !=
            ERROR_SUCCESS)
            break;
        values.push_back(
            {std::u16string(name, name_length), type, std::vector<BYTE>(data, data + size)});
    }
    RegCloseKey(key);
    return values;
}

const StoredValue* FindValue(const std::vector<StoredValue>& values, const char16_t* name) {
    for (const StoredValue& value : values) {
        if (value.name == name) return &value;
    }
    return nullptr;
}

TEST_F(PictureSettingsTest, DefaultsAreStretchTwentyFourPixelsAndNoPath) {
    PictureSettings settings = DefaultPictureSettings();
    EXPECT_EQ(settings.mode, DrawMode::Stretch);
    EXPECT_EQ(settings.height, 24);
    std::vector<WCHAR> zeros(MAX_PATH, 0);
    EXPECT_EQ(memcmp(settings.path, zeros.data(), sizeof(settings.path)), 0);
}

TEST_F(PictureSettingsTest, MissingKeyLeavesTheRecordUntouched) {
    PictureSettings settings = WithPath(u"/kept");
    settings.mode = DrawMode::Tile;
    settings.height = 77;
    EXPECT_EQ(LoadPictureSettings(&settings), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(settings.mode, DrawMode::Tile);
    EXPECT_EQ(settings.height, 77);
    EXPECT_EQ(std::u16string(settings.path), u"/kept");
}

TEST_F(PictureSettingsTest, SaveWritesExactlyThreeValuesOfTheDocumentedLayout) {
    PictureSettings settings = WithPath(u"/pictures/写真.jpg");
    settings.mode = DrawMode::Center;
    settings.height = 0x01020304;
    EXPECT_EQ(SavePictureSettings(&settings), ERROR_SUCCESS);

    std::vector<StoredValue> values = StoredValues();
    ASSERT_EQ(values.size(), 3u);
    const StoredValue* mode = FindValue(values, u"Mode");
    const StoredValue* height = FindValue(values, u"Height");
    const StoredValue* path = FindValue(values, u"Path");
    ASSERT_NE(mode, nullptr);
    ASSERT_NE(height, nullptr);
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(mode->type, REG_DWORD);
    EXPECT_EQ(mode->bytes, (std::vector<BYTE>{1, 0, 0, 0}));
    EXPECT_EQ(height->type, REG_DWORD);
    EXPECT_EQ(height->bytes, (std::vector<BYTE>{4, 3, 2, 1}));
    EXPECT_EQ(path->type, REG_SZ);
    ASSERT_EQ(path->bytes.size(), 520u);
    std::vector<BYTE> expected(520, 0);
    memcpy(expected.data(), settings.path, 520);
    EXPECT_EQ(path->bytes, expected);
}

TEST_F(PictureSettingsTest, SaveThenLoadGivesBackTheRecord) {
    PictureSettings saved = WithPath(u"/a/b/photo.bmp");
    saved.mode = DrawMode::Tile;
    saved.height = 120;
    SavePictureSettings(&saved);
    PictureSettings loaded = DefaultPictureSettings();
    EXPECT_EQ(LoadPictureSettings(&loaded), ERROR_SUCCESS);
    EXPECT_EQ(memcmp(&loaded, &saved, sizeof(saved)), 0);
}

TEST_F(PictureSettingsTest, AShorterPathReplacesTheWholeField) {
    PictureSettings longer = WithPath(u"/a/very/long/folder/name/picture.jpeg");
    SavePictureSettings(&longer);
    PictureSettings shorter = WithPath(u"/b.bmp");
    SavePictureSettings(&shorter);
    PictureSettings loaded = longer;
    LoadPictureSettings(&loaded);
    EXPECT_EQ(memcmp(loaded.path, shorter.path, sizeof(loaded.path)), 0);
}

TEST_F(PictureSettingsTest, MissingValuesKeepWhatTheRecordHeld) {
    DWORD height = 40;
    SetSettingsValue(u"Height", REG_DWORD, &height, sizeof(height));
    PictureSettings settings = WithPath(u"/old.bmp");
    settings.mode = DrawMode::Center;
    EXPECT_EQ(LoadPictureSettings(&settings), ERROR_SUCCESS);
    EXPECT_EQ(settings.height, 40);
    EXPECT_EQ(settings.mode, DrawMode::Center);
    EXPECT_EQ(std::u16string(settings.path), u"/old.bmp");
}

TEST_F(PictureSettingsTest, ShortValuesReplaceOnlyTheirFirstBytes) {
    BYTE two_bytes[2] = {0x10, 0x00};
    SetSettingsValue(u"Height", REG_BINARY, two_bytes, sizeof(two_bytes));
    BYTE one_byte[1] = {2};
    SetSettingsValue(u"Mode", REG_DWORD, one_byte, sizeof(one_byte));
    PictureSettings settings = DefaultPictureSettings();
    settings.height = 0x7F7F7F7F;
    settings.mode = static_cast<DrawMode>(0x01010101);
    LoadPictureSettings(&settings);
    EXPECT_EQ(settings.height, 0x7F7F0010);
    EXPECT_EQ(static_cast<int32_t>(settings.mode), 0x01010102);
}

TEST_F(PictureSettingsTest, OversizedValuesAreNotRead) {
    BYTE eight_bytes[8] = {9, 0, 0, 0, 9, 0, 0, 0};
    SetSettingsValue(u"Mode", REG_BINARY, eight_bytes, sizeof(eight_bytes));
    std::vector<BYTE> long_path(600, 'x');
    SetSettingsValue(u"Path", REG_SZ, long_path.data(), static_cast<DWORD>(long_path.size()));
    PictureSettings settings = WithPath(u"/kept.bmp");
    LoadPictureSettings(&settings);
    EXPECT_EQ(settings.mode, DrawMode::Stretch);
    EXPECT_EQ(std::u16string(settings.path), u"/kept.bmp");
}

TEST_F(PictureSettingsTest, UnknownModeIsLoadedAsStored) {
    DWORD mode = 7;
    SetSettingsValue(u"Mode", REG_DWORD, &mode, sizeof(mode));
    PictureSettings settings = DefaultPictureSettings();
    LoadPictureSettings(&settings);
    EXPECT_EQ(static_cast<int32_t>(settings.mode), 7);
}

TEST_F(PictureSettingsTest, PathWithoutTerminatorEndsWithinTheField) {
    std::vector<WCHAR> full(MAX_PATH, u'a');
    SetSettingsValue(u"Path", REG_SZ, full.data(), 520);
    PictureSettings settings = DefaultPictureSettings();
    EXPECT_EQ(LoadPictureSettings(&settings), ERROR_SUCCESS);
    EXPECT_EQ(settings.path[MAX_PATH - 1], 0);
    EXPECT_EQ(std::u16string(settings.path), std::u16string(MAX_PATH - 1, u'a'));
}

}  // namespace
