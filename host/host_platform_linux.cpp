// The host on Linux: the items run on the Win32-subset layer, which keeps the registry in a
// database file and emulates the device's screen.
#include <filesystem>
#include <system_error>

#include "host_platform.h"
#include "win32/host_services.h"

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

// The host of the build tree uses the item built beside it; an installed host (any other copy of
// the program) uses the item installed with it, found from its own place, so that an unpacked
// tree works wherever it lies.
std::string DefaultItemLibrary() {
    std::error_code failure;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failure);
    if (failure || std::filesystem::equivalent(program, TODAY_HOST_BUILD_PROGRAM, failure))
        return TODAY_HOST_BUILD_ITEM;
    return (program.parent_path() / TODAY_HOST_INSTALLED_ITEM).lexically_normal().string();
}

void UseRegistryFile(const char* path) {
    if (path != nullptr) Win32LayerSetRegistryPath(path);
}

const char kRegistryOptionHelp[] = "the registry database to use";

void SetEmulatedScreenSize(int width, int height) {
    Win32LayerSetScreenSize(width, height);
}

bool ReadBitmapPixels(HBITMAP bitmap, int width, int height, std::vector<uint32_t>* pixels) {
    int read_width = 0;
    int read_height = 0;
    if (!Win32LayerReadBitmap(bitmap, &read_width, &read_height, nullptr) || read_width != width ||
        read_height != height)
        return false;
    pixels->assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    return Win32LayerReadBitmap(bitmap, &read_width, &read_height, pixels->data()) != FALSE;
}

// The layer's windows need no display: creating one fails only when memory runs out.
std::string HostWindowAdvice() {
    return std::string();
}

void KeepOnScreen(HWND, int, const TodayScreen&) {}
