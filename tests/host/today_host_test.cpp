// today-host as a person runs it: install the item, set a picture, render the screen, and the
// errors it gives for bad arguments.
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "test_pictures.h"
#include "win32/layer.h"
#include "windows.h"

namespace {

namespace fs = std::filesystem;

struct Png {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB
};

bool ReadPng(const fs::path& path, Png* out) {
    png_image image;
    memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return false;
    out->width = static_cast<int>(image.width);
    out->height = static_cast<int>(image.height);
    out->pixels.clear();
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        out->pixels.push_back(uint32_t{rgb[i]} << 16 | uint32_t{rgb[i + 1]} << 8 | rgb[i + 2]);
    return true;
}

class TodayHostTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "today_host_test_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        registry_ = folder_ / "registry.sqlite3";
    }
    void TearDown() override {
        Win32LayerSetRegistryPath(nullptr);
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // Runs today-host with the arguments (and --registry for the commands that take it);
    // returns its exit status.
    int Host(const std::string& arguments, bool with_registry = true) {
        std::string command = std::string(TODAY_HOST) + " " + arguments;
        if (with_registry) command += " --registry " + registry_.string();
        command += " >" + (folder_ / "out.txt").string() + " 2>" + (folder_ / "err.txt").string();
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path folder_;
    fs::path registry_;
};

TEST_F(TodayHostTest, InstallSetAndShowRenderTheItemAtTheTopOfTheScreen) {
    TestPicture picture = MakeTestPicture(300, 30);
    fs::path bitmap = folder_ / "picture.bmp";
    WriteBitmapFile(bitmap, picture, false);
    ASSERT_EQ(Host("install"), 0);
    ASSERT_EQ(Host("set --path " + bitmap.string() + " --mode center --height 24"), 0);
    fs::path png = folder_ / "today.png";
    ASSERT_EQ(Host("show --out " + png.string() + " --screen 240x100"), 0);

    Png screen;
    ASSERT_TRUE(ReadPng(png, &screen));
    ASSERT_EQ(screen.width, 240);
    ASSERT_EQ(screen.height, 100);
    std::vector<uint32_t> item = ExpectCenter(picture, 240, 24);
    std::vector<uint32_t> top(screen.pixels.begin(), screen.pixels.begin() + 240 * 24);
    EXPECT_EQ(top, item);
    for (size_t i = 240 * 24; i < screen.pixels.size(); ++i)
        ASSERT_EQ(screen.pixels[i], kWhite) << "pixel " << i;
}

TEST_F(TodayHostTest, InstallWritesTheRegistrationAsAnInstallerWould) {
    ASSERT_EQ(Host("install --order 7"), 0);
    Win32LayerSetRegistryPath(registry_.c_str());
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Items\\Lumetta", 0,
                            KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    EXPECT_EQ(
        RegQueryValueExW(key, u"Enabled", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(value, 1u);
    size = sizeof(value);
    RegQueryValueExW(key, u"Order", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    EXPECT_EQ(value, 7u);
    size = sizeof(value);
    RegQueryValueExW(key, u"Type", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    EXPECT_EQ(value, 4u);
    WCHAR library[MAX_PATH] = {};
    size = sizeof(library);
    EXPECT_EQ(
        RegQueryValueExW(key, u"DLL", nullptr, &type, reinterpret_cast<BYTE*>(library), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    std::u16string expected;
    for (char c : fs::canonical(LUMETTA_PATH).string())
        expected.push_back(static_cast<char16_t>(c));
    EXPECT_EQ(std::u16string(library), expected);
    RegCloseKey(key);
}

TEST_F(TodayHostTest, WithoutARegisteredItemTheScreenIsWhite) {
    ASSERT_EQ(Host("install"), 0);
    ASSERT_EQ(Host("uninstall"), 0);
    fs::path png = folder_ / "today.png";
    ASSERT_EQ(Host("show --out " + png.string()), 0);
    Png screen;
    ASSERT_TRUE(ReadPng(png, &screen));
    EXPECT_EQ(screen.width, 240);
    EXPECT_EQ(screen.height, 320);
    EXPECT_EQ(screen.pixels, std::vector<uint32_t>(240 * 320, kWhite));
}

TEST_F(TodayHostTest, BadArgumentsAreRefusedWithoutTouchingAnything) {
    EXPECT_EQ(Host("set --mode sideways"), 2);
    EXPECT_EQ(Host("set --height 0"), 2);
    EXPECT_EQ(Host("set --height 12px"), 2);
    EXPECT_EQ(Host("set --path " + (folder_ / "missing.bmp").string()), 2);
    EXPECT_EQ(Host("set"), 2);
    EXPECT_EQ(Host("show"), 2);
    EXPECT_EQ(Host("show --out x.png --screen 240by320"), 2);
    EXPECT_EQ(Host("install --order many"), 2);
    EXPECT_EQ(Host("frobnicate", false), 2);
    EXPECT_EQ(Host("show --colour red"), 2);
    EXPECT_FALSE(fs::exists(registry_));
    EXPECT_EQ(Host("--help", false), 0);
    EXPECT_EQ(Host("set --help", false), 0);
}

}  // namespace
