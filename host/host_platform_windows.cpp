// The host on Windows: the items run on the system itself, with its registry and its screen.
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <cstdio>
#include <cstring>

#include "host_platform.h"
#include "pocketpc.h"
#include "text.h"
#include "today_screen.h"

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(WideToUtf8(wide[i]));
    LocalFree(wide);
    return arguments;
}

std::string DefaultItemLibrary() {
    WCHAR program[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return "lumetta.dll";
    return PathToUtf8(std::filesystem::path(program).parent_path() / L"lumetta.dll");
}

void UseRegistryFile(const char* path) {
    if (path != nullptr)
        fprintf(stderr,
                "today-host: --registry is ignored on Windows: the system's registry is "
                "used\n");
}

const char kRegistryOptionHelp[] = "ignored on Windows, which has its own registry";

// The items' GetSystemMetrics (through the Pocket PC shim) reads it from the environment.
void SetEmulatedScreenSize(int width, int height) {
    const std::wstring size = std::to_wstring(width) + L"x" + std::to_wstring(height);
    SetEnvironmentVariableW(TEXT(POCKETPC_SCREEN_VARIABLE), size.c_str());
}

bool ReadBitmapPixels(HBITMAP bitmap, int width, int height, std::vector<uint32_t>* pixels) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    pixels->assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    HDC screen = GetDC(nullptr);
    int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), pixels->data(), &info,
                         DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != height) return false;
    for (uint32_t& pixel : *pixels) pixel &= 0xFFFFFF;
    return true;
}

// Wine without a display (no X server, DISPLAY unset, as in a fresh prefix on a server) has no
// graphics driver for windows. Its null driver needs none and renders the same screen, on a
// desktop of its own that Wine's explorer makes for the program it starts.
std::string HostWindowAdvice() {
    const DWORD error = GetLastError();
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr)
        return " (error " + std::to_string(error) + ")";
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    // This run's command line, each argument quoted for the Unix shell that runs Wine.
    std::string command;
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; arguments != nullptr && i < count; ++i) {
        const std::string argument = WideToUtf8(arguments[i]);
        const bool plain =
            !argument.empty() && argument.find_first_not_of(
                                     "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopq"
                                     "rstuvwxyz0123456789_-.,/:=+@%") == std::string::npos;
        std::string quoted = "'";
        for (char c : argument) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        command += " " + (plain ? argument : quoted + "'");
    }
    if (arguments != nullptr) LocalFree(arguments);
    return ": Wine has no display to create windows on (no X server, or DISPLAY is not set).\n"
           "Run it where there is a display, or on a desktop of Wine's null graphics driver,\n"
           "which needs none:\n  wine explorer /desktop=today-host," +
           std::to_string(width) + "x" + std::to_string(height) + ",null" + command;
}

void KeepOnScreen(HWND window, int seconds, const TodayScreen& screen) {
    // The rendered screen, in a picture control over the item windows: the same pixels where
    // they are, and the host's lines, which are drawn only into the picture, around them.
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = screen.width;
    info.bmiHeader.biHeight = -screen.height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HWND shown = nullptr;
    if (picture != nullptr && screen.pixels.size() == static_cast<size_t>(screen.width) *
                                                          static_cast<size_t>(screen.height)) {
        memcpy(bits, screen.pixels.data(), screen.pixels.size() * sizeof(uint32_t));
        shown = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_BITMAP, 0, 0,
                                screen.width, screen.height, window, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
        if (shown != nullptr) {
            SetWindowPos(shown, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            SendMessageW(shown, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
        }
    }
    ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    while (IsWindow(window) && GetTickCount64() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    if (shown != nullptr) DestroyWindow(shown);
    if (picture != nullptr) DeleteObject(picture);
}
