// The Pocket PC shim on the desktop API: SHLoadDIBitmap reads bitmap files of either row order
// into a bitmap that draws the picture the right way up, and SHInitDialog sizes a dialog to the
// screen.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bitmap_file_writer.h"
#include "pocketpc.h"

namespace {

// A bitmap file: file header, 40-byte information header, bit-field masks, colour table
// (0x00RRGGBB entries), and the rows as given; a negative height stores the rows top-down.
std::vector<uint8_t> BitmapFile(int32_t width, int32_t height, uint16_t bit_count,
                                const std::vector<uint32_t>& palette,
                                const std::vector<uint8_t>& bits, uint32_t compression = BI_RGB,
                                const std::vector<uint32_t>& masks = {}) {
    BmpWriteSpec spec;
    spec.width = width;
    spec.height = height < 0 ? -height : height;
    spec.top_down = height < 0;
    spec.bpp = bit_count;
    spec.compression = compression;
    spec.colours_used = static_cast<uint32_t>(palette.size());
    for (size_t i = 0; i < masks.size() && i < 4; ++i) spec.masks[i] = masks[i];
    for (uint32_t entry : palette) {
        for (int shift = 0; shift < 32; shift += 8)
            spec.palette.push_back(static_cast<uint8_t>(entry >> shift));
    }
    return WriteBmp(spec, {}, &bits);
}

class ShLoadDibBitmapTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t dir[MAX_PATH];
        ASSERT_NE(GetTempPathW(MAX_PATH, dir), 0u);
        wchar_t name[MAX_PATH];
        ASSERT_NE(GetTempFileNameW(dir, L"shm", 0, name), 0u);
        path_ = name;
    }
    void TearDown() override { DeleteFileW(path_.c_str()); }

    void Write(const std::vector<uint8_t>& bytes) {
        HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        ASSERT_EQ(written, bytes.size());
    }

    // The colours of the bitmap's pixels, top row first, as drawing it shows them.
    static std::vector<COLORREF> Pixels(HBITMAP bitmap, int width, int height) {
        std::vector<COLORREF> pixels;
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, bitmap);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) pixels.push_back(GetPixel(dc, x, y));
        }
        SelectObject(dc, old);
        DeleteDC(dc);
        return pixels;
    }

    std::wstring path_;
};

// A 3 x 2 picture: top row red, green, blue; bottom row white, black, grey.
const std::vector<COLORREF> kPicture = {RGB(255, 0, 0),     RGB(0, 255, 0), RGB(0, 0, 255),
                                        RGB(255, 255, 255), RGB(0, 0, 0),   RGB(128, 128, 128)};
// Its rows as 24-bit BGR, four-byte aligned.
const std::vector<uint8_t> kTopRow24 = {0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0};
const std::vector<uint8_t> kBottomRow24 = {255, 255, 255, 0, 0, 0, 128, 128, 128, 0, 0, 0};

std::vector<uint8_t> Concat(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    std::vector<uint8_t> both = a;
    both.insert(both.end(), b.begin(), b.end());
    return both;
}

TEST_F(ShLoadDibBitmapTest, LoadsBottomUpAndTopDownFilesTheRightWayUp) {
    for (const bool top_down : {false, true}) {
        SCOPED_TRACE(top_down ? "top-down" : "bottom-up");
        Write(BitmapFile(
            3, top_down ? -2 : 2, 24, {},
            top_down ? Concat(kTopRow24, kBottomRow24) : Concat(kBottomRow24, kTopRow24)));
        HBITMAP bitmap = SHLoadDIBitmap(path_.c_str());
        ASSERT_NE(bitmap, nullptr);
        BITMAP info{};
        ASSERT_EQ(GetObjectW(bitmap, sizeof(info), &info), static_cast<int>(sizeof(info)));
        EXPECT_EQ(info.bmWidth, 3);
        EXPECT_EQ(info.bmHeight, 2);
        EXPECT_EQ(info.bmBitsPixel, 24);
        EXPECT_EQ(Pixels(bitmap, 3, 2), kPicture);
        DeleteObject(bitmap);
    }
}

TEST_F(ShLoadDibBitmapTest, LoadsPalettedAndBitfieldFiles) {
    // 4 bits per pixel through a colour table: one byte holds two pixels.
    const std::vector<uint32_t> palette = {0x000000, 0xFF0000, 0x00FF00,
                                           0x0000FF, 0xFFFFFF, 0x808080};
    Write(BitmapFile(3, 2, 4, palette, {0x40, 0x50, 0, 0, 0x12, 0x30, 0, 0}));
    HBITMAP bitmap = SHLoadDIBitmap(path_.c_str());
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(Pixels(bitmap, 3, 2), kPicture);
    DeleteObject(bitmap);

    // 16 bits per pixel, 5-6-5, top-down.
    auto rgb565 = [](uint16_t v) { return std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8)}; };
    std::vector<uint8_t> bits;
    for (uint16_t v : {0xF800, 0x07E0, 0x001F}) {
        const auto pixel = rgb565(v);
        bits.insert(bits.end(), pixel.begin(), pixel.end());
    }
    bits.insert(bits.end(), {0, 0});
    for (uint16_t v : {0xFFFF, 0x0000, 0x8410}) {
        const auto pixel = rgb565(v);
        bits.insert(bits.end(), pixel.begin(), pixel.end());
    }
    bits.insert(bits.end(), {0, 0});
    Write(BitmapFile(3, -2, 16, {}, bits, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}));
    bitmap = SHLoadDIBitmap(path_.c_str());
    ASSERT_NE(bitmap, nullptr);
    const std::vector<COLORREF> pixels = Pixels(bitmap, 3, 2);
    ASSERT_EQ(pixels.size(), 6u);
    EXPECT_EQ(pixels[0], RGB(255, 0, 0));
    EXPECT_EQ(pixels[1], RGB(0, 255, 0));
    EXPECT_EQ(pixels[2], RGB(0, 0, 255));
    EXPECT_EQ(pixels[3], RGB(255, 255, 255));
    EXPECT_EQ(pixels[4], RGB(0, 0, 0));
    DeleteObject(bitmap);
}

TEST_F(ShLoadDibBitmapTest, RefusesWhatIsNotABitmapFile) {
    EXPECT_EQ(SHLoadDIBitmap(L"C:\\no\\such\\picture.bmp"), nullptr);
    EXPECT_EQ(SHLoadDIBitmap(nullptr), nullptr);

    const std::vector<uint8_t> good = BitmapFile(3, 2, 24, {}, Concat(kBottomRow24, kTopRow24));
    std::vector<uint8_t> not_bm = good;
    not_bm[0] = 'X';
    std::vector<uint8_t> cut_header(good.begin(), good.begin() + 30);
    std::vector<uint8_t> zero_width = BitmapFile(0, 2, 24, {}, {1, 2, 3, 4});
    std::vector<uint8_t> odd_depth = BitmapFile(3, 2, 7, {}, Concat(kBottomRow24, kTopRow24));
    std::vector<uint8_t> huge = BitmapFile(0x7FFFFFFF, 0x7FFFFFFF, 24, {}, {1, 2, 3});
    int index = 0;
    const std::vector<const std::vector<uint8_t>*> refused = {&not_bm, &cut_header, &zero_width,
                                                              &odd_depth, &huge};
    for (const std::vector<uint8_t>* bytes : refused) {
        SCOPED_TRACE(index++);
        Write(*bytes);
        HBITMAP bitmap = SHLoadDIBitmap(path_.c_str());
        EXPECT_EQ(bitmap, nullptr);
        if (bitmap != nullptr) DeleteObject(bitmap);
    }
}

TEST_F(ShLoadDibBitmapTest, PixelDataCutShortLeavesTheMissingPixelsBlack) {
    // The bottom row is whole; the top row ends after its first pixel.
    std::vector<uint8_t> file = BitmapFile(3, 2, 24, {}, Concat(kBottomRow24, kTopRow24));
    file.resize(file.size() - 9);
    Write(file);
    HBITMAP bitmap = SHLoadDIBitmap(path_.c_str());
    ASSERT_NE(bitmap, nullptr);
    const std::vector<COLORREF> expected = {RGB(255, 0, 0),     RGB(0, 0, 0), RGB(0, 0, 0),
                                            RGB(255, 255, 255), RGB(0, 0, 0), RGB(128, 128, 128)};
    EXPECT_EQ(Pixels(bitmap, 3, 2), expected);
    DeleteObject(bitmap);
}

// An in-memory dialog template: a small popup dialog without controls.
struct alignas(4) EmptyDialogTemplate {
    DLGTEMPLATE header;
    WORD menu;
    WORD window_class;
    WORD title;
};

INT_PTR CALLBACK IgnoreDialogMessages(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

TEST(ShInitDialogTest, FullScreenFlagSizesTheDialogToTheScreen) {
    EmptyDialogTemplate dialog_template{};
    dialog_template.header.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
    dialog_template.header.cx = 80;
    dialog_template.header.cy = 40;
    HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), &dialog_template.header,
                                             nullptr, IgnoreDialogMessages, 0);
    ASSERT_NE(dialog, nullptr);

    SHINITDLGINFO info{};
    info.dwMask = SHIDIM_FLAGS;
    info.hDlg = dialog;
    info.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN;
    EXPECT_EQ(info.dwFlags, 0x0Du);
    EXPECT_TRUE(SHInitDialog(&info));
    RECT rect{};
    GetWindowRect(dialog, &rect);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right - rect.left, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(rect.bottom - rect.top, GetSystemMetrics(SM_CYSCREEN));
    DestroyWindow(dialog);

    info.hDlg = dialog;  // destroyed: no longer a window
    EXPECT_FALSE(SHInitDialog(&info));
    EXPECT_FALSE(SHInitDialog(nullptr));
}

}  // namespace
