// Drives the built lumetta as the Today host does: loads the library, finds export ordinal 240,
// calls it with a TODAYLISTITEM and a host window, and reads back what the item window paints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pocketpc.h"
#include "temp_registry.h"
#include "windows.h"

class ItemTest : public TempRegistryTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A record as the host fills it: name "Lumetta", enabled.
    static TODAYLISTITEM EnabledRecord();
    // Calls ordinal 240; the window, if any, is destroyed at the end of the test.
    HWND Initialize(TODAYLISTITEM* record);
    // Creates the item from the stored settings and returns its painted pixels.
    std::vector<uint32_t> ShowItem(int* width, int* height);
    // Paints the whole window and reads it back.
    static std::vector<uint32_t> PaintAndRead(HWND window, int* width, int* height);
    // Reads the window's current pixels without painting.
    static std::vector<uint32_t> ReadWindow(HWND window, int* width, int* height);

    void StoreSettings(int32_t mode, int32_t height, const std::u16string& path);
    static std::u16string Wide(const std::filesystem::path& path);

    HMODULE module_ = nullptr;
    PFNCUSTOMINITIALIZEITEM initialize_ = nullptr;
    HWND host_ = nullptr;
    std::vector<HWND> windows_;
};
