// No leaked handles: a thousand cycles of what the Today host does with the item (create the
// window through export ordinal 240, paint it, destroy it) and with its options dialog (open
// template 500 with export ordinal 241 and confirm it) end with the same live counts of files,
// bitmaps, device contexts, brushes, windows, registry keys, modules and local-heap blocks as
// they began.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "item_harness.h"
#include "picture_settings.h"
#include "test_pictures.h"
#include "win32/dialog_driver.h"
#include "win32/test_probes.h"

namespace {

constexpr int kCycles = 1000;

struct Counts {
    std::vector<int> handles;
    int local_blocks = 0;
    bool operator==(const Counts&) const = default;
};

Counts TakeCounts() {
    Counts counts;
    for (int kind = WIN32LAYER_KIND_FILE; kind <= WIN32LAYER_KIND_MODULE; ++kind) {
        counts.handles.push_back(Win32LayerLiveHandleCount(kind));
    }
    counts.local_blocks = Win32LayerLiveLocalBlockCount();
    return counts;
}

std::string Describe(const Counts& counts) {
    const char* const names[] = {"files",   "bitmaps", "memory DCs",    "window DCs",
                                 "brushes", "windows", "registry keys", "modules"};
    std::string text;
    for (size_t i = 0; i < counts.handles.size(); ++i) {
        text += std::string(names[i]) + " " + std::to_string(counts.handles[i]) + ", ";
    }
    return text + "local blocks " + std::to_string(counts.local_blocks);
}

class HandleCyclesTest : public ItemTest {};

TEST_F(HandleCyclesTest, AThousandCreatePaintDestroyCyclesOfTheItemKeepNothing) {
    const std::filesystem::path bitmap = folder_ / "picture.bmp";
    WriteBitmapFile(bitmap, MakeTestPicture(37, 11), false);
    const std::filesystem::path jpeg = folder_ / "photo.jpg";
    std::filesystem::copy_file(SAMPLE_JPEG, jpeg);
    // Every placement, a JPEG file, a bitmap file and a missing one, at a few heights.
    struct Setting {
        int32_t mode;
        int32_t height;
        std::u16string path;
    };
    const std::vector<Setting> settings = {
        {0, 24, Wide(bitmap)}, {1, 40, Wide(jpeg)},
        {2, 80, Wide(bitmap)}, {1, 24, Wide(folder_ / "missing.bmp")},
        {7, 30, Wide(bitmap)}, {0, 1, Wide(jpeg)},
    };
    const Counts before = TakeCounts();
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        const Setting& setting = settings[static_cast<size_t>(cycle) % settings.size()];
        // The settings are written only while they change, as a person would.
        if (cycle < static_cast<int>(settings.size())) {
            StoreSettings(setting.mode, setting.height, setting.path);
        } else if (cycle % static_cast<int>(settings.size()) == 0) {
            StoreSettings(setting.mode, setting.height, setting.path);
        }
        TODAYLISTITEM record = EnabledRecord();
        HWND window = initialize_(&record, host_);
        ASSERT_NE(window, nullptr) << "cycle " << cycle;
        InvalidateRect(window, nullptr, TRUE);
        UpdateWindow(window);
        ASSERT_TRUE(DestroyWindow(window));
        if (cycle == 0 || cycle == kCycles - 1) {
            ASSERT_EQ(TakeCounts(), before)
                << "after cycle " << cycle << ": " << Describe(TakeCounts())
                << "\nbefore: " << Describe(before);
        }
    }
}

TEST_F(HandleCyclesTest, AThousandOpenAndConfirmCyclesOfTheOptionsDialogKeepNothing) {
    const auto procedure = reinterpret_cast<DLGPROC>(reinterpret_cast<void (*)()>(
        GetProcAddress(module_, MAKEINTRESOURCEA(ORDINAL_OPTIONSDLGPROC))));
    ASSERT_NE(procedure, nullptr);
    const std::filesystem::path bitmap = folder_ / "picture.bmp";
    WriteBitmapFile(bitmap, MakeTestPicture(5, 3), false);
    StoreSettings(2, 60, Wide(bitmap));
    Win32LayerClearActions();
    Win32LayerClearMessageBoxes();
    const Counts before = TakeCounts();
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        // Every other time the height is changed before confirming.
        if (cycle % 2 == 1) {
            const std::u16string height = cycle % 4 == 1 ? u"61" : u"60";
            Win32LayerQueueTypeText(1004, height.c_str());
        }
        Win32LayerQueuePressButton(IDOK);
        ASSERT_EQ(DialogBoxParamW(module_, MAKEINTRESOURCEW(500), host_, procedure, 0), IDOK)
            << "cycle " << cycle;
        ASSERT_EQ(Win32LayerPendingActionCount(), 0) << "cycle " << cycle;
        if (cycle == 0 || cycle == kCycles - 1) {
            ASSERT_EQ(TakeCounts(), before)
                << "after cycle " << cycle << ": " << Describe(TakeCounts())
                << "\nbefore: " << Describe(before);
        }
    }
    EXPECT_EQ(Win32LayerMessageBoxCount(), 0);
    // The last confirmation saved what the dialog showed.
    PictureSettings saved = DefaultPictureSettings();
    ASSERT_EQ(LoadPictureSettings(&saved), ERROR_SUCCESS);
    EXPECT_EQ(saved.height, 60);
    EXPECT_EQ(static_cast<int>(saved.mode), 2);
    EXPECT_EQ(std::u16string(saved.path), Wide(bitmap));
}

}  // namespace
