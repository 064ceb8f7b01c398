// The host on Windows: the items run on the system itself, with its registry and its screen.
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <cstdio>

#include "host_platform.h"
#include "text.h"

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

void SetEmulatedScreenSize(int, int) {}

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

void KeepOnScreen(HWND window, int seconds) {
    ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    while (IsWindow(window) && GetTickCount64() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}
