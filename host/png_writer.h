// Writing the screen as an 8-bit RGB PNG file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// pixels: width x height values 0x00RRGGBB, top row first. False, with the reason, on failure.
bool WritePng(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels,
              std::string* error);
