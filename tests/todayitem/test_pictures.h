// Pictures for the item's tests: Windows bitmap files written with known pixels, and the
// expected content of an item of w x h pixels for each placement, computed from the same
// pixels.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

constexpr uint32_t kWhite = 0x00FFFFFF;

struct TestPicture {
    int width;
    int height;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB, top row first
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// A picture of distinct, non-white colours.
TestPicture MakeTestPicture(int width, int height);

// Writes a 24-bit BI_RGB bitmap file, rows bottom-up or (negative stored height) top-down.
void WriteBitmapFile(const std::filesystem::path& path, const TestPicture& picture, bool top_down);

// The item's expected pixels for each placement.
std::vector<uint32_t> ExpectStretch(const TestPicture& picture, int w, int h);
std::vector<uint32_t> ExpectCenter(const TestPicture& picture, int w, int h);
std::vector<uint32_t> ExpectTile(const TestPicture& picture, int w, int h);
