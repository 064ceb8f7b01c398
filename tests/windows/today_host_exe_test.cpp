// today-host.exe as a person runs it under Wine, each command in a process of its own: install,
// set and show (the PNG decoded again and its pixels compared with the picture as LoadJpeg
// decodes it), uninstall, and options on the real modal dialog with every message box it shows,
// texts and captions byte for byte, and the settings and registration in the registry after it.
#include <gtest/gtest.h>
#include <stb_image.h>
#include <windows.h>

#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

#include "picture_settings.h"

#ifndef JPEG_5X3_PATH
#error "JPEG_5X3_PATH names a 5 x 3 JPEG file made by cjpeg"
#endif

namespace {

const wchar_t kSettingsKey[] = L"Software\\Quenby\\Lumetta";
const wchar_t kRegistration[] = L"Software\\Microsoft\\Today\\Items\\Lumetta";

// A Unix path as Wine's drive Z: shows it.
std::wstring WinePath(const char* unix_path) {
    std::wstring path = L"Z:";
    for (const char* c = unix_path; *c != '\0'; ++c)
        path.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));
    return path;
}

std::string Utf8(const std::wstring& text) {
    int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), length, nullptr, nullptr);
    out.resize(static_cast<size_t>(length - 1));
    return out;
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\'));
}

struct HostRun {
    int status;
    std::string output;  // standard output, UTF-8, "\n" line ends
};

// Runs today-host.exe (beside this program) with the arguments, given in UTF-16 so that any
// file name passes, and reads its standard output through a pipe; standard error goes to NUL.
// When the program cannot be started, the status is -1 and the output says why.
HostRun Host(const std::wstring& arguments) {
    HostRun run{-1, {}};
    SECURITY_ATTRIBUTES inherited = {sizeof(inherited), nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherited, 0)) {
        run.output = "CreatePipe failed: error " + std::to_string(GetLastError());
        return run;
    }
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    HANDLE null_device =
        CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherited, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = null_device;
    startup.hStdOutput = write_end;
    startup.hStdError = null_device;
    const std::wstring program = ProgramFolder() + L"\\today-host.exe";
    std::wstring command = L"\"" + program + L"\" " + arguments;
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    const DWORD start_error = GetLastError();
    CloseHandle(write_end);
    if (null_device != INVALID_HANDLE_VALUE) CloseHandle(null_device);
    if (!started) {
        CloseHandle(read_end);
        run.output = "cannot start today-host.exe: error " + std::to_string(start_error);
        return run;
    }
    char buffer[512];
    DWORD n = 0;
    while (ReadFile(read_end, buffer, sizeof(buffer), &n, nullptr) && n > 0) {
        for (DWORD i = 0; i < n; ++i)
            if (buffer[i] != '\r') run.output.push_back(buffer[i]);
    }
    CloseHandle(read_end);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code)) run.status = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

std::wstring Quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

bool RegistrationExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRegistration, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// The settings key's values as the item's store reads them; stored is false without the key.
struct Stored {
    bool stored;
    PictureSettings settings;
};

Stored StoredSettings() {
    Stored result{false, DefaultPictureSettings()};
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
        result.stored = true;
        LoadPictureSettings(&result.settings);
    }
    return result;
}

// The 5 x 3 picture as varnel.dll's LoadJpeg decodes it, 0x00RRGGBB, top row first.
std::vector<uint32_t> DecodedPicture() {
    HMODULE varnel = LoadLibraryW(L"varnel.dll");
    auto load_jpeg = reinterpret_cast<HBITMAP(WINAPI*)(HWND, const WCHAR*, POINT*)>(
        reinterpret_cast<void*>(GetProcAddress(varnel, "LoadJpeg")));
    std::vector<uint32_t> picture;
    HBITMAP bitmap = load_jpeg != nullptr
                         ? load_jpeg(nullptr, WinePath(JPEG_5X3_PATH).c_str(), nullptr)
                         : nullptr;
    if (bitmap != nullptr) {
        DIBSECTION section{};
        GetObjectW(bitmap, sizeof(section), &section);
        const auto* bits = static_cast<const uint8_t*>(section.dsBm.bmBits);
        for (int y = 0; y < 3; ++y) {
            const uint8_t* row = bits + (2 - y) * section.dsBm.bmWidthBytes;  // bottom-up
            for (int x = 0; x < 5; ++x)
                picture.push_back(uint32_t{row[x * 3 + 2]} << 16 | uint32_t{row[x * 3 + 1]} << 8 |
                                  row[x * 3]);
        }
        DeleteObject(bitmap);
    }
    if (varnel != nullptr) FreeLibrary(varnel);
    return picture;
}

struct Png {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

bool ReadPng(const std::wstring& path, Png* png) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) return false;
    unsigned char* rgb = stbi_load_from_file(file, &png->width, &png->height, &png->channels, 3);
    fclose(file);
    if (rgb == nullptr) return false;
    png->pixels.clear();
    for (int i = 0; i < png->width * png->height; ++i)
        png->pixels.push_back(uint32_t{rgb[i * 3]} << 16 | uint32_t{rgb[i * 3 + 1]} << 8 |
                              rgb[i * 3 + 2]);
    stbi_image_free(rgb);
    return true;
}

class TodayHostExeTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey);
        wchar_t temp[MAX_PATH];
        ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
        folder_ = std::wstring(temp) + L"today-host-test-" + std::to_wstring(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS);
        // A picture whose name only UTF-16 carries.
        picture_ = folder_ + L"\\写真 ピクチャ.jpg";
        ASSERT_TRUE(CopyFileW(WinePath(JPEG_5X3_PATH).c_str(), picture_.c_str(), FALSE));
        HostRun install = Host(L"install");
        ASSERT_EQ(install.status, 0) << install.output;
    }
    void TearDown() override {
        Host(L"uninstall");
        RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey);
        for (const wchar_t* name : {L"\\写真 ピクチャ.jpg", L"\\today.png", L"\\empty.png"})
            DeleteFileW((folder_ + name).c_str());
        RemoveDirectoryW(folder_.c_str());
    }

    std::wstring folder_;
    std::wstring picture_;
};

TEST_F(TodayHostExeTest, InstallSetAndShowPaintTheTiledPictureIntoThePng) {
    ASSERT_TRUE(RegistrationExists());
    HostRun set = Host(L"set --path " + Quoted(picture_) + L" --mode tile --height 30");
    ASSERT_EQ(set.status, 0) << set.output;
    EXPECT_EQ(set.output, "Picture: " + Utf8(picture_) + "\nMode: tile\nHeight: 30\n");
    Stored stored = StoredSettings();
    ASSERT_TRUE(stored.stored);
    EXPECT_EQ(std::wstring(stored.settings.path), picture_);

    const std::wstring png_path = folder_ + L"\\today.png";
    HostRun show = Host(L"show --bare --out " + Quoted(png_path) + L" --screen 200x100");
    ASSERT_EQ(show.status, 0) << show.output;
    EXPECT_EQ(show.output, "Wrote " + Utf8(png_path) + ": 200x100, 1 item\n");

    Png png;
    ASSERT_TRUE(ReadPng(png_path, &png));
    EXPECT_EQ(png.width, 200);
    EXPECT_EQ(png.height, 100);
    EXPECT_EQ(png.channels, 3) << "RGB without alpha";
    const std::vector<uint32_t> picture = DecodedPicture();
    ASSERT_EQ(picture.size(), 15u);
    // The item's 30 rows at the top, tiled from the corner; the screen white below.
    for (int y : {0, 1, 2, 3, 17, 29}) {
        for (int x : {0, 1, 4, 5, 9, 123, 199}) {
            EXPECT_EQ(png.At(x, y), picture[static_cast<size_t>((y % 3) * 5 + x % 5)])
                << x << "," << y;
        }
    }
    for (int y : {30, 31, 64, 99}) {
        for (int x : {0, 100, 199}) EXPECT_EQ(png.At(x, y), 0xFFFFFFu) << x << "," << y;
    }

    // Without the registration the screen is empty.
    HostRun uninstall = Host(L"uninstall");
    EXPECT_EQ(uninstall.output, "Removed Today item Lumetta\n");
    EXPECT_FALSE(RegistrationExists());
    const std::wstring empty_path = folder_ + L"\\empty.png";
    HostRun empty = Host(L"show --bare --out " + Quoted(empty_path));
    EXPECT_EQ(empty.output, "Wrote " + Utf8(empty_path) + ": 240x320, 0 items\n");
    Png blank;
    ASSERT_TRUE(ReadPng(empty_path, &blank));
    EXPECT_EQ(blank.width, 240);
    EXPECT_EQ(blank.height, 320);
    EXPECT_EQ(blank.At(0, 0), 0xFFFFFFu);
    EXPECT_EQ(blank.At(239, 319), 0xFFFFFFu);
}

TEST_F(TodayHostExeTest, UsageErrorsAndHelp) {
    EXPECT_EQ(Host(L"set --mode sideways").status, 2);
    EXPECT_EQ(Host(L"options --yes").status, 2);
    HostRun help = Host(L"options --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("--registry FILE               ignored on Windows"),
              std::string::npos)
        << help.output;
}

const char kHeightMessage[] =
    "Message box: ｳｲﾝﾄﾞｳの高さは1～320の間で設定してください。\n"
    "  caption: Error\n"
    "  type: 0x30, answered: OK\n"
    "Dialog stayed open: nothing more to do\n";

TEST_F(TodayHostExeTest, OptionsSavesConfirmedSettings) {
    HostRun run = Host(L"options --path " + Quoted(picture_) + L" --mode center --height 50");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "Dialog closed with result 1\n");
    Stored stored = StoredSettings();
    ASSERT_TRUE(stored.stored);
    EXPECT_EQ(std::wstring(stored.settings.path), picture_);
    EXPECT_EQ(stored.settings.mode, DrawMode::Center);
    EXPECT_EQ(stored.settings.height, 50);
}

TEST_F(TodayHostExeTest, OptionsBrowsesThroughTheFileOpenDialog) {
    HostRun run = Host(L"options --browse " + Quoted(picture_) + L" --mode stretch");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "Dialog closed with result 1\n");
    Stored stored = StoredSettings();
    ASSERT_TRUE(stored.stored);
    EXPECT_EQ(std::wstring(stored.settings.path), picture_) << "the chosen file was saved";
    EXPECT_EQ(stored.settings.mode, DrawMode::Stretch);
    EXPECT_EQ(stored.settings.height, 24);
}

TEST_F(TodayHostExeTest, OptionsRefusesHeightsOutsideTheScreenAndMissingFiles) {
    const std::wstring too_tall = std::to_wstring(GetSystemMetrics(SM_CYSCREEN) + 1);
    for (const std::wstring& height : {std::wstring(L"0"), too_tall, std::wstring(L"abc")}) {
        SCOPED_TRACE(Utf8(height));
        HostRun run = Host(L"options --path " + Quoted(picture_) + L" --height " + height);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.output, kHeightMessage);
    }
    HostRun missing = Host(L"options --path " + Quoted(folder_ + L"\\無い.bmp"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.output,
              "Message box: ﾌｧｲﾙが存在しません。ﾌｧｲﾙ名を正しく入力してください。\n"
              "  caption: Error\n"
              "  type: 0x30, answered: OK\n"
              "Dialog stayed open: nothing more to do\n");
    EXPECT_FALSE(StoredSettings().stored) << "nothing refused is saved";
}

TEST_F(TodayHostExeTest, OptionsRemovesTheRegistrationOnlyWhenConfirmed) {
    const std::string confirmation =
        "Message box: 情報を削除すると再ｲﾝｽﾄｰﾙするまで使用できなくなります。よろしいですか？\n"
        "  caption: 確認\n";
    HostRun cancelled = Host(L"options --remove");
    EXPECT_EQ(cancelled.status, 1);
    EXPECT_EQ(cancelled.output, confirmation +
                                    "  type: 0x11, answered: Cancel\n"
                                    "Dialog stayed open: nothing more to do\n");
    EXPECT_TRUE(RegistrationExists());

    HostRun confirmed = Host(L"options --path " + Quoted(picture_) + L" --remove --yes");
    EXPECT_EQ(confirmed.status, 0);
    EXPECT_EQ(confirmed.output, confirmation +
                                    "  type: 0x11, answered: OK\n"
                                    "Message box: 情報を削除しました。ｱﾝｲﾝｽﾄｰﾙを行ってください。\n"
                                    "  caption: 確認\n"
                                    "  type: 0x40, answered: OK\n"
                                    "Dialog closed with result 1\n");
    EXPECT_FALSE(RegistrationExists());
    EXPECT_FALSE(StoredSettings().stored) << "the removal saves nothing";
}

}  // namespace
