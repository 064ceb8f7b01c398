// Writing a picture as an 8-bit RGB PNG file: the Today screen of today-host, and the pictures
// of varnel-decode. libpng on Linux, GDI+'s encoder on Windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// pixels: width x height values 0x00RRGGBB, top row first. False, with the reason, on failure.
bool WritePng(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels,
              std::string* error);
// The same PNG file in memory.
bool EncodePng(int width, int height, const std::vector<uint32_t>& pixels,
               std::vector<uint8_t>* png, std::string* error);
