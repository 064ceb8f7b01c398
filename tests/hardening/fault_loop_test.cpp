// Every failure point survived: each scenario of the Today host and the decoder is run once to
// count the calls that can fail on its way, then once for every N with the N-th of them failing
// (the layer's fault plan). After each run nothing is left allocated (every handle kind and
// the local heap as they began) and the failed step ends as it must: LoadJpeg gives a null
// bitmap or the whole picture; the item gives no window, a white item or its picture; the
// options dialog saves or stays open (or never opens); the settings are never torn.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "encoded_files.h"
#include "fault_loop.h"
#include "item_harness.h"
#include "load_jpeg_kernels.h"
#include "picture_settings.h"
#include "registry_fixture.h"
#include "target_program.h"
#include "test_pictures.h"
#include "varnel.h"
#include "win32/dialog_driver.h"
#include "win32/host_services.h"
#include "win32/test_probes.h"

namespace {

using testsupport::BeginFaultSteps;
using testsupport::DescribeLiveCounts;
using testsupport::EndFaultSteps;
using testsupport::LiveCounts;
using testsupport::RunFaultLoop;
using testsupport::TakeLiveCounts;

std::u16string WidePath(const std::filesystem::path& path) {
    const std::string text = path.string();
    return std::u16string(text.begin(), text.end());  // the test folders' names are ASCII
}

void ExpectSameLiveCounts(const LiveCounts& before) {
    const LiveCounts after = TakeLiveCounts();
    EXPECT_EQ(after, before) << "left behind: " << DescribeLiveCounts(after)
                             << "\nbefore: " << DescribeLiveCounts(before);
}

std::vector<uint32_t> BitmapPixels(HBITMAP bitmap) {
    int width = 0;
    int height = 0;
    Win32LayerReadBitmap(bitmap, &width, &height, nullptr);
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    Win32LayerReadBitmap(bitmap, &width, &height, pixels.data());
    return pixels;
}

// LoadJpeg of one file: a null bitmap (its size untouched, or written when the failure came
// after it was) or the whole picture.
struct JpegCase {
    const char* name;
    const char* cjpeg_options;
    bool reference;  // the reference loader (full planes and a pixel block), not the export
};

class LoadJpegFaultLoop : public testing::TestWithParam<JpegCase> {};

TEST_P(LoadJpegFaultLoop, GivesANullBitmapOrTheWholePicture) {
    const JpegCase& c = GetParam();
    const std::filesystem::path file = testfiles::EncodeWithCjpeg(
        testfiles::MakePicture(45, 29, 7), c.cjpeg_options, std::string(c.name) + ".jpg");
    ASSERT_FALSE(file.empty()) << "cjpeg failed";
    const std::u16string path = WidePath(file);
    POINT size = {0, 0};
    auto load = [&c, &path](POINT* out) {
        return c.reference ? varnel::LoadJpegWithKernels(nullptr, path.c_str(), out,
                                                         varnel::Kernels::Reference)
                           : LoadJpeg(nullptr, path.c_str(), out);
    };
    HBITMAP whole = load(&size);
    ASSERT_NE(whole, nullptr);
    const std::vector<uint32_t> expected = BitmapPixels(whole);
    DeleteObject(whole);

    RunFaultLoop(
        std::string(c.reference ? "LoadJpeg (reference loader), " : "LoadJpeg, ") + c.name,
        [&](int) {
            const LiveCounts before = TakeLiveCounts();
            POINT got = {-7, -7};
            BeginFaultSteps();
            HBITMAP bitmap = load(&got);
            EndFaultSteps();
            if (bitmap != nullptr) {
                EXPECT_EQ(BitmapPixels(bitmap), expected) << "a picture that is not the file's";
                EXPECT_TRUE(got.x == size.x && got.y == size.y);
                DeleteObject(bitmap);
            } else {
                EXPECT_TRUE((got.x == -7 && got.y == -7) || (got.x == size.x && got.y == size.y))
                    << "size written as " << got.x << " x " << got.y;
            }
            ExpectSameLiveCounts(before);
        });
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadJpegFaultLoop,
    testing::Values(JpegCase{"baseline", "-sample 2x2 -quality 85", false},
                    JpegCase{"restart_interval", "-sample 2x1 -restart 1B", false},
                    JpegCase{"greyscale", "-grayscale", false},
                    JpegCase{"baseline_reference", "-sample 2x2 -quality 85", true},
                    JpegCase{"restart_interval_reference", "-sample 2x1 -restart 1B", true},
                    JpegCase{"greyscale_reference", "-grayscale", true}),
    [](const testing::TestParamInfo<JpegCase>& param) { return std::string(param.param.name); });

// The item created through ordinal 240, painted and destroyed.
struct ItemCase {
    const char* name;
    bool jpeg;
    int32_t mode;
};

class ItemFaultLoop : public ItemTest, public testing::WithParamInterface<ItemCase> {};

TEST_P(ItemFaultLoop, GivesNoWindowAWhiteItemOrThePicture) {
    const ItemCase& c = GetParam();
    std::filesystem::path picture;
    if (c.jpeg) {
        picture = folder_ / "photo.jpg";
        std::filesystem::copy_file(testfiles::EncodeWithCjpeg(testfiles::MakePicture(150, 23, 3),
                                                              "-quality 80", "item.jpg"),
                                   picture);
    } else {
        picture = folder_ / "picture.bmp";
        WriteBitmapFile(picture, MakeTestPicture(70, 13), false);
    }
    StoreSettings(c.mode, 30, Wide(picture));
    int width = 0;
    int height = 0;
    const std::vector<uint32_t> expected = ShowItem(&width, &height);
    ASSERT_EQ(height, 30);
    ASSERT_NE(std::count(expected.begin(), expected.end(), kWhite),
              static_cast<std::ptrdiff_t>(expected.size()))
        << "the picture must show";
    for (HWND window : windows_) DestroyWindow(window);
    windows_.clear();
    const std::vector<uint32_t> white(expected.size(), kWhite);

    RunFaultLoop(std::string("item, ") + c.name, [&](int) {
        // Each run is the first initialisation of the library in the shell.
        UnregisterClassW(u"QBTodayPictureWnd", module_);
        const LiveCounts before = TakeLiveCounts();
        const HCURSOR cursor = GetCursor();
        TODAYLISTITEM record = EnabledRecord();
        BeginFaultSteps();
        HWND window = initialize_(&record, host_);
        if (window != nullptr) {
            InvalidateRect(window, nullptr, TRUE);
            // A paint that fails leaves the window invalid, and the shell sends another.
            UpdateWindow(window);
            UpdateWindow(window);
        }
        EndFaultSteps();
        EXPECT_EQ(record.hwndCustom, window);
        if (window != nullptr) {
            int w = 0;
            int h = 0;
            const std::vector<uint32_t> shown = ReadWindow(window, &w, &h);
            EXPECT_TRUE(shown == expected || shown == white)
                << "neither the picture nor a white item";
            BeginFaultSteps();
            DestroyWindow(window);
            EndFaultSteps();
            EXPECT_FALSE(IsWindow(window));
        }
        EXPECT_EQ(GetCursor(), cursor) << "the cursor before the build is not shown again";
        ExpectSameLiveCounts(before);
    });
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, ItemFaultLoop,
    testing::Values(ItemCase{"jpeg_stretch", true, 0}, ItemCase{"jpeg_center", true, 1},
                    ItemCase{"jpeg_tile", true, 2}, ItemCase{"bitmap_stretch", false, 0},
                    ItemCase{"bitmap_center", false, 1}, ItemCase{"bitmap_tile", false, 2}),
    [](const testing::TestParamInfo<ItemCase>& param) { return std::string(param.param.name); });

// The settings as stored, read straight from the registry.
struct StoredSettings {
    int32_t mode;
    int32_t height;
    std::vector<BYTE> path;  // the whole value
};

StoredSettings Settings(int32_t mode, int32_t height, const std::u16string& path) {
    StoredSettings settings{mode, height, std::vector<BYTE>(sizeof(PictureSettings::path), 0)};
    std::memcpy(settings.path.data(), path.data(), path.size() * sizeof(char16_t));
    return settings;
}

// Each value either as before or as saved, whole: a REG_DWORD of 4 bytes, a path of 520 bytes.
void ExpectEachValueOldOrNew(const StoredSettings& old, const StoredSettings& saved) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Quenby\\Lumetta", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    struct Value {
        const char16_t* name;
        std::vector<BYTE> old_bytes;
        std::vector<BYTE> new_bytes;
    };
    auto bytes_of = [](int32_t value) {
        std::vector<BYTE> bytes(4);
        std::memcpy(bytes.data(), &value, 4);
        return bytes;
    };
    const Value values[] = {
        {u"Height", bytes_of(old.height), bytes_of(saved.height)},
        {u"Mode", bytes_of(old.mode), bytes_of(saved.mode)},
        {u"Path", old.path, saved.path},
    };
    for (const Value& value : values) {
        std::vector<BYTE> stored(1024);
        DWORD size = static_cast<DWORD>(stored.size());
        ASSERT_EQ(RegQueryValueExW(key, value.name, nullptr, nullptr, stored.data(), &size),
                  ERROR_SUCCESS);
        stored.resize(size);
        EXPECT_TRUE(stored == value.old_bytes || stored == value.new_bytes)
            << "the value "
            << std::string(value.name, value.name + std::char_traits<char16_t>::length(value.name))
            << " is neither as it was nor as saved";
    }
    RegCloseKey(key);
    // And the next load reads them.
    PictureSettings loaded = DefaultPictureSettings();
    EXPECT_EQ(LoadPictureSettings(&loaded), ERROR_SUCCESS);
}

class SettingsFaultLoop : public ItemTest {
protected:
    void SetUp() override {
        ItemTest::SetUp();
        old_picture_ = folder_ / "old.bmp";
        new_picture_ = folder_ / "new.bmp";
        WriteBitmapFile(old_picture_, MakeTestPicture(5, 3), false);
        WriteBitmapFile(new_picture_, MakeTestPicture(3, 5), false);
        StoreSettings(2, 60, Wide(old_picture_));
        old_ = Settings(2, 60, Wide(old_picture_));
        procedure_ = reinterpret_cast<DLGPROC>(reinterpret_cast<void (*)()>(
            GetProcAddress(module_, MAKEINTRESOURCEA(ORDINAL_OPTIONSDLGPROC))));
        ASSERT_NE(procedure_, nullptr);
    }

    // Opens dialog 500 with ordinal 241 under the plan and works it with the queued actions.
    INT_PTR RunDialog() {
        Win32LayerClearMessageBoxes();
        BeginFaultSteps();
        const INT_PTR result =
            DialogBoxParamW(module_, MAKEINTRESOURCEW(500), host_, procedure_, 0);
        EndFaultSteps();
        Win32LayerClearActions();
        return result;
    }

    std::filesystem::path old_picture_;
    std::filesystem::path new_picture_;
    StoredSettings old_;
    DLGPROC procedure_ = nullptr;
};

// The options dialog opened, a height and a path given (typed, or chosen with the file-open
// dialog) and confirmed; or first a height of 0 confirmed, refused with the height message,
// and then the right one.
enum class DialogInput { Typed, Browsed, RefusedFirst };

std::string DialogInputName(const testing::TestParamInfo<DialogInput>& info) {
    const char* const names[] = {"typed", "browsed", "refused_first"};
    return names[static_cast<int>(info.param)];
}

class OptionsDialogFaultLoop : public SettingsFaultLoop,
                               public testing::WithParamInterface<DialogInput> {};

TEST_P(OptionsDialogFaultLoop, SavesOrStaysOpenOrNeverOpens) {
    const DialogInput input = GetParam();
    const bool browse = input == DialogInput::Browsed;
    const bool refused_first = input == DialogInput::RefusedFirst;
    const StoredSettings saved = Settings(2, 100, Wide(new_picture_));
    const char* const names[] = {"options dialog, path typed", "options dialog, path browsed",
                                 "options dialog, height refused, then confirmed"};
    RunFaultLoop(names[static_cast<int>(input)], [&](int) {
        StoreSettings(2, 60, Wide(old_picture_));
        const LiveCounts before = TakeLiveCounts();
        if (refused_first) {
            Win32LayerQueueTypeText(1004, u"0");
            Win32LayerQueuePressButton(IDOK);
            Win32LayerQueueAnswerMessageBox(IDOK);
        }
        Win32LayerQueueTypeText(1004, u"100");
        if (browse) {
            Win32LayerQueuePressButton(1002);
            Win32LayerQueueChooseFile(Wide(new_picture_).c_str());
        } else {
            Win32LayerQueueTypeText(1001, Wide(new_picture_).c_str());
        }
        Win32LayerQueuePressButton(IDOK);
        const INT_PTR result = RunDialog();
        if (result == IDOK) {
            EXPECT_EQ(Win32LayerMessageBoxCount(), refused_first ? 1 : 0);
            // Settings that the dialog could not read open it with the defaults, as a first
            // run does, and those are saved with what was typed.
            const int failed = Win32LayerFaultPlanFailedPoint();
            const bool read_failed = failed == WIN32LAYER_FAULT_REG_OPEN_KEY ||
                                     failed == WIN32LAYER_FAULT_REG_QUERY_VALUE;
            ExpectEachValueOldOrNew(old_,
                                    read_failed ? Settings(0, 100, Wide(new_picture_)) : saved);
        } else {
            EXPECT_EQ(result, -1);
            if (Win32LayerMessageBoxCount() > 0) {
                EXPECT_TRUE(Win32LayerDialogStayedOpen());
            }
            ExpectEachValueOldOrNew(old_, old_);
        }
        ExpectSameLiveCounts(before);
    });
}

INSTANTIATE_TEST_SUITE_P(Inputs, OptionsDialogFaultLoop,
                         testing::Values(DialogInput::Typed, DialogInput::Browsed,
                                         DialogInput::RefusedFirst),
                         DialogInputName);

// The removal button confirmed: the registration is gone or still there, never anything else;
// the settings are not touched.
TEST_F(SettingsFaultLoop, RemovalConfirmedRemovesOrKeepsTheRegistration) {
    const char16_t kRegistration[] = u"Software\\Microsoft\\Today\\Items\\Lumetta";
    auto registered = [&] {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRegistration, 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    };
    RunFaultLoop("options dialog, removal confirmed", [&](int) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRegistration, 0, const_cast<LPWSTR>(u""),
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const DWORD order = 3;
        RegSetValueExW(key, u"Order", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&order), 4);
        RegCloseKey(key);
        const LiveCounts before = TakeLiveCounts();
        Win32LayerQueueTypeText(1004, u"100");
        Win32LayerQueuePressButton(1000);
        Win32LayerQueueAnswerMessageBox(IDOK);
        Win32LayerQueueAnswerMessageBox(IDOK);
        const INT_PTR result = RunDialog();
        if (result != IDOK) {
            EXPECT_EQ(result, -1);
            EXPECT_TRUE(registered()) << "removed, and the dialog did not say so";
        }
        ExpectEachValueOldOrNew(old_, old_);
        ExpectSameLiveCounts(before);
    });
}

// The settings loaded and saved, the registry database opened afresh: the load gives each
// field as stored or its default, and after the save each value is as it was or as saved.
// The settings loaded and saved, with the registry database opened afresh.
class SettingsSaveFaultLoop : public SettingsFaultLoop {
protected:
    StoredSettings Saved() const { return Settings(1, 200, Wide(new_picture_)); }

    // Stores the old settings, opens the database afresh, then loads and saves under the plan.
    void LoadAndSave() {
        StoreSettings(2, 60, Wide(old_picture_));
        Win32LayerSetRegistryPath(registry_path_.c_str());
        PictureSettings loaded = DefaultPictureSettings();
        next_ = DefaultPictureSettings();
        next_.mode = DrawMode::Center;
        next_.height = 200;
        Wide(new_picture_).copy(next_.path, MAX_PATH - 1);
        BeginFaultSteps();
        LoadPictureSettings(&loaded);
        SavePictureSettings(&next_);
        EndFaultSteps();
        // Each field as stored or, when it could not be read, its default.
        EXPECT_TRUE(loaded.mode == DrawMode::Tile || loaded.mode == DrawMode::Stretch);
        EXPECT_TRUE(loaded.height == 60 || loaded.height == 24);
        EXPECT_TRUE(std::u16string(loaded.path) == Wide(old_picture_) || loaded.path[0] == 0);
    }

    PictureSettings next_{};
};

// After a failure at any point of a load and a save, each value is as it was or as saved,
// whole, and the next load reads them.
TEST_F(SettingsSaveFaultLoop, NeverTearTheSettings) {
    RunFaultLoop("settings loaded and saved", [&](int) {
        const LiveCounts before = TakeLiveCounts();
        LoadAndSave();
        Win32LayerSetRegistryPath(registry_path_.c_str());
        ExpectEachValueOldOrNew(old_, Saved());
        ExpectSameLiveCounts(before);
    });
}

// The process goes on working after the failure: the next save, in the same process, stores
// all three values (the shell keeps the item loaded for months).
TEST_F(SettingsSaveFaultLoop, TheNextSaveStoresEverything) {
    RunFaultLoop("settings saved again after the failure", [&](int) {
        const LiveCounts before = TakeLiveCounts();
        LoadAndSave();
        PictureSettings again = next_;
        again.height = 201;
        EXPECT_EQ(SavePictureSettings(&again), ERROR_SUCCESS);
        Win32LayerSetRegistryPath(registry_path_.c_str());
        const StoredSettings expected = Settings(1, 201, Wide(new_picture_));
        ExpectEachValueOldOrNew(expected, expected);
        ExpectSameLiveCounts(before);
    });
}

// The plan itself: a named plan counts that call only and fails the n-th with the table's
// error; every point of the table is known by its name; an unknown name sets no plan.
TEST(FaultPlan, ANamedPlanCountsAndFailsThatCallOnly) {
    ASSERT_TRUE(Win32LayerSetFaultPlan("LocalAlloc", 2));
    HLOCAL first = LocalAlloc(LPTR, 16);
    EXPECT_EQ(
        CreateFileW(u"/nonexistent/file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
        INVALID_HANDLE_VALUE);
    SetLastError(ERROR_SUCCESS);
    HLOCAL second = LocalAlloc(LPTR, 16);
    const DWORD error = GetLastError();
    HLOCAL third = LocalAlloc(LPTR, 16);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_NE(third, nullptr);
    EXPECT_EQ(Win32LayerFaultPlanReached(), 3);
    EXPECT_EQ(Win32LayerFaultPlanFailedPoint(), WIN32LAYER_FAULT_LOCAL_ALLOC);
    LocalFree(first);
    LocalFree(third);

    for (int point = 0; point < WIN32LAYER_FAULT_POINT_COUNT; ++point) {
        EXPECT_TRUE(Win32LayerSetFaultPlan(Win32LayerFaultPointName(point), 1)) << point;
    }
    EXPECT_FALSE(Win32LayerSetFaultPlan("LocalAlloc2", 1));
    HLOCAL after = LocalAlloc(LPTR, 16);
    EXPECT_NE(after, nullptr) << "no plan after an unknown name";
    LocalFree(after);
    Win32LayerSetFaultPlan(nullptr, 0);
}

// WIN32LAYER_FAULT_PLAN in a program's environment: the program says which call failed, or
// how many it counted, or that the plan is not understood.
struct EnvironmentCase {
    const char* name;
    const char* plan;
    const char* said;
};

class FaultPlanEnvironment : public testsupport::TempRegistryTest,
                             public testing::WithParamInterface<EnvironmentCase> {
protected:
    FaultPlanEnvironment() : TempRegistryTest(false) {}
};

TEST_P(FaultPlanEnvironment, IsReadByAProgram) {
    const std::string command = "WIN32LAYER_FAULT_PLAN='" + std::string(GetParam().plan) + "' " +
                                testsupport::TargetCommand(TODAY_HOST) + " show --registry " +
                                registry_path_.string() + " --out " +
                                (folder_ / "screen.png").string() + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[512];
    while (fgets(buffer, sizeof(buffer), pipe) != nullptr) output += buffer;
    pclose(pipe);
    EXPECT_NE(output.find(GetParam().said), std::string::npos) << output;
}

INSTANTIATE_TEST_SUITE_P(
    Plans, FaultPlanEnvironment,
    testing::Values(EnvironmentCase{"CountOnly", "0", "calls that can fail were reached"},
                    EnvironmentCase{"FirstCall", "1", "fault plan: call 1, "},
                    EnvironmentCase{"NamedCall", "RegOpenKeyExW:1",
                                    "fault plan: call 1, RegOpenKeyExW, fails"},
                    EnvironmentCase{"UnknownName", "Nothing:1", "is not N or NAME:N"},
                    EnvironmentCase{"Negative", "-3", "is not N or NAME:N"}),
    [](const testing::TestParamInfo<EnvironmentCase>& row) { return std::string(row.param.name); });

}  // namespace
