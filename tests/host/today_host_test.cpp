// today-host as a person runs it: install the item, set a picture, render the screen, and the
// errors it gives for bad arguments.
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bitmap_file_writer.h"
#include "target_program.h"
#include "gate_streams.h"
#include "test_pictures.h"
#include "registry_fixture.h"
#include "win32/host_services.h"
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

// The host program gets the test's database with --registry.
class TodayHostTest : public testsupport::TempRegistryTest {
protected:
    TodayHostTest() : TempRegistryTest(false) {}
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TempRegistryTest::SetUp());
        registry_ = registry_path_;
    }

    // Runs today-host with the arguments (and --registry for the commands that take it);
    // returns its exit status.
    int Host(const std::string& arguments, bool with_registry = true) {
        std::string command = testsupport::TargetCommand(TODAY_HOST) + " " + arguments;
        if (with_registry) command += " --registry " + registry_.string();
        command += " >" + (folder_ / "out.txt").string() + " 2>" + (folder_ / "err.txt").string();
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

public:
    // Sets the picture through today-host set, as a person would.
    void SetPicture(const fs::path& path, const char* more = "") {
        ASSERT_EQ(Host("set --path " + path.string() + " " + more), 0);
    }
    // Writes the picture path into the item's settings as the options dialog may (a folder).
    void StorePath(const fs::path& path) {
        Win32LayerSetRegistryPath(registry_.c_str());
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Quenby\\Lumetta", 0, nullptr, 0,
                                  KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        char16_t value[MAX_PATH] = {};
        const std::string text = path.string();
        std::copy(text.begin(), text.end(), value);
        EXPECT_EQ(RegSetValueExW(key, u"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                 sizeof(value)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        Win32LayerSetRegistryPath(nullptr);
    }
    // Writes the placement value into the item's settings as no command would.
    void StoreMode(DWORD mode) {
        Win32LayerSetRegistryPath(registry_.c_str());
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Quenby\\Lumetta", 0, nullptr, 0,
                                  KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key, u"Mode", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mode),
                                 sizeof(mode)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        Win32LayerSetRegistryPath(nullptr);
    }

    std::string Stderr() const {
        std::ifstream in(folder_ / "err.txt");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string Stdout() const {
        std::ifstream in(folder_ / "out.txt");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

protected:
    fs::path registry_;
};

TEST_F(TodayHostTest, InstallSetAndShowRenderTheItemAtTheTopOfTheScreen) {
    TestPicture picture = MakeTestPicture(300, 30);
    fs::path bitmap = folder_ / "picture.bmp";
    WriteBitmapFile(bitmap, picture, false);
    ASSERT_EQ(Host("install"), 0);
    ASSERT_EQ(Host("set --path " + bitmap.string() + " --mode center --height 24"), 0);
    fs::path png = folder_ / "today.png";
    ASSERT_EQ(Host("show --bare --out " + png.string() + " --screen 240x100"), 0);

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

// The database file is what a person backs up: once install and set have exited, a copy of
// the file alone (without SQLite's write-ahead log beside it) holds the registration and every
// setting.
TEST_F(TodayHostTest, InstallAndSetLeaveEverythingInTheDatabaseFileItself) {
    ASSERT_EQ(Host("install"), 0);
    WriteBitmapFile(folder_ / "good.bmp", MakeTestPicture(20, 10), false);
    SetPicture(folder_ / "good.bmp", "--mode tile --height 120");
    const fs::path wal = registry_.string() + "-wal";
    std::error_code error;
    EXPECT_TRUE(!fs::exists(wal) || fs::file_size(wal, error) == 0);
    const fs::path copy = folder_ / "backup.sqlite3";
    ASSERT_TRUE(fs::copy_file(registry_, copy));

    Win32LayerSetRegistryPath(copy.c_str());
    const struct {
        HKEY root;
        const char16_t* path;
        DWORD values;  // how many values the key holds
    } keys[] = {{HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Items\\Lumetta", 6},
                {HKEY_CURRENT_USER, u"Software\\Quenby\\Lumetta", 3}};
    for (const auto& expected : keys) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(expected.root, expected.path, 0, KEY_READ, &key), ERROR_SUCCESS);
        DWORD values = 0;
        EXPECT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   &values, nullptr, nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(values, expected.values);
        RegCloseKey(key);
    }
    HKEY settings = nullptr;
    ASSERT_EQ(
        RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Quenby\\Lumetta", 0, KEY_READ, &settings),
        ERROR_SUCCESS);
    DWORD height = 0;
    DWORD size = sizeof(height);
    EXPECT_EQ(RegQueryValueExW(settings, u"Height", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&height), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(height, 120u);
    RegCloseKey(settings);
    Win32LayerSetRegistryPath(nullptr);
}

TEST_F(TodayHostTest, WithoutARegisteredItemTheBareScreenIsWhite) {
    ASSERT_EQ(Host("install"), 0);
    ASSERT_EQ(Host("uninstall"), 0);
    fs::path png = folder_ / "today.png";
    ASSERT_EQ(Host("show --bare --out " + png.string()), 0);
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
    EXPECT_EQ(Host("show --out x.png --time 2002-02-29T10:00"), 2);
    EXPECT_EQ(Host("show --out x.png --bare=yes"), 2);
    EXPECT_FALSE(fs::exists(registry_));
    EXPECT_EQ(Host("--help", false), 0);
    EXPECT_EQ(Host("set --help", false), 0);
}

// --- The command line ---

struct CommandLineRow {
    const char* name;
    const char* arguments;  // FOLDER stands for the test's folder
    bool registry;          // --registry is added
    int status;
    const char* words;  // part of the one line on stderr (status 2) or of stdout (status 0)
};

void PrintTo(const CommandLineRow& row, std::ostream* out) {
    *out << row.name;
}

// A command line that cannot be carried out gets one line naming the problem and the --help to
// read; nothing is written.
const CommandLineRow kCommandLineRows[] = {
    {"NoCommand", "", false, 2, "today-host: give a command"},
    {"UnknownCommand", "frobnicate", false, 2, "today-host: unknown command 'frobnicate'"},
    {"UnknownOption", "show --colour red", true, 2, "unknown option '--colour'"},
    {"StrayArgument", "show today.png", true, 2, "unexpected argument 'today.png'"},
    {"MissingValue", "show --out", false, 2, "--out needs a value"},
    {"FlagWithValue", "options --remove=yes", true, 2, "--remove takes no value"},
    {"ShowToJpeg", "show --out FOLDER/today.jpg", true, 2,
     "--out 'FOLDER/today.jpg' names a .jpg file, but the screen is written as PNG only"},
    {"ShowWithoutExtension", "show --out FOLDER/today", true, 2, "has no extension"},
    // The options dialog accepts 1 to the screen's height, and three digits at most.
    {"HeightAboveTheScreen", "set --height 321", true, 2,
     "--height wants a number of pixels from 1 to 320 (the options dialog's rule on a 240x320 "
     "screen; give --screen for another size), not '321'"},
    {"HeightOnATallerScreen", "set --height 321 --screen 240x400", true, 0, "Height: 321"},
    {"HeightOfFourDigits", "set --height 1000 --screen 240x1200", true, 2,
     "from 1 to 999 (the options dialog's rule on a 240x1200 screen, whose field holds 3 digits)"},
    {"PathToAFolder", "set --path FOLDER", true, 2, "is a folder; give the picture file in it"},
};

class TodayHostCommandLine : public TodayHostTest,
                             public testing::WithParamInterface<CommandLineRow> {};

TEST_P(TodayHostCommandLine, OneLineSaysWhat) {
    const CommandLineRow& row = GetParam();
    std::string arguments = row.arguments;
    for (size_t at; (at = arguments.find("FOLDER")) != std::string::npos;)
        arguments.replace(at, 6, folder_.string());
    std::string words = row.words;
    for (size_t at; (at = words.find("FOLDER")) != std::string::npos;)
        words.replace(at, 6, folder_.string());
    EXPECT_EQ(Host(arguments, row.registry), row.status);
    const std::string err = Stderr();
    if (row.status == 2) {
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find(words), std::string::npos) << err;
        EXPECT_NE(err.find("; see 'today-host"), std::string::npos) << err;
        EXPECT_EQ(Stdout(), "");
        EXPECT_FALSE(fs::exists(registry_));
    } else {
        EXPECT_EQ(err, "");
        EXPECT_NE(Stdout().find(words), std::string::npos) << Stdout();
    }
    EXPECT_FALSE(fs::exists(folder_ / "today.jpg"));
}

INSTANTIATE_TEST_SUITE_P(Rows, TodayHostCommandLine, testing::ValuesIn(kCommandLineRows),
                         [](const testing::TestParamInfo<CommandLineRow>& row) {
                             return std::string(row.param.name);
                         });

// --- The Today screen around the items ---

// The host's rows on every screen size: the navigation bar (26 rows), the date and owner lines
// (20 rows each), the items, the command bar (26 rows).
constexpr int kItemsTop = 66;
constexpr int kBarRows = 26;

class TodayHostScreen : public TodayHostTest, public testing::WithParamInterface<const char*> {};

// Counts the pixels of rows [top, bottom) that are not white.
int Coloured(const Png& screen, int top, int bottom) {
    return static_cast<int>(std::count_if(screen.pixels.begin() + top * screen.width,
                                          screen.pixels.begin() + bottom * screen.width,
                                          [](uint32_t pixel) { return pixel != kWhite; }));
}

TEST_P(TodayHostScreen, TheItemSitsBetweenTheHostsLinesAndTheCommandBar) {
    int width = 0;
    int height = 0;
    ASSERT_EQ(std::sscanf(GetParam(), "%dx%d", &width, &height), 2);
    TestPicture picture = MakeTestPicture(30, 10);
    WriteBitmapFile(folder_ / "picture.bmp", picture, false);
    ASSERT_EQ(Host("install"), 0);
    SetPicture(folder_ / "picture.bmp", "--mode tile --height 40");
    const fs::path png = folder_ / "today.png";
    ASSERT_EQ(Host("show --out " + png.string() + " --screen " + GetParam()), 0);
    Png screen;
    ASSERT_TRUE(ReadPng(png, &screen));
    ASSERT_EQ(screen.width, width);
    ASSERT_EQ(screen.height, height);

    // The navigation bar fills its rows edge to edge; so does the command bar.
    for (int y : {0, kBarRows - 1, height - kBarRows + 2, height - 1}) {
        for (int x : {0, width / 2, width - 1})
            EXPECT_NE(screen.pixels[y * width + x], kWhite) << x << "," << y;
    }
    // The date and owner lines hold text; the item's rows are the item's, at full width.
    EXPECT_GT(Coloured(screen, kBarRows, kBarRows + 20), 100);
    EXPECT_GT(Coloured(screen, kBarRows + 20, kItemsTop), 100);
    const std::vector<uint32_t> item = ExpectTile(picture, width, 40);
    const std::vector<uint32_t> shown(screen.pixels.begin() + kItemsTop * width,
                                      screen.pixels.begin() + (kItemsTop + 40) * width);
    EXPECT_EQ(shown, item);
    // Below the item, white down to the command bar.
    EXPECT_EQ(Coloured(screen, kItemsTop + 40, height - kBarRows), 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, TodayHostScreen,
                         testing::Values("240x320", "320x240", "480x640", "176x220"),
                         [](const testing::TestParamInfo<const char*>& size) {
                             return std::string("Screen") + size.param;
                         });

// The clock, the date and the owner are fixed unless given, so that a screen can be compared;
// given, they change their own rows and nothing else.
TEST_F(TodayHostTest, TimeAndOwnerChangeOnlyTheirOwnRows) {
    ASSERT_EQ(Host("install"), 0);
    const fs::path first = folder_ / "first.png";
    const fs::path again = folder_ / "again.png";
    const fs::path other = folder_ / "other.png";
    ASSERT_EQ(Host("show --out " + first.string()), 0);
    ASSERT_EQ(Host("show --out " + again.string()), 0);
    ASSERT_EQ(Host("show --out " + other.string() + " --time '2026-12-10 15:07' --owner 'Ada B'"),
              0);
    Png a;
    Png b;
    Png c;
    ASSERT_TRUE(ReadPng(first, &a) && ReadPng(again, &b) && ReadPng(other, &c));
    EXPECT_EQ(a.pixels, b.pixels);
    auto rows_differ = [&](int top, int bottom) {
        return !std::equal(a.pixels.begin() + top * 240, a.pixels.begin() + bottom * 240,
                           c.pixels.begin() + top * 240);
    };
    EXPECT_TRUE(rows_differ(0, kBarRows));               // the clock
    EXPECT_TRUE(rows_differ(kBarRows, kBarRows + 20));   // the date
    EXPECT_TRUE(rows_differ(kBarRows + 20, kItemsTop));  // the owner
    EXPECT_FALSE(rows_differ(kItemsTop, 320));
}

// --- Why an item shows no picture, or shows it wrongly ---

enum class Item { kWhite, kPicture, kAsItDraws };

struct WarningRow {
    const char* name;
    // Prepares the picture (and settings) of an installed item in the test's folder.
    void (*prepare)(TodayHostTest* test, const fs::path& folder);
    const char* words;  // part of the one warning line; empty: no warning
    Item item;          // what the item's rows show
};

void PrintTo(const WarningRow& row, std::ostream* out) {
    *out << row.name;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class TodayHostWarning : public TodayHostTest, public testing::WithParamInterface<WarningRow> {};

void GoodBitmap(TodayHostTest* test, const fs::path& folder) {
    WriteBitmapFile(folder / "good.bmp", MakeTestPicture(20, 10), false);
    test->SetPicture(folder / "good.bmp", "--mode tile");
}

std::string FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A 20 x 10 bitmap of the given header size, its pixels a gradient.
std::string Bitmap(int header_size) {
    BmpWriteSpec spec;
    spec.header_size = header_size;
    spec.width = 20;
    spec.height = 10;
    const std::vector<uint8_t> bytes =
        WriteBmp(spec, [](int x, int y) { return static_cast<uint32_t>(0x102030 + x * 9 + y); });
    return std::string(bytes.begin(), bytes.end());
}

const WarningRow kWarningRows[] = {
    {"PictureShown", GoodBitmap, "", Item::kPicture},
    {"NoPath", [](TodayHostTest*, const fs::path&) {}, "Lumetta: no picture file is set",
     Item::kWhite},
    {"FileMissing",
     [](TodayHostTest* test, const fs::path& folder) {
         GoodBitmap(test, folder);
         fs::remove(folder / "good.bmp");
     },
     "/good.bmp' does not exist", Item::kWhite},
    {"NotABitmap",
     [](TodayHostTest* test, const fs::path& folder) {
         WriteBytes(folder / "photo.gif", "GIF89a");
         test->SetPicture(folder / "photo.gif");
     },
     "/photo.gif' is not a Windows bitmap file (it does not start with \"BM\"): it is a GIF "
     "file; convert it to a 24-bit bitmap or a baseline JPEG",
     Item::kWhite},
    {"BitmapLoaderFails",
     [](TodayHostTest* test, const fs::path& folder) {
         WriteBytes(folder / "empty.bmp", "BM" + std::string(52, '\0'));
         test->SetPicture(folder / "empty.bmp");
     },
     "the bitmap loader cannot read '", Item::kWhite},
    {"JpegRefused",
     [](TodayHostTest* test, const fs::path& folder) {
         stagetest::StreamSpec spec;
         spec.frame_marker = 0xC2;
         const stagetest::Bytes bytes = stagetest::BuildStream(spec);
         WriteBytes(folder / "photo.JPG", std::string(bytes.begin(), bytes.end()));
         test->SetPicture(folder / "photo.JPG");
     },
     "/photo.JPG' is refused: progressive JPEG (SOF2): re-encode it as a baseline JPEG",
     Item::kWhite},
    {"ModeOutOfRange",
     [](TodayHostTest* test, const fs::path& folder) {
         GoodBitmap(test, folder);
         test->StoreMode(3);
     },
     "the placement value 3 is outside 0 to 2", Item::kWhite},
    {"Folder",
     [](TodayHostTest* test, const fs::path& folder) {
         fs::create_directory(folder / "pictures");
         test->StorePath(folder / "pictures");
     },
     "/pictures' is a folder, not a picture file", Item::kWhite},
    {"BitmapNamedJpg",
     [](TodayHostTest* test, const fs::path& folder) {
         WriteBytes(folder / "photo.jpg", Bitmap(40));
         test->SetPicture(folder / "photo.jpg");
     },
     "/photo.jpg' is refused: a Windows bitmap file, not a JPEG: rename it .bmp", Item::kWhite},
    {"PngNamedJpg",
     [](TodayHostTest* test, const fs::path& folder) {
         WriteBytes(folder / "photo.jpg", std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16));
         test->SetPicture(folder / "photo.jpg");
     },
     "a PNG file, not a JPEG: convert it to a baseline JPEG or a 24-bit Windows bitmap",
     Item::kWhite},
    {"JpegNamedBmp",
     [](TodayHostTest* test, const fs::path& folder) {
         WriteBytes(folder / "photo.bmp", FileBytes(LADYBIRD_JPEG));
         test->SetPicture(folder / "photo.bmp");
     },
     "it is a JPEG file; rename it .jpg", Item::kWhite},
    {"JpegCutShort",
     [](TodayHostTest* test, const fs::path& folder) {
         WriteBytes(folder / "cut.jpg", FileBytes(LADYBIRD_JPEG).substr(0, 5000));
         test->SetPicture(folder / "cut.jpg");
     },
     "/cut.jpg': the picture data ends before its last block, at rows 81 to 96 of 360: the file "
     "is cut short",
     Item::kPicture},
    {"Os2Bitmap",
     [](TodayHostTest* test, const fs::path& folder) {
         WriteBytes(folder / "os2.bmp", Bitmap(12));
         test->SetPicture(folder / "os2.bmp");
     },
     "/os2.bmp' is an OS/2 bitmap (12-byte core header)", Item::kAsItDraws},
    {"BitmapCutShort",
     [](TodayHostTest* test, const fs::path& folder) {
         const std::string bytes = Bitmap(40);
         WriteBytes(folder / "cut.bmp", bytes.substr(0, bytes.size() - 100));
         test->SetPicture(folder / "cut.bmp", "--mode tile");
     },
     "/cut.bmp' is cut short: its pixel data ends before the last row", Item::kPicture},
};

TEST_P(TodayHostWarning, ShowSaysInOneLineWhyThePictureIsMissing) {
    ASSERT_EQ(Host("install"), 0);
    GetParam().prepare(this, folder_);
    ASSERT_EQ(Host("show --bare --out " + (folder_ / "today.png").string() + " --screen 240x40"),
              0);
    const std::string err = Stderr();
    if (GetParam().words[0] == 0) {
        EXPECT_EQ(err, "");
    } else {
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(err.rfind("today-host: Lumetta: ", 0), 0u) << err;
        EXPECT_NE(err.find(GetParam().words), std::string::npos) << err;
    }
    // The screen is written either way; the item's rows are white without a picture.
    Png screen;
    ASSERT_TRUE(ReadPng(folder_ / "today.png", &screen));
    const bool white = std::all_of(screen.pixels.begin(), screen.pixels.begin() + 240 * 24,
                                   [](uint32_t pixel) { return pixel == kWhite; });
    if (GetParam().item != Item::kAsItDraws) {
        EXPECT_EQ(white, GetParam().item == Item::kWhite);
    }
}

INSTANTIATE_TEST_SUITE_P(Pictures, TodayHostWarning, testing::ValuesIn(kWarningRows),
                         [](const testing::TestParamInfo<WarningRow>& row) {
                             return std::string(row.param.name);
                         });

}  // namespace
