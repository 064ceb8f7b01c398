#include "item_harness.h"

#include "picture_settings.h"

namespace {

const char16_t kHostClass[] = u"ItemTestHostWnd";

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

void ItemTest::SetUp() {
    TempRegistryTest::SetUp();
    Win32LayerSetScreenSize(240, 320);
    module_ = LoadLibraryW(Wide(LUMETTA_PATH).c_str());
    ASSERT_NE(module_, nullptr);
    // Through void (*)(): FARPROC stands for any function type.
    initialize_ = reinterpret_cast<PFNCUSTOMINITIALIZEITEM>(reinterpret_cast<void (*)()>(
        GetProcAddress(module_, MAKEINTRESOURCEA(ORDINAL_INITIALIZEITEM))));
    ASSERT_NE(initialize_, nullptr);
    WNDCLASSW host_class = {};
    host_class.lpfnWndProc = HostProc;
    host_class.lpszClassName = kHostClass;
    RegisterClassW(&host_class);
    host_ = CreateWindowExW(0, kHostClass, u"Today", WS_POPUP | WS_VISIBLE, 0, 0, 240, 320, nullptr,
                            nullptr, nullptr, nullptr);
    ASSERT_NE(host_, nullptr);
}

void ItemTest::TearDown() {
    for (HWND window : windows_) {
        if (IsWindow(window)) DestroyWindow(window);
    }
    if (host_ != nullptr) DestroyWindow(host_);
    if (module_ != nullptr) {
        // Windows drops the classes of a library when it unloads it; the layer is told here.
        UnregisterClassW(u"QBTodayPictureWnd", module_);
        FreeLibrary(module_);
    }
    TempRegistryTest::TearDown();
}

TODAYLISTITEM ItemTest::EnabledRecord() {
    TODAYLISTITEM record = {};
    std::u16string(u"Lumetta").copy(record.szName, 7);
    record.tlit = tlitCustom;
    record.fEnabled = TRUE;
    return record;
}

HWND ItemTest::Initialize(TODAYLISTITEM* record) {
    HWND window = initialize_(record, host_);
    if (window != nullptr) windows_.push_back(window);
    return window;
}

std::vector<uint32_t> ItemTest::ReadWindow(HWND window, int* width, int* height) {
    RECT client = {};
    GetClientRect(window, &client);
    *width = client.right;
    *height = client.bottom;
    HDC window_dc = GetDC(window);
    HDC copy_dc = CreateCompatibleDC(window_dc);
    HBITMAP copy = CreateCompatibleBitmap(window_dc, *width, *height);
    HGDIOBJ old = SelectObject(copy_dc, copy);
    BitBlt(copy_dc, 0, 0, *width, *height, window_dc, 0, 0, SRCCOPY);
    SelectObject(copy_dc, old);
    std::vector<uint32_t> pixels(static_cast<size_t>(*width) * static_cast<size_t>(*height));
    int read_width = 0;
    int read_height = 0;
    Win32LayerReadBitmap(copy, &read_width, &read_height, pixels.data());
    DeleteObject(copy);
    DeleteDC(copy_dc);
    ReleaseDC(window, window_dc);
    return pixels;
}

std::vector<uint32_t> ItemTest::PaintAndRead(HWND window, int* width, int* height) {
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
    return ReadWindow(window, width, height);
}

std::vector<uint32_t> ItemTest::ShowItem(int* width, int* height) {
    TODAYLISTITEM record = EnabledRecord();
    HWND window = Initialize(&record);
    if (window == nullptr) {
        *width = 0;
        *height = 0;
        return {};
    }
    return PaintAndRead(window, width, height);
}

void ItemTest::StoreSettings(int32_t mode, int32_t height, const std::u16string& path) {
    PictureSettings settings = DefaultPictureSettings();
    settings.mode = static_cast<DrawMode>(mode);
    settings.height = height;
    path.copy(settings.path, path.size() < MAX_PATH - 1 ? path.size() : MAX_PATH - 1);
    ASSERT_EQ(SavePictureSettings(&settings), ERROR_SUCCESS);
}

std::u16string ItemTest::Wide(const std::filesystem::path& path) {
    std::u16string out;
    std::string text = path.string();
    int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    out.resize(static_cast<size_t>(length));
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
    return out;
}
