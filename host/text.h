// Text of the command line (UTF-8) as the UTF-16 of the API, and back; file paths from and to
// UTF-8.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

// The API's UTF-16 text: char16_t on Linux, wchar_t on Windows.
using WideString = std::basic_string<WCHAR>;

// False for text that is not valid UTF-8.
bool Utf8ToWide(const std::string& text, WideString* out);
std::string WideToUtf8(const WCHAR* text);

// A path given in UTF-8, whatever the platform's narrow code page is.
std::filesystem::path PathFromUtf8(const std::string& text);
std::string PathToUtf8(const std::filesystem::path& path);
