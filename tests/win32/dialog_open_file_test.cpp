// The file-open dialog: the record's size, the flags that refuse a choice, the buffer's
// capacity, cancellation, and what is recorded of each call.
#include "dialog_harness.h"
#include "temp_folder.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace {

const WCHAR kFilter[] = u"Pictures (*.bmp)\0*.bmp\0All (*.*)\0*.*\0";

std::u16string Wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());  // the test's paths are ASCII
}

class DialogOpenFileTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        folder_ = testsupport::MakeTempFolder("open_file");
        ASSERT_FALSE(folder_.empty());
        std::ofstream(folder_ / "photo.bmp") << "BM";
        std::filesystem::create_directory(folder_ / "album");
    }
    void TearDown() override {
        testsupport::RemoveFolder(folder_);
        DialogTest::TearDown();
    }

    OPENFILENAMEW Record(DWORD flags) {
        OPENFILENAMEW record = {};
        record.lStructSize = sizeof(OPENFILENAMEW);
        record.lpstrFilter = kFilter;
        record.lpstrFile = buffer_;
        record.nMaxFile = MAX_PATH;
        record.Flags = flags;
        return record;
    }

    std::u16string Path(const char* name) { return Wide((folder_ / name).string()); }

    std::filesystem::path folder_;
    WCHAR buffer_[MAX_PATH] = {};
};

TEST_F(DialogOpenFileTest, ChoosesAnExistingFile) {
    OPENFILENAMEW record = Record(0x00081804);
    Win32LayerQueueChooseFile(Path("photo.bmp").c_str());
    ASSERT_TRUE(GetOpenFileNameW(&record));
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    std::u16string chosen = buffer_;
    EXPECT_EQ(chosen, Path("photo.bmp"));
    EXPECT_EQ(chosen.substr(record.nFileOffset), u"photo.bmp");
    EXPECT_EQ(chosen.substr(record.nFileExtension), u"bmp");
    EXPECT_EQ(record.nFilterIndex, 1u);

    ASSERT_EQ(Win32LayerOpenFileDialogCount(), 1);
    Win32LayerOpenFileDialog asked = {};
    ASSERT_TRUE(Win32LayerGetOpenFileDialog(0, &asked));
    EXPECT_EQ(asked.flags, 0x00081804u);
    EXPECT_EQ(asked.struct_size, sizeof(OPENFILENAMEW));
    // The literal's own terminator is the NUL that ends the block.
    EXPECT_EQ(asked.filter_chars, sizeof(kFilter) / sizeof(WCHAR));
    EXPECT_EQ(std::u16string(asked.filter, asked.filter_chars),
              std::u16string(kFilter, sizeof(kFilter) / sizeof(WCHAR)));
    EXPECT_EQ(asked.max_file, static_cast<DWORD>(MAX_PATH));
    EXPECT_EQ(std::u16string(asked.result), chosen);
}

TEST_F(DialogOpenFileTest, ARecordOfAnotherSizeFails) {
    OPENFILENAMEW record = Record(0);
    // The size of the desktop's longer record, which adds three fields (12 or 16 bytes).
    record.lStructSize = sizeof(OPENFILENAMEW) + 4 + 2 * sizeof(void*);
    Win32LayerQueueChooseFile(Path("photo.bmp").c_str());
    EXPECT_FALSE(GetOpenFileNameW(&record));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_STRUCTSIZE));
    EXPECT_EQ(Win32LayerPendingActionCount(), 1);  // the dialog never opened
    EXPECT_EQ(buffer_[0], 0);
}

TEST_F(DialogOpenFileTest, FileMustExistRefusesMissingFilesAndFolders) {
    OPENFILENAMEW record = Record(OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
    Win32LayerQueueChooseFile(Path("missing.bmp").c_str());
    Win32LayerQueueChooseFile(Path("album").c_str());
    Win32LayerQueueChooseFile(nullptr);  // then the person cancels
    EXPECT_FALSE(GetOpenFileNameW(&record));
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    EXPECT_EQ(buffer_[0], 0);
    EXPECT_EQ(Win32LayerPendingActionCount(), 0);
}

TEST_F(DialogOpenFileTest, PathMustExistAloneTakesANewFileInAnExistingFolder) {
    OPENFILENAMEW record = Record(OFN_PATHMUSTEXIST);
    Win32LayerQueueChooseFile(Path("nowhere/new.bmp").c_str());
    Win32LayerQueueChooseFile(Path("new.bmp").c_str());
    ASSERT_TRUE(GetOpenFileNameW(&record));
    EXPECT_EQ(std::u16string(buffer_), Path("new.bmp"));
}

TEST_F(DialogOpenFileTest, APathLongerThanTheBufferFails) {
    OPENFILENAMEW record = Record(OFN_FILEMUSTEXIST);
    std::u16string path = Path("photo.bmp");
    record.nMaxFile = static_cast<DWORD>(path.size());  // no room for the terminator
    Win32LayerQueueChooseFile(path.c_str());
    EXPECT_FALSE(GetOpenFileNameW(&record));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_BUFFERTOOSMALL));
    EXPECT_EQ(buffer_[0], path.size() + 1);  // the capacity needed
    record.nMaxFile = static_cast<DWORD>(path.size() + 1);
    Win32LayerQueueChooseFile(path.c_str());
    EXPECT_TRUE(GetOpenFileNameW(&record));
    EXPECT_EQ(std::u16string(buffer_), path);
}

TEST_F(DialogOpenFileTest, WithoutAChoiceTheDialogStaysOpen) {
    OPENFILENAMEW record = Record(OFN_FILEMUSTEXIST);
    Win32LayerQueuePressButton(1);  // not an action for the open dialog
    EXPECT_FALSE(GetOpenFileNameW(&record));
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    EXPECT_EQ(Win32LayerPendingActionCount(), 1);
    ASSERT_EQ(Win32LayerOpenFileDialogCount(), 1);
    Win32LayerOpenFileDialog asked = {};
    ASSERT_TRUE(Win32LayerGetOpenFileDialog(0, &asked));
    EXPECT_EQ(asked.result, nullptr);
}

}  // namespace
