// The Windows DLLs as a program loads them: varnel.dll's LoadJpeg found by name and returning
// the bottom-up 24-bit bitmap; lumetta.dll loading with its LoadJpeg import bound, its two
// ordinal-only exports, and export 240 creating the item window inside a host window.
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

using LoadJpegFunction = HBITMAP(WINAPI*)(HWND, const WCHAR*, POINT*);

// A Unix path as Wine's drive Z: shows it.
std::wstring WinePath(const char* unix_path) {
    std::wstring path = L"Z:";
    for (const char* c = unix_path; *c != '\0'; ++c) {
        path.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));
    }
    return path;
}

class VarnelDllTest : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryW(L"varnel.dll");
        ASSERT_NE(module_, nullptr);
        load_jpeg_ = reinterpret_cast<LoadJpegFunction>(
            reinterpret_cast<void*>(GetProcAddress(module_, "LoadJpeg")));
        ASSERT_NE(load_jpeg_, nullptr);
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
    }

    HMODULE module_ = nullptr;
    LoadJpegFunction load_jpeg_ = nullptr;
};

TEST_F(VarnelDllTest, LoadJpegGivesABottomUp24BitSectionWithPaddedRows) {
    const std::wstring path = WinePath(JPEG_5X3_PATH);
    POINT size{-1, -1};
    HBITMAP bitmap = load_jpeg_(nullptr, path.c_str(), &size);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(size.x, 5);
    EXPECT_EQ(size.y, 3);

    DIBSECTION section{};
    ASSERT_EQ(GetObjectW(bitmap, sizeof(section), &section), static_cast<int>(sizeof(section)));
    EXPECT_EQ(section.dsBm.bmWidth, 5);
    EXPECT_EQ(section.dsBm.bmHeight, 3);
    EXPECT_EQ(section.dsBm.bmBitsPixel, 24);
    EXPECT_EQ(section.dsBm.bmWidthBytes, 16);
    EXPECT_EQ(section.dsBmih.biHeight, 3) << "rows are bottom-up";
    EXPECT_EQ(section.dsBmih.biCompression, static_cast<DWORD>(BI_RGB));
    ASSERT_NE(section.dsBm.bmBits, nullptr);
    const auto* bits = static_cast<const uint8_t*>(section.dsBm.bmBits);
    for (int row = 0; row < 3; ++row) EXPECT_EQ(bits[row * 16 + 15], 0) << "padding of row " << row;
    DeleteObject(bitmap);

    // No size wanted: the bitmap is still made.
    bitmap = load_jpeg_(nullptr, path.c_str(), nullptr);
    EXPECT_NE(bitmap, nullptr);
    DeleteObject(bitmap);
}

TEST_F(VarnelDllTest, FailuresGiveNullAndLeaveTheSizeAlone) {
    POINT size{7, 9};
    EXPECT_EQ(load_jpeg_(nullptr, L"Z:\\no\\such\\picture.jpg", &size), nullptr);
    EXPECT_EQ(size.x, 7);
    EXPECT_EQ(size.y, 9);

    wchar_t dir[MAX_PATH];
    wchar_t name[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, dir), 0u);
    ASSERT_NE(GetTempFileNameW(dir, L"vjp", 0, name), 0u);
    HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const char not_jpeg[] = "BM this is no JPEG file";
    DWORD written = 0;
    WriteFile(file, not_jpeg, sizeof(not_jpeg), &written, nullptr);
    CloseHandle(file);
    EXPECT_EQ(load_jpeg_(nullptr, name, &size), nullptr);
    EXPECT_EQ(size.x, 7);
    EXPECT_EQ(size.y, 9);
    DeleteFileW(name);
}

const wchar_t kSettingsKey[] = L"Software\\Quenby\\Lumetta";

class LumettaDllTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The item's defaults: no stored settings in this prefix.
        RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey);
        module_ = LoadLibraryW(L"lumetta.dll");
        ASSERT_NE(module_, nullptr) << "error " << GetLastError();
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
    }

    HMODULE module_ = nullptr;
};

TEST_F(LumettaDllTest, ExportsTwoOrdinalsAndNoNames) {
    EXPECT_NE(GetProcAddress(module_, MAKEINTRESOURCEA(ORDINAL_INITIALIZEITEM)), nullptr);
    EXPECT_NE(GetProcAddress(module_, MAKEINTRESOURCEA(ORDINAL_OPTIONSDLGPROC)), nullptr);
    EXPECT_EQ(GetProcAddress(module_, "InitializeCustomItem"), nullptr);
    EXPECT_EQ(GetProcAddress(module_, "CustomItemOptionsDlgProc"), nullptr);
    // Loading lumetta loaded varnel, for its LoadJpeg import.
    EXPECT_NE(GetModuleHandleW(L"varnel.dll"), nullptr);
}

TEST_F(LumettaDllTest, Export240CreatesTheItemWindowInTheHost) {
    auto initialize = reinterpret_cast<PFNCUSTOMINITIALIZEITEM>(
        reinterpret_cast<void*>(GetProcAddress(module_, MAKEINTRESOURCEA(ORDINAL_INITIALIZEITEM))));
    ASSERT_NE(initialize, nullptr);
    HWND host =
        CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, GetSystemMetrics(SM_CXSCREEN), 320,
                        nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(host, nullptr);

    TODAYLISTITEM item{};
    std::wcscpy(item.szName, L"Lumetta");
    item.tlit = tlitCustom;
    item.fEnabled = FALSE;
    EXPECT_EQ(initialize(&item, host), nullptr) << "a disabled item makes no window";

    item.fEnabled = TRUE;
    HWND window = initialize(&item, host);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(item.hwndCustom, window);
    EXPECT_EQ(item.hinstDLL, module_);
    EXPECT_EQ(item.cyp, 24u);
    const std::wstring dll_path = item.szDLLPath;
    ASSERT_GE(dll_path.size(), 11u);
    EXPECT_EQ(lstrcmpiW(dll_path.c_str() + dll_path.size() - 11, L"lumetta.dll"), 0);
    EXPECT_EQ(GetParent(window), host);
    wchar_t class_name[64] = {};
    GetClassNameW(window, class_name, 64);
    EXPECT_EQ(std::wstring(class_name), L"QBTodayPictureWnd");
    RECT rect{};
    GetClientRect(window, &rect);
    EXPECT_EQ(rect.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(rect.bottom, 24);
    EXPECT_EQ(SendMessageW(window, WM_TODAYCUSTOM_QUERYREFRESHCACHE, 0, 0), 0);
    UpdateWindow(window);
    DestroyWindow(window);
    DestroyWindow(host);
}

// The item window's pixels, as painted, read back through its device context.
class ItemPixels {
public:
    ItemPixels(HWND window, int width, int height) : width_(width), pixels_(width * height) {
        HDC window_dc = GetDC(window);
        HDC memory = CreateCompatibleDC(window_dc);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // top-down, so that row y is at y
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        HBITMAP section = CreateDIBSection(window_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(memory, section);
        BitBlt(memory, 0, 0, width, height, window_dc, 0, 0, SRCCOPY);
        GdiFlush();
        std::memcpy(pixels_.data(), bits, pixels_.size() * 4);
        SelectObject(memory, old);
        DeleteObject(section);
        DeleteDC(memory);
        ReleaseDC(window, window_dc);
    }
    // 0x00RRGGBB
    uint32_t At(int x, int y) const { return pixels_[y * width_ + x] & 0xFFFFFF; }

private:
    int width_;
    std::vector<uint32_t> pixels_;
};

// The 5 x 3 picture as LoadJpeg decodes it, 0x00RRGGBB, top row first.
std::vector<uint32_t> DecodedPicture() {
    auto load_jpeg = reinterpret_cast<LoadJpegFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"varnel.dll"), "LoadJpeg")));
    if (load_jpeg == nullptr) return {};
    HBITMAP bitmap = load_jpeg(nullptr, WinePath(JPEG_5X3_PATH).c_str(), nullptr);
    if (bitmap == nullptr) return {};
    DIBSECTION section{};
    GetObjectW(bitmap, sizeof(section), &section);
    const auto* bits = static_cast<const uint8_t*>(section.dsBm.bmBits);
    std::vector<uint32_t> picture;
    for (int y = 0; y < 3; ++y) {
        const uint8_t* row = bits + (2 - y) * section.dsBm.bmWidthBytes;  // bottom-up rows
        for (int x = 0; x < 5; ++x) {
            picture.push_back(uint32_t{row[x * 3 + 2]} << 16 | uint32_t{row[x * 3 + 1]} << 8 |
                              row[x * 3]);
        }
    }
    DeleteObject(bitmap);
    return picture;
}

TEST_F(LumettaDllTest, ItemWindowPaintsThePictureCentredTiledAndStretched) {
    auto initialize = reinterpret_cast<PFNCUSTOMINITIALIZEITEM>(
        reinterpret_cast<void*>(GetProcAddress(module_, MAKEINTRESOURCEA(ORDINAL_INITIALIZEITEM))));
    ASSERT_NE(initialize, nullptr);
    const std::vector<uint32_t> picture = DecodedPicture();
    ASSERT_EQ(picture.size(), 15u);
    auto picture_at = [&](int x, int y) { return picture[y * 5 + x]; };

    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = 24;
    HWND host = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP | WS_VISIBLE, 0, 0, width, 320,
                                nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(host, nullptr);

    for (const DrawMode mode : {DrawMode::Center, DrawMode::Tile, DrawMode::Stretch}) {
        SCOPED_TRACE(static_cast<int>(mode));
        PictureSettings settings = DefaultPictureSettings();
        settings.mode = mode;
        settings.height = height;
        const std::wstring path = WinePath(JPEG_5X3_PATH);
        std::wcscpy(settings.path, path.c_str());
        SavePictureSettings(&settings);

        TODAYLISTITEM item{};
        item.fEnabled = TRUE;
        HWND window = initialize(&item, host);
        ASSERT_NE(window, nullptr);
        UpdateWindow(window);
        const ItemPixels pixels(window, width, height);
        DestroyWindow(window);

        if (mode == DrawMode::Center) {
            const int left = (width - 5) / 2;
            const int top = (height - 3) / 2;
            for (int y = 0; y < 3; ++y) {
                for (int x = 0; x < 5; ++x) {
                    EXPECT_EQ(pixels.At(left + x, top + y), picture_at(x, y)) << x << "," << y;
                }
            }
            for (int x = left - 1; x <= left + 5; ++x) {
                EXPECT_EQ(pixels.At(x, top - 1), 0xFFFFFFu) << "margin above, x " << x;
                EXPECT_EQ(pixels.At(x, top + 3), 0xFFFFFFu) << "margin below, x " << x;
            }
            EXPECT_EQ(pixels.At(left - 1, top), 0xFFFFFFu);
            EXPECT_EQ(pixels.At(left + 5, top), 0xFFFFFFu);
            EXPECT_EQ(pixels.At(0, 0), 0xFFFFFFu);
            EXPECT_EQ(pixels.At(width - 1, height - 1), 0xFFFFFFu);
        } else if (mode == DrawMode::Tile) {
            for (int y = 0; y < height; ++y) {
                for (int x : {0, 1, 2, 3, 4, 5, 9, 10, 511, width - 2, width - 1}) {
                    EXPECT_EQ(pixels.At(x, y), picture_at(x % 5, y % 3)) << x << "," << y;
                }
            }
        } else {
            EXPECT_EQ(pixels.At(0, 0), picture_at(0, 0));
            EXPECT_EQ(pixels.At(width - 1, 0), picture_at(4, 0));
            EXPECT_EQ(pixels.At(0, height - 1), picture_at(0, 2));
            EXPECT_EQ(pixels.At(width - 1, height - 1), picture_at(4, 2));
        }
    }
    DestroyWindow(host);
}

TEST_F(LumettaDllTest, OptionsDialogOpensFilledFromTheDefaults) {
    auto procedure = reinterpret_cast<DLGPROC>(
        reinterpret_cast<void*>(GetProcAddress(module_, MAKEINTRESOURCEA(ORDINAL_OPTIONSDLGPROC))));
    ASSERT_NE(procedure, nullptr);
    // Modeless, so that the test can look at it; the host opens it as a modal dialog.
    HWND dialog = CreateDialogParamW(module_, MAKEINTRESOURCEW(500), nullptr, procedure, 0);
    ASSERT_NE(dialog, nullptr) << "error " << GetLastError();

    wchar_t text[64] = {};
    GetWindowTextW(dialog, text, 64);
    EXPECT_EQ(std::wstring(text), L"設定");
    RECT rect{};
    GetWindowRect(dialog, &rect);
    EXPECT_EQ(rect.right - rect.left, GetSystemMetrics(SM_CXSCREEN)) << "sized to the screen";
    EXPECT_EQ(rect.bottom - rect.top, GetSystemMetrics(SM_CYSCREEN));

    GetDlgItemTextW(dialog, 1001, text, 64);
    EXPECT_EQ(std::wstring(text), L"");
    GetDlgItemTextW(dialog, 1004, text, 64);
    EXPECT_EQ(std::wstring(text), L"24");
    EXPECT_EQ(SendDlgItemMessageW(dialog, 1004, EM_GETLIMITTEXT, 0, 0), 3);

    const wchar_t* const modes[] = {L"拡大して表示", L"中央に表示", L"並べて表示"};
    ASSERT_EQ(SendDlgItemMessageW(dialog, 1003, CB_GETCOUNT, 0, 0), 3);
    for (int index = 0; index < 3; ++index) {
        SendDlgItemMessageW(dialog, 1003, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
        EXPECT_EQ(std::wstring(text), modes[index]);
    }
    EXPECT_EQ(SendDlgItemMessageW(dialog, 1003, CB_GETCURSEL, 0, 0), 0);
    DestroyWindow(dialog);
}

}  // namespace
